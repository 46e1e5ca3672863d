#include "frame/class_builder.h"
#include "org/class_tables.h"
#include "ptolix/org/user.h"

namespace ptolix {

namespace {

// The effective-access methods live in UserAccess; the table needs them as
// members of User.
template <class R, class... P>
auto AsUser(R (UserAccess::*fn)(P...) noexcept) -> R (User::*)(P...) noexcept {
  return fn;
}

}  // namespace

ClassInfo UserClass() {
  return ClassBuilder<User>("User", "{EA209D65-1FBD-44BF-A98A-E202A761D077}",
                            "{CA408C29-FEA7-4B41-B195-B871EAC918B3}")
      .Frame()
      .Method("AppendUser", &User::AppendUser,
              {"pID", "pRoleID", "pName", "pPwd", "pEmail", "pWebSite", "pOrgID"})
      .Method("ModifyUser", &User::ModifyUser,
              {"pID", "pNewID", "pRoleID", "pName", "pPwd", "pEmail"})
      .Method("DeleteUser", &User::DeleteUser, {"pID"})
      .Method("GetUser", &User::GetUser, {"pID"})
      .Method("GetSiteRoleUserList", &User::GetSiteRoleUserList,
              {"pWebSiteID", "pRoleID", "pCurPage?"})
      .Method("GetSiteUserList", &User::GetSiteUserList, {"pWebSiteID", "pCurPage?"})
      .Method("GetRoleUserList", &User::GetRoleUserList, {"pRoleID", "pCurPage?"})
      .Method("GetUserList", &User::GetUserList, {"pCurPage?"})
      .Method("GetRoleList", &User::GetRoleList, {"pID"})
      .Method("AddToRole", &User::AddToRole, {"pID", "pRoleID"})
      .Method("LoginVertify", &User::LoginVertify, {"pID", "pPassword"})
      .Method("Refresh", &User::Refresh, {"pID"})
      .Method("UpdateUsrAccess", AsUser(&UserAccess::UpdateUsrAccess), {"pID"})
      .Method("ClearUsrAccess", AsUser(&UserAccess::ClearUsrAccess), {"pID"})
      .Method("GetColumnAccess", AsUser(&UserAccess::GetColumnAccess),
              {"pUsrID", "pSysID", "pColumnID"})
      .Method("GetAccessColumnList", AsUser(&UserAccess::GetAccessColumnList),
              {"pUsrID", "pSysID", "pWebSite", "pCurPage?"})
      .ReadOnly("WebSite", &User::WebSite)
      .ReadOnly("Name", &User::Name)
      .ReadOnly("OrgID", &User::OrgID)
      .ReadOnly("Email", &User::Email)
      .Build();
}

}  // namespace ptolix
