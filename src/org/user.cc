#include "ptolix/org/user.h"

#include "org/role_sql.h"
#include "ptolix/frame/sql_text.h"
#include "ptolix/org/password.h"

namespace ptolix {

namespace {

// A user's roles are looked up with candidates down to 2 characters.
constexpr size_t kUserRoleThreshold = 2;

}  // namespace

void User::AppendUser(std::string_view pID, std::string_view pRoleID, std::string_view pName,
                      std::string_view pPwd, std::string_view pEmail, std::string_view pWebSite,
                      std::string_view pOrgID) noexcept {
  Guard([&] {
    std::string role = SqlValue(Bare(pRoleID, "pRoleID"));
    std::string web_site = SqlValue(Bare(pWebSite, "pWebSite"));
    std::string org = SqlValue(Bare(pOrgID, "pOrgID"));
    Command(
        "insert into tPtlx_User (Usr_ID,Role_ID,Usr_Name,Usr_Password,Usr_Email,WebSite_ID,Org_ID) "
        "values (" +
        SqlQuote(pID, "pID") + "," + role + "," + SqlQuote(pName, "pName") + "," +
        SqlQuote(StoredPassword(pPwd)) + "," + SqlQuote(pEmail, "pEmail") + "," + web_site + "," +
        org + ")");
  });
}

void User::ModifyUser(std::string_view pID, std::string_view pNewID, std::string_view pRoleID,
                      std::string_view pName, std::string_view pPwd,
                      std::string_view pEmail) noexcept {
  Guard([&] {
    std::string role = SqlValue(Bare(pRoleID, "pRoleID"));
    Command("update tPtlx_User set Usr_ID = " + SqlQuote(pNewID, "pNewID") + ",Role_ID = " + role +
            ",Usr_Name = " + SqlQuote(pName, "pName") + ",Usr_Password = " +
            SqlQuote(StoredPassword(pPwd)) + ",Usr_Email = " + SqlQuote(pEmail, "pEmail") +
            " where Usr_ID = " + SqlQuote(pID, "pID"));
  });
}

void User::DeleteUser(std::string_view pID) noexcept {
  Guard([&] { Command("delete from tPtlx_User where Usr_ID = " + SqlQuote(pID, "pID")); });
}

ResultArray User::GetUser(std::string_view pID) noexcept {
  return Guard<ResultArray>([&] {
    return SingleRow("select * from tPtlx_User where Usr_ID = " + SqlQuote(pID, "pID"),
                     "不存在用户'" + std::string(pID) + "'");
  });
}

ResultArray User::GetSiteRoleUserList(std::string_view pWebSiteID, std::string_view pRoleID,
                                      std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    std::string web_site = SqlValue(Bare(pWebSiteID, "pWebSiteID"));
    return ListQuery("select * from tPtlx_User where (" +
                         UsersUnderRoleCondition(Bare(pRoleID, "pRoleID")) +
                         ") and WebSite_ID = " + web_site,
                     pCurPage);
  });
}

ResultArray User::GetSiteUserList(std::string_view pWebSiteID, int32_t pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    return ListQuery(
        "select * from tPtlx_User where WebSite_ID = " + SqlValue(Bare(pWebSiteID, "pWebSiteID")),
        pCurPage);
  });
}

ResultArray User::GetRoleUserList(std::string_view pRoleID, std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    return ListQuery("select * from tPtlx_User where (" +
                         UsersUnderRoleCondition(Bare(pRoleID, "pRoleID")) + ")",
                     pCurPage);
  });
}

ResultArray User::GetUserList(int32_t pCurPage) noexcept {
  return Guard<ResultArray>([&] { return ListQuery("select * from tPtlx_User", pCurPage); });
}

ResultArray User::GetRoleList(std::string_view pID) noexcept {
  return Guard<ResultArray>([&] {
    std::string list;
    {
      auto rs = conn().Execute(
          "select Role_Order from tPtlx_Role where Role_ID = (select Role_ID from tPtlx_User where "
          "Usr_ID = " +
          SqlQuote(pID, "pID") +
          ") or Role_ID in (select Role_ID from tPtlx_Usr2Role where Usr_ID = " +
          SqlQuote(pID, "pID") + ") ");
      for (; !rs->IsEof(); rs->MoveNext())
        AppendAncestorCodes(list, NullToEmpty(rs->Field(0)), kUserRoleThreshold);
    }
    return UnpagedList("select * from tPtlx_Role where Role_Order in (" +
                       CloseCodeList(std::move(list)) + ") order by Role_Order");
  });
}

void User::AddToRole(std::string_view pID, std::string_view pRoleID) noexcept {
  Guard([&] { AddAdditionalRole(conn(), errors(), Bare(pRoleID, "pRoleID"), pID, "pID"); });
}

bool User::LoginVertify(std::string_view pID, std::string_view pPassword) noexcept {
  bool signed_in = false;
  Guard([&] {
    auto rs = conn().Execute(
        "select Usr_Name,Usr_Password,WebSite_ID,Org_ID,Usr_Email from tPtlx_User where Usr_ID = " +
        SqlQuote(pID, "pID"));
    if (rs->IsEof()) {
      // As much work as a wrong password, so timing does not tell which
      // user names exist.
      PasswordCheckWithoutUser(pPassword);
      SetError(errors(), "用户不存在。");
      return;
    }
    const Variant& stored = rs->Field(1);
    bool upgrade = false;
    if (!PasswordMatches(stored.IsNull() ? "" : stored.ToText(), stored.IsNull(), pPassword,
                         &upgrade)) {
      SetError(errors(), "密码不正确。");
      return;
    }
    // Set one by one: a null website or name stops here and keeps the
    // properties already set.
    const Variant& web_site = rs->Field(2);
    if (web_site.IsNull()) throw TypeMismatch("WebSite_ID is null");
    web_site_ = web_site.ToLong();
    const Variant& name = rs->Field(0);
    if (name.IsNull()) throw TypeMismatch("Usr_Name is null");
    name_ = name.ToText();
    org_id_ = NullToEmpty(rs->Field(3));
    email_ = NullToEmpty(rs->Field(4));
    rs.reset();
    signed_in = true;
    Command("insert into tPtlx_Online (Usr_ID,UsrOnline_LoginTime,UsrOnline_RefreshTime) values (" +
            SqlQuote(pID, "pID") + ",getdate(),getdate())");
    if (upgrade) {
      // The exact match above is the last one: from now on the hash is checked.
      Command("update tPtlx_User set Usr_Password = " + SqlQuote(HashPassword(pPassword)) +
              " where Usr_ID = " + SqlQuote(pID, "pID"));
    }
  });
  return signed_in;
}

void User::Refresh(std::string_view) noexcept {}

}  // namespace ptolix
