#include "frame/class_builder.h"
#include "org/class_tables.h"
#include "ptolix/org/role.h"

namespace ptolix {

ClassInfo RoleClass() {
  return ClassBuilder<Role>("Role", "{E3AE6F39-90FC-4BC4-80C0-9451D02F1D08}",
                            "{0C2AA785-F442-4DF8-AA7B-7C5777270E03}")
      .Frame()
      .Method("AppendRole", &Role::AppendRole, {"pName", "pDescription", "pFather?", "pWebSite?"})
      .Method("ModifyRole", &Role::ModifyRole,
              {"pID", "pName", "pDescription", "pOrder", "pFather", "pWebSiteID"})
      .Method("DeleteRole", &Role::DeleteRole, {"pID", "pWebSiteID"})
      .Method("GetRole", &Role::GetRole, {"pID"})
      .Method("GetFatherRole", &Role::GetFatherRole, {"pID"})
      .Method("GetFatherRoleList", &Role::GetFatherRoleList, {"pID"})
      .Method("GetChildrenRoleList", &Role::GetChildrenRoleList, {"pID", "pCurPage?"})
      .Method("GetRoleList", &Role::GetRoleList, {"pWebSite", "pCurPage?"})
      .Method("GetDirectUserList", &Role::GetDirectUserList, {"pID", "pCurPage?"})
      .Method("GetUserList", &Role::GetUserList, {"pID", "pCurPage?"})
      .Method("AddUser", &Role::AddUser, {"pID", "pUsrID"})
      .Method("GetColumnList", &Role::GetColumnList, {"pID", "SysID", "pCurPage?"})
      .Build();
}

}  // namespace ptolix
