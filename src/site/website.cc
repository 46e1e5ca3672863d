#include "ptolix/site/website.h"

#include "frame/order_code.h"
#include "ptolix/frame/sql_text.h"

namespace ptolix {

// The largest identifier whose width-4 segment still has 4 characters.
static constexpr int64_t kLastFourCharacterSite = 3839;

std::string WebSiteOrderCode(int64_t website_id) {
  if (website_id <= kLastFourCharacterSite) return MakeOrderCode(website_id, kWebSiteCodeWidth);
  // "0" sorts before the "1".."F" that start every 4-character code.
  return "0" + PaddedOrderCode(website_id, 8);
}

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
