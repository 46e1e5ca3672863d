// Writes on SQLite run with their values as parameters: which values are
// taken out, which stay as written, and that the rows written are the same.

#include <tuple>

#include "db/sqlite/sqlite.h"
#include "fixture.h"
#include "ptolix/connect.h"

namespace ptolix {
namespace {

std::string Shown(const db::sqlite::Parameterized& p) {
  std::string out = p.text + " |";
  for (const auto& v : p.values) {
    const auto* n = std::get_if<int64_t>(&v);
    out += n ? " " + std::to_string(*n) : " '" + std::get<std::string>(v) + "'";
  }
  return out;
}

TEST(SqliteParameters, ValuesTakenOut) {
  const std::tuple<const char*, const char*> cases[] = {
      {"update t set a = 'it''s', b = -12 where id in (3,4)",
       "update t set a = ?, b = -? where id in (?,?) | 'it's' 12 3 4"},
      {"INSERT into t2 (c1, \"x 9\", [y 8]) values (007, '', 'a;b')",
       "INSERT into t2 (c1, \"x 9\", [y 8]) values (?, ?, ?) | 7 '' 'a;b'"},
      // Reals, exponents, hexadecimal, blobs and numbers past 64 bits stay.
      {"update t set a = 1.5, b = 1e3, c = 0x1f, d = x'0a', e = 99999999999999999999 where f = 2",
       "update t set a = 1.5, b = 1e3, c = 0x1f, d = x'0a', e = 99999999999999999999 where f = ? "
       "| 2"},
      // A number after "order by" or "group by" names a column.
      {"insert into t select a, 5 from u group by 1 order by 2",
       "insert into t select a, ? from u group by 1 order by 2 | 5"},
      {"delete from t where a = 'x' collate nocase and b like 'a\\%' escape '\\'",
       "delete from t where a = ? collate nocase and b like ? escape ? | 'x' 'a\\%' '\\'"},
  };
  for (const auto& [sql, expected] : cases) {
    auto p = db::sqlite::ParameterizeWrite(sql);
    ASSERT_TRUE(p) << sql;
    EXPECT_EQ(Shown(*p), expected);
  }
  // Reads, writes with parameters or comments of their own, unclosed quotes
  // and writes without values run as written.
  for (const char* sql :
       {"select 1", "update t set a = ? where b = 1", "delete from t where a = :a",
        "update t set a = 1 -- note", "update t set a = 'open", "delete from t where a = b",
        "  with x as (select 1) delete from t"}) {
    EXPECT_FALSE(db::sqlite::ParameterizeWrite(sql)) << sql;
  }
}

// Values of every kind come back as they were written, repeated writes of
// one shape reuse a statement, and a failure names the statement as sent.
TEST(SqliteParameters, SameRows) {
  auto conn = Connect("sqlite::memory:");
  conn->ExecuteCommand("create table t (id integer primary key, n integer, s text, r real)");
  for (int i = 1; i <= 3; ++i)
    conn->ExecuteCommand("insert into t (id, n, s, r) values (" + std::to_string(i) + ", -" +
                         std::to_string(i * 10) + ", 'v''" + std::to_string(i) + "', 2.5)");
  conn->ExecuteCommand("update t set s = s || ';x' where id in (2, 3)");
  EXPECT_EQ(conn->RunQuery("select id, n, s, typeof(n), r from t order by id").ToString(),
            "id|n|s|typeof(n)|r\n1|-10|v'1|integer|2.5\n2|-20|v'2;x|integer|2.5\n"
            "3|-30|v'3;x|integer|2.5\n");
  EXPECT_THAT([&] { conn->ExecuteCommand("insert into t (id, n) values (1, 5)"); },
              ::testing::Throws<db::Error>(
                  ::testing::Property(&db::Error::sql, "insert into t (id, n) values (1, 5)")));
}

}  // namespace
}  // namespace ptolix
