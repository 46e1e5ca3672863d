// Information items: the list queries.

#include <gtest/gtest.h>

#include <algorithm>

#include "content/information_sql.h"
#include "fixture.h"
#include "frame/order_code.h"
#include "ptolix/content/information.h"

namespace ptolix::test {
namespace {

class QueriesTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    info = New("Information");
    // Column tree of system 1: 1 > 2 > 3 (deleted) > 4, and a second top
    // column 5; column 6 belongs to system 2.
    Exec(
        "insert into tPtlx_Column (Column_ID,Sys_ID,Column_Order,Column_IsDeleted) values "
        "(1,1,'FFFFFFEF','0'),"
        "(2,1,'FFFFFFEFFFFFFFDF','0'),(3,1,'FFFFFFEFFFFFFFDFFFFFFFCF','1'),"
        "(4,1,'FFFFFFEFFFFFFFDFFFFFFFCFFFFFFFBF','0'),(5,1,'FFFFFFAF','0'),(6,2,'FFFFFF9F','0')");
  }
  struct ItemRow {
    int id, state = 4, column = 1, site = 1, sys = 1;
    std::string title = "t", content = "";
    int images = 0;
    std::string deleted = "0", time = "2024-01-01 00:00:00";
    int type = 1;
  };
  void Item(const ItemRow& r) {
    Exec(
        "insert into tPtlx_Information "
        "(Info_ID,InfState_ID,InfType_ID,Sys_ID,Column_ID,WebSite_ID,Info_Title,"
        "Info_Content,Info_ImageCount,Info_IsDeleted,Info_SystemTime,Info_Order) values (" +
        std::to_string(r.id) + "," + std::to_string(r.state) + "," + std::to_string(r.type) + "," +
        std::to_string(r.sys) + "," + std::to_string(r.column) + "," + std::to_string(r.site) +
        ",'" + r.title + "','" + r.content + "'," + std::to_string(r.images) + ",'" + r.deleted +
        "','" + r.time + "','" + PaddedOrderCode(r.id, 8) + "')");
  }
  // Identifiers of a result, in order.
  static std::string Ids(const Variant& v) {
    if (v.kind() != Variant::Kind::kArray || !v.AsArray().allocated()) return "(none)";
    std::string out;
    for (int r = 1; r <= v.AsArray().DataRows(); ++r)
      out += (r > 1 ? " " : "") + ToDisplay(v.AsArray().At(r, 0));
    return out;
  }
  std::vector<std::string> Lines() { return ErrorsOf(*info); }

  std::unique_ptr<Object> info;
};

TEST_P(QueriesTest, ModeKeywordsFilterStatesExactly) {
  for (int state = 1; state <= 6; ++state) Item({.id = state, .state = state});
  Item({.id = 7, .deleted = "1"});
  Item({.id = 8, .column = 2});
  Item({.id = 9, .site = 2});
  struct Case {
    const char *mode, *ids;
  } cases[] = {{"All", "6 5 4 3 2 1"},       {"Published", "6 5 4"}, {"WaitAssess", "1"},
               {"NeedReedit", "2"},          {"Canceled", "3"},      {"Editor", "2 1"},
               {"published", "6 5 4 3 2 1"}, {"", "6 5 4 3 2 1"}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.ids, Ids(info->Call("GetInfoList", {"1", "1", "1", c.mode}))) << c.mode;
  }
  // The list's tenth field is the content's placeholder.
  EXPECT_EQ("[Content]",
            ToDisplay(info->Call("GetInfoList", {"1", "1", "1", "Published"}).AsArray().At(1, 9)));

  // Items cross-posted into column 5 from column 1 of the same system: any
  // state, but not deleted.
  Exec(
      "insert into tPtlx_Info2Colu (Sys_ID,Column_ID,Info_ID) values "
      "(1,5,1),(1,5,3),(1,5,7),(2,5,4)");
  EXPECT_EQ("3 1", Ids(info->Call("GetInfoList1", {"1", "1", "1", "5"})));

  // Paging.
  info->Put("PageSize", Variant(4));
  struct Page {
    const char *page, *ids;
  } pages[] = {{"2", "2 1"}, {"9", "2 1"}, {"", "6 5 4 3"}, {"0", "6 5 4 3"}};
  for (const auto& p : pages) {
    EXPECT_EQ(p.ids, Ids(info->Call("GetInfoList", {"1", "1", "1", "All", p.page}))) << p.page;
    EXPECT_EQ(6, info->Get("RecordCount").AsInt64());
    EXPECT_EQ(2, info->Get("PageCount").AsInt64());
  }
  EXPECT_EQ("8 6 5 4", Ids(info->Call("GetPublishedInfoList", {"1", "1", "1", "1"})));
  EXPECT_EQ("", Ids(info->Call("GetInfoList", {"1", "1", "5", "All"})));
  EXPECT_EQ((std::vector<std::string>{"[Ptolix] 没有记录。"}), Lines());
}

TEST_P(QueriesTest, SearchMatchesLiterallyInAnyCaseAndBoundsInclusively) {
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
  struct Case {
    const char *title, *content, *type, *start, *end, *ids;
  } cases[] = {{"café ω", "", "", "", "", "5"},
               {"CAFÉ Ω", "", "", "", "", "5"},
               {"ＡＢＣ", "", "", "", "", "6"},
               {"ABC", "", "", "", "", ""},
               {"", "ärger ÜBER", "", "", "", "5"},
               {"", "привет МИР", "", "", "", "6"},
               {"", "αθηνα", "", "", "", "7"},
               {"Ｃ", "РИВ", "", "", "", "6"},
               {"report", "", "", "", "", "1"},
               {"100%", "", "", "", "", "2"},
               {"", "a_b", "", "", "", "2"},
               {"it's", "", "", "", "", "4"},
               {"[new]", "", "", "", "", "4"},
               {"", "", "2", "", "", "2"},
               {"", "", "", "2024-01-01", "2024-01-31", "3 2 1"},
               {"", "", "", "2024/1/15 12:00", "2024-01-31", "3 2"},
               {"100", "", "", "2024-01-01", "2024-01-20", "2"},
               // One bound alone: no date condition.
               {"", "", "", "2024-01-02", "", "7 6 5 4 3 2 1"}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.ids, Ids(info->Call("SearchInfoList", {"1", "1", "1", "All", c.title, c.content,
                                                       c.type, c.start, c.end})))
        << c.title << c.content << c.start;
  }
  EXPECT_TRUE(Lines().empty());
  Trace();
  info->Call("SearchInfoList", {"1", "1", "1", "All", "", "", "1 or 1=1", "", ""});
  info->Call("SearchInfoList", {"1", "1", "1", "All", "", "", "", "yesterday", "today"});
  EXPECT_TRUE(Trace().empty());
  EXPECT_EQ(2u, Lines().size());
}

// Published items of column 1's subtree: homed in 1, 2 or 4 (3 is deleted),
// or cross-posted into them from the same system and website.
TEST_P(QueriesTest, PublishedListsTakeTheSubtreeAndCrossPostings) {
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
      "(1,2,8),(1,2,9),(2,2,10),(1,2,11),"
      "(1,3,12),(1,4,13),(1,2,13)");
  EXPECT_EQ("13 8 4 2 1", Ids(info->Call("GetPublishedInfoList", {"1", "1", "1"})));
  EXPECT_EQ("13 8 4 2", Ids(info->Call("GetPublishedInfoList", {"1", "1", "2"})));
  EXPECT_EQ("13 4", Ids(info->Call("GetPublishedInfoList",
                                   {"1", "1", "3"})));  // deleted column: its subtree
  EXPECT_EQ("13 8", Ids(info->Call("GetTopNPublishedInfoList", {"1", "1", "1", "2"})));
  EXPECT_EQ("13 8 4 2 1", Ids(info->Call("GetTopNPublishedInfoList", {"1", "1", "1", "50"})));
  EXPECT_EQ("8 4 1", Ids(info->Call("GetTopNPictureInfoList", {"1", "1", "5"})));
  EXPECT_EQ("8", Ids(info->Call("GetTopNPictureInfoList", {"1", "1", "1"})));
  EXPECT_TRUE(Lines().empty());

  info->Put("PageSize", Variant(2));  // the top-N lists are never paged
  EXPECT_EQ("13 8 4", Ids(info->Call("GetTopNPublishedInfoList", {"1", "1", "1", "3"})));
  EXPECT_EQ("(none)", Ids(info->Call("GetTopNPublishedInfoList", {"1", "1", "1", ""})));
  EXPECT_EQ("(none)", Ids(info->Call("GetTopNPictureInfoList", {"1", "1", "2;"})));
  EXPECT_EQ(2u, Lines().size());
}

TEST_P(QueriesTest, PublishedFormsSelectTheSameRowsOnVariedData) {
  // A random forest of 30 columns over two systems, some deleted, and 400
  // items in every state, site and system, some deleted, some without a
  // column, many cross-posted (some twice, some into deleted columns or
  // under another system).
  uint32_t seed = 12345;
  auto next = [&](uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  std::vector<std::string> code(37);
  for (int c = 7; c <= 36; ++c) {
    int father = c > 9 ? 7 + static_cast<int>(next(c - 7)) : 0;
    code[c] = (father ? code[father] : "") + PaddedOrderCode(c, 8);
    Exec("insert into tPtlx_Column (Column_ID,Sys_ID,Column_Order,Column_IsDeleted) values (" +
         std::to_string(c) + "," + std::to_string(1 + next(4) / 3) + ",'" + code[c] + "','" +
         (next(6) == 0 ? "1" : "0") + "')");
  }
  for (int id = 1; id <= 400; ++id) {
    std::string column = next(20) == 0 ? "null" : std::to_string(7 + next(30));
    Exec(
        "insert into tPtlx_Information "
        "(Info_ID,InfState_ID,Sys_ID,Column_ID,WebSite_ID,Info_IsDeleted,Info_Order) "
        "values (" +
        std::to_string(id) + "," + std::to_string(1 + next(6)) + "," +
        std::to_string(1 + next(5) / 4) + "," + column + "," + std::to_string(1 + next(3) / 2) +
        ",'" + (next(10) == 0 ? "1" : "0") + "','" +
        PaddedOrderCode(next(4) == 0 ? id / 2 : id, 8) + "')");  // some codes shared
    for (int k = static_cast<int>(next(3)); k > 0; --k) {
      Exec("insert into tPtlx_Info2Colu (Sys_ID,Column_ID,Info_ID) values (" +
           std::to_string(1 + next(5) / 4) + "," + std::to_string(7 + next(30)) + "," +
           std::to_string(id) + ")");
    }
  }
  // Ties in Info_Order are broken the same way by both forms only when the
  // order is total, so compare with the identifier as a tie-breaker.
  auto total = [](std::string sql) { return sql + ",Info_ID"; };
  int non_empty = 0;
  for (int c = 6; c <= 37; ++c) {
    for (const char* site : {"1", "2"}) {
      for (const char* sys : {"1", "2"}) {
        SCOPED_TRACE(std::string(sys) + " " + std::to_string(c) + " " + site);
        std::string col = std::to_string(c), reference;
        for (std::string_view top : {"", "3"}) {
          reference = Rows(total(info_sql::PublishedListReference(sys, col, site, top)));
          ASSERT_EQ(reference, Rows(total(info_sql::PublishedList(sys, col, site, top))));
          ASSERT_EQ(
              reference,
              Rows(total(info_sql::PublishedListByColumn(sys, col, site, top, engine().sqlite()))));
        }
        reference = Rows(total(info_sql::PublishedListReference(sys, col, site)));
        int rows = static_cast<int>(std::count(reference.begin(), reference.end(), '\n')) - 1;
        ASSERT_EQ(Rows("select (" + info_sql::PublishedCount(sys, col, site) + ") as n"),
                  "n\n" + std::to_string(rows) + "\n");
        non_empty += rows > 0;
      }
    }
  }
  EXPECT_GT(non_empty, 40);
}

PTOLIX_BACKENDS(QueriesTest);

}  // namespace
}  // namespace ptolix::test
