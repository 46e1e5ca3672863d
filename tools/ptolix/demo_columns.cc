#include <ostream>

#include "demo.h"

namespace ptolix::tool {

namespace {

// The identifier of the role named `name`, made under role 1 when the
// organisation step did not make it.
std::string RoleId(DemoContext& ctx, const std::string& name) {
  auto rs = ctx.conn->Execute("select Role_ID from tPtlx_Role where Role_Name = '" + name + "'");
  if (!rs->IsEof()) return rs->Field(0).ToText();
  return ToDisplay(ctx.New("Role")->Call("AppendRole", {name, "", "1"}));
}

}  // namespace

// A column tree with a move, grants to roles and a user, and one user's
// effective access rebuilt and listed.
void DemoColumns(DemoContext& ctx) {
  ctx.Heading("Column tree, grants and effective access");
  auto column = ctx.New("Column");
  const std::string& sys = ctx.sys_id;
  auto add = [&](const std::string& name, const std::string& father) {
    return ToDisplay(column->Call("AppendColumn", {sys, name, "", "", "", "", "", "", father}));
  };
  std::string news = add("新闻", "");
  std::string home = add("国内", news);
  add("国际", news);
  std::string notices = add("公告", "");
  std::string topics = add("专题", "");
  std::string topic = add("年度回顾", topics);
  column->Call("MoveColumn", {sys, notices, news});  // 公告 directly before 新闻
  column->Call("MoveColumn", {sys, topics, topic});  // into its own subtree: refused
  ctx.Show("GetColumnList (tree order, after moving 公告 before 新闻)",
           column->Call("GetColumnList", {sys, ""}));
  ctx.ShowErrors(*column);

  // Readers: a top role outside the administrators' tree, so that only its
  // own grants count.
  std::string editors = RoleId(ctx, "编辑部");
  std::string readers = ToDisplay(ctx.New("Role")->Call("AppendRole", {"读者", "只读访客"}));
  auto user = ctx.New("User");
  user->Call("AppendUser", {"reader", readers, "访客", "read3r", "", "1", "1"});
  column->Call("AddRoleAccess", {sys, news, editors, "3"});
  column->Call("AddRoleAccess", {sys, home, readers, "2"});
  column->Call("AddUsrAccess", {sys, topic, "reader", "3"});
  ctx.Show("GetDirectRoleList 新闻 (role 1 holds every new column)",
           column->Call("GetDirectRoleList", {sys, news}));
  ctx.Show("GetAllRoleList 国内 (roles granted on it or below it, with the roles under them)",
           column->Call("GetAllRoleList", {sys, home}));

  user->Call("ClearUsrAccess", {"reader"});
  user->Call("UpdateUsrAccess", {"reader"});
  ctx.Show("GetAccessColumnList reader (ancestors of granted columns at level 1)",
           user->Call("GetAccessColumnList", {"reader", sys, ""}));
  user->Call("UpdateUsrAccess", {"reporter"});
  ctx.out << "GetColumnAccess: reader 国内 "
          << ToDisplay(user->Call("GetColumnAccess", {"reader", sys, home})) << ", reader 公告 "
          << ToDisplay(user->Call("GetColumnAccess", {"reader", sys, notices}))
          << ", reporter 公告 (inherited from role 1) "
          << ToDisplay(user->Call("GetColumnAccess", {"reporter", sys, notices})) << "\n";
  ctx.ShowErrors(*user);
}

}  // namespace ptolix::tool
