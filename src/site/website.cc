#include "ptolix/site/website.h"

#include "db/atomic.h"
#include "frame/guard.h"
#include "value/order_code.h"
#include "value/sql_text.h"

namespace ptolix {

void WebSite::AppendWebSite(std::string_view pName, std::string_view pTitle,
                            std::string_view pDescription, std::string_view pType) noexcept {
  Guard([&] {
    Bare(pType, "pType");
    db::Transaction tx(conn());
    int64_t id = conn().Insert(
        "insert into tPtlx_WebSite (WebSite_Name,WebSite_Title,WebSite_Description,WebSiteType_ID) "
        "values (" +
            SqlQuote(pName, "pName") + "," + SqlQuote(pTitle, "pTitle") + "," +
            SqlQuote(pDescription, "pDescription") + "," + SqlQuote(pType, "pType") + ")",
        "WebSite_ID");
    Command("update tPtlx_WebSite set WebSite_Order = " + SqlQuote(WebSiteOrderCode(id)) +
            " where WebSite_ID = " + std::to_string(id));
    tx.Commit();
  });
}

void WebSite::ModifyWebSite(std::string_view pID, std::string_view pName, std::string_view pTitle,
                            std::string_view pDescription, std::string_view pOrder,
                            std::string_view pType) noexcept {
  Guard([&] {
    Bare(pType, "pType");
    Command("update tPtlx_WebSite set WebSite_Name = " + SqlQuote(pName, "pName") +
            ",WebSite_Title = " + SqlQuote(pTitle, "pTitle") +
            ",WebSite_Description = " + SqlQuote(pDescription, "pDescription") +
            ",WebSite_Order = " + SqlQuote(pOrder, "pOrder") + ",WebSiteType_ID = " +
            SqlQuote(pType, "pType") + " where WebSite_ID = " + std::string(Bare(pID, "pID")));
  });
}

void WebSite::DeleteWebSite(std::string_view pID) noexcept {
  Guard([&] {
    Command("delete from tPtlx_WebSite where WebSite_ID = " + std::string(Bare(pID, "pID")));
  });
}

void WebSite::SetWebSiteLogo(std::string_view pID, std::string_view pLogo) noexcept {
  Guard([&] {
    Command("update tPtlx_WebSite set WebSite_Logo = " + SqlQuote(pLogo, "pLogo") +
            " where WebSite_ID = " + std::string(Bare(pID, "pID")));
  });
}

void WebSite::SetWebSiteStyle(std::string_view pID, std::string_view pSysID,
                              std::string_view pStyleID) noexcept {
  Guard([&] {
    Bare(pID, "pID");
    Command("update tPtlx_WebSite set Sys_ID = " + SqlValue(Bare(pSysID, "pSysID")) +
            ",Style_ID = " + SqlValue(Bare(pStyleID, "pStyleID")) +
            " where WebSite_ID = " + std::string(pID));
  });
}

ResultArray WebSite::GetWebSite(std::string_view pID) noexcept {
  return Guard<ResultArray>([&] {
    return SingleRow(
        "select * from tPtlx_WebSite where WebSite_ID = " + std::string(Bare(pID, "pID")),
        "该站点不存在。");
  });
}

ResultArray WebSite::GetWebSiteListByType(std::string_view pType,
                                          std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    return ListQuery("select * from tPtlx_WebSite where WebSiteType_ID = " +
                         SqlQuote(Bare(pType, "pType")) + " order by WebSite_Order",
                     pCurPage);
  });
}

ResultArray WebSite::GetWebSiteList(int32_t pCurPage) noexcept {
  return Guard<ResultArray>(
      [&] { return ListQuery("select * from tPtlx_WebSite order by WebSite_Order", pCurPage); });
}

}  // namespace ptolix
