#include <ostream>

#include "demo.h"

namespace ptolix::tool {

// Roles under the administrators' root (role 1), three users, and sign-in.
void DemoOrganisation(DemoContext& ctx) {
  ctx.Heading("Roles, users and sign-in");
  auto role = ctx.New("Role");
  Variant editors = role->Call("AppendRole", {"编辑部", "写稿和编辑", "1"});
  Variant reporters = role->Call("AppendRole", {"记者", "外出采访", ToDisplay(editors)});
  Variant reviewers = role->Call("AppendRole", {"审核组", "审核发布", "1"});
  ctx.Show("GetChildrenRoleList 1 (tree order, newest sibling first)",
           role->Call("GetChildrenRoleList", {"1"}));

  auto user = ctx.New("User");
  user->Call("AppendUser", {"admin", "1", "管理员", "Admin#2024", "admin@example.com", "1", "1"});
  user->Call("AppendUser", {"editor", ToDisplay(editors), "王编辑", "edit0r", "", "1", "1"});
  user->Call("AppendUser",
             {"reporter", ToDisplay(reporters), "李记者", "rep0rter", "li@example.com", "1", "2"});
  user->Call("AddToRole", {"reporter", ToDisplay(reviewers)});
  user->Call("AddToRole", {"reporter", ToDisplay(editors)});  // already under it: refused
  ctx.ShowErrors(*user);
  ctx.Show("GetRoleList reporter (held roles and their ancestors)",
           user->Call("GetRoleList", {"reporter"}));
  ctx.Show("Role GetUserList of 编辑部 (passwords are stored as hashes)",
           role->Call("GetUserList", {ToDisplay(editors)}));

  auto sign_in = ctx.New("User");
  ctx.Show("LoginVertify reporter / wrong password",
           sign_in->Call("LoginVertify", {"reporter", "Rep0rter"}));
  ctx.ShowErrors(*sign_in);
  ctx.Show("LoginVertify reporter / rep0rter",
           sign_in->Call("LoginVertify", {"reporter", "rep0rter"}));
  ctx.out << "Name " << ToDisplay(sign_in->Get("Name")) << ", WebSite "
          << ToDisplay(sign_in->Get("WebSite")) << ", OrgID " << ToDisplay(sign_in->Get("OrgID"))
          << ", Email " << ToDisplay(sign_in->Get("Email")) << "\n";
}

}  // namespace ptolix::tool
