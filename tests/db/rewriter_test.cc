#include "db/rewriter.h"

#include <gtest/gtest.h>

#include <tuple>

namespace ptolix::db {
namespace {

// The text each engine runs, for one statement of each shape the rewriting
// handles.
TEST(Rewrite, EachDialect) {
  const Dialect sqlite = Dialect::kSqlite, pg = Dialect::kPostgres;
  const std::tuple<Dialect, const char*, const char*> cases[] = {
      // top N becomes a limit at the end of its own select.
      {sqlite, "select top 10 * from t order by a", "select * from t order by a limit 10"},
      {sqlite, "select distinct top 5 a from t", "select distinct a from t limit 5"},
      {sqlite, "select * from t where a in (select top 1 b from u order by b) order by a",
       "select * from t where a in (select b from u order by b limit 1) order by a"},
      // + beside a string literal concatenates; arithmetic stays.
      {sqlite, "where c like (select o from t where id = 3) + '%'",
       "where c like (select o from t where id = 3) || '%'"},
      {sqlite, "set Info_Order='AB'+right(Info_Order,len(Info_Order)-8)where Info_Order like 'CD%'",
       "set Info_Order='AB'||ptlx_right(Info_Order,len(Info_Order)-8)where Info_Order like 'CD%'"},
      {pg, "set Info_Order='AB'+right(Info_Order,len(Info_Order)-8)where Info_Order like 'CD%'",
       "set Info_Order='AB'||right(Info_Order,len(Info_Order)-8)where Info_Order like 'CD%'"},
      {sqlite, "select a + 1 from t", "select a + 1 from t"},
      // Numbers glued to keywords, and text inside literals untouched.
      {sqlite, "where Sys_ID = 1and InfState_ID in (4,5,6)",
       "where Sys_ID = 1 and InfState_ID in (4,5,6)"},
      {sqlite, "select 'top 10 + right(' from t", "select 'top 10 + right(' from t"},
      {sqlite, "select [Right] from t", "select \"Right\" from t"},
      {sqlite, "select [ab", "select [ab"},  // unclosed: kept whole, never "ab" cut to "a"
      // Title and content searches ignore letter case for every script;
      // other likes stay exact.
      {sqlite, " and Info_Title like '%a\\%b%' escape '\\'",
       " and Info_Title match '%a\\%b%' escape '\\'"},
      {sqlite, " and i.Info_Content not like '%x%' and Info_Order like 'AB%'",
       " and i.Info_Content not match '%x%' and Info_Order like 'AB%'"},
      {pg, " and Info_Title like '%a\\%b%' escape '\\'",
       " and Info_Title collate \"und-x-icu\" ilike E'%a\\\\%b%' escape E'\\\\'"},
      {pg, " and tPtlx_Information.Info_Content not like '%x%' and Page_File like 'a%'",
       " and tPtlx_Information.Info_Content collate \"und-x-icu\" not ilike '%x%' and Page_File "
       "like 'a%'"},
      // Backslashes are plain characters on SQLite; on PostgreSQL a literal
      // holding one means the same text whatever standard_conforming_strings.
      {sqlite, "where Usr_ID = '\\'';--'", "where Usr_ID = '\\'';--'"},
      {pg, "where Usr_ID = '\\'';drop table t;--'", "where Usr_ID = E'\\\\'';drop table t;--'"},
      {pg, "values ('a\\b','c''d',E'x')", "values (E'a\\\\b','c''d',E'x')"},
      // Numbers compared with text columns become text on PostgreSQL; numbers
      // stay numbers beside number columns and inside literals.
      {pg, "where Usr_ID = 1001 and Role_ID = 3", "where Usr_ID = '1001' and Role_ID = 3"},
      {pg, "where 7 <> Column_IsDeleted", "where '7' <> Column_IsDeleted"},
      {pg, "where Usr_ID in (1,2) and Role_ID in (1,2)",
       "where Usr_ID in ('1','2') and Role_ID in (1,2)"},
      {pg, "where Usr_ID not in (select Usr_ID from u)",
       "where Usr_ID not in (select Usr_ID from u)"}};
  for (auto [dialect, in, out] : cases) EXPECT_EQ(Rewrite(in, dialect).text, out) << in;
}

}  // namespace
}  // namespace ptolix::db
