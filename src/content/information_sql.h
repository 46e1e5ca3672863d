#pragma once

// Statement texts of the Information lists, shared with the tests and the
// benchmarks that compare the statement sent with the one it stands for.

#include <cstdlib>
#include <string>
#include <string_view>

namespace ptolix::info_sql {

// The fields every list selects, the content replaced by a constant.
inline constexpr char kListColumns[] =
    "Info_ID,InfState_ID,InfType_ID,Sys_ID,Info_Father,Column_ID,Info_PublicUsr,Info_AssessUsr,"
    "Info_Title,"
    "'[Content]',Info_PublicDate,Info_SystemTime,Info_EndDate,Info_AssessTime,Info_Url,Info_Order,"
    "Info_IsDeleted,WebSite_ID";

// The published-items condition with its terms inside both branches of the
// "or" (the reference the sent forms are tested against): an item of the
// system and website, published and live, homed in a live column of the subtree of
// `col`, or cross-posted into one. `sys`, `col` and `site` are SQL values.
std::string PublishedConditionReference(const std::string& sys, const std::string& col,
                                        const std::string& site);

// The same rows, written so that an index on published, live items in
// Info_Order order serves it (the one the library sends).
std::string PublishedCondition(const std::string& sys, const std::string& col,
                               const std::string& site);

// The same rows again, found through the column and identifier indexes and
// sorted: the form for a subtree of few published items.
std::string PublishedConditionByColumn(const std::string& sys, const std::string& col,
                                       const std::string& site);

// Below this many published items of the website in a subtree, the lists
// are sent in the by-column form; from it on, in the ordered one.
inline constexpr int kSortedRows = 2000;

// A top-N list in order reads about N times (website's items / subtree's
// items) entries, which for a subtree of a few hundred items spread over a
// big website is thousands; found by column it reads the subtree's rows
// once and sorts them. Its bound: 60 rows per row wanted, from 300 up to
// kSortedRows.
inline int TopProbeRows(const std::string& top) {
  long n = std::strtol(top.c_str(), nullptr, 10);
  return n < 5 ? 300 : n > kSortedRows / 60 ? kSortedRows : static_cast<int>(n) * 60;
}

// The subtree's published items of the website homed in it, counted up to
// `limit` (one statement that stops early in a busy column).
std::string PublishedProbe(const std::string& sys, const std::string& col, const std::string& site,
                           int limit = kSortedRows);

// The number of rows PublishedCondition selects, counted through the
// column and identifier indexes.
std::string PublishedCount(const std::string& sys, const std::string& col, const std::string& site);

// Whole statements of GetPublishedInfoList (top empty) and
// GetTopNPublishedInfoList (top = the count), in the form they are sent.
std::string PublishedList(const std::string& sys, const std::string& col, const std::string& site,
                          std::string_view top = {});
// `order`: the order-by term on Info_Order, the engine's UnindexedOrder.
std::string PublishedListByColumn(const std::string& sys, const std::string& col,
                                  const std::string& site, std::string_view top,
                                  std::string_view order);
std::string PublishedListReference(const std::string& sys, const std::string& col,
                                   const std::string& site, std::string_view top = {});

// Counts read from the counts the database keeps (tPtlx_InfoCount and its
// kin, kept by triggers): sums over a few kept rows, never a scan of the
// items, and always the number the statement they stand for would count.
// Every argument is an SQL number (never "null").
//
// The items that `condition` selects, where it names only the items'
// Sys_ID, WebSite_ID, Column_ID, InfState_ID and Info_IsDeleted (and
// sub-queries of other tables).
std::string KeptItemCount(const std::string& condition);
// PublishedCount's number, the rows PublishedCondition selects; with `home`,
// the rows of PublishedCondition + " and " + home, where `home` is a
// condition on the item's Column_ID alone.
std::string KeptPublishedCount(const std::string& sys, const std::string& col,
                               const std::string& site, const std::string& home = {});
// The columns whose kept rows KeptPublishedCount reads (those of the
// subtree: the items homed there and the cross-posts into it), as a query.
std::string KeptPublishedColumns(const std::string& sys, const std::string& col);
// GetInfoList1's number: the live items of (sys, col) cross-posted into
// (sys1, col1), read from the kept rows of col1 alone.
std::string KeptCrossPostedCount(const std::string& sys, const std::string& col,
                                 const std::string& sys1, const std::string& col1);

}  // namespace ptolix::info_sql
