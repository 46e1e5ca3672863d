#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ptolix/frame/frame.h"

namespace ptolix {

// The column (channel) tree of each system, and the access grants of roles
// and users on columns.
//
// Columns are held together by Column_Order: one 8-character segment per
// level, made from the column's identifier (newest sibling first), so that
// sorting by code gives depth-first tree order and a code prefix selects a
// subtree. Deletion is soft: Column_IsDeleted becomes '1' on a whole subtree
// and the lists leave such columns out.
//
// Website scope: the list methods take pWebSite (empty means -1, so only the
// columns of no website are listed next to that website's own); ModifyColumn
// and DeleteColumn take pWebSiteID, where "1" means the columns of no
// website; AppendColumn stores pWebSiteID, or null when it is empty.
class Column : public FrameObject {
 public:
  // Adds a column under pFather (top level when empty or not found) and
  // grants role 1 level 4 on it. Returns the new Column_ID; 0 on failure,
  // and then no row was added.
  int32_t AppendColumn(std::string_view pSysID, std::string_view pName,
                       std::string_view pDescription, std::string_view pUrl,
                       std::string_view pTarget, std::string_view pIcon,
                       std::string_view pSpecialIcon, std::string_view pWebSiteID,
                       std::string_view pFather = "") noexcept;
  // Overwrites every field (empty writes null); descendants are not touched.
  void ModifyColumn(std::string_view pSysID, std::string_view pID, std::string_view pFather,
                    std::string_view pName, std::string_view pDescription, std::string_view pOrder,
                    std::string_view pUrl, std::string_view pTarget, std::string_view pIcon,
                    std::string_view pSpecialIcon, std::string_view pWebSiteID) noexcept;
  // Marks the column and its whole subtree as deleted.
  void DeleteColumn(std::string_view pSysID, std::string_view pID,
                    std::string_view pWebSiteID) noexcept;
  // Places column pID (with its subtree) directly before pTargetID, as the
  // target's sibling. Atomic. Refuses a target inside the moved subtree
  // ("不能将栏目移到其下级栏目处。"); a missing target records
  // "目标栏目不存在。". When the new code is already taken, the target's
  // sibling group is first given fresh, evenly spaced codes (order kept,
  // subtrees follow), so codes stay unique.
  void MoveColumn(std::string_view pSysID, std::string_view pID,
                  std::string_view pTargetID) noexcept;

  // The system's live columns for the website, in tree order; paged.
  ResultArray GetColumnList(std::string_view pSysID, std::string_view pWebSite,
                            std::string_view pCurPage = "") noexcept;
  // Live direct children of pID (top-level columns when pID is empty); paged.
  ResultArray GetChildColumnList(std::string_view pSysID, std::string_view pWebSite,
                                 std::string_view pID, std::string_view pCurPage = "") noexcept;
  // Live descendants of pID at every depth, pID itself excluded; paged.
  ResultArray GetChildrenColumnList(std::string_view pSysID, std::string_view pWebSite,
                                    std::string_view pID, std::string_view pCurPage = "") noexcept;
  // One column; no row is a failure (3021).
  ResultArray GetColumn(std::string_view pSysID, std::string_view pID) noexcept;
  // The parent column; a top-level column or no row is a failure (3021).
  ResultArray GetFatherColumn(std::string_view pSysID, std::string_view pID) noexcept;
  // The path from the top column down to pID, deleted ones included;
  // header only when pID names no column.
  ResultArray GetFatherColumnList(std::string_view pSysID, std::string_view pID) noexcept;

  // Grants of roles on a column of a system.
  void AddRoleAccess(std::string_view pSysID, std::string_view pID, std::string_view pRoleID,
                     std::string_view pAccess) noexcept;
  void ModifyRoleAccess(std::string_view pSysID, std::string_view pID, std::string_view pRoleID,
                        std::string_view pAccess) noexcept;
  void DeleteRoleAccess(std::string_view pSysID, std::string_view pID,
                        std::string_view pRoleID) noexcept;
  // (Role_ID, Role_Name, AccessType_ID) of the grants on the column itself.
  ResultArray GetDirectRoleList(std::string_view pSysID, std::string_view pID,
                                std::string_view pCurPage = "") noexcept;
  // Whole role rows: every role granted on the column or a column below it,
  // with every role below such a role.
  ResultArray GetAllRoleList(std::string_view pSysID, std::string_view pID,
                             std::string_view pCurPage = "") noexcept;
  // (Usr_ID, Usr_Name, AccessType_ID) of the user grants on the column.
  ResultArray GetDirectUserList(std::string_view pSysID, std::string_view pID,
                                std::string_view pCurPage = "") noexcept;

  // Grants of single users on a column of a system.
  void AddUsrAccess(std::string_view pSysID, std::string_view pID, std::string_view pUsrID,
                    std::string_view pAccess) noexcept;
  void ModifyUsrAccess(std::string_view pSysID, std::string_view pID, std::string_view pUsrID,
                       std::string_view pAccess) noexcept;
  void DeleteUsrAccess(std::string_view pSysID, std::string_view pID,
                       std::string_view pUsrID) noexcept;
};

}  // namespace ptolix
