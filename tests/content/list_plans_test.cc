// Plans of the column lists on skewed data: in a busy column and in a small
// one, every mode's page is read from an index in list order (no sort), and
// its count from the same index.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

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
    std::string sql;
    for (int id = 1; id <= 3300; ++id) {
      int column = id <= 3000 ? 1 : 2 + (id - 3001) / 10;
      int site = id <= 3000 ? 1 + id % 3 : 1;
      sql +=
          (sql.empty()
               ? "insert into tPtlx_Information (Info_ID,InfState_ID,Sys_ID,Column_ID,WebSite_ID,"
                 "Info_Title,Info_IsDeleted,Info_Order) values "
               : ",");
      sql += "(" + std::to_string(id) + "," + std::to_string(1 + id % 6) + ",1," +
             std::to_string(column) + "," + std::to_string(site) + ",'t','" +
             (id % 50 == 0 ? "1" : "0") + "','" + PaddedOrderCode(id, 8) + "')";
      if (id % 500 == 0) {
        Exec(sql);
        sql.clear();
      }
    }
    if (!sql.empty()) Exec(sql);
    if (IsPostgres()) {
      VacuumUntilAllVisible();
      Exec("set enable_seqscan = off");
    } else {
      Exec("analyze");
    }
  }

  // The planner costs an index-only scan by the share of pages marked
  // all-visible, and vacuum cannot mark them while another session (a test
  // running alongside, in the same database) still holds an older snapshot:
  // vacuum again until the table's pages are all marked.
  void VacuumUntilAllVisible() {
    for (int attempt = 0; attempt < 100; ++attempt) {
      Exec("vacuum analyze tPtlx_Information");
      auto cursor = db::BackendOf(*conn).Query(
          "select case when relallvisible >= relpages then 1 else 0 end from pg_class where oid = "
          "'tptlx_information'::regclass");
      std::vector<Variant> row;
      if (cursor->Fetch(&row) && ToDisplay(row[0]) == "1") return;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    FAIL() << "vacuum never marked every page of tPtlx_Information all-visible";
  }

  // The plan of a statement as the connection sends it, one line a step.
  std::string Plan(const std::string& sql) {
    std::string text;
    auto cursor = db::BackendOf(*conn).Query(
        (IsPostgres() ? "explain (costs off) " : "explain query plan ") + sql);
    std::vector<Variant> row;
    while (cursor->Fetch(&row)) text += ToDisplay(row.back()) + "\n";
    return text;
  }
};

TEST_P(ListPlansTest, EveryModeReadsItsPageInOrderFromOneIndexRange) {
  auto info = New("Information");
  info->Put("PageSize", Variant(20));
  // PostgreSQL may read state 1 from the index of states 1 and 2, still in
  // order.
  struct Case {
    const char *mode, *index, *or_index;
  } cases[] = {{"Published", "ix_info_columnpublished", nullptr},
               {"All", "ix_info_columnlive", nullptr},
               {"WaitAssess", "ix_info_columnstate", "ix_info_columneditor"},
               {"Canceled", "ix_info_columnstate", nullptr},
               {"Editor", "ix_info_columneditor", nullptr}};
  for (const auto& c : cases) {
    for (const char* column : {"1", "7"}) {
      for (const char* page : {"1", "5"}) {
        Trace();
        info->Call("GetInfoList", {"1", "1", column, c.mode, page});
        auto sent = Trace();
        ASSERT_EQ(sent.size(), 1u) << c.mode;
        auto r = db::RewriteFor(*conn, sent[0]);
        std::string list = Plan(r.text + " limit 20 offset 80");
        std::string count =
            Plan("select count(*) from (" + r.text.substr(0, r.before_order_by) + ") ptlx_count");
        std::string where =
            std::string(c.mode) + " column " + column + "\n" + list + "--\n" + count;
        for (auto* text : {&list, &count}) {
          std::string lower;
          for (char ch : *text)
            lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
          // The page from the mode's index; the count from the rows of the
          // column, website and system alone (any index giving that range).
          if (text == &list) {
            EXPECT_TRUE(lower.find(c.index) != std::string::npos ||
                        (c.or_index && lower.find(c.or_index) != std::string::npos))
                << where;
          } else {
            EXPECT_NE(lower.find("website_id"), std::string::npos) << where;
          }
          EXPECT_EQ(lower.find("temp b-tree"), std::string::npos) << where;
          EXPECT_EQ(lower.find("sort"), std::string::npos) << where;
          EXPECT_EQ(lower.find("scan tptlx_information\n"), std::string::npos) << where;
          EXPECT_EQ(lower.find("seq scan"), std::string::npos) << where;
        }
      }
    }
  }
}

TEST_P(ListPlansTest, PublishedListsOfBusySubtreesAreReadInOrderOthersSorted) {
  // Column 60 (under column 59) gets 2,400 published items of website 1;
  // column 1 has about 500.
  Exec(
      "insert into tPtlx_Column (Column_ID,Sys_ID,Column_Order,Column_IsDeleted) values "
      "(1,1,'FFFFFFEF','0'),"
      "(59,1,'FFFFFFAF','0'),(60,1,'FFFFFFAFFFFFFFDF','0')");
  std::string sql;
  for (int id = 5001; id <= 7400; ++id) {
    sql +=
        std::string(
            sql.empty()
                ? "insert into tPtlx_Information (Info_ID,InfState_ID,Sys_ID,Column_ID,WebSite_ID,"
                  "Info_IsDeleted,Info_Order) values "
                : ",") +
        "(" + std::to_string(id) + ",4,1,60,1,'0','" + PaddedOrderCode(id, 8) + "')";
  }
  Exec(sql);
  Exec(IsPostgres() ? "vacuum analyze" : "analyze");
  auto info = New("Information");
  info->Put("PageSize", Variant(20));
  struct Case {
    const char* column;
    std::string list;
  } cases[] = {{"59", info_sql::PublishedList("1", "59", "1")},
               {"60", info_sql::PublishedList("1", "60", "1")},
               {"1", info_sql::PublishedListByColumn("1", "1", "1", {}, !IsPostgres())}};
  for (const auto& c : cases) {
    Trace();
    Variant page = info->Call("GetPublishedInfoList", {"1", "1", c.column, "3"});
    auto sent = Trace();
    ASSERT_EQ(sent.size(), 3u) << c.column;
    EXPECT_EQ(sent[1], c.list) << c.column;
    EXPECT_EQ(page.AsArray().DataRows(), 20) << c.column;
  }
  // The ordered form walks the website's index in list order.
  std::string plan = Plan(db::RewriteFor(*conn, info_sql::PublishedList("1", "59", "1")).text +
                          " limit 20 offset 40");
  EXPECT_EQ(plan.find("TEMP B-TREE FOR ORDER BY"), std::string::npos) << plan;
  EXPECT_EQ(plan.find("Sort"), std::string::npos) << plan;
}

TEST_P(ListPlansTest, KeyedWindowsAreReadFromTheIndexAlone) {
  // Deep windows on PostgreSQL read the page's keys without visiting the
  // rows skipped; the outer select then reads 20 rows by key.
  if (!IsPostgres()) GTEST_SKIP() << "SQLite skips rows in the index already";
  for (const char* mode :
       {" and InfState_ID in (4,5,6)", "", " and InfState_ID = 1", " and InfState_ID in (1,2)"}) {
    auto r = db::RewriteFor(
        *conn,
        std::string("select * from tPtlx_Information where WebSite_ID = 1 and Sys_ID = 1 and "
                    "Column_ID = 1") +
            mode + " and Info_IsDeleted = '0' order by Info_Order");
    std::string plan = Plan(db::KeyedWindow(r, 400, 20));
    // The window straight from the index; only its 20 rows are sorted.
    size_t limit = plan.find("->  Limit\n");
    ASSERT_NE(limit, std::string::npos) << mode << "\n" << plan;
    std::string below = plan.substr(limit + 10, plan.find('\n', limit + 10) - limit - 10);
    EXPECT_NE(below.find("Index Only Scan using ix_info_column"), std::string::npos) << mode << "\n"
                                                                                     << plan;
  }
}

// The keyed window and the plain one select the same rows, in the same order
// when the order is total, on data with shared codes, deleted rows and rows
// of other columns, websites and systems.
TEST_P(ListPlansTest, KeyedWindowSelectsThePlainWindowsRows) {
  std::mt19937 rnd(7);
  std::string sql;
  for (int id = 4001; id <= 4400; ++id) {
    sql +=
        std::string(
            sql.empty()
                ? "insert into tPtlx_Information (Info_ID,InfState_ID,Sys_ID,Column_ID,WebSite_ID,"
                  "Info_IsDeleted,Info_Order) values "
                : ",") +
        "(" + std::to_string(id) + "," + std::to_string(1 + rnd() % 6) + "," +
        std::to_string(1 + rnd() % 2) + "," + std::to_string(40 + rnd() % 3) + "," +
        std::to_string(1 + rnd() % 2) + ",'" + (rnd() % 8 == 0 ? "1" : "0") + "','" +
        PaddedOrderCode(rnd() % 150, 8) + "')";
  }
  Exec(sql);
  auto rows = [&](const std::string& text) {
    std::vector<std::string> out;
    auto cursor = db::BackendOf(*conn).Query(text);
    std::vector<Variant> row;
    while (cursor->Fetch(&row)) {
      std::string line;
      for (const auto& v : row) line += ToDisplay(v) + "|";
      out.push_back(line);
    }
    return out;
  };
  const std::string cases[] = {
      "select * from tPtlx_Information where WebSite_ID = 1 and Sys_ID = 1 and Column_ID = 40 and "
      "InfState_ID in "
      "(4,5,6) and Info_IsDeleted = '0' order by Info_Order,Info_ID",
      "select Info_ID,'[Content]',Info_Order from tPtlx_Information where Column_ID = 41 or "
      "WebSite_ID = 2 "
      "order by Info_Order desc,Info_ID",
      "select * from tPtlx_Information where Info_IsDeleted = '0' and (InfState_ID = 1 or "
      "Column_ID = 42) order by "
      "Info_Order,Info_ID",
  };
  int compared = 0;
  for (const auto& c : cases) {
    auto r = db::RewriteFor(*conn, c);
    for (int64_t start : {0, 3, 20, 57, 140, 390}) {
      std::string keyed = db::KeyedWindow(r, start, 20);
      ASSERT_FALSE(keyed.empty()) << c;
      auto plain = rows(r.text + " limit 20 offset " + std::to_string(start));
      EXPECT_EQ(plain, rows(keyed)) << keyed;
      compared += !plain.empty();
    }
  }
  EXPECT_GT(compared, 12);
  // A list without an order: the same number of rows, all of them rows of
  // the statement.
  auto r = db::RewriteFor(*conn, "select * from tPtlx_Information where Column_ID = 40");
  auto all = rows(r.text);
  std::sort(all.begin(), all.end());
  auto keyed = rows(db::KeyedWindow(r, 30, 20));
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
