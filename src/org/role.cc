#include "ptolix/org/role.h"

#include "db/atomic.h"
#include "db/kept_counts.h"
#include "frame/guard.h"
#include "org/role_sql.h"
#include "value/order_code.h"
#include "value/sql_text.h"

namespace ptolix {

void AppendAncestorCodes(std::string& list, std::string_view code, size_t threshold) {
  // Candidates shrink by 2 characters; only those whose length is a whole
  // number of segments can match a stored code, the others match nothing.
  for (size_t len = code.size(); len >= threshold && len > 0; len = len >= 2 ? len - 2 : 0) {
    list += SqlQuote(code.substr(0, len));
    list += ',';
  }
}

std::string CloseCodeList(std::string list) {
  if (list.empty()) throw InvalidCall("no order code to look for");
  list.pop_back();
  return list;
}

std::string UsersUnderRoleCondition(std::string_view role) {
  std::string subtree =
      "(select Role_ID from tPtlx_Role where Role_Order like (select Role_Order from "
      "tPtlx_Role where Role_ID = " +
      std::string(role) + ") + '%')";
  return "Role_ID in " + subtree +
         " or Usr_ID in (select Usr_ID from tPtlx_Usr2Role where Role_ID in " + subtree + ")";
}

void AddAdditionalRole(db::Connection& conn, std::string& errors, std::string_view role,
                       std::string_view user, std::string_view user_arg) {
  std::string condition = UsersUnderRoleCondition(SqlValue(role));
  auto rs = conn.Execute("select * from (select Usr_ID from tPtlx_User where " + condition +
                         ") Users where Usr_ID = " + SqlQuote(user, user_arg));
  if (!rs->IsEof()) {
    SetError(errors, "用户已经拥有该角色的身份，加入到角色失败。");
    return;
  }
  conn.ExecuteCommand("insert into tPtlx_Usr2Role (Role_ID,Usr_ID) values (" + SqlValue(role) +
                      "," + SqlQuote(user, user_arg) + ")");
}

namespace {

// Ancestor lists of roles and columns take candidates down to 4 characters.
constexpr size_t kAncestorThreshold = 4;

// pWebSiteID "1" is the administrators' switch: no website condition.
std::string WebSiteCondition(std::string_view web_site) {
  if (web_site == "1") return "";
  return " and WebSite_ID = " + SqlValue(web_site);
}

// A number argument as the stored value: empty stays empty (null).
std::string NumberOrEmpty(std::string_view text, std::string_view name) {
  if (text.empty()) return "";
  return std::to_string(ParseLong(Bare(text, name)));
}

// The order code of role `id` (SqlValue form), empty when there is none.
std::string RoleCode(db::Connection& conn, std::string_view id) {
  auto rs = conn.Execute("select Role_Order from tPtlx_Role where Role_ID = " + SqlValue(id));
  return rs->IsEof() ? "" : NullToEmpty(rs->Field(0));
}

}  // namespace

int32_t Role::AppendRole(std::string_view pName, std::string_view pDescription,
                         std::string_view pFather, std::string_view pWebSite) noexcept {
  return Guard<int32_t>([&] {
    std::string father = NumberOrEmpty(pFather, "pFather");
    std::string web_site = NumberOrEmpty(pWebSite, "pWebSite");
    std::string name = SqlQuote(pName, "pName");
    std::string description = SqlQuote(pDescription, "pDescription");
    return db::RunAtomic(conn(), {db::locks::kRoleTree}, [&] {
      std::string father_code;
      {
        auto rs = conn().Execute("select * from tPtlx_Role where Role_ID = " + SqlValue(father));
        if (!rs->IsEof()) father_code = NullToEmpty(rs->Field("Role_Order"));
      }
      int64_t id = conn().Insert(
          "insert into tPtlx_Role (Role_Name,Role_Description,Role_Father,WebSite_ID) values (" +
              name + "," + description + "," + SqlValue(father) + "," + SqlValue(web_site) + ")",
          "Role_ID");
      // Throws Overflow above 4095; the transaction then takes the row back.
      std::string code = father_code + PaddedOrderCode(id, kRoleCodeWidth);
      Command("update tPtlx_Role set Role_Order = " + SqlQuote(code) +
              " where Role_ID = " + std::to_string(id));
      return static_cast<int32_t>(id);
    });
  });
}

void Role::ModifyRole(std::string_view pID, std::string_view pName, std::string_view pDescription,
                      std::string_view pOrder, std::string_view pFather,
                      std::string_view pWebSiteID) noexcept {
  Guard([&] {
    Command("update tPtlx_Role set Role_Name = " + SqlQuote(pName, "pName") +
            ",Role_Description = " + SqlQuote(pDescription, "pDescription") + ",Role_Order = " +
            SqlQuote(pOrder, "pOrder") + ",Role_Father = " + SqlValue(Bare(pFather, "pFather")) +
            " where Role_ID = " + std::string(Bare(pID, "pID")) +
            WebSiteCondition(Bare(pWebSiteID, "pWebSiteID")));
  });
}

void Role::DeleteRole(std::string_view pID, std::string_view pWebSiteID) noexcept {
  Guard([&] {
    Command("delete from tPtlx_Role where Role_ID = " + std::string(Bare(pID, "pID")) +
            WebSiteCondition(Bare(pWebSiteID, "pWebSiteID")));
  });
}

ResultArray Role::GetRole(std::string_view pID) noexcept {
  return Guard<ResultArray>([&] {
    return SingleRow("select * from tPtlx_Role where Role_ID = " + std::string(Bare(pID, "pID")),
                     "该角色不存在。");
  });
}

ResultArray Role::GetFatherRole(std::string_view pID) noexcept {
  return Guard<ResultArray>([&] {
    return SingleRow(
        "select * from tPtlx_Role where Role_ID = (select Role_Father from tPtlx_Role where "
        "Role_ID = " +
            std::string(Bare(pID, "pID")) + ")",
        "该角色没有父角色。");
  });
}

ResultArray Role::GetFatherRoleList(std::string_view pID) noexcept {
  return Guard<ResultArray>([&] {
    std::string list;
    AppendAncestorCodes(list, RoleCode(conn(), Bare(pID, "pID")), kAncestorThreshold);
    return UnpagedList("select * from tPtlx_Role where Role_Order in (" +
                       CloseCodeList(std::move(list)) + ") order by Role_Order");
  });
}

ResultArray Role::GetChildrenRoleList(std::string_view pID, std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    std::string id = SqlValue(Bare(pID, "pID"));
    return ListQuery(
        "select * from tPtlx_Role where Role_ID <> " + id +
            " and Role_Order like (select Role_Order from tPtlx_Role where Role_ID = " + id +
            ") + '%' order by Role_Order",
        pCurPage);
  });
}

ResultArray Role::GetRoleList(std::string_view pWebSite, int32_t pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    return ListQuery("select * from tPtlx_Role where WebSite_ID is null or WebSite_ID = " +
                         SqlValue(Bare(pWebSite, "pWebSite")) + " order by Role_Order",
                     pCurPage);
  });
}

ResultArray Role::GetDirectUserList(std::string_view pID, std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    const std::string id = SqlValue(Bare(pID, "pID"));
    const std::string sql = "select * from tPtlx_User where Role_ID = " + id;
    if (PageSize() <= 0) return ListQuery(sql, pCurPage);
    return ListQuery(sql, conn().Count(db::kept::RowsWithKey(db::kept::kRoleUsers, id)), pCurPage);
  });
}

ResultArray Role::GetUserList(std::string_view pID, std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    return ListQuery("select * from tPtlx_User where " + UsersUnderRoleCondition(Bare(pID, "pID")),
                     pCurPage);
  });
}

void Role::AddUser(std::string_view pID, std::string_view pUsrID) noexcept {
  Guard([&] { AddAdditionalRole(conn(), errors(), Bare(pID, "pID"), pUsrID, "pUsrID"); });
}

ResultArray Role::GetColumnList(std::string_view pID, std::string_view SysID,
                                std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    std::string sys = SqlValue(Bare(SysID, "SysID"));
    std::string roles;
    AppendAncestorCodes(roles, RoleCode(conn(), Bare(pID, "pID")), kAncestorThreshold);
    std::string columns;
    {
      auto rs = conn().Execute(
          "select Column_Order from tPtlx_Column where Sys_ID = " + sys +
          " and Column_ID in (select Column_ID from tPtlx_RoleAccess where Sys_ID = " + sys +
          " and Role_ID in (select Role_ID from tPtlx_Role where Role_Order in (" +
          CloseCodeList(std::move(roles)) + ")))");
      for (; !rs->IsEof(); rs->MoveNext())
        AppendAncestorCodes(columns, NullToEmpty(rs->Field(0)), kAncestorThreshold);
    }
    return ListQuery("select * from tPtlx_Column where Column_Order in (" +
                         CloseCodeList(std::move(columns)) + ") order by Column_Order",
                     pCurPage);
  });
}

}  // namespace ptolix
