#include "db/rewriter.h"

#include <gtest/gtest.h>

namespace ptolix::db {
namespace {

std::string Sqlite(std::string_view sql) { return Rewrite(sql, Dialect::kSqlite).text; }

TEST(Tokenize, KeepsLiteralsWholeAndSplitsGluedNumbers) {
  auto tokens = Tokenize("Sys_ID = 1and x='it''s + 1' [a b]");
  std::vector<std::string> texts;
  for (const auto& t : tokens) {
    if (t.kind != TokenKind::kSpace) texts.push_back(t.text);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"Sys_ID", "=", "1", "and", "x", "=", "'it''s + 1'",
                                             "[a b]"}));
}

TEST(Rewrite, SqliteDialect) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      // top N becomes a limit at the end of its own select.
      {"select top 10 * from t order by a", "select * from t order by a limit 10"},
      {"select distinct top 5 a from t", "select distinct a from t limit 5"},
      {"select * from t where a in (select top 1 b from u order by b) order by a",
       "select * from t where a in (select b from u order by b limit 1) order by a"},
      // + beside a string literal concatenates; arithmetic stays.
      {"select * from t where c like Column_Order+'%'",
       "select * from t where c like Column_Order||'%'"},
      {"where c like (select o from t where id = 3) + '%'",
       "where c like (select o from t where id = 3) || '%'"},
      {"set Info_Order='AB'+right(Info_Order,len(Info_Order)-8)where Info_Order like 'CD%'",
       "set Info_Order='AB'||ptlx_right(Info_Order,len(Info_Order)-8)where Info_Order like 'CD%'"},
      {"select a + 1 from t", "select a + 1 from t"},
      // Numbers glued to keywords, and text inside literals untouched.
      {"where Sys_ID = 1and InfState_ID in (4,5,6)", "where Sys_ID = 1 and InfState_ID in (4,5,6)"},
      {"select 'top 10 + right(' from t", "select 'top 10 + right(' from t"},
      {"select [Right] from t", "select \"Right\" from t"},
      {"select [ab", "select [ab"},  // unclosed: kept whole, never "ab" cut to "a"
      {"select getdate()", "select getdate()"},
      // Title and content searches go to the "match" operator, which
      // ignores letter case for every script; other likes stay.
      {" and Info_Title like '%a\\%b%' escape '\\'", " and Info_Title match '%a\\%b%' escape '\\'"},
      {" and i.Info_Content not like '%x%' and Info_Order like 'AB%'",
       " and i.Info_Content not match '%x%' and Info_Order like 'AB%'"},
      // Backslashes are plain characters on SQLite.
      {"where Usr_ID = '\\'';--'", "where Usr_ID = '\\'';--'"},
      // A prefix taken from a sub-query gets the index range it spans.
      {"select * from tPtlx_Column where Column_Order like (select Column_Order from tPtlx_Column "
       "where Column_ID = 3)+'%'",
       "select * from tPtlx_Column where (Column_Order like (select Column_Order from tPtlx_Column "
       "where Column_ID = 3)||'%'"
       " and Column_Order >= substr((select Column_Order from tPtlx_Column where Column_ID = "
       "3)||'%', 1, "
       "length((select Column_Order from tPtlx_Column where Column_ID = 3)||'%') - 1) and "
       "Column_Order < "
       "substr((select Column_Order from tPtlx_Column where Column_ID = 3)||'%', 1, length((select "
       "Column_Order "
       "from tPtlx_Column where Column_ID = 3)||'%') - 1) || char(1114111))"},
  };
  for (const auto& c : cases) EXPECT_EQ(Sqlite(c.in), c.out) << c.in;
}

TEST(Rewrite, TellsPagingWhereTheOrderByAndLimitAre) {
  Rewritten r =
      Rewrite("select * from t where a = (select max(a) from t order by a) order by b desc",
              Dialect::kSqlite);
  EXPECT_EQ(r.text.substr(0, r.before_order_by),
            "select * from t where a = (select max(a) from t order by a)");
  EXPECT_FALSE(r.has_limit);
  r = Rewrite("select top 3 * from t order by b", Dialect::kSqlite);
  EXPECT_TRUE(r.has_limit);
  r = Rewrite("select * from t", Dialect::kSqlite);
  EXPECT_EQ(r.before_order_by, r.text.size());
  // A number glued to the order by is separated; the count stops before it.
  r = Rewrite("select top 3 * from t where Usr_ID = 1order by b", Dialect::kPostgres);
  EXPECT_EQ(r.text, "select * from t where Usr_ID = '1' order by b limit 3");
  EXPECT_EQ(r.text.substr(0, r.before_order_by), "select * from t where Usr_ID = '1'");
  EXPECT_TRUE(r.has_limit);
  r = Rewrite("select * from (select top 3 a from t order by a) x order by a", Dialect::kPostgres);
  EXPECT_EQ(r.text.substr(0, r.before_order_by),
            "select * from (select a from t order by a limit 3) x");
  EXPECT_FALSE(r.has_limit);
}

// What paging and the backend read besides the text, on each engine.
TEST(Rewrite, HandsBackResultNamesForEnginesThatFoldThem) {
  auto names = [](std::string_view sql, Dialect dialect) {
    Rewritten r = Rewrite(sql, dialect);
    std::string out = r.text + " |";
    for (const auto& n : r.names.items) out += " [" + n + "]";
    out += " |";
    for (const auto& n : r.names.spellings) out += " " + n;
    return out;
  };
  // Aliases in their own spelling, columns in the schema's spelling, expressions by
  // their text; the names of a limited select are those of its list.
  EXPECT_EQ(names("select top 5 count(*), 'x'+Mark as Label, tPtlx_Role.role_name, "
                  "Role_Order from tPtlx_Role",
                  Dialect::kPostgres),
            "select count(*), 'x'||Mark as Label, tPtlx_Role.role_name, Role_Order from "
            "tPtlx_Role limit 5 | [count(*)] [Label] [Role_Name] [Role_Order] | Mark Label "
            "Role_Order tPtlx_Role");
  // A star names nothing by position unless it wraps a select list; the last
  // spelling of a name wins.
  EXPECT_EQ(
      names("select * from (select Info_ID Id, len(Info_Title) from t) q", Dialect::kPostgres),
      "select * from (select Info_ID Id, len(Info_Title) from t) q | [Id] [len(Info_Title)] "
      "| Info_ID Id Info_Title");
  EXPECT_EQ(names("with q as (select 1 as One, 2 AS one) select * from q", Dialect::kPostgres),
            "with q as (select 1 as One, 2 AS one) select * from q | | AS");
  EXPECT_EQ(names("select 1as N, [Two] from t", Dialect::kPostgres),
            "select 1 as N, \"Two\" from t | [N] [Two] | N");
  // Statements that change rows return none; SQLite names columns itself.
  EXPECT_EQ(names("update t set Role_Name = 'a'", Dialect::kPostgres),
            "update t set Role_Name = 'a' | |");
  EXPECT_EQ(names("select count(*) from t", Dialect::kSqlite), "select count(*) from t | |");
}

}  // namespace
}  // namespace ptolix::db
