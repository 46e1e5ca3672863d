#include "ptolix/site/page.h"

#include "ptolix/frame/sql_text.h"
#include "ptolix/frame/system.h"

namespace ptolix {

void Page::AppendPage(std::string_view pSysID, std::string_view pPage,
                      std::string_view pDescription) noexcept {
  Guard([&] {
    Command("insert into tPtlx_Page (Sys_ID,Page_File,Page_Description) values (" +
            SqlValue(Bare(pSysID, "pSysID")) + "," + SqlQuote(pPage, "pPage") + "," +
            SqlQuote(pDescription, "pDescription") + ")");
  });
}

void Page::ModifyPage(std::string_view pSysID, std::string_view pPage, std::string_view pNewPage,
                      std::string_view pDescription) noexcept {
  Guard([&] {
    Bare(pSysID, "pSysID");
    Command("update tPtlx_Page set Page_File = " + SqlQuote(pNewPage, "pNewPage") +
            ",Page_Description = " + SqlQuote(pDescription, "pDescription") +
            " where Sys_ID = " + SqlValue(pSysID) + " and Page_File = " + SqlQuote(pPage, "pPage"));
  });
}

void Page::DeletePage(std::string_view pSysID, std::string_view pPage) noexcept {
  Guard([&] {
    Command("delete from tPtlx_Page  where Sys_ID = " + SqlValue(Bare(pSysID, "pSysID")) +
            " and Page_File = " + SqlQuote(pPage, "pPage"));
  });
}

ResultArray Page::GetPageList(std::string_view pSysID, std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    return ListQuery("select * from tPtlx_Page where Sys_ID = " + SqlValue(Bare(pSysID, "pSysID")),
                     pCurPage);
  });
}

ResultArray Page::GetPage(std::string_view pSysID, std::string_view pPage) noexcept {
  return Guard<ResultArray>([&] {
    return SingleRow("select * from tPtlx_Page where Sys_ID = " + SqlValue(Bare(pSysID, "pSysID")) +
                     " and Page_File = " + SqlQuote(pPage, "pPage"));
  });
}

void Page::AppendTag(std::string_view pSysID, std::string_view pPage, std::string_view pCode,
                     std::string_view pProgram, std::string_view pDescription) noexcept {
  Guard([&] {
    Command(
        "insert into tPtlx_Tag (Sys_ID,Page_File,Tag_Code,Tag_Program,Tag_Description) values (" +
        SqlValue(Bare(pSysID, "pSysID")) + "," + SqlQuote(pPage, "pPage") + "," +
        SqlQuote(pCode, "pCode") + "," + SqlQuote(pProgram, "pProgram") + "," +
        SqlQuote(pDescription, "pDescription") + ")");
  });
}

void Page::ModifyTag(std::string_view pSysID, std::string_view pPage, std::string_view pCode,
                     std::string_view pNewCode, std::string_view pProgram,
                     std::string_view pDescription) noexcept {
  Guard([&] {
    Bare(pSysID, "pSysID");
    Command("update tPtlx_Tag set Tag_Code = " + SqlQuote(pNewCode, "pNewCode") +
            ", Tag_Program = " + SqlQuote(pProgram, "pProgram") +
            ", Tag_Description = " + SqlQuote(pDescription, "pDescription") +
            " where Sys_ID = " + SqlValue(pSysID) + " and Page_File = " + SqlQuote(pPage, "pPage") +
            " and Tag_Code = " + SqlQuote(pCode, "pCode"));
  });
}

void Page::DeleteTag(std::string_view pSysID, std::string_view pPage,
                     std::string_view pCode) noexcept {
  Guard([&] {
    Command("delete from tPtlx_Tag where Sys_ID = " + SqlValue(Bare(pSysID, "pSysID")) +
            " and Page_File = " + SqlQuote(pPage, "pPage") +
            " and Tag_Code = " + SqlQuote(pCode, "pCode"));
  });
}

ResultArray Page::GetPrivateTagList(std::string_view pSysID, std::string_view pPage,
                                    std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    return ListQuery("select * from tPtlx_Tag where Sys_ID = " + SqlValue(Bare(pSysID, "pSysID")) +
                         " and Page_File = " + SqlQuote(pPage, "pPage"),
                     pCurPage);
  });
}

ResultArray Page::GetTagList(std::string_view pSysID, std::string_view pPage,
                             std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    Bare(pSysID, "pSysID");
    conn();
    // No parameter row: there is no value to read.
    std::optional<std::string> public_page = SystemParameter(connection(), "ABSTRACT_PUBLIC_PAGE");
    if (!public_page) throw NoCurrentRecord();
    return ListQuery("select * from tPtlx_Tag where Sys_ID = " + SqlValue(pSysID) +
                         " and Page_File in (" + SqlQuote(pPage, "pPage") + "," +
                         SqlQuote(*public_page) + ")",
                     pCurPage);
  });
}

ResultArray Page::GetTag(std::string_view pSysID, std::string_view pPage,
                         std::string_view pCode) noexcept {
  return Guard<ResultArray>([&] {
    return SingleRow("select * from tPtlx_Tag where Sys_ID = " + SqlValue(Bare(pSysID, "pSysID")) +
                     " and Page_File = " + SqlQuote(pPage, "pPage") +
                     " and Tag_Code = " + SqlQuote(pCode, "pCode"));
  });
}

ResultArray Page::GetTempletList(std::string_view pSysID, std::string_view pPage,
                                 std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    return ListQuery(
        "select tPtlx_Templet.*,tPtlx_Style.Style_Name from tPtlx_Templet,tPtlx_Style where "
        "tPtlx_Templet.Sys_ID = " +
            SqlValue(Bare(pSysID, "pSysID")) +
            " and tPtlx_Templet.Page_File = " + SqlQuote(pPage, "pPage") +
            " and tPtlx_Templet.Sys_ID = tPtlx_Style.Sys_ID and tPtlx_Templet.Style_ID = "
            "tPtlx_Style.Style_ID",
        pCurPage);
  });
}

}  // namespace ptolix
