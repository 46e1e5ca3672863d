#include <string>

#include "ptolix/content/column.h"
#include "ptolix/frame/sql_text.h"

namespace ptolix {

void Column::AddRoleAccess(std::string_view pSysID, std::string_view pID, std::string_view pRoleID,
                           std::string_view pAccess) noexcept {
  Guard([&] {
    Command("insert into tPtlx_RoleAccess (Sys_ID,Column_ID,Role_ID,AccessType_ID)" +
            std::string(" values (") + SqlValue(Bare(pSysID, "pSysID")) + "," +
            SqlValue(Bare(pID, "pID")) + "," + SqlValue(Bare(pRoleID, "pRoleID")) + "," +
            SqlValue(Bare(pAccess, "pAccess")) + ")");
  });
}

void Column::ModifyRoleAccess(std::string_view pSysID, std::string_view pID,
                              std::string_view pRoleID, std::string_view pAccess) noexcept {
  Guard([&] {
    Command("update tPtlx_RoleAccess" + std::string(" set AccessType_ID = ") +
            SqlValue(Bare(pAccess, "pAccess")) + " where Sys_ID = " +
            SqlValue(Bare(pSysID, "pSysID")) + " and Column_ID = " + SqlValue(Bare(pID, "pID")) +
            " and Role_ID = " + SqlValue(Bare(pRoleID, "pRoleID")));
  });
}

void Column::DeleteRoleAccess(std::string_view pSysID, std::string_view pID,
                              std::string_view pRoleID) noexcept {
  Guard([&] {
    Command("delete from tPtlx_RoleAccess where " + std::string("Sys_ID = ") +
            SqlValue(Bare(pSysID, "pSysID")) + " and Column_ID = " + SqlValue(Bare(pID, "pID")) +
            " and Role_ID = " + SqlValue(Bare(pRoleID, "pRoleID")));
  });
}

ResultArray Column::GetDirectRoleList(std::string_view pSysID, std::string_view pID,
                                      std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    return ListQuery(
        "select tPtlx_Role.Role_ID,Role_Name,tPtlx_RoleAccess.AccessType_ID from "
        "tPtlx_Role,tPtlx_RoleAccess where" +
            std::string(" Sys_ID = ") + SqlValue(Bare(pSysID, "pSysID")) + " and Column_ID = " +
            SqlValue(Bare(pID, "pID")) + " and tPtlx_Role.Role_ID = tPtlx_RoleAccess.Role_ID",
        pCurPage);
  });
}

ResultArray Column::GetAllRoleList(std::string_view pSysID, std::string_view pID,
                                   std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    std::string sys = SqlValue(Bare(pSysID, "pSysID"));
    // The codes of the roles granted on the column or on a column below it.
    auto rs = conn().Execute("select Role_Order from tPtlx_Role where Role_ID in " +
                             std::string("(select Role_ID from tPtlx_RoleAccess where Sys_ID = ") +
                             sys + " and Column_ID in " +
                             "(select Column_ID from tPtlx_Column where Column_Order like " +
                             "(select Column_Order from tPtlx_Column where Sys_ID = " + sys +
                             " and Column_ID = " + SqlValue(Bare(pID, "pID")) + ") + '%'))");
    // Each granted role with its subtree. A role without a code has no
    // subtree to select (an empty code would match every role).
    std::string condition;
    for (; !rs->IsEof(); rs->MoveNext()) {
      std::string code = NullToEmpty(rs->Field("Role_Order"));
      if (code.empty()) continue;
      condition += "Role_Order like " + SqlQuote(code + "%") + " or ";
    }
    rs.reset();
    return ListQuery("select * from tPtlx_Role where " + condition + "1=2", pCurPage);
  });
}

ResultArray Column::GetDirectUserList(std::string_view pSysID, std::string_view pID,
                                      std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    return ListQuery(
        "select tPtlx_User.Usr_ID,Usr_Name,tPtlx_UsrAccess.AccessType_ID from "
        "tPtlx_User,tPtlx_UsrAccess where " +
            std::string(" Sys_ID = ") + SqlValue(Bare(pSysID, "pSysID")) + " and Column_ID = " +
            SqlValue(Bare(pID, "pID")) + " and tPtlx_User.Usr_ID = tPtlx_UsrAccess.Usr_ID",
        pCurPage);
  });
}

void Column::AddUsrAccess(std::string_view pSysID, std::string_view pID, std::string_view pUsrID,
                          std::string_view pAccess) noexcept {
  Guard([&] {
    Command("insert into tPtlx_UsrAccess (Sys_ID,Column_ID,Usr_ID,AccessType_ID)" +
            std::string(" values (") + SqlValue(Bare(pSysID, "pSysID")) + "," +
            SqlValue(Bare(pID, "pID")) + "," + SqlQuote(pUsrID, "pUsrID") + "," +
            SqlValue(Bare(pAccess, "pAccess")) + ")");
  });
}

void Column::ModifyUsrAccess(std::string_view pSysID, std::string_view pID, std::string_view pUsrID,
                             std::string_view pAccess) noexcept {
  Guard([&] {
    Command("update tPtlx_UsrAccess" + std::string(" set AccessType_ID = ") +
            SqlValue(Bare(pAccess, "pAccess")) + " where Sys_ID = " +
            SqlValue(Bare(pSysID, "pSysID")) + " and Column_ID = " + SqlValue(Bare(pID, "pID")) +
            " and Usr_ID = " + SqlQuote(pUsrID, "pUsrID"));
  });
}

void Column::DeleteUsrAccess(std::string_view pSysID, std::string_view pID,
                             std::string_view pUsrID) noexcept {
  Guard([&] {
    Command("delete from tPtlx_UsrAccess where " + std::string("Sys_ID = ") +
            SqlValue(Bare(pSysID, "pSysID")) + " and Column_ID = " + SqlValue(Bare(pID, "pID")) +
            " and Usr_ID = " + SqlQuote(pUsrID, "pUsrID"));
  });
}

}  // namespace ptolix
