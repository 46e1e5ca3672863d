// How PostgreSQL keeps the kept counts (db/kept_counts.h): statement
// triggers that read a statement's changed rows from its transition tables,
// add up the change per key, and apply it with one upsert per kept table.
//
// Concurrent writers never lose a change: an upsert adds to the row under
// the row's lock, or inserts it (a racing insert of the same key turns into
// the update). A transaction holds the rows it changed until it ends, so
// two that take the same rows in opposite orders would deadlock; every
// statement therefore takes its rows in one order, the kept tables in the
// order InfoCount, PostCount, InfoPosts, CountMark and each table's rows in
// key order (insert ... select ... order by applies them in that order),
// and a net change of 0 takes no row. A transaction of one statement
// (every write of the library but the append, whose second statement
// changes no key) thus waits only for rows behind the ones it holds, and no
// cycle of waits can form among them.

#include "db/kept_counts.h"

#include <string>
#include <vector>

#include "db/postgres/postgres.h"

namespace ptolix::db::postgres {

namespace {

std::string Upsert(std::string_view keys, std::string_view count) {
  return " on conflict (" + std::string(keys) + ") do update set " + std::string(count) + " = k." +
         std::string(count) + " + excluded." + std::string(count) + ";";
}

// The changed items of a statement, each with +1 (new) or -1 (old).
std::string ItemRows(bool old_rows, bool new_rows) {
  std::string out;
  if (old_rows) out += "select o.Info_ID," + kept::ItemKey("o") + ",-1 from ptlx_old o";
  if (old_rows && new_rows) out += " union all ";
  if (new_rows) out += "select n.Info_ID," + kept::ItemKey("n") + ",1 from ptlx_new n";
  return "(" + out + ") d(Info_ID,Sys_ID,WebSite_ID,Column_ID,InfState_ID,Info_IsDeleted,n)";
}

// Draws new marks for the columns `columns` selects, in column order, after
// the kept rows: a statement that changes no kept count draws none.
std::string Redraw(const std::string& columns) {
  return std::string("insert into ") + kept::kMarkTable +
         " as k select v,(random() * 9e18)::bigint from (" + columns +
         ") m(v) group by v order by v on conflict (Column_ID) do update set Mark = "
         "excluded.Mark;";
}

// A statement's changes of kept rows per key, as the upserts add them:
// `keys`, then the sum of `n` over `rows`, for keys whose sum is not 0.
std::string Changes(const std::string& keys, const std::string& rows, int fields,
                    const std::string& n) {
  std::string by = "1";
  for (int i = 2; i <= fields; ++i) by += "," + std::to_string(i);
  return "select " + keys + ",sum(" + n + ") from " + rows + " group by " + by + " having sum(" +
         n + ") <> 0";
}

std::string ItemBody(bool old_rows, bool new_rows) {
  std::string d = ItemRows(old_rows, new_rows);
  std::string items = Changes(kept::kItemKeyColumns, d, 5, "n");
  std::string posts = Changes(kept::PostKey("p", "d"),
                              d + " join tPtlx_Info2Colu p on p.Info_ID = d.Info_ID", 7, "d.n");
  // The homed items' column is their key's third field, the cross-posts'
  // their own column, the second.
  const std::string columns =
      "select v from (" + items + ") a(s,w,v) union all select v from (" + posts + ") b(s,v)";
  // Most updates (a text, an address, an order) change no item's key: one
  // look at the two tables spares the three upserts, each dearer than it.
  std::string unchanged;
  if (old_rows && new_rows)
    unchanged = ReturnUnlessChanged(std::string("Info_ID,") + kept::kItemKeyColumns);
  return unchanged + std::string("insert into ") + kept::kItemTable + " as k " + items +
         " order by 1,2,3,4,5" + Upsert(kept::kItemKeyColumns, "Info_Count") + " insert into " +
         kept::kPostTable + " as k " + posts + " order by 1,2,3,4,5,6,7" +
         Upsert(kept::kPostKeyColumns, "Post_Count") + Redraw(columns);
}

// The changed cross-post rows of a statement, each with +1 or -1.
std::string PostRows(bool old_rows, bool new_rows) {
  std::string out;
  if (old_rows) out += "select o.Sys_ID,o.Column_ID,o.Info_ID,-1 from ptlx_old o";
  if (old_rows && new_rows) out += " union all ";
  if (new_rows) out += "select n.Sys_ID,n.Column_ID,n.Info_ID,1 from ptlx_new n";
  return "(" + out + ") d(Sys_ID,Column_ID,Info_ID,n)";
}

std::string PostBody(bool old_rows, bool new_rows) {
  std::string d = PostRows(old_rows, new_rows);
  std::string posts = Changes(kept::PostKey("d", "i"),
                              d + " join tPtlx_Information i on i.Info_ID = d.Info_ID", 7, "d.n");
  return std::string("insert into ") + kept::kPostTable + " as k " + posts +
         " order by 1,2,3,4,5,6,7" + Upsert(kept::kPostKeyColumns, "Post_Count") + " insert into " +
         kept::kPostsPerItemTable + " as k select Info_ID,sum(n) from " + d +
         " where Info_ID is not null group by 1 having sum(n) <> 0 order by 1" +
         Upsert("Info_ID", "Post_Count") + Redraw("select v from (" + posts + ") b(s,v)");
}

// Rows of `k.counted` per `k.key`, changed by a statement's rows.
std::string KeyBody(const kept::KeyCount& k, bool old_rows, bool new_rows) {
  std::string d;
  if (old_rows) d += "select " + kept::Number("o", k.key) + ",-1 from ptlx_old o";
  if (old_rows && new_rows) d += " union all ";
  if (new_rows) d += "select " + kept::Number("n", k.key) + ",1 from ptlx_new n";
  return std::string("insert into ") + k.table + " as k select key,sum(n) from (" + d +
         ") d(key,n) group by 1 having sum(n) <> 0 order by 1" + Upsert(k.key, "Row_Count");
}

std::string Function(const std::string& name, const std::string& body) {
  return "create or replace function " + name +
         "() returns trigger language plpgsql as $ptlx$ begin " + body + " return null; end $ptlx$";
}

}  // namespace

std::vector<std::string> KeptCountStatements() {
  std::vector<std::string> out = {
      std::string("create table if not exists ") + kept::kItemTable +
          " (Sys_ID bigint not null, WebSite_ID bigint not null, Column_ID bigint not null, "
          "InfState_ID bigint not null, Info_IsDeleted char(1) not null, Info_Count bigint not "
          "null, primary key (" +
          kept::kItemKeyColumns + "))",
      std::string("create table if not exists ") + kept::kPostTable +
          " (Post_SysID bigint not null, Post_ColumnID bigint not null, Sys_ID bigint not null, "
          "WebSite_ID bigint not null, Column_ID bigint not null, InfState_ID bigint not null, "
          "Info_IsDeleted char(1) not null, Post_Count bigint not null, primary key (" +
          kept::kPostKeyColumns + "))",
      std::string("create table if not exists ") + kept::kPostsPerItemTable +
          " (Info_ID bigint primary key, Post_Count bigint not null)",
      std::string("create index if not exists ix_InfoPosts_Many on ") + kept::kPostsPerItemTable +
          " (Info_ID) where Post_Count > 1",
      std::string("create table if not exists ") + kept::kMarkTable +
          " (Column_ID bigint primary key, Mark bigint not null)",
  };
  struct Def {
    std::string name;
    const char* table;
    const char* event;
    std::string body;
  } defs[] = {
      {"ptlx_kept_info_insert", "tPtlx_Information", "insert", ItemBody(false, true)},
      {"ptlx_kept_info_delete", "tPtlx_Information", "delete", ItemBody(true, false)},
      {"ptlx_kept_info_update", "tPtlx_Information", "update", ItemBody(true, true)},
      {"ptlx_kept_info_truncate", "tPtlx_Information", "truncate",
       std::string("delete from ") + kept::kItemTable + "; delete from " + kept::kPostTable + ";" +
           Redraw("select -1")},
      {"ptlx_kept_post_insert", "tPtlx_Info2Colu", "insert", PostBody(false, true)},
      {"ptlx_kept_post_delete", "tPtlx_Info2Colu", "delete", PostBody(true, false)},
      {"ptlx_kept_post_update", "tPtlx_Info2Colu", "update", PostBody(true, true)},
      {"ptlx_kept_post_truncate", "tPtlx_Info2Colu", "truncate",
       std::string("delete from ") + kept::kPostTable + "; delete from " +
           kept::kPostsPerItemTable + ";" + Redraw("select -1")},
  };
  std::vector<Def> all(std::begin(defs), std::end(defs));
  for (const kept::KeyCount& k : kept::kKeyCounts) {
    out.push_back(std::string("create table if not exists ") + k.table + " (" + k.key +
                  " bigint primary key, Row_Count bigint not null)");
    const std::string name = k.prefix;
    all.push_back({name + "_insert", k.counted, "insert", KeyBody(k, false, true)});
    all.push_back({name + "_delete", k.counted, "delete", KeyBody(k, true, false)});
    all.push_back({name + "_update", k.counted, "update", KeyBody(k, true, true)});
    all.push_back(
        {name + "_truncate", k.counted, "truncate", std::string("delete from ") + k.table + ";"});
  }
  for (const Def& d : all) {
    std::string event = d.event;
    std::string tables = event == "insert"   ? " referencing new table as ptlx_new"
                         : event == "delete" ? " referencing old table as ptlx_old"
                         : event == "update"
                             ? " referencing old table as ptlx_old new table as ptlx_new"
                             : "";
    const std::string& name = d.name;
    out.push_back(Function(name, d.body));
    // Made afresh on every run, so a database takes the current form.
    out.push_back("drop trigger if exists " + name + " on " + d.table);
    out.push_back("create trigger " + name + " after " + event + " on " + d.table + tables +
                  " for each statement execute function " + name + "()");
  }
  return out;
}

std::string KeptCountsMark(const std::string& columns) {
  // Hashed, so that a subtree of many columns travels as a short text.
  return std::string(
             "(select md5(string_agg(c.v::text || ':' || coalesce(m.Mark::text, '-'), "
             "',' order by c.v)) from (") +
         columns + " union all select -1) c(v) left join " + kept::kMarkTable +
         " m on m.Column_ID = c.v)";
}

std::string KeptCountsRedrawn() {
  std::string sql = Redraw("select -1");
  sql.pop_back();  // one statement, without its separator
  return sql;
}

std::string KeptCountsFreeze() {
  std::string tables = "tPtlx_Information, tPtlx_Info2Colu";
  for (const kept::KeyCount& k : kept::kKeyCounts) tables += std::string(", ") + k.counted;
  return "lock table " + tables + " in share mode";
}

}  // namespace ptolix::db::postgres
