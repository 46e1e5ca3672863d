#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ptolix/frame/frame.h"

namespace ptolix {

// The tree of roles. A role is shared by every website (null WebSite_ID) or
// belongs to one. Role_Order holds 4-character order-code segments, one per
// level, so a role's code begins with its ancestors' codes and sorting by it
// gives tree order with the newest sibling first.
//
// Identifiers and numbers arrive as text and are spliced into the SQL; text
// that is not a number where one is expected records a Type mismatch line
// and runs nothing.
class Role : public FrameObject {
 public:
  // Adds a role under pFather (empty: a top role) for pWebSite (empty: every
  // website) and returns its Role_ID; 0 on failure. The row and its order
  // code are written in one transaction. A Role_ID above 4095 has no
  // 4-character segment: the add fails with Overflow and leaves no row.
  int32_t AppendRole(std::string_view pName, std::string_view pDescription,
                     std::string_view pFather = "", std::string_view pWebSite = "") noexcept;
  // Rewrites name, description, order code and father as given (the caller
  // supplies the code; descendants keep theirs). pWebSiteID "1" acts on a
  // role of any website; any other value only on that website's roles.
  void ModifyRole(std::string_view pID, std::string_view pName, std::string_view pDescription,
                  std::string_view pOrder, std::string_view pFather,
                  std::string_view pWebSiteID) noexcept;
  // Deletes that one row (pWebSiteID as for ModifyRole); descendants,
  // memberships and grants stay.
  void DeleteRole(std::string_view pID, std::string_view pWebSiteID) noexcept;

  // The role's row; a missing role records "该角色不存在。".
  ResultArray GetRole(std::string_view pID) noexcept;
  // The father's row; none records "该角色没有父角色。".
  ResultArray GetFatherRole(std::string_view pID) noexcept;
  // The role and its ancestors, top first, unpaged. A role that does not
  // exist is a failure.
  ResultArray GetFatherRoleList(std::string_view pID) noexcept;
  // Every descendant (not the role itself) in tree order; paged.
  ResultArray GetChildrenRoleList(std::string_view pID, std::string_view pCurPage = "") noexcept;
  // The website's roles and the shared ones in tree order; paged. Empty
  // pWebSite lists the shared roles only.
  ResultArray GetRoleList(std::string_view pWebSite, int32_t pCurPage = 0) noexcept;
  // Users whose primary role is pID; paged.
  ResultArray GetDirectUserList(std::string_view pID, std::string_view pCurPage = "") noexcept;
  // Users holding pID or a role below it, as primary or additional role,
  // each once; paged.
  ResultArray GetUserList(std::string_view pID, std::string_view pCurPage = "") noexcept;
  // Gives pUsrID the additional role pID. A user already under that role
  // records "用户已经拥有该角色的身份，加入到角色失败。" and nothing is added.
  void AddUser(std::string_view pID, std::string_view pUsrID) noexcept;
  // The system's columns on which the role or an ancestor role holds a
  // grant, with all their ancestor columns, in tree order; paged. A role
  // without such grants is a failure.
  ResultArray GetColumnList(std::string_view pID, std::string_view SysID,
                            std::string_view pCurPage = "") noexcept;
};

}  // namespace ptolix
