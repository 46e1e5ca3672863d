#include "ptolix/records/link.h"

#include "db/atomic.h"
#include "db/kept_counts.h"
#include "frame/counters.h"
#include "frame/guard.h"
#include "value/order_code.h"
#include "value/sql_text.h"

namespace ptolix {

namespace {

// "where LinkClass_ID = <class> and Link_ID = <number>", an empty argument
// being null (and so matching no row).
std::string LinkKey(std::string_view pClassID, std::string_view pID) {
  return "where LinkClass_ID = " + SqlValue(Bare(pClassID, "pClassID")) +
         " and Link_ID = " + SqlValue(Bare(pID, "pID"));
}

}  // namespace

void Link::AppendLinkClass(std::string_view pNameCh, std::string_view pNameEn) noexcept {
  Guard([&] {
    Command("insert into tLink_Class (LinkClass_ChineseName,LinkClass_EnglishName) values (" +
            SqlQuote(pNameCh, "pNameCh") + "," + SqlQuote(pNameEn, "pNameEn") + ")");
  });
}

void Link::ModifyLinkClass(std::string_view pID, std::string_view pNameCh,
                           std::string_view pNameEn) noexcept {
  Guard([&] {
    std::string id = Bare(pID, "pID");
    Command("update tLink_Class set LinkClass_ChineseName = " + SqlQuote(pNameCh, "pNameCh") +
            ",LinkClass_EnglishName = " + SqlQuote(pNameEn, "pNameEn") +
            " where LinkClass_ID = " + id);
  });
}

void Link::DeleteLinkClass(std::string_view pID) noexcept {
  Guard([&] { Command("delete from tLink_Class where LinkClass_ID = " + Bare(pID, "pID")); });
}

ResultArray Link::GetLinkClass(std::string_view pID) noexcept {
  return Guard<ResultArray>([&] {
    return SingleRow("select * from tLink_Class where LinkClass_ID = " + Bare(pID, "pID"),
                     "链接分类不存在。");
  });
}

ResultArray Link::GetLinkClassList() noexcept {
  return Guard<ResultArray>([&] { return UnpagedList("select * from tLink_Class"); });
}

void Link::AppendLink(std::string_view pClassID, std::string_view pTitle,
                      std::string_view pDescription, std::string_view pUrl, std::string_view pImage,
                      std::string_view pWidth, std::string_view pHeight,
                      std::string_view pEndDate) noexcept {
  Guard([&] {
    // Everything the insert needs is checked before a number is taken.
    std::string class_id = SqlValue(Bare(pClassID, "pClassID"));
    std::string width = SqlValue(Bare(pWidth, "pWidth"));
    std::string height = SqlValue(Bare(pHeight, "pHeight"));
    std::string end_date = SqlQuote(CallerDate(pEndDate, "pEndDate"));
    db::Connection& db = conn();

    // The number and the row are one change: a failed insert gives the
    // number back, so a class's numbers have no gaps from failures.
    db::Transaction tx(db);
    int32_t number = NextEncodeValue("tLink_Detail", "Link_ID", pClassID, &db, errors());
    if (number == 0) return;  // the counter has recorded why
    // Six characters sort newest first up to number 983039; a shorter or
    // longer code would put the link out of order, so the class is full.
    std::string order = MakeOrderCode(number, kLinkCodeWidth);
    if (order.size() != kLinkCodeWidth) {
      throw Overflow("link number " + std::to_string(number) +
                     " does not fit a 6-character order code");
    }
    db.ExecuteCommand(
        "insert into tLink_Detail "
        "(LinkClass_ID,Link_ID,Link_Title,Link_Description,Link_Url,Link_Image,"
        "Link_ImageWidth,Link_ImageHeight,Link_EndDate,Link_Order) values (" +
        class_id + "," + std::to_string(number) + "," + SqlQuote(pTitle, "pTitle") + "," +
        SqlQuote(pDescription, "pDescription") + "," + SqlQuote(pUrl, "pUrl") + "," +
        SqlQuote(pImage, "pImage") + "," + width + "," + height + "," + end_date + "," +
        SqlQuote(order) + ")");
    tx.Commit();
  });
}

void Link::ModifyLink(std::string_view pClassID, std::string_view pID, std::string_view pTitle,
                      std::string_view pDescription, std::string_view pUrl, std::string_view pImage,
                      std::string_view pWidth, std::string_view pHeight,
                      std::string_view pEndDate) noexcept {
  Guard([&] {
    std::string width = SqlValue(Bare(pWidth, "pWidth"));
    std::string height = SqlValue(Bare(pHeight, "pHeight"));
    std::string end_date = SqlQuote(CallerDate(pEndDate, "pEndDate"));
    std::string key = LinkKey(pClassID, pID);
    Command("update tLink_Detail set Link_Title = " + SqlQuote(pTitle, "pTitle") +
            ",Link_Description = " + SqlQuote(pDescription, "pDescription") +
            ",Link_Url = " + SqlQuote(pUrl, "pUrl") +
            ",Link_Image = " + SqlQuote(pImage, "pImage") + ",Link_ImageWidth = " + width +
            ",Link_ImageHeight = " + height + ",Link_EndDate = " + end_date + " " + key);
  });
}

void Link::DeleteLink(std::string_view pClassID, std::string_view pID) noexcept {
  Guard([&] { Command("delete from tLink_Detail " + LinkKey(pClassID, pID)); });
}

ResultArray Link::GetLink(std::string_view pClassID, std::string_view pID) noexcept {
  return Guard<ResultArray>([&] {
    return SingleRow(
        "select * from tLink_Detail " + LinkKey(pClassID, pID),
        "链接分类'" + std::string(pClassID) + "'下不存在链接'" + std::string(pID) + "'。");
  });
}

ResultArray Link::GetClassLinkList(std::string_view pClassID, std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    const std::string id = SqlValue(Bare(pClassID, "pClassID"));
    const std::string sql =
        "select * from tLink_Detail where LinkClass_ID = " + id + " order by Link_Order";
    if (PageSize() <= 0) return ListQuery(sql, pCurPage);
    return ListQuery(sql, conn().Count(db::kept::RowsWithKey(db::kept::kClassLinks, id)), pCurPage);
  });
}

ResultArray Link::GetLinkList(int32_t pCurPage) noexcept {
  return Guard<ResultArray>([&] { return ListQuery("select * from tLink_Detail", pCurPage); });
}

}  // namespace ptolix
