// Counts the database keeps for the information lists: every list's number
// equals a count of its rows after random writes through the library and
// through plain statements; `check` finds what a writer that bypassed the
// triggers left wrong, and `repair` mends it; an older database takes them
// in place.

#include <fmt/format.h>
#include <stdio.h>

#include <random>

#include "content/information_sql.h"
#include "db/backend.h"
#include "fixture.h"
#include "value/order_code.h"

namespace ptolix::test {
namespace {

class KeptCountsTest : public DbTest {
 protected:
  // Every count is kept between calls, so each check also finds a kept
  // count that a write should have made stale.
  KeptCountsTest() : DbTest(true) { db::KeepCountsFrom(*conn, std::chrono::microseconds(0)); }
  const std::string kItems =
      "insert into tPtlx_Information (Info_ID,InfState_ID,Sys_ID,Column_ID,WebSite_ID,"
      "Info_IsDeleted,Info_Order) values ";
  const std::string kPosts = "insert into tPtlx_Info2Colu (Sys_ID,Column_ID,Info_ID) values ";
  // A random value of a key column, null now and then.
  std::string Pick(std::initializer_list<const char*> values) {
    return rnd_() % 20 == 0 ? "null" : *(values.begin() + rnd_() % values.size());
  }
  std::string RandomItem(int id) {
    return "(" + std::to_string(id) + "," + Pick({"1", "2", "4", "5", "6"}) + "," +
           Pick({"1", "1", "2"}) + "," + Pick({"1", "2", "3", "4", "6", "7"}) + "," +
           Pick({"1", "2"}) + "," + Pick({"'0'", "'0'", "'1'"}) + ",'" +
           PaddedOrderCode(rnd_() % 400, 8) + "')";
  }
  std::string RandomPost() {
    return "(" + Pick({"1", "1", "2"}) + "," + Pick({"1", "2", "3", "4", "5", "6", "7"}) + "," +
           std::to_string(1 + rnd_() % (next_id_ + 3)) + ")";
  }
  // A random plain statement on the items or their cross-posts.
  std::string RandomStatement() {
    std::string id = std::to_string(1 + rnd_() % next_id_);
    switch (rnd_() % 7) {
      case 0:
        return kItems + RandomItem(++next_id_);
      case 1:
        return kPosts + RandomPost();
      case 2:
        return "update tPtlx_Information set InfState_ID = " + Pick({"1", "4", "5"}) +
               ", Column_ID = " + Pick({"2", "3", "4"}) + " where Info_ID in (" + id + "," +
               std::to_string(1 + rnd_() % next_id_) + ")";
      case 3:
        return "update tPtlx_Information set Info_IsDeleted = " + Pick({"'0'", "'1'"}) +
               ", WebSite_ID = " + Pick({"1", "2"}) + " where Info_ID = " + id;
      case 4:
        return "delete from tPtlx_Info2Colu where Info_ID = " + id;
      case 5:
        return "update tPtlx_Info2Colu set Column_ID = " + Pick({"2", "3", "4"}) +
               " where Info_ID = " + id;
      default:
        return rnd_() % 3 ? "update tPtlx_Information set Info_Url = 'x' where Info_ID = " + id
                          : "delete from tPtlx_Information where Info_ID = " + id;
    }
  }
  // Columns 1..6 of system 1 (2 and 3 under 1, 4 under 2; 5 deleted, under
  // 1; 6 apart) and 7 of system 2; `items` random items, `posts` cross-posts.
  void Fill(int items, int posts) {
    Exec(
        "insert into tPtlx_Column (Column_ID,Sys_ID,Column_Order,Column_IsDeleted) values "
        "(1,1,'FFFFFFEF','0'),(2,1,'FFFFFFEFFFFFFFEF','0'),(3,1,'FFFFFFEFFFFFFFDF','0'),"
        "(4,1,'FFFFFFEFFFFFFFEFFFFFFFEF','0'),(5,1,'FFFFFFEFFFFFFFCF','1'),"
        "(6,1,'FFFFFFDF','0'),(7,2,'FFFFFFEF','0')");
    std::string rows;
    for (next_id_ = 1; next_id_ <= items; ++next_id_)
      rows += (rows.empty() ? "" : ",") + RandomItem(next_id_);
    Exec(kItems + rows);
    rows.clear();
    for (--next_id_; posts > 0; --posts) rows += (rows.empty() ? "" : ",") + RandomPost();
    Exec(kPosts + rows);
  }
  // Each list's RecordCount against a count of the rows of the statement it
  // sent, for every column, website and mode.
  void ExpectListCountsExact(const std::string& when) {
    auto info = New("Information");
    info->Put("PageSize", Variant(7));
    auto record_count = [&](const char* method, Args args) {
      info->Call(method, std::move(args));
      auto trace = Trace();
      int64_t rows = Count("select count(*) from (" + trace.back() + ") t");
      EXPECT_EQ(info->Get("RecordCount").AsInt64(), rows)
          << when << ": " << method << " " << trace.back();
    };
    Trace();
    for (const char* site : {"1", "2"}) {
      for (const char* col : {"1", "2", "3", "4", "6"}) {
        record_count("GetPublishedInfoList", {site, "1", col, "1"});
        for (const char* mode : {"Published", "All", "WaitAssess", "Editor"})
          record_count("GetInfoList", {site, "1", col, mode, "2"});
        record_count("SearchInfoList", {site, "1", col, "All", "", "", "", "", "", "1"});
        record_count("GetInfoList1", {"1", col, site, "3", "1"});
      }
    }
    // The exported counts for the searches: published less hidden subtrees,
    // and the columns a user may read.
    const std::string hidden =
        "(Column_ID is null or not Column_ID in (select Column_ID from tPtlx_Column where "
        "Column_Order like 'FFFFFFEFFFFFFFDF%'))";
    const std::string readable =
        "WebSite_ID = 1 and Sys_ID = 1 and Column_ID in (select Column_ID from tPtlx_Column "
        "where Sys_ID = 1 and Column_ID in (2,3,6) and Column_IsDeleted = '0') and "
        "InfState_ID in (1,2) and Info_IsDeleted = '0'";
    for (const char* col : {"1", "2", "6"}) {
      EXPECT_EQ(Count(info_sql::KeptPublishedCount("1", col, "1", hidden)),
                Count("select count(*) from tPtlx_Information where " +
                      info_sql::PublishedCondition("1", col, "1") + " and " + hidden))
          << when << " " << col;
    }
    EXPECT_EQ(Count(info_sql::KeptItemCount(readable)),
              Count("select count(*) from tPtlx_Information where " + readable))
        << when;
    EXPECT_TRUE(schema::CheckKeptCounts(*conn, false).empty()) << when;
  }

  std::mt19937 rnd_{25};
  int next_id_ = 0;
};

// Random data with null keys, deleted columns, duplicate cross-posts and
// cross-posts into two columns of one subtree, in a database made before
// the kept counts existed: it takes them, filled from its rows, and a second
// run changes nothing. A writer that bypasses the triggers, and kept rows
// changed by hand: check lists each difference, repair mends them all (and
// the counts kept before). Then random writes: plain statements on this
// connection and another, library writes, statements in a transaction
// rolled back, and a column moved into a subtree and out.
TEST_P(KeptCountsTest, ListCountsStayExactFromAnOlderDatabaseThroughRandomWrites) {
  Fill(160, 140);
  for (const char* t : {"tPtlx_InfoCount", "tPtlx_PostCount", "tPtlx_InfoPosts"})
    Exec(std::string("drop table ") + t + (engine().postgres() ? " cascade" : ""));
  for (const char* t :
       {"info_insert", "info_delete", "info_update", "post_insert", "post_delete", "post_update"}) {
    Exec(std::string("drop trigger ptlx_kept_") + t +
         (engine().postgres()
              ? std::string(" on ") + (t[0] == 'i' ? "tPtlx_Information" : "tPtlx_Info2Colu")
              : ""));
  }
  Exec("update tPtlx_Information set InfState_ID = 4 where Info_ID < 20");  // untracked
  Exec(
      "update tPtlx_Information set Sys_ID = 1, WebSite_ID = 1, Column_ID = 2, "
      "Info_IsDeleted = '0' where Info_ID = 7");  // published in 1 and 2, until below
  schema::CreateSchema(*conn);
  EXPECT_TRUE(schema::CheckKeptCounts(*conn, false).empty());
  std::string filled = Rows("select * from tPtlx_InfoCount order by 1,2,3,4,5");
  schema::CreateSchema(*conn);
  EXPECT_EQ(Rows("select * from tPtlx_InfoCount order by 1,2,3,4,5"), filled);
  ExpectListCountsExact("filled");

  if (engine().postgres()) {
    Exec("alter table tPtlx_Information disable trigger user");
    Exec("update tPtlx_Information set InfState_ID = 3 where Info_ID = 7");
    Exec("alter table tPtlx_Information enable trigger user");
  } else {
    Exec("drop trigger ptlx_kept_info_update");
    Exec("update tPtlx_Information set InfState_ID = 3 where Info_ID = 7");
    schema::CreateSchema(*conn);  // the trigger back; the kept rows stay as they are
  }
  Exec("update tPtlx_InfoPosts set Post_Count = Post_Count + 5 where Info_ID = 1");
  Exec("delete from tPtlx_InfoPosts where Info_ID = 2");
  auto found = schema::CheckKeptCounts(*conn, false);
  EXPECT_GE(found.size(), 3u);
  EXPECT_EQ(schema::CheckKeptCounts(*conn, false).size(), found.size());  // check changes nothing
  EXPECT_EQ(schema::CheckKeptCounts(*conn, true).size(), found.size());
  EXPECT_TRUE(schema::CheckKeptCounts(*conn, false).empty());
  ExpectListCountsExact("repaired");
  auto other = Open();
  for (int round = 0; round < 4; ++round) {
    for (int i = 0; i < 25; ++i) {
      if (i % 2)
        Exec(RandomStatement());
      else
        other->ExecuteCommand(RandomStatement());
    }
    other->ExecuteCommand(std::string("update tPtlx_Column set Column_Order = '") +
                          (round % 2 ? "FFFFFFDF" : "FFFFFFEFFFFFFFBF") + "' where Column_ID = 6");
    auto info = New("Information");
    for (int i = 0; i < 6; ++i) {
      std::string id = std::to_string(1 + rnd_() % next_id_);
      info->Call("AssessInfo", {"a", id, std::to_string(1 + rnd_() % 6)});
      info->Call("AddInfo2Column", {id, "1", std::to_string(2 + rnd_() % 3)});
      info->Call("MoveInfo", {std::to_string(1 + rnd_() % next_id_), "1", "4"});
      info->Call("DeleteInfo", {std::to_string(1 + rnd_() % next_id_)});
    }
    {
      db::Transaction tx(*conn);
      for (int i = 0; i < 10; ++i) db::BackendOf(*conn).Execute(RandomStatement());
    }
    ExpectListCountsExact("round " + std::to_string(round));
  }
  // A whole table emptied at once.
  Exec(engine().postgres() ? "truncate table tPtlx_Info2Colu" : "delete from tPtlx_Info2Colu");
  ExpectListCountsExact("cross-posts emptied");
  Exec(engine().postgres() ? "truncate table tPtlx_Information" : "delete from tPtlx_Information");
  EXPECT_EQ(Count("select count(*) from tPtlx_InfoCount where Info_Count <> 0"), 0);
}

// Users per role and links per class: random plain writes, some rolled
// back, then every role's and class's list number against a count of its
// rows; a kept row changed by hand is found and mended.
TEST_P(KeptCountsTest, UsersPerRoleAndLinksPerClassStayExact) {
  auto key = [&] {
    return rnd_() % 10 == 0 ? std::string("null") : std::to_string(1 + rnd_() % 4);
  };
  auto statements = [&](int i) -> std::vector<std::string> {
    const std::string n = std::to_string(i), other = std::to_string(1 + rnd_() % (i + 1));
    switch (rnd_() % 4) {
      case 0:
        return {"update tPtlx_User set Role_ID = " + key() + " where Usr_ID in ('u" + other +
                "','u" + n + "')"};
      case 1:
        return {"delete from tLink_Detail where Link_ID = " + other};
      case 2:
        return {"update tLink_Detail set LinkClass_ID = " + key() + " where Link_ID = " + other};
      default:
        return {"insert into tPtlx_User (Usr_ID,Role_ID) values ('u" + n + "'," + key() + ")",
                "insert into tLink_Detail (Link_ID,LinkClass_ID) values (" + n + "," + key() + ")"};
    }
  };
  auto expect_exact = [&](const std::string& when) {
    for (auto [name, method, table, key] :
         {std::tuple{"Role", "GetDirectUserList", "tPtlx_User", "Role_ID"},
          std::tuple{"Link", "GetClassLinkList", "tLink_Detail", "LinkClass_ID"}}) {
      auto obj = New(name);
      obj->Put("PageSize", Variant(3));
      for (const std::string id : {"1", "2", "3", "4", "5"}) {
        obj->Call(method, {id, "1"});
        EXPECT_EQ(obj->Get("RecordCount").AsInt64(),
                  Count(fmt::format("select count(*) from {} where {} = {}", table, key, id)))
            << when << " " << name << " " << id;
      }
    }
    EXPECT_TRUE(schema::CheckKeptCounts(*conn, false).empty()) << when;
  };
  for (int i = 1; i <= 120; ++i) {
    for (const std::string& one : statements(i)) Exec(one);
    if (i % 30 == 0) {
      db::Transaction tx(*conn);
      for (int j = 0; j < 5; ++j) {
        for (const std::string& one : statements(1000 + i * 10 + j))
          db::BackendOf(*conn).Execute(one);
      }
    }
  }
  expect_exact("written");
  Exec("update tPtlx_RoleUsers set Row_Count = Row_Count + 2 where Role_ID = 3");
  EXPECT_EQ(schema::CheckKeptCounts(*conn, true).size(), 1u);
  expect_exact("repaired");
  Exec(engine().postgres() ? "truncate table tLink_Detail" : "delete from tLink_Detail");
  expect_exact("links emptied");
}

PTOLIX_BACKENDS(KeptCountsTest);

class CheckToolTest : public DbTest {
 protected:
  CheckToolTest() : DbTest(true) {}
};

// `ptolix check` on a database file: silent with status 0 when every count
// is exact; each difference and status 1 otherwise; --repair mends them and
// says what it mended.
TEST_P(CheckToolTest, ReportsAndRepairs) {
  if (engine().postgres()) GTEST_SKIP() << "the tool opens its own database by URL";
  Exec(
      "insert into tPtlx_Information (Sys_ID,Column_ID,WebSite_ID,InfState_ID) values "
      "(1,3,1,4),(1,3,1,4),(1,null,2,1)");
  auto run = [&](const std::string& args) {  // the output, then "status N"
    std::string out, command = PTOLIX_TOOL_PATH " check --db " + url_ + " " + args + " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    for (char buf[512]; fgets(buf, sizeof buf, p);) out += buf;
    return out + "status " + std::to_string(WEXITSTATUS(pclose(p)));
  };
  const std::string exact = "every kept count is exact\nstatus 0";
  EXPECT_EQ(run(""), exact);
  conn->ExecuteCommand(
      "update tPtlx_InfoCount set Info_Count = 7 where Column_ID = 3;"
      "delete from tPtlx_InfoCount where WebSite_ID = 2");
  const std::string diff =
      "tPtlx_InfoCount (Sys_ID,WebSite_ID,Column_ID,InfState_ID,Info_IsDeleted) 1|1|3|4|0: "
      "kept 7, counted 2\n"
      "tPtlx_InfoCount (Sys_ID,WebSite_ID,Column_ID,InfState_ID,Info_IsDeleted) 1|2|null|1|0: "
      "kept 0, counted 1\n";
  EXPECT_EQ(run(""), diff + "2 kept counts differ from the rows\nstatus 1");
  EXPECT_EQ(run("--repair"), diff + "repaired 2 kept counts\nstatus 0");
  EXPECT_EQ(run(""), exact);
}

PTOLIX_BACKENDS(CheckToolTest);

}  // namespace
}  // namespace ptolix::test
