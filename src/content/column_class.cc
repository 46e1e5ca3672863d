#include "content/class_tables.h"
#include "frame/class_builder.h"
#include "ptolix/content/column.h"

namespace ptolix {

ClassInfo ColumnClass() {
  return ClassBuilder<Column>("Column", "{BB10C2A5-2068-42E0-952D-959BB9E359A1}",
                              "{D9F4EFE8-7979-4AAF-ACF1-CF59331E6C52}")
      .Frame()
      .Method("AppendColumn", &Column::AppendColumn,
              {"pSysID", "pName", "pDescription", "pUrl", "pTarget", "pIcon", "pSpecialIcon",
               "pWebSiteID", "pFather?"})
      .Method("ModifyColumn", &Column::ModifyColumn,
              {"pSysID", "pID", "pFather", "pName", "pDescription", "pOrder", "pUrl", "pTarget",
               "pIcon", "pSpecialIcon", "pWebSiteID"})
      .Method("DeleteColumn", &Column::DeleteColumn, {"pSysID", "pID", "pWebSiteID"})
      .Method("MoveColumn", &Column::MoveColumn, {"pSysID", "pID", "pTargetID"})
      .Method("GetColumnList", &Column::GetColumnList, {"pSysID", "pWebSite", "pCurPage?"})
      .Method("GetChildColumnList", &Column::GetChildColumnList,
              {"pSysID", "pWebSite", "pID", "pCurPage?"})
      .Method("GetChildrenColumnList", &Column::GetChildrenColumnList,
              {"pSysID", "pWebSite", "pID", "pCurPage?"})
      .Method("GetColumn", &Column::GetColumn, {"pSysID", "pID"})
      .Method("GetFatherColumn", &Column::GetFatherColumn, {"pSysID", "pID"})
      .Method("GetFatherColumnList", &Column::GetFatherColumnList, {"pSysID", "pID"})
      .Method("AddRoleAccess", &Column::AddRoleAccess, {"pSysID", "pID", "pRoleID", "pAccess"})
      .Method("ModifyRoleAccess", &Column::ModifyRoleAccess,
              {"pSysID", "pID", "pRoleID", "pAccess"})
      .Method("DeleteRoleAccess", &Column::DeleteRoleAccess, {"pSysID", "pID", "pRoleID"})
      .Method("GetDirectRoleList", &Column::GetDirectRoleList, {"pSysID", "pID", "pCurPage?"})
      .Method("GetAllRoleList", &Column::GetAllRoleList, {"pSysID", "pID", "pCurPage?"})
      .Method("GetDirectUserList", &Column::GetDirectUserList, {"pSysID", "pID", "pCurPage?"})
      .Method("AddUsrAccess", &Column::AddUsrAccess, {"pSysID", "pID", "pUsrID", "pAccess"})
      .Method("ModifyUsrAccess", &Column::ModifyUsrAccess, {"pSysID", "pID", "pUsrID", "pAccess"})
      .Method("DeleteUsrAccess", &Column::DeleteUsrAccess, {"pSysID", "pID", "pUsrID"})
      .Build();
}

}  // namespace ptolix
