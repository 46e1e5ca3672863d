// The statements each engine runs, and the backends as callers see them on
// every engine: cursors and pages, value kinds and names, transactions after
// a failed statement, what is PostgreSQL's own, and the schema's defaults.

#include "db/backend.h"

#include <unistd.h>

#include <tuple>

#include "db/atomic.h"
#include "db/rewriter.h"
#include "fixture.h"
#include "private_server.h"
#include "ptolix/connect.h"
#include "ptolix/db/error.h"
#include "ptolix/frame/system.h"
#include "ptolix/schema/schema.h"
#include "schema/catalog.h"

namespace ptolix::test {
namespace {

// The text each engine runs, for a few representative statements; the rest
// of the rewriting shows in what the cursor, list and search tests get.
TEST(Rewrite, EachDialect) {
  const db::Dialect sqlite = db::Dialect::kSqlite, pg = db::Dialect::kPostgres;
  const std::tuple<db::Dialect, const char*, const char*> cases[] = {
      {sqlite, "select top 10 * from t order by a", "select * from t order by a limit 10"},
      // Text inside literals untouched; bracketed names quoted.
      {sqlite, "select 'top 10 + right(' from [Right]", "select 'top 10 + right(' from \"Right\""},
      {sqlite, "select [ab", "select [ab"},  // unclosed: kept whole, never cut short
      // Backslashes are plain characters on SQLite (PostgreSQL's literals
      // are checked by what callers store).
      {sqlite, "where Usr_ID = '\\'';--'", "where Usr_ID = '\\'';--'"},
      // Numbers compared with text columns become text on PostgreSQL; numbers
      // stay numbers beside number columns.
      {pg, "where Usr_ID in (1,2) and 7 <> Column_IsDeleted and Role_ID = 3",
       "where Usr_ID in ('1','2') and '7' <> Column_IsDeleted and Role_ID = 3"}};
  const auto catalog = schema::LibraryCatalog();
  for (auto [dialect, in, out] : cases)
    EXPECT_EQ(db::Rewrite(in, db::EngineFor(dialect), *catalog).text, out) << in;
}

class BackendTest : public DbTest {};

TEST_P(BackendTest, KeysetsValueKindsNamesTraceAndSubtrees) {
  std::string systems = "('s1')";
  for (int i = 2; i <= 150; ++i) systems += ",('s" + std::to_string(i) + "')";
  Exec("insert into tPtlx_System (Sys_Name) values " + systems);
  auto rs = conn->OpenKeyset("select Sys_ID from tPtlx_System order by Sys_ID desc");
  EXPECT_EQ(rs->RecordCount(), 150);
  int seen = 0;
  for (; !rs->IsEof(); rs->MoveNext()) EXPECT_EQ(rs->Field(0).AsInt64(), 150 - seen++);
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
  // Values keep their kinds.
  Exec(
      "insert into tPtlx_Information (Info_Title, Info_PublicDate, Info_ImageCount) values ('t', "
      "'2002-08-02 10:11:12', 3)");
  auto row = conn->Execute(
      "select Info_ID, Info_Title, Info_PublicDate, Info_SystemTime, Info_EndDate, "
      "Info_ImageCount, InfState_ID, Info_IsDeleted from tPtlx_Information");
  EXPECT_EQ(row->Field("Info_ID"), Variant(int32_t{1}));
  EXPECT_EQ(row->Field("Info_PublicDate"), Variant(DateTime{2002, 8, 2, 10, 11, 12}));
  EXPECT_EQ(row->Field("Info_SystemTime").kind(), Variant::Kind::kDate);  // database default
  EXPECT_TRUE(row->Field("Info_EndDate").IsNull());
  EXPECT_EQ(row->Field("InfState_ID"), Variant(int32_t{1}));  // new items wait for review
  EXPECT_EQ(row->Field("Info_IsDeleted"), Variant("0"));
  // The trace records statements as built, before rewriting.
  Trace();
  conn->Execute("select top 1 * from tPtlx_Role");
  conn->OpenKeyset("select * from tPtlx_System where Sys_ID = 1and Sys_Name = 'a'")->RecordCount();
  EXPECT_EQ(Trace(), (std::vector<std::string>{
                         "select top 1 * from tPtlx_Role",
                         "select * from tPtlx_System where Sys_ID = 1and Sys_Name = 'a'"}));
  EXPECT_THROW(conn->Execute("select * from nowhere"), db::Error);
  // Expression columns are named alike on every backend.
  EXPECT_EQ(
      Rows("select count(*), max(Role_ID) as Top, tPtlx_Role.Role_Name, role_order from tPtlx_Role "
           "group by tPtlx_Role.Role_Name, Role_Order"),
      "count(*)|Top|Role_Name|Role_Order\n1|1|系统管理员|" +
          conn->Execute("select Role_Order from tPtlx_Role")->Field(0).AsString() + "\n");
  // Also through a page window wrapped around a limited statement.
  rs = conn->OpenKeyset("select top 5 count(*), 'x' as Mark from tPtlx_Role");
  rs->SetPageSize(2);
  rs->SetAbsolutePage(1);
  EXPECT_EQ(rs->FieldNames(), (std::vector<std::string>{"count(*)", "Mark"}));
  // A star over a select list names its columns by their aliases or text.
  EXPECT_EQ(Rows("select * from (select Role_ID Id, len(Role_Name), 1as N from tPtlx_Role) q"),
            "Id|len(Role_Name)|N\n1|5|1\n");
  // Subtree queries concatenate the code prefix and use the index.
  // Without rewriting, '0007' + '%' would be the number 7 on SQLite.
  Exec("insert into tPtlx_Role (Role_ID,Role_Order) values (2,'0007'),(3,'00070001'),(4,'0008')");
  const std::string subtree =
      "select Role_ID from tPtlx_Role where Role_Order like "
      "(select Role_Order from tPtlx_Role where Role_ID = 2) + '%'";
  auto sub = conn->OpenKeyset(subtree + " order by Role_Order");
  EXPECT_EQ(sub->RecordCount() * 10 + sub->Field(0).AsInt64(), 22);
  // A prefix, from a sub-query or written out, is served by the order-code index.
  if (engine().postgres()) Exec("set enable_seqscan = off");
  std::string plan = Plan(db::RewriteFor(*conn, subtree).text);
  EXPECT_THAT(plan,
              HasSubstr(engine().postgres() ? "index cond: ((role_order >="
                                            : "ix_role_order (role_order>? and role_order<?)"));
  if (engine().postgres()) {
    plan = Plan(
        db::RewriteFor(*conn, "select * from tPtlx_Information where Info_Order like 'FF%'").text);
    EXPECT_THAT(plan, HasSubstr("ix_info_order"));
  }
}

TEST_P(BackendTest, ValuesNamesAndLiteralsAsCallersSeeThem) {
  if (!engine().postgres()) GTEST_SKIP() << "PostgreSQL only";
  auto rs = conn->Execute(
      "select Role_ID, Role_Name, count(*) over () as RowTotal, 2147483648 as Big, 1.5 as Ratio, "
      "cast(2.25 as float8) as Exact, true as Yes, null as Nothing, "
      "cast('2002-08-02 10:11:12' as timestamp) as Stamp, cast('2002-08-02' as date) as Day, "
      "cast('2002-08-02 10:11:12.75+08' as timestamptz) as Zoned, \"Role_Order\" "
      "from tPtlx_Role, (select Role_Order as \"Role_Order\" from tPtlx_Role) q");
  EXPECT_EQ(rs->FieldNames(),
            (std::vector<std::string>{"Role_ID", "Role_Name", "RowTotal", "Big", "Ratio", "Exact",
                                      "Yes", "Nothing", "Stamp", "Day", "Zoned", "Role_Order"}));
  std::vector<Variant> values;
  for (const char* name : {"Role_ID", "RowTotal", "Big", "Ratio", "Exact", "Yes", "Stamp", "Day"})
    values.push_back(rs->Field(name));
  // A bigint that fits is a long.
  EXPECT_EQ(values, (std::vector<Variant>{int32_t{1}, int32_t{1}, int64_t{2147483648}, 1.5, 2.25,
                                          true, DateTime{2002, 8, 2, 10, 11, 12},
                                          DateTime{2002, 8, 2, 0, 0, 0}}));
  EXPECT_TRUE(rs->Field("Nothing").IsNull());
  EXPECT_EQ(rs->Field("Zoned").kind(), Variant::Kind::kDate);
  EXPECT_EQ(rs->Field("Role_Order").kind(), Variant::Kind::kString);
  EXPECT_EQ(Rows("select len('ab  ') as L, right('abc', 2) as R"), "L|R\n2|bc\n");
  // A caller turns the setting off on the shared connection; text with
  // backslashes must still be stored as given and never end the literal.
  conn->ExecuteCommand("set standard_conforming_strings = off");
  auto sys = Make<System>();
  const std::string hostile = "\\'; drop table tPtlx_Role; --";
  const std::string texts[] = {hostile, "a\\b\\", "\\", "\\\\'", "plain"};
  for (const auto& text : texts) {
    sys->AppendParameter("P" + text, text, text);
    EXPECT_EQ(sys->GetParameter("P" + text).ToString(),
              "Para_Name|Para_Value|Para_Description\nP" + text + "|" + text + "|" + text + "\n");
  }
  EXPECT_EQ(sys->Errors(), "");
  EXPECT_EQ(Rows("select count(*) as N from tPtlx_Role"), "N\n1\n");
  EXPECT_EQ(Rows("select setting from pg_settings where name = 'standard_conforming_strings'"),
            "setting\noff\n");
}

TEST_P(BackendTest, AFailedStatementUndoesOnlyItselfInsideATransaction) {
  {
    db::Transaction outer(*conn);
    conn->ExecuteCommand("insert into tPtlx_System (Sys_Name) values ('before')");
    EXPECT_THROW(conn->ExecuteCommand("insert into tPtlx_System (Sys_ID) values ('not a number')"),
                 db::Error);
    // The transaction goes on, as on SQL Server and SQLite.
    conn->ExecuteCommand("insert into tPtlx_System (Sys_Name) values ('after')");
    {
      db::Transaction inner(*conn);
      conn->ExecuteCommand("insert into tPtlx_System (Sys_Name) values ('inner')");
      EXPECT_THROW(conn->Execute("select * from nowhere"), db::Error);
    }  // not committed
    EXPECT_TRUE(db::BackendOf(*conn).InTransaction());
    outer.Commit();
  }
  {
    db::Transaction dropped(*conn);
    conn->ExecuteCommand("insert into tPtlx_System (Sys_Name) values ('dropped')");
  }
  EXPECT_FALSE(db::BackendOf(*conn).InTransaction());
  EXPECT_EQ(Rows("select Sys_Name from tPtlx_System order by Sys_ID"), "Sys_Name\nbefore\nafter\n");
  // The engine's own message, without its severity prefix.
  EXPECT_THAT([&] { conn->Execute("select * from nowhere"); },
              ThrowsMessage<db::Error>(
                  ::testing::AllOf(HasSubstr("nowhere"), ::testing::Not(HasSubstr("ERROR")))));
}

// A statement sent again is answered from the tables as they are now, after
// their columns changed, a table was dropped, or the session's prepared
// statements were dropped by the caller.
TEST_P(BackendTest, RepeatedStatementsFollowTheSchema) {
  const std::string all = "select * from ptlx_repeat";
  conn->ExecuteCommand("create table ptlx_repeat (a int)");
  conn->ExecuteCommand("insert into ptlx_repeat values (1)");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Rows(all), "a\n1\n");
  if (engine().postgres()) conn->ExecuteCommand("deallocate all");
  for (int i = 0; i < 2; ++i) EXPECT_EQ(Rows(all), "a\n1\n");
  conn->ExecuteCommand("alter table ptlx_repeat add b varchar(5) default 'x'");
  EXPECT_EQ(Rows(all), "a|b\n1|x\n");
  conn->ExecuteCommand("drop table ptlx_repeat");
  EXPECT_THROW(conn->Execute(all), db::Error);
  conn->ExecuteCommand("create table ptlx_repeat (a varchar(5))");
  conn->ExecuteCommand("insert into ptlx_repeat values ('z')");
  EXPECT_EQ(Rows(all), "a\nz\n");
  EXPECT_EQ(Rows(all), "a\nz\n");
}

// The schema as every engine creates it (its field names, in its own
// spelling, show in each `select *` the classes' tests read).
TEST_P(BackendTest, DefaultsStandardRowsIdentitiesAndIdempotence) {
  ExecAll({"insert into tPtlx_Column (Column_Name) values ('c')",
           "insert into tPtlx_Style (Style_Name) values ('s')",
           "insert into tPtlx_Information (Info_Title) values ('i')"});
  EXPECT_EQ(Rows("select Column_IsDeleted, Style_IsDeleted, InfState_ID, Info_IsDeleted from "
                 "tPtlx_Column, tPtlx_Style, tPtlx_Information"),
            "Column_IsDeleted|Style_IsDeleted|InfState_ID|Info_IsDeleted\n0|0|1|0\n");
  // The insertion time is found by a search that covers the moment.
  EXPECT_EQ(
      Rows("select count(*) n from tPtlx_Information where Info_SystemTime >= '2000-01-01' and "
           "Info_SystemTime <= getdate()"),
      "n\n1\n");

  schema::CreateSchema(*conn);  // a second run changes nothing
  EXPECT_EQ(Rows("select count(*) n from tPtlx_AccessType"), "n\n4\n");
  EXPECT_EQ(Rows("select count(*) n from tPtlx_InfoState"), "n\n6\n");
  EXPECT_EQ(Rows("select Role_ID, Role_Order, Role_Father, WebSite_ID from tPtlx_Role"),
            "Role_ID|Role_Order|Role_Father|WebSite_ID\n1|FFEF|Null|Null\n");
  // New rows take identities after the standard ones and after rows
  // inserted with their own; deleting the highest does not give its number
  // out again, nor does creating the schema a second time.
  auto add_role = [&] {
    return conn->Insert("insert into tPtlx_Role (Role_Name) values ('r')", "Role_ID");
  };
  EXPECT_EQ(add_role(), 2);
  Exec("insert into tPtlx_Role (Role_ID, Role_Name) values (40, 'explicit')");
  EXPECT_EQ(add_role(), 41);
  Exec("delete from tPtlx_Role where Role_ID >= 40");
  schema::CreateSchema(*conn);
  EXPECT_EQ(add_role(), 42);
  EXPECT_EQ(
      conn->Insert("insert into tPtlx_AccessType (AccessType_Name) values ('x')", "AccessType_ID"),
      5);
  // A batch reports the rows its last statement changed.
  EXPECT_EQ(conn->ExecuteCommand("update tPtlx_Role set Role_Name = 'x'; update tPtlx_Role set "
                                 "Role_Name = 'y' where Role_ID > 1"),
            2);
  // Keys where rows are addressed by them.
  EXPECT_THROW(Exec("insert into tPtlx_User (Usr_ID) values ('u'); insert into tPtlx_User (Usr_ID) "
                    "values ('u')"),
               db::Error);
}

PTOLIX_BACKENDS(BackendTest);

// A server that accepts the connection and never answers.
TEST(PostgresConnect, GivesUpOnAServerThatNeverAnswers) {
  int port = 0, fd = Listen(&port);
  std::string base = "postgresql://ptolix@127.0.0.1:" + std::to_string(port) + "/x";
  // The URL's own limit wins; without one the connection gives up after
  // 10 s instead of waiting for ever.
  for (const std::string& url : {base + "?connect_timeout=2", base})
    EXPECT_THAT([&] { ptolix::Connect(url); }, ThrowsMessage<db::Error>(HasSubstr("timeout")))
        << url;
  close(fd);
}

}  // namespace
}  // namespace ptolix::test
