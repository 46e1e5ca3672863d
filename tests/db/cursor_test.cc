#include <gtest/gtest.h>

#include "db/backend.h"
#include "fixture.h"
#include "ptolix/db/error.h"

namespace ptolix {
namespace {

class CursorTest : public test::DbTest {
 protected:
  void Fill(int n) {
    db::Transaction tx(*conn);
    for (int i = 1; i <= n; ++i) {
      db::BackendOf(*conn).Execute("insert into tPtlx_System (Sys_Name) values ('s" +
                                   std::to_string(i) + "')");
    }
    tx.Commit();
  }
};

TEST_P(CursorTest, KeysetMovesBothWaysAcrossWindows) {
  Fill(150);
  auto rs = conn->OpenKeyset("select Sys_ID from tPtlx_System order by Sys_ID desc");
  EXPECT_EQ(rs->RecordCount(), 150);
  int seen = 0;
  for (; !rs->IsEof(); rs->MoveNext()) {
    EXPECT_EQ(rs->Field(0).AsInt64(), 150 - seen);
    ++seen;
  }
  EXPECT_EQ(seen, 150);
  rs->MoveLast();
  EXPECT_EQ(rs->Field("sys_id").AsInt64(), 1);  // names ignore letter case
  for (int i = 0; i < 100; ++i) rs->MovePrevious();
  EXPECT_EQ(rs->Field(0).AsInt64(), 101);
  rs->MoveFirst();
  rs->MovePrevious();
  EXPECT_TRUE(rs->IsBof());
  EXPECT_THROW(rs->Field(0), Failure);
  rs->SetPageSize(20);
  EXPECT_EQ(rs->PageCount(), 8);
  rs->SetAbsolutePage(8);
  EXPECT_EQ(rs->Field(0).AsInt64(), 10);
  // A limited statement is counted, then fetched a window at a time.
  rs = conn->OpenKeyset("select top 23 Sys_ID from tPtlx_System order by Sys_ID");
  rs->SetPageSize(10);
  EXPECT_EQ(rs->RecordCount() * 10 + rs->PageCount(), 233);
  rs->SetAbsolutePage(3);
  EXPECT_EQ(rs->Field(0), Variant(int32_t{21}));
  for (int i = 0; i < 3; ++i) rs->MoveNext();
  EXPECT_TRUE(rs->IsEof());
  // Windows keep the statement's own order and limit, past a number glued to
  // the order by and past an order by inside a sub-query.
  for (const char* sql :
       {"select top 3 Sys_ID from tPtlx_System where Sys_ID > 1order by Sys_ID desc",
        "select Sys_ID from tPtlx_System where Sys_ID in (select top 3 Sys_ID from tPtlx_System "
        "order by Sys_ID desc) order by Sys_ID desc"}) {
    rs = conn->OpenKeyset(sql);
    rs->SetPageSize(2);
    rs->SetAbsolutePage(2);
    EXPECT_EQ(rs->RecordCount() * 1000 + rs->Field(0).AsInt64(), 3148) << sql;
  }
}

TEST_P(CursorTest, ValuesKeepTheirKinds) {
  Exec(
      "insert into tPtlx_Information (Info_Title, Info_PublicDate, Info_ImageCount) values ('t', "
      "'2002-08-02 10:11:12', 3)");
  auto rs = conn->Execute(
      "select Info_ID, Info_Title, Info_PublicDate, Info_SystemTime, Info_EndDate, "
      "Info_ImageCount, InfState_ID, Info_IsDeleted from tPtlx_Information");
  EXPECT_EQ(rs->Field("Info_ID"), Variant(int32_t{1}));
  EXPECT_EQ(rs->Field("Info_PublicDate"), Variant(DateTime{2002, 8, 2, 10, 11, 12}));
  EXPECT_EQ(rs->Field("Info_SystemTime").kind(), Variant::Kind::kDate);  // database default
  EXPECT_TRUE(rs->Field("Info_EndDate").IsNull());
  EXPECT_EQ(rs->Field("InfState_ID"), Variant(int32_t{1}));  // new items wait for review
  EXPECT_EQ(rs->Field("Info_IsDeleted"), Variant("0"));
}

TEST_P(CursorTest, SubtreeQueriesConcatenateInsteadOfAdding) {
  // Without rewriting, '0007' + '%' would be the number 7 on SQLite.
  Exec(
      "insert into tPtlx_Role (Role_ID, Role_Order) values (2, '0007'), (3, '00070001'), (4, "
      "'0008')");
  auto rs = conn->OpenKeyset(
      "select Role_ID from tPtlx_Role where Role_Order like "
      "(select Role_Order from tPtlx_Role where Role_ID = 2) + '%' order by Role_Order");
  EXPECT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(rs->Field(0).AsInt64(), 2);
  if (!IsPostgres()) {
    // The prefix from a sub-query is served by the order-code index.
    std::string plan = Rows(
        "explain query plan select Role_ID from tPtlx_Role where Role_Order like "
        "(select Role_Order from tPtlx_Role where Role_ID = 2) + '%'");
    EXPECT_NE(plan.find("INDEX ix_Role_Order (Role_Order>? AND Role_Order<?)"), std::string::npos)
        << plan;
  }
}

TEST_P(CursorTest, TraceRecordsStatementsAsBuilt) {
  conn->Execute("select top 1 * from tPtlx_Role");
  conn->OpenKeyset("select * from tPtlx_System where Sys_ID = 1and Sys_Name = 'a'")->RecordCount();
  EXPECT_EQ(Trace(), (std::vector<std::string>{
                         "select top 1 * from tPtlx_Role",
                         "select * from tPtlx_System where Sys_ID = 1and Sys_Name = 'a'"}));
  EXPECT_THROW(conn->Execute("select * from nowhere"), db::Error);
}

PTOLIX_BACKENDS(CursorTest);

}  // namespace
}  // namespace ptolix
