#include "ptolix/site/templets.h"

#include "ptolix/frame/sql_text.h"

namespace ptolix {

void TempletMethods::AppendTemplet(std::string_view pSysID, std::string_view pStyleID,
                                   std::string_view pPage, std::string_view pTemplet,
                                   std::string_view pDescription) noexcept {
  Guard([&] {
    Command(
        "insert into tPtlx_Templet (Sys_ID,Style_ID,Page_File,Tmpl_File,Tmpl_Description) values "
        "(" +
        SqlValue(Bare(pSysID, "pSysID")) + "," + SqlValue(Bare(pStyleID, "pStyleID")) + "," +
        SqlQuote(pPage, "pPage") + "," + SqlQuote(pTemplet, "pTemplet") + "," +
        SqlQuote(pDescription, "pDescription") + ")");
  });
}

void TempletMethods::ModifyTemplet(std::string_view pSysID, std::string_view pStyleID,
                                   std::string_view pPage, std::string_view pTemplet,
                                   std::string_view pDescription) noexcept {
  Guard([&] {
    Bare(pSysID, "pSysID");
    Bare(pStyleID, "pStyleID");
    Command("update tPtlx_Templet set Tmpl_File = " + SqlQuote(pTemplet, "pTemplet") +
            ", Tmpl_Description = " + SqlQuote(pDescription, "pDescription") +
            " where Sys_ID = " + SqlValue(pSysID) + " and Style_ID = " + SqlValue(pStyleID) +
            " and Page_File = " + SqlQuote(pPage, "pPage"));
  });
}

void TempletMethods::DeleteTemplet(std::string_view pSysID, std::string_view pStyleID,
                                   std::string_view pPage) noexcept {
  Guard([&] {
    Bare(pSysID, "pSysID");
    Bare(pStyleID, "pStyleID");
    Command("delete from tPtlx_Templet where Sys_ID = " + SqlValue(pSysID) + " and Style_ID = " +
            SqlValue(pStyleID) + " and Page_File = " + SqlQuote(pPage, "pPage"));
  });
}

ResultArray TempletMethods::GetTemplet(std::string_view pSysID, std::string_view pStyle,
                                       std::string_view pPage) noexcept {
  return Guard<ResultArray>([&] {
    Bare(pSysID, "pSysID");
    Bare(pStyle, "pStyle");
    return SingleRow("select * from tPtlx_Templet where Sys_ID = " + SqlValue(pSysID) +
                     " and Style_ID = " + SqlValue(pStyle) +
                     " and Page_File = " + SqlQuote(pPage, "pPage"));
  });
}

}  // namespace ptolix
