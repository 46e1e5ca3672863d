// The column lists on skewed data, a busy column beside small ones: each
// list form gives the rows of its condition in order, whichever form the
// library picks, and keyed windows select the rows of plain ones.

#include <algorithm>
#include <functional>
#include <random>
#include <utility>

#include "db/cursors.h"
#include "fixture.h"
#include "value/order_code.h"

namespace ptolix::test {
namespace {

class ListPagesTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    // Column 1 holds 3,000 items over three websites, columns 2 to 31 hold 10
    // each; states 1 to 6 in turn, one item in 50 deleted.
    Insert(1, 3300, [](int id) {
      int column = id <= 3000 ? 1 : 2 + (id - 3001) / 10, site = id <= 3000 ? 1 + id % 3 : 1;
      return std::to_string(1 + id % 6) + ",1," + std::to_string(column) + "," +
             std::to_string(site) + ",'" + (id % 50 == 0 ? "1" : "0") + "','" +
             PaddedOrderCode(id, 8) + "'";
    });
    ExecAll(engine().Analyze());
  }
  // Items first..last; `values` gives "state,sys,column,site,deleted,code".
  void Insert(int first, int last, const std::function<std::string(int)>& values) {
    std::string sql;
    for (int id = first; id <= last; ++id) {
      sql += (sql.empty() ? "insert into tPtlx_Information (Info_ID,InfState_ID,Sys_ID,Column_ID,"
                            "WebSite_ID,Info_IsDeleted,Info_Order) values "
                          : ",") +
             ("(" + std::to_string(id) + "," + values(id) + ")");
      if ((id - first) % 500 == 499 || id == last) Exec(std::exchange(sql, ""));
    }
  }
  ResultArray Run(const std::string& sql) { return conn->RunQuery(sql); }
  // The Info_ID field of each row.
  static Lines Ids(const ResultArray& rows) {
    Lines ids;
    for (int32_t r = 1; r <= rows.DataRows(); ++r) ids.push_back(rows.Get(r, "Info_ID").ToText());
    return ids;
  }
};

TEST_P(ListPagesTest, EveryModesPageHoldsTheRowsOfItsCondition) {
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
      auto all = Ids(Run(expected));
      // Page 5, or the last page when there are fewer.
      size_t last = std::max<size_t>((all.size() + 19) / 20, 1), shown = std::min<size_t>(5, last);
      Lines page(all.begin() + std::min(20 * (shown - 1), all.size()),
                 all.begin() + std::min(20 * shown, all.size()));
      Variant got = info->Call("GetInfoList", {"1", "1", column, mode, "5"});
      EXPECT_EQ(Ids(got.AsArray()), page) << mode << " column " << column;
    }
  }
}

TEST_P(ListPagesTest, PublishedListsOfBigAndSmallSubtreesHoldTheSameRows) {
  // Column 60 (under column 59) gets 2,400 published items of website 1;
  // column 1 has about 500; items 10 to 19 of column 1 are cross-posted into
  // column 60.
  Exec(
      "insert into tPtlx_Column (Column_ID,Sys_ID,Column_Order,Column_IsDeleted) values "
      "(1,1,'FFFFFFEF','0'),(59,1,'FFFFFFAF','0'),(60,1,'FFFFFFAFFFFFFFDF','0')");
  Insert(5001, 7400, [](int id) { return "4,1,60,1,'0','" + PaddedOrderCode(id, 8) + "'"; });
  for (int id = 10; id < 20; ++id)
    Exec("insert into tPtlx_Info2Colu (Sys_ID,Column_ID,Info_ID) values (1,60," +
         std::to_string(id) + ")");
  ExecAll(engine().Analyze());
  auto info = New("Information");
  info->Put("PageSize", Variant(20));
  for (const char* column : {"59", "60", "1"}) {
    std::string subtree = std::string(column) == "1" ? "(1)" : "(59, 60)";
    if (std::string(column) == "60") subtree = "(60)";
    auto all = Ids(
        Run("select Info_ID from tPtlx_Information where Sys_ID = 1 and WebSite_ID = 1 and "
            "InfState_ID >= 4 and Info_IsDeleted = '0' and (Column_ID in " +
            subtree + " or Info_ID in (select Info_ID from tPtlx_Info2Colu where Column_ID in " +
            subtree + ")) order by Info_Order"));
    ASSERT_GE(all.size(), 60u) << column;
    Variant page = info->Call("GetPublishedInfoList", {"1", "1", column, "3"});
    EXPECT_EQ(Ids(page.AsArray()), Lines(all.begin() + 40, all.begin() + 60)) << column;
    Variant top = info->Call("GetTopNPublishedInfoList", {"1", "1", column, "15"});
    EXPECT_EQ(Ids(top.AsArray()), Lines(all.begin(), all.begin() + 15)) << column;
  }
  // The probes that pick a list's form (the subtree's homed items, and past
  // page 1 the website's published count) only choose between statements of
  // the same rows: their answers are used again, and taken afresh at every
  // kChoiceUses-th list of the subtree (a count and the list otherwise).
  int probes = 0;
  for (int i = 0; i < db::Connection::kChoiceUses; ++i) {
    Trace();
    EXPECT_EQ(info->Call("GetPublishedInfoList", {"1", "1", "60", "3"}).AsArray().DataRows(), 20);
    probes += static_cast<int>(Trace().size()) - 2;
  }
  EXPECT_EQ(probes, 2);
}

// The keyed window and the plain one select the same rows, in the same order
// when the order is total, on data with shared codes, deleted rows and rows
// of other columns, websites and systems.
TEST_P(ListPagesTest, KeyedWindowSelectsThePlainWindowsRows) {
  std::mt19937 rnd(7);
  Insert(4001, 4400, [&](int) {
    std::string v = std::to_string(1 + rnd() % 6) + "," + std::to_string(1 + rnd() % 2) + ",";
    v += std::to_string(40 + rnd() % 3) + "," + std::to_string(1 + rnd() % 2) + ",";
    return v + "'" + (rnd() % 8 == 0 ? "1" : "0") + "','" + PaddedOrderCode(rnd() % 150, 8) + "'";
  });
  const char* cases[] = {
      "select * from tPtlx_Information where WebSite_ID = 1 and Sys_ID = 1 and Column_ID = 40 and "
      "InfState_ID in (4,5,6) and Info_IsDeleted = '0' order by Info_Order,Info_ID",
      "select Info_ID,'[Content]',Info_Order from tPtlx_Information where Column_ID = 41 or "
      "WebSite_ID = 2 order by Info_Order desc,Info_ID",
      "select * from tPtlx_Information where Info_IsDeleted = '0' and (InfState_ID = 1 or "
      "Column_ID = 42) order by Info_Order,Info_ID",
      // Filtered by a sub-query, as the lists read keys first from page 1.
      "select Info_ID,Info_Order from tPtlx_Information where Sys_ID = 1 and Column_ID = 41 and "
      "Info_ID in (select Info_ID from tPtlx_Information where WebSite_ID = 2) and "
      "Info_IsDeleted = '0' order by Info_Order,Info_ID",
  };
  int compared = 0;
  for (const char* c : cases) {
    auto r = db::RewriteFor(*conn, c);
    for (int64_t start : {0, 3, 20, 57, 140, 390}) {
      std::string keyed = db::KeyedWindow(r, db::CatalogOf(*conn), start, 20);
      ASSERT_FALSE(keyed.empty()) << c;
      auto plain = Fetch(r.text + " limit 20 offset " + std::to_string(start));
      EXPECT_EQ(plain, Fetch(keyed)) << keyed;
      compared += !plain.empty();
    }
  }
  EXPECT_GT(compared, 12);
  // A list without an order: the same number of rows, all of them rows of
  // the statement.
  auto r = db::RewriteFor(*conn, "select * from tPtlx_Information where Column_ID = 40");
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

PTOLIX_BACKENDS(ListPagesTest);

}  // namespace
}  // namespace ptolix::test
