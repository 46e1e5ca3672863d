// How SQLite keeps the kept counts (db/kept_counts.h): tables without rowid
// and row triggers that add each change to its key's row. SQLite runs one
// writer at a time, so no two triggers meet on a row.

#include "db/kept_counts.h"

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "db/sqlite/sqlite.h"

namespace ptolix::db::sqlite {

namespace {

std::string Upsert(std::string_view table, std::string_view keys, std::string_view count) {
  return " on conflict (" + std::string(keys) + ") do update set " + std::string(count) + " = " +
         std::string(table) + "." + std::string(count) + " + excluded." + std::string(count) + ";";
}

// Item rows ("new" or "old") each counted `sign` ("1" or "-1") times, in
// one statement (a change of key takes its old and new rows together: two
// statements cost a statement's start more): the kept row changed where it
// exists, else made ("where true" tells SQLite the select ends there,
// before the upsert's "on").
using Signed = std::initializer_list<std::pair<const char*, const char*>>;
std::string ItemDelta(Signed rows) {
  std::string select;
  for (const auto& [row, sign] : rows) {
    select += std::string(select.empty() ? " select " : " union all select ") + kept::ItemKey(row) +
              "," + sign;
  }
  return std::string(" insert into ") + kept::kItemTable + select + " where true" +
         Upsert(kept::kItemTable, kept::kItemKeyColumns, "Info_Count");
}

// The cross-posts of the item rows, each paired with its item, `sign` times:
// one upsert per cross-post row (an item without any costs one index probe).
std::string ItemPostsDelta(Signed rows) {
  std::string select;
  for (const auto& [row, sign] : rows) {
    select += std::string(select.empty() ? " select " : " union all select ") +
              kept::PostKey("p", row) + "," + sign +
              " from tPtlx_Info2Colu p where p.Info_ID = " + row + ".Info_ID";
  }
  return std::string(" insert into ") + kept::kPostTable + select +
         Upsert(kept::kPostTable, kept::kPostKeyColumns, "Post_Count");
}

// Cross-post `row` ("new" or "old") paired with its item, and counted for
// its item, `sign` times.
std::string PostDelta(std::string_view row, std::string_view sign) {
  return std::string(" insert into ") + kept::kPostTable + " select " + kept::PostKey(row, "i") +
         "," + std::string(sign) +
         " from tPtlx_Information i where i.Info_ID = " + std::string(row) + ".Info_ID" +
         Upsert(kept::kPostTable, kept::kPostKeyColumns, "Post_Count") + " insert into " +
         kept::kPostsPerItemTable + " select " + std::string(row) + ".Info_ID," +
         std::string(sign) + " where " + std::string(row) + ".Info_ID is not null" +
         Upsert(kept::kPostsPerItemTable, "Info_ID", "Post_Count");
}

std::string Changed(std::initializer_list<const char*> columns) {
  std::string out;
  for (const char* c : columns) {
    out += std::string(out.empty() ? "" : " or ") + "old." + c + " is not new." + c;
  }
  return out;
}

std::string Trigger(const std::string& name, const std::string& when, const std::string& body) {
  return "create trigger " + name + " " + when + " begin" + body + " end";
}

// Rows of `k.counted` per `k.key`: a row counted `sign` times under the key
// of `row`.
std::string KeyDelta(const kept::KeyCount& k, std::string_view row, std::string_view sign) {
  return std::string(" insert into ") + k.table + " (" + k.key + ",Row_Count) values (" +
         kept::Number(row, k.key) + "," + std::string(sign) + ")" +
         Upsert(k.table, k.key, "Row_Count");
}

void KeyCountStatements(const kept::KeyCount& k, std::vector<std::string>& out) {
  const std::string on = std::string(" on ") + k.counted + " for each row";
  const std::string name = k.prefix;
  out.push_back(std::string("create table if not exists ") + k.table + " (" + k.key +
                " integer not null primary key, Row_Count integer not null) without rowid");
  const std::pair<std::string, std::string> defs[] = {
      {name + "_insert", "after insert" + on + " begin" + KeyDelta(k, "new", "1")},
      {name + "_delete", "after delete" + on + " begin" + KeyDelta(k, "old", "-1")},
      {name + "_update", std::string("after update of ") + k.key + on + " when old." + k.key +
                             " is not new." + k.key + " begin" + KeyDelta(k, "old", "-1") +
                             KeyDelta(k, "new", "1")},
  };
  for (const auto& [trigger, text] : defs) {
    out.push_back("drop trigger if exists " + trigger);
    out.push_back("create trigger " + trigger + " " + text + " end");
  }
}

}  // namespace

std::vector<std::string> KeptCountStatements() {
  const std::string item = "on tPtlx_Information for each row";
  const std::string post = "on tPtlx_Info2Colu for each row";
  std::vector<std::string> out = {
      std::string("create table if not exists ") + kept::kItemTable +
          " (Sys_ID integer not null, WebSite_ID integer not null, Column_ID integer not null, "
          "InfState_ID integer not null, Info_IsDeleted char(1) not null, Info_Count integer not "
          "null, primary key (" +
          kept::kItemKeyColumns + ")) without rowid",
      std::string("create table if not exists ") + kept::kPostTable +
          " (Post_SysID integer not null, Post_ColumnID integer not null, Sys_ID integer not "
          "null, WebSite_ID integer not null, Column_ID integer not null, InfState_ID integer "
          "not null, Info_IsDeleted char(1) not null, Post_Count integer not null, primary key (" +
          kept::kPostKeyColumns + ")) without rowid",
      std::string("create table if not exists ") + kept::kPostsPerItemTable +
          " (Info_ID integer not null primary key, Post_Count integer not null) without rowid",
      std::string("create index if not exists ix_InfoPosts_Many on ") + kept::kPostsPerItemTable +
          " (Info_ID) where Post_Count > 1",
  };
  struct Def {
    const char* name;
    std::string when, body;
  } defs[] = {
      {"ptlx_kept_info_insert", "after insert " + item,
       ItemDelta({{"new", "1"}}) + ItemPostsDelta({{"new", "1"}})},
      {"ptlx_kept_info_delete", "after delete " + item,
       ItemDelta({{"old", "-1"}}) + ItemPostsDelta({{"old", "-1"}})},
      {"ptlx_kept_info_update",
       "after update of Info_ID,Sys_ID,WebSite_ID,Column_ID,InfState_ID,Info_IsDeleted " + item +
           " when " +
           Changed(
               {"Info_ID", "Sys_ID", "WebSite_ID", "Column_ID", "InfState_ID", "Info_IsDeleted"}),
       ItemDelta({{"old", "-1"}, {"new", "1"}}) + ItemPostsDelta({{"old", "-1"}, {"new", "1"}})},
      {"ptlx_kept_post_insert", "after insert " + post, PostDelta("new", "1")},
      {"ptlx_kept_post_delete", "after delete " + post, PostDelta("old", "-1")},
      {"ptlx_kept_post_update",
       "after update of Sys_ID,Column_ID,Info_ID " + post + " when " +
           Changed({"Sys_ID", "Column_ID", "Info_ID"}),
       PostDelta("old", "-1") + PostDelta("new", "1")},
  };
  // Made afresh on every run, so a database takes the current form.
  for (const Def& d : defs) {
    out.push_back(std::string("drop trigger if exists ") + d.name);
    out.push_back(Trigger(d.name, d.when, d.body));
  }
  for (const kept::KeyCount& k : kept::kKeyCounts) KeyCountStatements(k, out);
  return out;
}

}  // namespace ptolix::db::sqlite
