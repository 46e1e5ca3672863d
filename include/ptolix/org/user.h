#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ptolix/org/user_access.h"

namespace ptolix {

// The users of the service: records, primary and additional roles, and
// sign-in. A user is identified by a text chosen by the caller (Usr_ID).
//
// Passwords are stored as argon2id hash strings (see org/password.h): a
// supplied password that already is such a hash is stored as it is, so an
// edit form can write back what GetUser gave; an empty one is stored as null.
class User : public UserAccess {
 public:
  void AppendUser(std::string_view pID, std::string_view pRoleID, std::string_view pName,
                  std::string_view pPwd, std::string_view pEmail, std::string_view pWebSite,
                  std::string_view pOrgID) noexcept;
  // Rewrites identifier, primary role, name, password and e-mail as given
  // (pass the unchanged values too). The website and organisation stay.
  void ModifyUser(std::string_view pID, std::string_view pNewID, std::string_view pRoleID,
                  std::string_view pName, std::string_view pPwd, std::string_view pEmail) noexcept;
  // Deletes the user row only.
  void DeleteUser(std::string_view pID) noexcept;
  // The user's row; a missing user records "不存在用户'<pID>'".
  ResultArray GetUser(std::string_view pID) noexcept;

  // Paged lists: the website's users under the role; the website's users;
  // the users under the role (primary or additional role in its subtree,
  // each user once); every user.
  ResultArray GetSiteRoleUserList(std::string_view pWebSiteID, std::string_view pRoleID,
                                  std::string_view pCurPage = "") noexcept;
  ResultArray GetSiteUserList(std::string_view pWebSiteID, int32_t pCurPage = 0) noexcept;
  ResultArray GetRoleUserList(std::string_view pRoleID, std::string_view pCurPage = "") noexcept;
  ResultArray GetUserList(int32_t pCurPage = 0) noexcept;

  // The roles the user holds and all their ancestors, each once, top first;
  // unpaged. A user without any role is a failure.
  ResultArray GetRoleList(std::string_view pID) noexcept;
  // Gives the user the additional role pRoleID. A user already under that
  // role records "用户已经拥有该角色的身份，加入到角色失败。".
  void AddToRole(std::string_view pID, std::string_view pRoleID) noexcept;

  // Sign-in. True when the user exists and the password matches (exactly,
  // letter case counts; a null stored password matches only an empty one).
  // Fills WebSite, Name, OrgID and Email and writes an online row with the
  // database's time. A password stored in plain text before hashing was
  // introduced is replaced by its hash. A missing user records "用户不存在。",
  // a wrong password "密码不正确。"; both leave the properties as they were.
  bool LoginVertify(std::string_view pID, std::string_view pPassword) noexcept;
  // Does nothing.
  void Refresh(std::string_view pID) noexcept;

  // Filled by a successful sign-in; 0 or empty before.
  int32_t WebSite() const { return web_site_; }
  const std::string& Name() const { return name_; }
  const std::string& OrgID() const { return org_id_; }
  const std::string& Email() const { return email_; }

 private:
  int32_t web_site_ = 0;
  std::string name_;
  std::string org_id_;
  std::string email_;
};

}  // namespace ptolix
