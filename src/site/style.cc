#include "ptolix/site/style.h"

#include "ptolix/frame/sql_text.h"

namespace ptolix {

void Style::AppendStyle(std::string_view pSysID, std::string_view pName,
                        std::string_view pDescription) noexcept {
  Guard([&] {
    Command("insert into tPtlx_Style (Sys_ID,Style_Name,Style_Description) values (" +
            SqlValue(Bare(pSysID, "pSysID")) + "," + SqlQuote(pName, "pName") + "," +
            SqlQuote(pDescription, "pDescription") + ")");
  });
}

void Style::ModifyStyle(std::string_view pSysID, std::string_view pID, std::string_view pName,
                        std::string_view pDescription) noexcept {
  Guard([&] {
    Bare(pSysID, "pSysID");
    Bare(pID, "pID");
    Command("update tPtlx_Style set Style_Name = " + SqlQuote(pName, "pName") +
            ",Style_Description = " + SqlQuote(pDescription, "pDescription") +
            " where Sys_ID = " + SqlValue(pSysID) + " and Style_ID = " + SqlValue(pID));
  });
}

void Style::DeleteStyle(std::string_view pSysID, std::string_view pID) noexcept {
  Guard([&] {
    Bare(pSysID, "pSysID");
    Bare(pID, "pID");
    Command("update tPtlx_Style set Style_IsDeleted = '1' where Sys_ID = " + SqlValue(pSysID) +
            " and Style_ID = " + SqlValue(pID));
  });
}

void Style::PhysicalDeleteStyle(std::string_view pSysID, std::string_view pID) noexcept {
  Guard([&] {
    Bare(pSysID, "pSysID");
    Bare(pID, "pID");
    // The system sends these as one batch; the database layer takes one
    // statement at a time, so they run in one transaction instead.
    std::string where = " where Sys_ID = " + SqlValue(pSysID) + " and Style_ID = " + SqlValue(pID);
    db::Transaction tx(conn());
    Command("delete from tPtlx_Templet " + where);
    Command("delete from tPtlx_Style " + where);
    tx.Commit();
  });
}

ResultArray Style::GetStyleList(std::string_view pSysID, std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    return ListQuery("select * from tPtlx_Style where Sys_ID = " +
                         SqlValue(Bare(pSysID, "pSysID")) + " and Style_IsDeleted = '0'",
                     pCurPage);
  });
}

ResultArray Style::GetStyle(std::string_view pSysID, std::string_view pID) noexcept {
  return Guard<ResultArray>([&] {
    Bare(pSysID, "pSysID");
    Bare(pID, "pID");
    return SingleRow("select * from tPtlx_Style where Sys_ID = " + SqlValue(pSysID) +
                     " and Style_ID = " + SqlValue(pID));
  });
}

ResultArray Style::GetTempletList(std::string_view pSysID, std::string_view pStyleID,
                                  std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    Bare(pSysID, "pSysID");
    Bare(pStyleID, "pStyleID");
    return ListQuery(
        "select tPtlx_Templet.*,tPtlx_Page.Page_Description from tPtlx_Templet,tPtlx_Page where "
        "tPtlx_Templet.Sys_ID = " +
            SqlValue(pSysID) + " and tPtlx_Templet.Style_ID = " + SqlValue(pStyleID) +
            " and tPtlx_Templet.Sys_ID = tPtlx_Page.Sys_ID and tPtlx_Templet.Page_File = "
            "tPtlx_Page.Page_File",
        pCurPage);
  });
}

}  // namespace ptolix
