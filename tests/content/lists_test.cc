// The information lists and searches over a column tree: the state each
// mode selects, paging, subtrees and cross-posted items, literal searches in
// any letter case, the forms a published list may take, and the pages of
// large lists.

#include <fmt/format.h>

#include <algorithm>
#include <functional>
#include <tuple>
#include <utility>

#include "content/information_sql.h"
#include "db/backend.h"
#include "db/cursors.h"
#include "fixture.h"
#include "value/order_code.h"

namespace ptolix::test {
namespace {

// Column tree of system 1: 1 > 2 > 3 (deleted) > 4, and 5 > 7; column 6
// belongs to system 2.
class ListsTest : public DbTest {
 protected:
  void SetUp() override {
    Exec(
        "insert into tPtlx_Column (Column_ID,Sys_ID,Column_Order,Column_IsDeleted) values "
        "(1,1,'FFFFFFEF','0'),(2,1,'FFFFFFEFFFFFFFDF','0'),(3,1,'FFFFFFEFFFFFFFDFFFFFFFCF','1'),"
        "(4,1,'FFFFFFEFFFFFFFDFFFFFFFCFFFFFFFBF','0'),(5,1,'FFFFFFAF','0'),(6,2,'FFFFFF9F','0'),"
        "(7,1,'FFFFFFAFFFFFFF8F','0')");
  }
  struct ItemRow {
    int id, state = 4, column = 1, site = 1, sys = 1;
    std::string title = "t", content = "";
    int images = 0;
    std::string deleted = "0", time = "2024-01-01 00:00:00";
    int type = 1;
  };
  void Item(const ItemRow& r) {
    Exec(fmt::format(
        "insert into tPtlx_Information (Info_ID,InfState_ID,InfType_ID,Sys_ID,Column_ID,WebSite_ID,"
        "Info_Title,Info_Content,Info_ImageCount,Info_IsDeleted,Info_SystemTime,Info_Order) values "
        "({},{},{},{},{},{},'{}','{}',{},'{}','{}','{}')",
        r.id, r.state, r.type, r.sys, r.column, r.site, r.title, r.content, r.images, r.deleted,
        r.time, PaddedOrderCode(r.id, 8)));
  }
  // The first field of each row, or "(none)" for a failure.
  static std::string Ids(const Variant& v) {
    if (v.kind() != Variant::Kind::kArray || !v.AsArray().allocated()) return "(none)";
    std::string out = FieldValues(v.AsArray(), v.AsArray().FieldNames()[0]);
    return out.substr(0, out.size() - 1);
  }

  std::unique_ptr<Object> info = New("Information");
};

TEST_P(ListsTest, ModeKeywordsFilterStatesExactly) {
  for (int state = 1; state <= 6; ++state) Item({.id = state, .state = state});
  Item({.id = 7, .deleted = "1"});
  Item({.id = 8, .column = 2});
  Item({.id = 9, .site = 2});
  const std::pair<const char*, const char*> cases[] = {
      {"All", "6 5 4 3 2 1"},       {"Published", "6 5 4"}, {"WaitAssess", "1"},
      {"NeedReedit", "2"},          {"Canceled", "3"},      {"Editor", "2 1"},
      {"published", "6 5 4 3 2 1"}, {"", "6 5 4 3 2 1"}};
  for (auto [mode, ids] : cases)
    EXPECT_EQ(ids, Ids(info->Call("GetInfoList", {"1", "1", "1", mode}))) << mode;
  // The list's tenth field is the content's placeholder.
  EXPECT_EQ("[Content]",
            ToDisplay(info->Call("GetInfoList", {"1", "1", "1", "Published"}).AsArray().At(1, 9)));
  // Items cross-posted into column 5 from column 1 of the same system: any
  // state, but not deleted.
  Exec(
      "insert into tPtlx_Info2Colu (Sys_ID,Column_ID,Info_ID) values "
      "(1,5,1),(1,5,3),(1,5,7),(2,5,4)");
  EXPECT_EQ("3 1", Ids(info->Call("GetInfoList1", {"1", "1", "1", "5"})));

  info->Put("PageSize", Variant(4));
  const std::pair<const char*, const char*> pages[] = {
      {"2", "2 1"}, {"9", "2 1"}, {"", "6 5 4 3"}, {"0", "6 5 4 3"}};
  for (auto [page, ids] : pages) {
    EXPECT_EQ(ids, Ids(info->Call("GetInfoList", {"1", "1", "1", "All", page}))) << page;
    EXPECT_EQ("6/2", info->Get("RecordCount").ToText() + "/" + info->Get("PageCount").ToText());
  }
  EXPECT_EQ("8 6 5 4", Ids(info->Call("GetPublishedInfoList", {"1", "1", "1", "1"})));
  EXPECT_EQ("", Ids(info->Call("GetInfoList", {"1", "1", "5", "All"})));
  EXPECT_EQ((Lines{"[Ptolix] 没有记录。"}), ErrorsOf(*info));
}

TEST_P(ListsTest, SearchMatchesLiterallyInAnyCaseAndBoundsInclusively) {
  Item({.id = 1, .title = "Annual REPORT", .time = "2024-01-01 00:00:00"});
  Item({.id = 2,
        .title = "100% growth",
        .content = "a_b",
        .time = "2024-01-15 12:00:00",
        .type = 2});
  Item({.id = 3, .title = "100 percent", .content = "axb", .time = "2024-01-31 00:00:00"});
  Item({.id = 4, .title = "it''s [new]", .time = "2024-02-01 00:00:00"});
  // Letter case is ignored in every script.
  Item({.id = 5, .title = "CAFÉ ΩMEGA", .content = "Ärger über ÖL", .time = "2023-06-01 00:00:00"});
  Item({.id = 6, .title = "ａｂｃ corp", .content = "ПРИВЕТ мир", .time = "2023-06-01 00:00:00"});
  Item({.id = 7, .title = "plain", .content = "ΑΘΗΝΑ", .time = "2023-06-01 00:00:00"});
  auto search = [&](const char* title, const char* content, const char* type, const char* start,
                    const char* end) {
    return Ids(
        info->Call("SearchInfoList", {"1", "1", "1", "All", title, content, type, start, end}));
  };
  // title, content, the items found
  const std::tuple<const char*, const char*, const char*> texts[] = {
      {"café ω", "", "5"},     {"CAFÉ Ω", "", "5"},     {"ＡＢＣ", "", "6"}, {"ABC", "", ""},
      {"", "ärger ÜBER", "5"}, {"", "привет МИР", "6"}, {"", "αθηνα", "7"},  {"Ｃ", "РИВ", "6"},
      {"report", "", "1"},     {"100%", "", "2"},       {"", "a_b", "2"},    {"it's", "", "4"},
      {"[new]", "", "4"}};
  for (auto [title, content, ids] : texts) EXPECT_EQ(ids, search(title, content, "", "", ""));
  EXPECT_EQ("2", search("", "", "2", "", ""));
  EXPECT_EQ("3 2 1", search("", "", "", "2024-01-01", "2024-01-31"));
  EXPECT_EQ("3 2", search("", "", "", "2024/1/15 12:00", "2024-01-31"));
  EXPECT_EQ("2", search("100", "", "", "2024-01-01", "2024-01-20"));
  EXPECT_EQ("7 6 5 4 3 2 1", search("", "", "", "2024-01-02", ""));  // one bound: no condition
  EXPECT_TRUE(ErrorsOf(*info).empty());
}

// Published items of column 1's subtree: homed in 1, 2 or 4 (3 is deleted),
// or cross-posted into them from the same system and website.
TEST_P(ListsTest, PublishedListsTakeTheSubtreeAndCrossPostings) {
  Item({.id = 1, .column = 1, .images = 2});
  Item({.id = 2, .column = 2});
  Item({.id = 3, .column = 3});               // deleted column
  Item({.id = 4, .column = 4, .images = 1});  // below the deleted column
  Item({.id = 5, .state = 1, .column = 1});   // not published
  Item({.id = 6, .column = 1, .site = 2});    // other site
  Item({.id = 7, .column = 2, .deleted = "1"});
  Item({.id = 8, .column = 5, .images = 3});  // cross-posted into 2
  Item({.id = 9, .column = 5, .site = 2});    // cross-posted, other site
  Item({.id = 10, .column = 5});              // cross-post row of another system
  Item({.id = 11, .column = 6, .sys = 2});    // other system, cross-posted
  Item({.id = 12, .state = 6, .column = 5});  // cross-posted into 3 (deleted column)
  Item({.id = 13, .state = 5, .column = 2});  // homed and cross-posted: listed once
  Exec(
      "insert into tPtlx_Info2Colu (Sys_ID,Column_ID,Info_ID) values "
      "(1,2,8),(1,2,9),(2,2,10),(1,2,11),(1,3,12),(1,4,13),(1,2,13)");
  EXPECT_EQ("13 8 4 2 1", Ids(info->Call("GetPublishedInfoList", {"1", "1", "1"})));
  EXPECT_EQ("13 8 4 2", Ids(info->Call("GetPublishedInfoList", {"1", "1", "2"})));
  // A deleted column: its subtree.
  EXPECT_EQ("13 4", Ids(info->Call("GetPublishedInfoList", {"1", "1", "3"})));
  EXPECT_EQ("13 8", Ids(info->Call("GetTopNPublishedInfoList", {"1", "1", "1", "2"})));
  EXPECT_EQ("13 8 4 2 1", Ids(info->Call("GetTopNPublishedInfoList", {"1", "1", "1", "50"})));
  EXPECT_EQ("8 4 1", Ids(info->Call("GetTopNPictureInfoList", {"1", "1", "5"})));
  EXPECT_EQ("8", Ids(info->Call("GetTopNPictureInfoList", {"1", "1", "1"})));

  info->Put("PageSize", Variant(2));  // the top-N lists are never paged
  EXPECT_EQ("13 8 4", Ids(info->Call("GetTopNPublishedInfoList", {"1", "1", "1", "3"})));
  EXPECT_EQ("(none)", Ids(info->Call("GetTopNPublishedInfoList", {"1", "1", "1", ""})));
  EXPECT_EQ("(none)", Ids(info->Call("GetTopNPictureInfoList", {"1", "1", "2;"})));
  EXPECT_EQ(2u, ErrorsOf(*info).size());
}

// On random data (a forest of columns over two systems, some deleted; items
// in every state, site and system, some deleted or without a column, codes
// shared, many cross-posted, some twice, into deleted columns or under
// another system): every form of the published list and its count selects
// the same rows, and a keyed window the rows of the plain one.
TEST_P(ListsTest, ListFormsAndKeyedWindowsSelectTheSameRowsOnVariedData) {
  Exec("delete from tPtlx_Column where Column_ID = 7");
  uint32_t seed = 12345;
  auto next = [&](uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  std::vector<std::string> code(37);
  for (int c = 7; c <= 36; ++c) {
    int father = c > 9 ? 7 + static_cast<int>(next(c - 7)) : 0;
    code[c] = (father ? code[father] : "") + PaddedOrderCode(c, 8);
    Exec(
        fmt::format("insert into tPtlx_Column (Column_ID,Sys_ID,Column_Order,Column_IsDeleted) "
                    "values ({},{},'{}','{}')",
                    c, 1 + next(4) / 3, code[c], next(6) == 0 ? 1 : 0));
  }
  for (int id = 1; id <= 400; ++id) {
    std::string column = next(20) == 0 ? "null" : std::to_string(7 + next(30));
    Exec(fmt::format(
        "insert into tPtlx_Information (Info_ID,InfState_ID,Sys_ID,Column_ID,WebSite_ID,"
        "Info_IsDeleted,Info_Order) values ({},{},{},{},{},'{}','{}')",
        id, 1 + next(6), 1 + next(5) / 4, column, 1 + next(3) / 2, next(10) == 0 ? 1 : 0,
        PaddedOrderCode(next(4) == 0 ? id / 2 : id, 8)));
    for (int k = static_cast<int>(next(3)); k > 0; --k)
      Exec(fmt::format("insert into tPtlx_Info2Colu (Sys_ID,Column_ID,Info_ID) values ({},{},{})",
                       1 + next(5) / 4, 7 + next(30), id));
  }
  // Rows tie on Info_Order: the identifier makes the order total.
  int non_empty = 0;
  for (int k = 0; k < 32 * 4; ++k) {  // columns 6 to 37, each on two websites and systems
    const std::string col = std::to_string(6 + k / 4), site = k % 2 ? "2" : "1",
                      sys = k % 4 < 2 ? "1" : "2";
    SCOPED_TRACE(sys + " " + col + " " + site);
    std::string reference;
    for (std::string_view top : {"3", ""}) {  // the whole list last
      reference = Rows(info_sql::PublishedListReference(sys, col, site, top) + ",Info_ID");
      ASSERT_EQ(reference, Rows(info_sql::PublishedList(sys, col, site, top) + ",Info_ID"));
      ASSERT_EQ(reference,
                Rows(info_sql::PublishedListByColumn(
                         sys, col, site, top, db::EngineOf(*conn).UnindexedOrder("Info_Order")) +
                     ",Info_ID"));
    }
    int rows = static_cast<int>(std::count(reference.begin(), reference.end(), '\n')) - 1;
    ASSERT_EQ(Count("select (" + info_sql::PublishedCount(sys, col, site) + ")"), rows);
    non_empty += rows > 0;
  }
  EXPECT_GT(non_empty, 40);

  const char* ordered[] = {
      "select * from tPtlx_Information where Sys_ID = 1 and InfState_ID in (4,5,6) and "
      "Info_IsDeleted = '0' order by Info_Order,Info_ID",
      "select Info_ID,'[Content]',Info_Order from tPtlx_Information where Column_ID < 12 or "
      "WebSite_ID = 2 order by Info_Order desc,Info_ID",
      "select * from tPtlx_Information where Info_IsDeleted = '0' and (InfState_ID = 1 or "
      "Column_ID = 20) order by Info_Order,Info_ID",
      // Filtered by a sub-query, as the lists read keys first from page 1.
      "select Info_ID,Info_Order from tPtlx_Information where Sys_ID = 1 and Info_ID in (select "
      "Info_ID from tPtlx_Information where WebSite_ID = 2) order by Info_Order,Info_ID"};
  int compared = 0;
  for (const char* c : ordered) {
    auto r = db::RewriteFor(*conn, c);
    for (int64_t start : {0, 3, 57, 140}) {
      std::string keyed = db::KeyedWindow(r, db::CatalogOf(*conn), start, 20);
      ASSERT_FALSE(keyed.empty()) << c;
      auto plain = Fetch(r.text + " limit 20 offset " + std::to_string(start));
      EXPECT_EQ(plain, Fetch(keyed)) << keyed;
      compared += !plain.empty();
    }
  }
  EXPECT_GT(compared, 10);
  // Without an order: as many rows, each a row of the statement.
  auto r = db::RewriteFor(*conn, "select * from tPtlx_Information where Sys_ID = 1");
  auto all = Fetch(r.text);
  std::sort(all.begin(), all.end());
  auto keyed = Fetch(db::KeyedWindow(r, db::CatalogOf(*conn), 30, 20));
  EXPECT_EQ(keyed.size(), 20u);
  for (const auto& row : keyed) EXPECT_TRUE(std::binary_search(all.begin(), all.end(), row)) << row;
  // Statements it does not apply to.
  for (const char* other :
       {"select count(*) from tPtlx_Information where Column_ID = 1",
        "select top 5 * from tPtlx_Information where Column_ID = 1 order by Info_Order",
        "select * from tPtlx_Information a, tPtlx_Column b where a.Column_ID = b.Column_ID",
        "select * from tLink_Detail where LinkClass_ID = 1 order by Link_Order"}) {
    EXPECT_EQ(db::KeyedWindow(db::RewriteFor(*conn, other), db::CatalogOf(*conn), 40, 20), "")
        << other;
  }
}

TEST_P(ListsTest, PublishedSearchTakesWordsInAnyCaseAndLeavesHiddenSubtreesOut) {
  Item({.id = 1, .title = "Annual REPORT"});
  Item({.id = 2, .column = 2, .content = "Café au lait"});
  Item({.id = 3, .column = 3, .title = "report"});  // deleted column
  Item({.id = 4, .column = 5, .title = "ＡＢＣ report"});
  Item({.id = 5, .column = 7, .title = "report secret"});  // column 7 hidden below
  Item({.id = 6, .state = 1, .title = "report"});          // not published
  Item({.id = 7, .site = 2, .title = "report"});
  Item({.id = 8, .column = 5, .content = "Weekly Report"});  // cross-posted into 2
  Item({.id = 9, .column = 7, .title = "report"});           // cross-posted into 2
  Item({.id = 10, .title = "report", .deleted = "1"});
  Item({.id = 11, .title = "100% sure", .content = "it''s [so]"});
  Exec("insert into tPtlx_Info2Colu (Sys_ID,Column_ID,Info_ID) values (1,2,8),(1,2,9)");
  auto search = [&](const char* column, const char* text, const char* hidden) {
    return Ids(info->Call("SearchPublishedInfoList", {"1", "1", column, text, hidden}));
  };
  // column, text, hidden columns, the items found
  const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
      {"", "", "", "11 9 8 5 4 2 1"},
      {"", "", "7", "11 8 4 2 1"},
      {"", "", "99", "11 9 8 5 4 2 1"},  // names no column
      {"", "", "5", "11 2 1"},           // 5 and 7 below it
      {"", "REPORT", "7", "8 4 1"},
      {"", "  report\tannual ", "", "1"},
      {"", "report\xE3\x80\x80weekly", "", "8"},  // ideographic space
      {"", "CAFÉ", "", "2"},
      {"", "ａｂｃ", "", "4"},
      {"", "abc", "", ""},
      {"", "100%", "", "11"},
      {"", "1_0", "", ""},
      {"", "it's [so]", "", "11"},
      {"1", "", "", "11 9 8 2 1"},
      {"1", "", "7", "11 8 2 1"},  // 9 is homed in the hidden column
      {"1", "report", "7", "8 1"},
      {"5", "", "", "9 8 5 4"},
      {"5", "", "7", "8 4"},
      {"7", "", "7", ""},
  };
  for (auto [column, text, hidden, ids] : cases)
    EXPECT_EQ(ids, search(column, text, hidden)) << column << "|" << text << "|" << hidden;

  info->Put("PageSize", Variant(2));
  EXPECT_EQ("4 2", Ids(info->Call("SearchPublishedInfoList", {"1", "1", "", "", "7", "2"})));
  EXPECT_EQ("5/3", info->Get("RecordCount").ToText() + "/" + info->Get("PageCount").ToText());
  EXPECT_TRUE(ErrorsOf(*info).empty());
}

TEST_P(ListsTest, DeskSearchTakesTheUsersReadableColumnsInEveryState) {
  Item({.id = 21, .state = 1, .column = 2, .title = "Draft budget"});
  Item({.id = 22, .column = 2, .title = "Budget passed", .time = "2024-01-15 12:00:00", .type = 2});
  Item({.id = 23, .state = 3, .column = 5, .title = "budget cut", .time = "2024-01-31 00:00:00"});
  Item({.id = 24, .state = 1, .title = "budget"});                   // column 1: ancestor only
  Item({.id = 25, .column = 3, .title = "budget"});                  // deleted column
  Item({.id = 26, .column = 2, .site = 2, .title = "budget"});       // other website
  Item({.id = 27, .column = 2, .title = "budget", .deleted = "1"});  // deleted item
  Exec(
      "insert into tTemp_UsrAccess (Usr_ID,Sys_ID,Column_ID,AccessType_ID) values "
      "('ann',1,1,1),('ann',1,2,2),('ann',1,5,3),('ann',1,3,2),('o''brien',1,1,4)");
  auto search = [&](const char* user, const char* mode, const char* text, const char* type,
                    const char* start, const char* end) {
    return Ids(info->Call("SearchAccessInfoList", {user, "1", "1", mode, text, type, start, end}));
  };
  // user, mode, text, type, from, to, the items found
  const std::tuple<const char*, const char*, const char*, const char*, const char*, const char*,
                   const char*>
      cases[] = {
          {"ann", "All", "", "", "", "", "23 22 21"},
          {"ann", "Published", "", "", "", "", "22"},
          {"ann", "Editor", "", "", "", "", "21"},
          {"ann", "Canceled", "", "", "", "", "23"},
          {"ann", "All", "BUDGET", "", "", "", "23 22 21"},
          {"ann", "All", "draft budget", "", "", "", "21"},
          {"ann", "All", "t%", "", "", "", ""},  // taken literally
          {"ann", "All", "", "2", "", "", "22"},
          {"ann", "All", "", "", "2024-01-15", "", "23 22"},
          {"ann", "All", "", "", "", "2024/1/15 12:00", "22 21"},
          {"ann", "All", "", "", "2024-01-02", "2024-01-30", "22"},
          {"o'brien", "All", "", "", "", "", "24"},
          {"nobody", "All", "", "", "", "", ""},
          {"", "All", "", "", "", "", ""},
      };
  for (auto [user, mode, text, type, start, end, ids] : cases)
    EXPECT_EQ(ids, search(user, mode, text, type, start, end))
        << user << "|" << mode << "|" << text << "|" << start;
  EXPECT_TRUE(ErrorsOf(*info).empty());
}

PTOLIX_BACKENDS(ListsTest);

// The column lists on skewed data, a busy column beside small ones: each
// list form gives the rows of its condition in order, whichever form the
// library picks.
class ListPagesTest : public DbTest {};

TEST_P(ListPagesTest, EveryListsPageHoldsTheRowsOfItsCondition) {
  // Items first..last; `values` gives "state,sys,column,site,deleted,code".
  auto insert = [&](int first, int last, const std::function<std::string(int)>& values) {
    std::string sql;
    for (int id = first; id <= last; ++id) {
      sql += (sql.empty() ? "insert into tPtlx_Information (Info_ID,InfState_ID,Sys_ID,Column_ID,"
                            "WebSite_ID,Info_IsDeleted,Info_Order) values "
                          : ",") +
             ("(" + std::to_string(id) + "," + values(id) + ")");
      if ((id - first) % 500 == 499 || id == last) Exec(std::exchange(sql, ""));
    }
  };
  auto ids = [](const ResultArray& rows) {
    Lines out;
    for (int32_t r = 1; r <= rows.DataRows(); ++r) out.push_back(rows.Get(r, "Info_ID").ToText());
    return out;
  };
  // Column 1 holds 3,000 items over three websites, columns 2 to 31 hold 10
  // each; states 1 to 6 in turn, one item in 50 deleted.
  insert(1, 3300, [](int id) {
    int column = id <= 3000 ? 1 : 2 + (id - 3001) / 10, site = id <= 3000 ? 1 + id % 3 : 1;
    return std::to_string(1 + id % 6) + ",1," + std::to_string(column) + "," +
           std::to_string(site) + ",'" + (id % 50 == 0 ? "1" : "0") + "','" +
           PaddedOrderCode(id, 8) + "'";
  });
  ExecAll(engine().Analyze());
  auto info = New("Information");
  info->Put("PageSize", Variant(20));
  const std::pair<const char*, const char*> cases[] = {{"Published", "InfState_ID >= 4"},
                                                       {"All", "1 = 1"},
                                                       {"WaitAssess", "InfState_ID = 1"},
                                                       {"Canceled", "InfState_ID = 3"},
                                                       {"Editor", "InfState_ID <= 2"}};
  for (const auto& [mode, states] : cases) {
    for (const char* column : {"1", "7"}) {
      // Page 5 of the column's live rows of website 1 in order: rows 81 to
      // 100, or the last partial page of a small column.
      std::string expected = std::string("select Info_ID from tPtlx_Information where ") + states +
                             " and Column_ID = " + column +
                             " and WebSite_ID = 1 and Sys_ID = 1 and Info_IsDeleted = '0' "
                             "order by Info_Order";
      auto all = ids(conn->RunQuery(expected));
      size_t last = std::max<size_t>((all.size() + 19) / 20, 1), shown = std::min<size_t>(5, last);
      Lines page(all.begin() + std::min(20 * (shown - 1), all.size()),
                 all.begin() + std::min(20 * shown, all.size()));
      Variant got = info->Call("GetInfoList", {"1", "1", column, mode, "5"});
      EXPECT_EQ(ids(got.AsArray()), page) << mode << " column " << column;
    }
  }
  // The published lists of big and small subtrees. Column 60 (under column 59) gets 2,400 published
  // items of website 1; column 1 has about 500; items 10 to 19 of column 1 are cross-posted into
  // column 60.
  Exec(
      "insert into tPtlx_Column (Column_ID,Sys_ID,Column_Order,Column_IsDeleted) values "
      "(1,1,'FFFFFFEF','0'),(59,1,'FFFFFFAF','0'),(60,1,'FFFFFFAFFFFFFFDF','0')");
  insert(5001, 7400, [](int id) { return "4,1,60,1,'0','" + PaddedOrderCode(id, 8) + "'"; });
  for (int id = 10; id < 20; ++id)
    Exec("insert into tPtlx_Info2Colu (Sys_ID,Column_ID,Info_ID) values (1,60," +
         std::to_string(id) + ")");
  ExecAll(engine().Analyze());
  for (auto [column, subtree] :
       {std::pair<const char*, std::string>{"59", "(59, 60)"}, {"60", "(60)"}, {"1", "(1)"}}) {
    auto all = ids(conn->RunQuery(
        "select Info_ID from tPtlx_Information where Sys_ID = 1 and WebSite_ID = 1 and "
        "InfState_ID >= 4 and Info_IsDeleted = '0' and (Column_ID in " +
        subtree + " or Info_ID in (select Info_ID from tPtlx_Info2Colu where Column_ID in " +
        subtree + ")) order by Info_Order"));
    ASSERT_GE(all.size(), 60u) << column;
    Variant page = info->Call("GetPublishedInfoList", {"1", "1", column, "3"});
    EXPECT_EQ(ids(page.AsArray()), Lines(all.begin() + 40, all.begin() + 60)) << column;
    Variant top = info->Call("GetTopNPublishedInfoList", {"1", "1", column, "15"});
    EXPECT_EQ(ids(top.AsArray()), Lines(all.begin(), all.begin() + 15)) << column;
  }
}

PTOLIX_BACKENDS(ListPagesTest);

}  // namespace
}  // namespace ptolix::test
