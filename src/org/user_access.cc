#include "ptolix/org/user_access.h"

#include <fmt/format.h>

#include "ptolix/frame/sql_text.h"

namespace ptolix {

// The rebuild computes the same rows as merging the grants role by role
// (insert the role's columns the user lacks, raise lower levels, climb to
// the father) and then adding missing fathers level by level, but with
// fewer statements: the role chains are walked first, then one insert takes
// the greatest level per column over the direct grants and the grants of
// every role reached, and one insert per column level adds the ancestors.
void UserAccess::UpdateUsrAccess(std::string_view pID) noexcept {
  Guard([&] {
    const std::string u = SqlQuote(pID, "pID");
    // One rebuild of a user at a time: two at once would both delete and
    // both insert the rows. A rerun after a deadlock starts from the lines
    // Errors had before.
    const size_t errors_before = errors().size();
    db::RunAtomic(conn(), {db::locks::UserAccess(pID)}, [&] {
      errors().resize(errors_before);

      // A user that does not exist is a failure (no current record), and the
      // transaction leaves the user's rows as they were.
      Variant primary =
          conn().Execute("select Role_ID from tPtlx_User where Usr_ID = " + u)->Field("Role_ID");
      std::set<int32_t> roles;
      // A user without a primary role still gets direct grants, additional
      // roles and ancestor columns.
      if (!primary.IsNull()) MergeRoleAccess(primary.ToLong(), roles);
      std::vector<int32_t> additional;
      auto rs = conn().Execute("select Role_ID from tPtlx_Usr2Role where Usr_ID = " + u);
      for (; !rs->IsEof(); rs->MoveNext()) {
        if (!rs->Field(0).IsNull()) additional.push_back(rs->Field(0).ToLong());
      }
      rs.reset();
      for (int32_t role : additional) MergeRoleAccess(role, roles);

      // Replacing the rows makes a second rebuild give the same rows.
      conn().ExecuteCommand("delete from tTemp_UsrAccess where Usr_ID = " + u);
      std::string grants =
          "select Sys_ID,Column_ID,AccessType_ID from tPtlx_UsrAccess where Usr_ID = " + u;
      if (!roles.empty()) {
        grants +=
            " union all select Sys_ID,Column_ID,AccessType_ID from tPtlx_RoleAccess where Role_ID "
            "in (" +
            fmt::format("{}", fmt::join(roles, ",")) + ")";
      }
      conn().ExecuteCommand(
          "insert into tTemp_UsrAccess (Usr_ID,Sys_ID,Column_ID,AccessType_ID) select " + u +
          ",Sys_ID,Column_ID,max(AccessType_ID) from (" + grants +
          ") Grants group by Sys_ID,Column_ID");
      AddFatherColumnAccess(u);
    });
  });
}

void UserAccess::MergeRoleAccess(int32_t role, std::set<int32_t>& roles) {
  std::set<int32_t> chain;
  for (;;) {
    if (chain.count(role)) {
      SetError(errors(), fmt::format("角色{}的上级角色形成循环，已在此处停止。", role));
      return;
    }
    // A role met on an earlier chain brought its fathers along already.
    if (!roles.insert(role).second) return;
    chain.insert(role);
    auto rs = conn().Execute("select Role_Father from tPtlx_Role where Role_ID = " +
                             std::to_string(role));
    if (rs->IsEof()) {
      // A role that no longer exists: its grants count, its chain ends.
      AppendFailure(errors(), NoCurrentRecord());
      return;
    }
    Variant father = rs->Field(0);
    if (father.IsNull()) return;
    role = father.ToLong();
  }
}

void UserAccess::AddFatherColumnAccess(const std::string& u) {
  // Each statement adds the next level of missing fathers, at level 1, in
  // the system of the child; a column that has a row of its own keeps it.
  while (conn().ExecuteCommand(
             "insert into tTemp_UsrAccess (Usr_ID,Sys_ID,Column_ID,AccessType_ID)" +
             std::string(" select distinct ") + u +
             ",tPtlx_Column.Sys_ID,Column_Father,1 from tPtlx_Column,tTemp_UsrAccess where" +
             " tPtlx_Column.Sys_ID = tTemp_UsrAccess.Sys_ID and tPtlx_Column.Column_ID = "
             "tTemp_UsrAccess.Column_ID" +
             " and Usr_ID = " + u +
             " and Column_Father not in (select Column_ID from tTemp_UsrAccess where Usr_ID = " +
             u + ")" + " and Column_Father is not null") > 0) {
  }
}

void UserAccess::ClearUsrAccess(std::string_view pID) noexcept {
  Guard([&] { Command("delete from tTemp_UsrAccess where Usr_ID = " + SqlQuote(pID, "pID")); });
}

int16_t UserAccess::GetColumnAccess(std::string_view pUsrID, std::string_view pSysID,
                                    std::string_view pColumnID) noexcept {
  return Guard<int16_t>([&]() -> int16_t {
    auto rs = conn().Execute("select AccessType_ID from tTemp_UsrAccess where " +
                             std::string("Usr_ID = ") + SqlQuote(pUsrID, "pUsrID") +
                             " and Sys_ID = " + SqlValue(Bare(pSysID, "pSysID")) +
                             " and Column_ID = " + SqlValue(Bare(pColumnID, "pColumnID")));
    if (rs->IsEof()) return -1;
    int32_t level = rs->Field(0).ToLong();  // a null level is a failure
    if (level < INT16_MIN || level > INT16_MAX) throw Overflow();
    return static_cast<int16_t>(level);
  });
}

ResultArray UserAccess::GetAccessColumnList(std::string_view pUsrID, std::string_view pSysID,
                                            std::string_view pWebSite,
                                            std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    std::string site =
        pWebSite.empty() ? std::string("-1") : std::string(Bare(pWebSite, "pWebSite"));
    return ListQuery(
        "select tPtlx_Column.*,tTemp_UsrAccess.AccessType_ID from tPtlx_Column,tTemp_UsrAccess" +
            std::string(
                " where tPtlx_Column.Sys_ID = tTemp_UsrAccess.Sys_ID and tPtlx_Column.Column_ID = "
                "tTemp_UsrAccess.Column_ID") +
            " and Usr_ID = " + SqlQuote(pUsrID, "pUsrID") + " and tPtlx_Column.Sys_ID = " +
            SqlValue(Bare(pSysID, "pSysID")) + " and (WebSite_ID = " + SqlValue(site) +
            " or WebSite_ID is null)" + " and Column_IsDeleted = '0' order by Column_Order",
        pCurPage);
  });
}

}  // namespace ptolix
