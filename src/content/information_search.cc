// Information items: searches over many columns, for a site's readers and
// for the staff's desk.

#include <string>
#include <string_view>
#include <vector>

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

// The words of a search text: runs between blanks, tabs, line breaks and
// the ideographic space (U+3000, how Chinese input methods type a blank).
std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  size_t start = 0, i = 0;
  auto cut = [&](size_t end, size_t width) {
    if (end > start) words.push_back(text.substr(start, end - start));
    start = end + width;
  };
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      cut(i, 1);
      i += 1;
    } else if (text.compare(i, 3, "\xE3\x80\x80") == 0) {
      cut(i, 3);
      i += 3;
    } else {
      ++i;
    }
  }
  cut(text.size(), 0);
  return words;
}

// Each word in the title or the content, as the column search matches them:
// literally, with letter case ignored by every engine's like as the
// connection runs it. The words are looked up in the text index first, and
// only the rows it gives are matched.
std::string WordsCondition(db::Connection& conn, std::string_view text) {
  std::string out;
  std::vector<db::SubstringTerm> terms;
  for (std::string_view word : Words(text)) {
    std::string pattern = "'%" + LikeLiteral(word, "pText") + "%' escape '\\'";
    out += " and (Info_Title like " + pattern + " or Info_Content like " + pattern + ")";
    terms.push_back({"", std::string(word)});
  }
  return IndexedTextCondition(conn, terms) + out;
}

std::string Num(std::string_view text, std::string_view name) {
  return std::string(Bare(text, name));
}

// The codes of the listed columns as "Column_Order like 'code%'" terms
// joined by "or"; empty when the list names no column.
std::string HiddenCodes(db::Connection& conn, const std::string& hidden) {
  std::string terms;
  if (hidden.find_first_of("0123456789") == std::string::npos) return terms;
  auto rs = conn.Execute("select Column_Order from tPtlx_Column where Column_ID in (" + hidden +
                         ") order by Column_Order");
  for (; !rs->IsEof(); rs->MoveNext()) {
    std::string code = NullToEmpty(rs->Field("Column_Order"));
    if (code.empty()) continue;
    terms +=
        (terms.empty() ? "" : " or ") + std::string("Column_Order like ") + SqlQuote(code + "%");
  }
  return terms;
}

}  // namespace

std::string IndexedTextCondition(db::Connection& conn,
                                 const std::vector<db::SubstringTerm>& terms) {
  std::string candidates = db::EngineOf(conn).SubstringCandidates(schema::InfoTextIndex(), terms);
  return candidates.empty() ? "" : " and " + candidates;
}

// The hidden subtrees are matched by their codes' prefixes, read first: a
// listed identifier that names no column hides nothing. A column's list is
// GetPublishedInfoList's statement, in the form its probe picks, less the
// items homed in hidden subtrees, so it costs what that list costs.
ResultArray Information::SearchPublishedInfoList(std::string_view pWebSite, std::string_view pSysID,
                                                 std::string_view pColumnID, std::string_view pText,
                                                 std::string_view pHidden,
                                                 std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    std::string site = SqlValue(Num(pWebSite, "pWebSite")), sys = SqlValue(Num(pSysID, "pSysID"));
    std::string col = Num(pColumnID, "pColumnID");
    std::string hidden = HiddenCodes(conn(), std::string(BareList(pHidden, "pHidden")));
    std::string words = WordsCondition(conn(), pText);
    std::string head =
        std::string("select ") + info_sql::kListColumns + " from tPtlx_Information where ";
    if (col.empty()) {
      std::string shown = "select Column_ID from tPtlx_Column where Sys_ID = " + sys +
                          " and Column_IsDeleted = '0'";
      if (!hidden.empty()) shown += " and not (" + hidden + ")";
      // The unary plus keeps engines from gathering the rows column by column
      // and sorting them: the website's published items are read in list
      // order from their index, and a page stops once it has its rows.
      return ListQuery(head + "Sys_ID = " + sys + " and " + schema::kPublishedStates +
                           " and WebSite_ID = " + site +
                           " and Info_IsDeleted = '0' and +Column_ID in (" + shown + ")" + words +
                           " order by Info_Order",
                       pCurPage, db::Connection::Paging::kKeysFirst);
    }
    std::string c = SqlValue(col);
    bool few = FewPublished(sys, c, site, info_sql::kSortedRows);
    std::string sql = head + (few ? info_sql::PublishedConditionByColumn(sys, c, site)
                                  : info_sql::PublishedCondition(sys, c, site));
    if (!hidden.empty()) {
      sql +=
          " and (Column_ID is null or not Column_ID in (select Column_ID from tPtlx_Column "
          "where " +
          hidden + "))";
    }
    std::string order = few ? db::EngineOf(conn()).UnindexedOrder("Info_Order") : "Info_Order";
    return ListQuery(sql + words + " order by " + order, pCurPage);
  });
}

ResultArray Information::SearchAccessInfoList(std::string_view pUsrID, std::string_view pWebSite,
                                              std::string_view pSysID, std::string_view pMode,
                                              std::string_view pText, std::string_view pType,
                                              std::string_view pStartDate,
                                              std::string_view pEndDate,
                                              std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    std::string site = SqlValue(Num(pWebSite, "pWebSite")), sys = SqlValue(Num(pSysID, "pSysID"));
    std::string type = Num(pType, "pType");
    std::string start = CallerDate(pStartDate, "pStartDate");
    std::string end = CallerDate(pEndDate, "pEndDate");
    // Access 1 only lets a user see a column as the ancestor of one they
    // work in; its items are not theirs to read.
    std::string sql =
        std::string("select ") + info_sql::kListColumns +
        " from tPtlx_Information where WebSite_ID = " + site + " and Sys_ID = " + sys +
        " and Column_ID in (select Column_ID from tTemp_UsrAccess where Usr_ID = " +
        SqlQuote(pUsrID, "pUsrID") + " and Sys_ID = " + sys + " and AccessType_ID > 1)" +
        " and Column_ID in (select Column_ID from tPtlx_Column where Sys_ID = " + sys +
        " and Column_IsDeleted = '0')" + ModeFilter(pMode) + WordsCondition(conn(), pText);
    if (!type.empty()) sql += " and InfType_ID = " + type;
    if (!start.empty()) sql += " and Info_SystemTime >= " + SqlQuote(start);
    if (!end.empty()) sql += " and Info_SystemTime <= " + SqlQuote(end);
    return ListQuery(sql + " and Info_IsDeleted = '0' order by Info_Order", pCurPage,
                     db::Connection::Paging::kKeysFirst);
  });
}

}  // namespace ptolix
