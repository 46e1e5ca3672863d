// Information items: the lists of editing screens and published pages.

#include <algorithm>
#include <limits>

#include "content/information_sql.h"
#include "content/information_text.h"
#include "db/backend.h"
#include "frame/guard.h"
#include "ptolix/content/information.h"
#include "schema/search_index.h"
#include "schema/states.h"
#include "value/sql_text.h"

namespace ptolix {

namespace {

std::string Num(std::string_view text, std::string_view name) {
  return std::string(Bare(text, name));
}

// The row count of a top-N list: a number; empty text would make the
// statement invalid on SQL Server, so it is refused here on every engine.
std::string TopCount(std::string_view pNum) {
  if (pNum.empty()) throw TypeMismatch("pNum ''");
  return Num(pNum, "pNum");
}

// True when an identifier argument names a number (not empty or blank).
bool Given(std::string_view id) { return id.find_first_of("0123456789") != id.npos; }

// Walking the website's published items in list order passes about
// website / rows entries for each row of a subtree of `rows`; finding the
// subtree's rows by column and sorting them costs about as much as this
// many entries walked, per row (SQLite, 10,000,000 items).
constexpr double kWalkPerSortedRow = 100;

// Whether reaching page `page_text` of a subtree's `rows` published items
// by walking the website's list costs more than sorting the subtree: a deep
// page of a few thousand items spread over millions.
bool SortCheaper(db::Connection& conn, const std::string& sys, const std::string& site,
                 int64_t rows, int32_t page_size, std::string_view page_text) {
  const auto pages = static_cast<int32_t>(
      std::min<int64_t>((rows + page_size - 1) / page_size, std::numeric_limits<int32_t>::max()));
  int32_t page = 1;
  try {
    page = PageNumber(page_text, pages);
  } catch (const std::exception&) {
    return false;  // the list reports the page text
  }
  if (page <= 1) return false;
  const int64_t website = conn.CountForChoice(
      info_sql::KeptItemCount("Sys_ID = " + sys + " and WebSite_ID = " + site + " and " +
                              schema::kPublishedStates + " and Info_IsDeleted = '0'"));
  const double walked = static_cast<double>(page) * page_size * static_cast<double>(website) /
                        static_cast<double>(std::max<int64_t>(rows, 1));
  return walked > kWalkPerSortedRow * static_cast<double>(rows);
}

std::string Head() {
  return std::string("select ") + info_sql::kListColumns + " from tPtlx_Information where";
}

// " WebSite_ID = .. and Sys_ID = .. and Column_ID = .." plus the mode filter.
std::string HomeColumnWhere(std::string_view pWebSite, std::string_view pSysID,
                            std::string_view pColumnID, std::string_view pMode) {
  std::string site = Num(pWebSite, "pWebSite"), sys = Num(pSysID, "pSysID");
  return " WebSite_ID = " + SqlValue(site) + " and Sys_ID = " + SqlValue(sys) +
         " and Column_ID = " + SqlValue(Num(pColumnID, "pColumnID")) + ModeFilter(pMode);
}

}  // namespace

// A list whose number is read from the kept counts: `kept_condition` selects
// the same items as `sql` in terms the kept counts hold. Where an identifier
// in `given` is empty (a null in the statement) the list is counted as
// itself.
ResultArray Information::KeptCountList(const std::string& sql,
                                       std::initializer_list<std::string_view> given,
                                       const std::string& kept_condition,
                                       std::string_view pCurPage) {
  bool all = PageSize() > 0;
  for (std::string_view g : given) all = all && Given(g);
  if (!all) return ListQuery(sql, pCurPage);
  return ListQuery(sql, conn().Count(info_sql::KeptItemCount(kept_condition)), pCurPage);
}

std::string ModeFilter(std::string_view pMode) {
  if (pMode == "Published") return " and " + schema::kPublishedStates;
  if (pMode == "WaitAssess") return " and InfState_ID = 1";
  if (pMode == "NeedReedit") return " and InfState_ID = 2";
  if (pMode == "Canceled") return " and InfState_ID = 3";
  if (pMode == "Editor") return " and InfState_ID in (1,2)";
  return "";
}

namespace info_sql {

namespace {

std::string Subtree(const std::string& sys, const std::string& col) {
  return "(select Column_ID from tPtlx_Column where Sys_ID = " + sys + " and Column_Order like " +
         "(select Column_Order from tPtlx_Column where Sys_ID = " + sys +
         " and Column_ID = " + col + ") + '%'" + " and Column_IsDeleted = '0')";
}

std::string Top(std::string_view top) {
  return top.empty() ? "select " : "select top " + std::string(top) + " ";
}

}  // namespace

std::string PublishedConditionReference(const std::string& sys, const std::string& col,
                                        const std::string& site) {
  return "(Column_ID in " + Subtree(sys, col) + " " + " and Sys_ID = " + sys + "and " +
         schema::kPublishedStates + " and WebSite_ID = " + site + " and Info_IsDeleted = '0')" +
         " or (Info_ID in (select Info_ID from tPtlx_Info2Colu where Sys_ID = " + sys +
         " and Column_ID in " + Subtree(sys, col) + ")" + " and Sys_ID = " + sys + "and " +
         schema::kPublishedStates + " and WebSite_ID = " + site + " and Info_IsDeleted = '0')";
}

// The published condition repeats its system, state, website and deletion
// terms inside both branches of an "or", so no index in Info_Order order can
// serve it and every page sorts the whole subtree. Taken out in front of the
// "or" they select the same rows (a and c or b and c is c and (a or b)), and
// an index on published, live items ordered by Info_Order reads the rows in
// list order; the unary plus keeps engines from answering the "or" through
// the column and identifier indexes followed by a sort. The system
// identifier stays glued to "and" as in PublishedConditionReference, so an
// empty one makes both forms fail alike.
std::string PublishedCondition(const std::string& sys, const std::string& col,
                               const std::string& site) {
  return "Sys_ID = " + sys + "and " + schema::kPublishedStates + " and WebSite_ID = " + site +
         " and Info_IsDeleted = '0'" + " and (+Column_ID in " + Subtree(sys, col) +
         " or +Info_ID in (select Info_ID from tPtlx_Info2Colu where Sys_ID = " + sys +
         " and Column_ID in " + Subtree(sys, col) + "))";
}

// The same condition without the unary plus: a subtree of few items is
// found through the column and identifier indexes and its rows sorted, where
// walking the website's items in order would pass over all of them.
std::string PublishedConditionByColumn(const std::string& sys, const std::string& col,
                                       const std::string& site) {
  return "Sys_ID = " + sys + "and " + schema::kPublishedStates + " and WebSite_ID = " + site +
         " and Info_IsDeleted = '0'" + " and (Column_ID in " + Subtree(sys, col) +
         " or Info_ID in (select Info_ID from tPtlx_Info2Colu where Sys_ID = " + sys +
         " and Column_ID in " + Subtree(sys, col) + "))";
}

// The unary plus on the website keeps the website's ordered index out of
// it: the items are looked up by column, where a busy column has its first
// 2,000 at the start of its range.
std::string PublishedProbe(const std::string& sys, const std::string& col, const std::string& site,
                           int limit) {
  return "select count(*) from (select top " + std::to_string(limit) +
         " Info_ID from tPtlx_Information where Sys_ID = " + sys + "and " +
         schema::kPublishedStates + " and +WebSite_ID = " + site +
         " and Info_IsDeleted = '0' and Column_ID in " + Subtree(sys, col) + ") ptlx_probe";
}

// Ordered by `order`, the engine's order on Info_Order that no index
// delivers where the engine would otherwise walk the website's whole ordered
// index past a small subtree's rows.
std::string PublishedListByColumn(const std::string& sys, const std::string& col,
                                  const std::string& site, std::string_view top,
                                  std::string_view order) {
  return Top(top) + kListColumns + " from tPtlx_Information where " +
         PublishedConditionByColumn(sys, col, site) + " order by " + std::string(order);
}

std::string PublishedCount(const std::string& sys, const std::string& col,
                           const std::string& site) {
  std::string live = "select count(*) from tPtlx_Information where Sys_ID = " + sys + "and " +
                     schema::kPublishedStates + " and WebSite_ID = " + site +
                     " and Info_IsDeleted = '0'";
  // Items homed in the subtree, plus items cross-posted into it that are
  // homed elsewhere (or nowhere), each counted once.
  return "select (" + live + " and Column_ID in " + Subtree(sys, col) + ") + (" + live +
         " and Info_ID in (select Info_ID from tPtlx_Info2Colu where Sys_ID = " + sys +
         " and Column_ID in " + Subtree(sys, col) +
         ") and (Column_ID is null or not Column_ID in " + Subtree(sys, col) + "))";
}

std::string PublishedList(const std::string& sys, const std::string& col, const std::string& site,
                          std::string_view top) {
  return Top(top) + kListColumns + " from tPtlx_Information where " +
         PublishedCondition(sys, col, site) + " order by Info_Order";
}

std::string PublishedListReference(const std::string& sys, const std::string& col,
                                   const std::string& site, std::string_view top) {
  return Top(top) + kListColumns + " from tPtlx_Information where " +
         PublishedConditionReference(sys, col, site) + " order by Info_Order";
}

}  // namespace info_sql

// The subtree's published items of the website homed in it decide the form
// of its lists: below `limit` they are found by column and sorted, from it on
// read in list order (the probe stops counting there).
bool Information::FewPublished(const std::string& sys, const std::string& col,
                               const std::string& site, int limit) {
  return conn().CountForChoice(info_sql::PublishedProbe(sys, col, site, limit)) < limit;
}

ResultArray Information::GetInfoList(std::string_view pWebSite, std::string_view pSysID,
                                     std::string_view pColumnID, std::string_view pMode,
                                     std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    std::string where = HomeColumnWhere(pWebSite, pSysID, pColumnID, pMode);
    return KeptCountList(Head() + where + " and Info_IsDeleted = '0' order by Info_Order",
                         {pWebSite, pSysID, pColumnID}, where + " and Info_IsDeleted = '0'",
                         pCurPage);
  });
}

ResultArray Information::SearchInfoList(std::string_view pWebSite, std::string_view pSysID,
                                        std::string_view pColumnID, std::string_view pMode,
                                        std::string_view pTitle, std::string_view pContent,
                                        std::string_view pType, std::string_view pStartDate,
                                        std::string_view pEndDate,
                                        std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    std::string where = HomeColumnWhere(pWebSite, pSysID, pColumnID, pMode);
    std::string type = Num(pType, "pType");
    std::string start = CallerDate(pStartDate, "pStartDate");
    std::string end = CallerDate(pEndDate, "pEndDate");
    // Without a filter of its own the search is the column's list.
    const bool filtered =
        !pTitle.empty() || !pContent.empty() || !type.empty() || (!start.empty() && !end.empty());
    if (!filtered) {
      return KeptCountList(Head() + where + " and Info_IsDeleted = '0' order by Info_Order",
                           {pWebSite, pSysID, pColumnID}, where + " and Info_IsDeleted = '0'",
                           pCurPage);
    }
    // Search texts match literally; letter case is ignored by every engine's
    // like as the connection runs it.
    std::vector<db::SubstringTerm> terms;
    std::string likes;
    if (!pTitle.empty()) {
      terms.push_back({"Info_Title", std::string(pTitle)});
      likes += " and Info_Title like '%" + LikeLiteral(pTitle, "pTitle") + "%' escape '\\'";
    }
    if (!pContent.empty()) {
      terms.push_back({"Info_Content", std::string(pContent)});
      likes += " and Info_Content like '%" + LikeLiteral(pContent, "pContent") + "%' escape '\\'";
    }
    std::string rest;
    if (!type.empty()) rest += " and InfType_ID = " + type;
    if (!start.empty() && !end.empty()) {
      rest +=
          " and Info_SystemTime >= " + SqlQuote(start) + " and info_SystemTime <= " + SqlQuote(end);
    }
    rest += " and Info_IsDeleted = '0'";
    // The text index keeps its rows by column. With every state listed, the
    // whole condition names only what the index copies, and it counts the
    // matches alone; a state is checked on the items (HomeColumnWhere opens
    // with a blank; the likes, dearer than the rest, are checked last).
    db::SubstringSearch search{terms, Num(pColumnID, "pColumnID"), ""};
    if (ModeFilter(pMode).empty()) search.condition = where.substr(1) + rest + likes;
    std::string candidates = TextIndexCondition(conn(), search);
    db::SubstringTally tally = TextIndexCount(conn(), search);
    if (candidates.empty() || tally.keys.empty() || PageSize() <= 0 || !Given(pWebSite) ||
        !Given(pSysID)) {
      return SearchList(where.substr(1), likes, rest, candidates, "Info_Order", pCurPage,
                        db::Connection::Paging::kPlain);
    }
    return IndexCountedSearch(where, likes, rest, search, tally, pCurPage);
  });
}

// A column's search that the text index can count. The index's matches are
// read once and kept while the index stays, so they are asked for even in a
// column of a few rows. The list is walked in order to the page's last
// match, about (last row) x (column's rows) / count rows of it. Matching
// each costs about what reading a match's copies from the index costs, so
// a walk shorter than the count matches the rows themselves. Else the keys
// counted, where they were few enough to list, are the page's candidates,
// read by key; without them a walk of up to kEntriesPerRow entries per
// match checks each row against all the index's keys (their copies unread),
// and a longer one reads the rows meeting the condition by key and sorts
// them.
ResultArray Information::IndexCountedSearch(const std::string& where, const std::string& likes,
                                            const std::string& rest,
                                            const db::SubstringSearch& search,
                                            const db::SubstringTally& tally,
                                            std::string_view pCurPage) {
  const auto plain = db::Connection::Paging::kPlain;
  const std::string matched = Head() + where + likes + rest + " order by Info_Order";
  int64_t rows =
      conn().CountForChoice(info_sql::KeptItemCount(where + " and Info_IsDeleted = '0'"));
  constexpr int64_t kEntriesPerRow = 16;  // index entries walked for one row read by key
  const auto& engine = db::EngineOf(conn());
  const auto& index = schema::InfoTextIndex();
  // A page from listed keys is of the index they were read from: where the
  // index was brought up to date meanwhile, count and page are taken again.
  for (int attempt = 1;; ++attempt) {
    db::IndexedCount found = db::CountThroughIndex(conn(), tally);
    int64_t count = found.count;
    int64_t walked =
        LastRowOfPage(count, PageSize(), pCurPage) * rows / std::max<int64_t>(count, 1);
    if (walked < count) return ListQuery(matched, count, pCurPage, plain);
    // Listed keys are few: reading their rows costs less than a walk whose
    // length is only guessed (matches need not be spread evenly).
    bool in_order = !found.keys && walked < kEntriesPerRow * count;
    std::string keys;
    if (found.keys) {
      // One in-list (the listed keys, read by key to keep it so): the rows
      // are then read by key, where two or-ed lists would walk the column.
      keys = "Info_ID in (select Info_ID from tPtlx_Information where Info_ID in (" + *found.keys +
             ") union " + tally.others + ")";
    } else {
      // In list order the keys only check the rows walked: no index of them.
      keys = (in_order ? "+" : "") +
             engine.SubstringCandidates(
                 index, in_order ? db::SubstringSearch{search.terms, search.cluster, ""} : search);
    }
    ResultArray page =
        ListQuery(Head() + where + " and " + keys + likes + rest + " order by " +
                      (in_order ? "Info_Order" : engine.UnindexedOrder("Info_Order")),
                  count, pCurPage, plain);
    if (!found.keys || attempt == 3 || db::IndexUnchanged(conn(), tally, found)) return page;
  }
}

ResultArray Information::GetInfoList1(std::string_view pSysID, std::string_view pColumnID,
                                      std::string_view pSysID1, std::string_view pColumnID1,
                                      std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    std::string sys = Num(pSysID, "pSysID"), col = Num(pColumnID, "pColumnID");
    std::string sys1 = Num(pSysID1, "pSysID1"), col1 = Num(pColumnID1, "pColumnID1");
    std::string sql =
        std::string("select ") + info_sql::kListColumns +
        " from tPtlx_Information where Sys_ID = " + SqlValue(sys) +
        " and Column_ID = " + SqlValue(col) +
        " and Info_ID in (select Info_ID from tPtlx_Info2Colu where Sys_ID = " + SqlValue(sys1) +
        " and Column_ID = " + SqlValue(col1) + ")" + " and Info_IsDeleted = '0'" +
        " order by Info_Order";
    const auto keys_first = db::Connection::Paging::kKeysFirst;
    if (PageSize() <= 0 || !Given(sys) || !Given(col) || !Given(sys1) || !Given(col1))
      return ListQuery(sql, pCurPage, keys_first);
    return ListQuery(sql,
                     conn().CountKept(info_sql::KeptCrossPostedCount(sys, col, sys1, col1),
                                      "select " + SqlValue(col1)),
                     pCurPage, keys_first);
  });
}

ResultArray Information::GetPublishedInfoList(std::string_view pWebSite, std::string_view pSysID,
                                              std::string_view pColumnID,
                                              std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    std::string site = Num(pWebSite, "pWebSite"), sys = Num(pSysID, "pSysID");
    std::string col = Num(pColumnID, "pColumnID");
    std::string s = SqlValue(sys), c = SqlValue(col), w = SqlValue(site);
    const std::string order = db::EngineOf(conn()).UnindexedOrder("Info_Order");
    auto list = [&](bool few) {
      return few ? info_sql::PublishedListByColumn(s, c, w, {}, order)
                 : info_sql::PublishedList(s, c, w);
    };
    if (PageSize() <= 0) return ListQuery(list(FewPublished(s, c, w, info_sql::kSortedRows)), "");
    // The count the pager needs comes first: a list of fewer rows in all has
    // fewer homed in the subtree too, and needs no probe.
    int64_t rows = Given(sys) && Given(col) && Given(site)
                       ? conn().CountKept(info_sql::KeptPublishedCount(s, c, w),
                                          info_sql::KeptPublishedColumns(s, c))
                       : conn().Count(info_sql::PublishedCount(s, c, w));
    bool few = rows < info_sql::kSortedRows || FewPublished(s, c, w, info_sql::kSortedRows) ||
               SortCheaper(conn(), s, w, rows, PageSize(), pCurPage);
    return ListQuery(list(few), rows, pCurPage);
  });
}

ResultArray Information::GetTopNPublishedInfoList(std::string_view pWebSite,
                                                  std::string_view pSysID,
                                                  std::string_view pColumnID,
                                                  std::string_view pNum) noexcept {
  return Guard<ResultArray>([&] {
    std::string site = Num(pWebSite, "pWebSite"), sys = Num(pSysID, "pSysID");
    std::string col = Num(pColumnID, "pColumnID"), num = TopCount(pNum);
    std::string s = SqlValue(sys), c = SqlValue(col), w = SqlValue(site);
    const std::string order = db::EngineOf(conn()).UnindexedOrder("Info_Order");
    return UnpagedList(FewPublished(s, c, w, info_sql::TopProbeRows(num))
                           ? info_sql::PublishedListByColumn(s, c, w, num, order)
                           : info_sql::PublishedList(s, c, w, num));
  });
}

ResultArray Information::GetTopNPictureInfoList(std::string_view pWebSite, std::string_view pSysID,
                                                std::string_view pNum) noexcept {
  return Guard<ResultArray>([&] {
    std::string site = Num(pWebSite, "pWebSite"), sys = Num(pSysID, "pSysID"), num = TopCount(pNum);
    return UnpagedList("select top " + num + " " + info_sql::kListColumns +
                       " from tPtlx_Information where" + " Sys_ID = " + SqlValue(sys) + "and " +
                       schema::kPublishedStates + " and WebSite_ID = " + SqlValue(site) +
                       " and Info_IsDeleted = '0'" + " and Info_ImageCount>0" +
                       " order by Info_Order");
  });
}

}  // namespace ptolix
