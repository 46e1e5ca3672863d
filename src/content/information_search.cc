// Information items: searches over many columns, for a site's readers and
// for the staff's desk.

#include <string>
#include <string_view>
#include <vector>

#include "content/information_sql.h"
#include "content/information_text.h"
#include "db/atomic.h"
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
// connection runs it.
struct WordsSearch {
  std::string likes;  // " and (Info_Title like .. or Info_Content like ..)" per word
  std::vector<db::SubstringTerm> terms;
};

WordsSearch Words(std::string_view text, std::string_view arg_name) {
  WordsSearch out;
  for (std::string_view word : Words(text)) {
    std::string pattern = "'%" + LikeLiteral(word, arg_name) + "%' escape '\\'";
    out.likes += " and (Info_Title like " + pattern + " or Info_Content like " + pattern + ")";
    out.terms.push_back({"", std::string(word)});
  }
  return out;
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

namespace {

// Rows written since the text index was brought up to date are candidates
// of every search; from this many on, the search that meets them indexes
// them first, in one transaction.
constexpr int64_t kCatchUpFrom = 1000;

void CatchUp(db::Connection& conn) {
  auto upkeep = db::EngineOf(conn).SubstringIndexUpkeep(schema::InfoTextIndex());
  if (upkeep.backlog.empty() || conn.InTransaction()) return;
  if (conn.Count(upkeep.backlog) < kCatchUpFrom) return;
  try {
    db::Transaction tx(conn);
    auto& backend = db::BackendOf(conn);
    for (const auto& sql : upkeep.catch_up) backend.Execute(sql);
    tx.Commit();
  } catch (const db::Error&) {
    // A busy or read-only database: the rows stay candidates, and the next
    // search tries again.
  }
}

}  // namespace

std::string TextIndexCondition(db::Connection& conn, const db::SubstringSearch& search) {
  std::string candidates = db::EngineOf(conn).SubstringCandidates(schema::InfoTextIndex(), search);
  if (!candidates.empty()) CatchUp(conn);
  return candidates;
}

int64_t LastRowOfPage(int64_t count, int32_t page_size, std::string_view pCurPage) {
  int32_t pages = static_cast<int32_t>((count + page_size - 1) / page_size);
  return int64_t{PageNumber(pCurPage, pages)} * page_size;
}

db::SubstringTally TextIndexCount(db::Connection& conn, const db::SubstringSearch& search) {
  return db::EngineOf(conn).SubstringCount(schema::InfoTextIndex(), search);
}

// Reading the index's rows costs about what reading as many of the list's
// own rows costs. A small list (a quiet column, a word found everywhere) is
// cheaper matched row by row; a big one is counted through the index, and
// its page read in list order when the matches are dense enough that the
// page is reached sooner that way. The list and the index's rows are
// counted up to kIndexedSearchFrom, and those counts used again for a while
// (a stale one costs speed, never rows).
ResultArray Information::SearchList(const std::string& before, const std::string& text,
                                    const std::string& after, const std::string& candidates,
                                    const std::string& order, std::string_view pCurPage,
                                    db::Connection::Paging paging) {
  std::string head =
      std::string("select ") + info_sql::kListColumns + " from tPtlx_Information where ";
  std::string plain = head + before + text + after + " order by " + order;
  if (candidates.empty() || PageSize() <= 0) {
    return ListQuery(candidates.empty() ? plain
                                        : head + before + " and " + candidates + text + after +
                                              " order by " + order,
                     pCurPage, paging);
  }
  auto probe = [&](const std::string& where) {
    return conn().CountForChoice("select count(*) from (select top " +
                                 std::to_string(kIndexedSearchFrom) +
                                 " Info_ID from tPtlx_Information where " + where + ") ptlx_probe");
  };
  // Under a tenth of the bound, matching every row costs less than asking
  // the index how many it has.
  int64_t rows = probe(before + after);
  if (rows < kIndexedSearchFrom / 10) return ListQuery(plain, pCurPage, paging);
  int64_t found = probe(candidates);
  if (rows < kIndexedSearchFrom && found >= rows) return ListQuery(plain, pCurPage, paging);
  std::string narrowed = before + " and " + candidates + text + after;
  int64_t count = conn().Count("select count(*) from tPtlx_Information where " + narrowed);
  int64_t last_row = LastRowOfPage(count, PageSize(), pCurPage);
  // Rows read in list order before the page's last match, about.
  bool in_order = last_row * rows / std::max<int64_t>(count, 1) < found;
  return ListQuery(in_order ? plain : head + narrowed + " order by " + order, count, pCurPage,
                   paging);
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
    WordsSearch words = Words(pText, "pText");
    if (col.empty()) {
      std::string shown = "select Column_ID from tPtlx_Column where Sys_ID = " + sys +
                          " and Column_IsDeleted = '0'";
      if (!hidden.empty()) shown += " and not (" + hidden + ")";
      // The unary plus keeps engines from gathering the rows column by column
      // and sorting them: the website's published items are read in list
      // order from their index, and a page stops once it has its rows.
      std::string where = "Sys_ID = " + sys + " and " + schema::kPublishedStates +
                          " and WebSite_ID = " + site +
                          " and Info_IsDeleted = '0' and +Column_ID in (" + shown + ")";
      return SearchList(where, words.likes, "", TextIndexCondition(conn(), {words.terms, "", ""}),
                        "Info_Order", pCurPage, db::Connection::Paging::kKeysFirst);
    }
    std::string c = SqlValue(col);
    bool few = FewPublished(sys, c, site, info_sql::kSortedRows);
    std::string where = few ? info_sql::PublishedConditionByColumn(sys, c, site)
                            : info_sql::PublishedCondition(sys, c, site);
    if (!hidden.empty()) {
      where +=
          " and (Column_ID is null or not Column_ID in (select Column_ID from tPtlx_Column "
          "where " +
          hidden + "))";
    }
    std::string order = few ? db::EngineOf(conn()).UnindexedOrder("Info_Order") : "Info_Order";
    return SearchList(where, words.likes, "",
                      few ? "" : TextIndexCondition(conn(), {words.terms, "", ""}), order, pCurPage,
                      db::Connection::Paging::kPlain);
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
    std::string scope =
        "WebSite_ID = " + site + " and Sys_ID = " + sys +
        " and Column_ID in (select Column_ID from tTemp_UsrAccess where Usr_ID = " +
        SqlQuote(pUsrID, "pUsrID") + " and Sys_ID = " + sys + " and AccessType_ID > 1)" +
        " and Column_ID in (select Column_ID from tPtlx_Column where Sys_ID = " + sys +
        " and Column_IsDeleted = '0')" + ModeFilter(pMode);
    WordsSearch words = Words(pText, "pText");
    std::string rest;
    if (!type.empty()) rest += " and InfType_ID = " + type;
    if (!start.empty()) rest += " and Info_SystemTime >= " + SqlQuote(start);
    if (!end.empty()) rest += " and Info_SystemTime <= " + SqlQuote(end);
    rest += " and Info_IsDeleted = '0'";
    return SearchList(scope, words.likes, rest, TextIndexCondition(conn(), {words.terms, "", ""}),
                      "Info_Order", pCurPage, db::Connection::Paging::kKeysFirst);
  });
}

}  // namespace ptolix
