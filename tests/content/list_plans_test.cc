// Plans of the column lists on skewed data: in a busy column and in a small
// one, every mode's page is read from an index in list order (no sort), and
// its count from the same index.

#include <algorithm>
#include <functional>
#include <random>
#include <utility>

#include "content/information_sql.h"
#include "db/cursors.h"
#include "fixture.h"
#include "frame/order_code.h"

namespace ptolix::test {
namespace {

class ListPlansTest : public DbTest {
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
  static bool Sorts(const std::string& plan) {
    for (const char* word : {"temp b-tree", "sort", "scan tptlx_information\n", "seq scan"})
      if (plan.find(word) != std::string::npos) return true;
    return false;
  }
};

TEST_P(ListPlansTest, EveryModeReadsItsPageInOrderFromOneIndexRange) {
  auto info = New("Information");
  info->Put("PageSize", Variant(20));
  // PostgreSQL may read state 1 from the index of states 1 and 2, still in
  // order.
  struct Case {
    const char *mode, *index, *or_index;
  } cases[] = {{"Published", "ix_info_columnpublished", "-"},
               {"All", "ix_info_columnlive", "-"},
               {"WaitAssess", "ix_info_columnstate", "ix_info_columneditor"},
               {"Canceled", "ix_info_columnstate", "-"},
               {"Editor", "ix_info_columneditor", "-"}};
  for (const auto& c : cases) {
    for (const char* column : {"1", "7"}) {
      Trace();
      info->Call("GetInfoList", {"1", "1", column, c.mode, "5"});
      auto sent = Trace();
      ASSERT_EQ(sent.size(), 1u) << c.mode;
      auto r = db::RewriteFor(*conn, sent[0]);
      std::string list = Plan(r.text + " limit 20 offset 80");
      std::string count =
          Plan("select count(*) from (" + r.text.substr(0, r.before_order_by) + ") ptlx_count");
      SCOPED_TRACE(std::string(c.mode) + " column " + column + "\n" + list + "--\n" + count);
      // The page from the mode's index; the count from the rows of the
      // column, website and system alone (any index giving that range).
      EXPECT_TRUE(list.find(c.index) != std::string::npos ||
                  list.find(c.or_index) != std::string::npos);
      EXPECT_NE(count.find("website_id"), std::string::npos);
      EXPECT_FALSE(Sorts(list));
      EXPECT_FALSE(Sorts(count));
    }
  }
}

TEST_P(ListPlansTest, PublishedListsOfBusySubtreesAreReadInOrderOthersSorted) {
  // Column 60 (under column 59) gets 2,400 published items of website 1;
  // column 1 has about 500.
  Exec(
      "insert into tPtlx_Column (Column_ID,Sys_ID,Column_Order,Column_IsDeleted) values "
      "(1,1,'FFFFFFEF','0'),(59,1,'FFFFFFAF','0'),(60,1,'FFFFFFAFFFFFFFDF','0')");
  Insert(5001, 7400, [](int id) { return "4,1,60,1,'0','" + PaddedOrderCode(id, 8) + "'"; });
  ExecAll(engine().Analyze());
  auto info = New("Information");
  info->Put("PageSize", Variant(20));
  std::pair<const char*, std::string> cases[] = {
      {"59", info_sql::PublishedList("1", "59", "1")},
      {"60", info_sql::PublishedList("1", "60", "1")},
      {"1", info_sql::PublishedListByColumn("1", "1", "1", {}, engine().sqlite())}};
  for (const auto& [column, list] : cases) {
    Trace();
    Variant page = info->Call("GetPublishedInfoList", {"1", "1", column, "3"});
    auto sent = Trace();
    // The count first; a subtree with fewer rows in all than the probe's
    // bound is not probed.
    ASSERT_EQ(sent.size(), std::string(column) == "1" ? 2u : 3u) << column;
    EXPECT_EQ(sent.back(), list) << column;
    EXPECT_EQ(page.AsArray().DataRows(), 20) << column;
  }
  // The probe only chooses the form: its answer is used again, and taken
  // afresh at every kChoiceUses-th list of the subtree.
  int probes = 0;
  for (int i = 0; i < db::Connection::kChoiceUses; ++i) {
    Trace();
    EXPECT_EQ(info->Call("GetPublishedInfoList", {"1", "1", "60", "3"}).AsArray().DataRows(), 20);
    probes += static_cast<int>(Trace().size()) - 2;
  }
  EXPECT_EQ(probes, 1);
  // The ordered form walks the website's index in list order.
  std::string plan = Plan(db::RewriteFor(*conn, info_sql::PublishedList("1", "59", "1")).text +
                          " limit 20 offset 40");
  EXPECT_FALSE(Sorts(plan)) << plan;
}

// The keyed window and the plain one select the same rows, in the same order
// when the order is total, on data with shared codes, deleted rows and rows
// of other columns, websites and systems.
TEST_P(ListPlansTest, KeyedWindowSelectsThePlainWindowsRows) {
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
      std::string keyed = db::KeyedWindow(r, start, 20);
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
  auto keyed = Fetch(db::KeyedWindow(r, 30, 20));
  EXPECT_EQ(keyed.size(), 20u);
  for (const auto& row : keyed) EXPECT_TRUE(std::binary_search(all.begin(), all.end(), row)) << row;
  // Statements it does not apply to.
  for (const char* other :
       {"select count(*) from tPtlx_Information where Column_ID = 1",
        "select top 5 * from tPtlx_Information where Column_ID = 1 order by Info_Order",
        "select * from tPtlx_Information a, tPtlx_Column b where a.Column_ID = b.Column_ID",
        "select * from tLink_Detail where LinkClass_ID = 1 order by Link_Order"}) {
    EXPECT_EQ(db::KeyedWindow(db::RewriteFor(*conn, other), 40, 20), "") << other;
  }
}

PTOLIX_BACKENDS(ListPlansTest);

}  // namespace
}  // namespace ptolix::test
