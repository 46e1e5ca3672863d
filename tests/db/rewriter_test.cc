#include "db/rewriter.h"

#include <gtest/gtest.h>

namespace ptolix::db {
namespace {

std::string Sqlite(std::string_view sql) { return Rewrite(sql, Dialect::kSqlite).text; }

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
  };
  for (const auto& c : cases) EXPECT_EQ(Sqlite(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace ptolix::db
