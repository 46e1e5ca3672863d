// Substring indexes on PostgreSQL: trigram GIN indexes (pg_trgm) on each
// text column lowered under the ICU collation that searches use. An index
// with a cluster keeps its texts in a table of its own (each row's key,
// texts and copies), kept by the searched table's triggers and indexed led
// by the cluster value.
//
// A search's ilike under that collation is a like of the two texts lowered
// under it, so a like of the lowered column against the lowered pattern
// finds exactly the same rows, and the index on the lowered column serves
// it whatever the database's own locale (pg_trgm folds with the database's
// ctype, which may be C).

#include <string>
#include <string_view>
#include <vector>

#include "db/postgres/postgres.h"
#include "ptolix/value/text_case.h"
#include "value/sql_text.h"

namespace ptolix::db::postgres {

namespace {

constexpr char kCollation[] = " collate \"und-x-icu\"";

// The indexed expression of `column`.
std::string Lowered(const std::string& column) { return "lower(" + column + kCollation + ")"; }

// One row per cluster value (and -1 for the whole table), holding a random
// number drawn again whenever the log of that value's rows is cut (and the
// whole table's by a truncate): keys read for one value hold, with the log
// read against the snapshot they were read in, while its number and the
// whole table's stay. Random, so that a restored table never gives back a
// number a connection kept for other rows.
std::string MarkTable(const SubstringIndexDef& ix) { return FoldCase(ix.name + "Mark"); }

// The texts of an index with a cluster, with the rows' keys and copies,
// apart from the searched table: a write that changes none of them (a
// review, an order) leaves its row alone, and one that changes a copy
// alone (a deletion) changes no column indexed there, where an index on the
// searched table itself took every trigram of the row's texts again on each
// such write (PostgreSQL writes every index of a row whose indexed columns
// change). A search in one column counts its matches there alone.
std::string TextTable(const SubstringIndexDef& ix) { return FoldCase(ix.name); }

// The log of the rows written: the cluster value and key of every row a
// statement inserts, deletes or changes in a column the index or its copies
// hold (old and new), with the writing transaction, so that a reader finds
// the keys written since a snapshot of its own.
std::string LogTable(const SubstringIndexDef& ix) { return FoldCase(ix.name + "Log"); }

// A value's log is cut, and its mark drawn again, past this many rows.
// Whether it has grown so is looked at by a statement that logs more than
// kLogLooked rows, and by one in kLogLooked of the others: a log grows past
// kLogKept by about kLogLooked rows, and a write rarely pays for the look.
constexpr int kLogKept = 500;
constexpr int kLogLooked = 64;

// The columns whose change is logged, and those the texts' table holds:
// key, cluster, texts and the other copies.
std::vector<std::string> Held(const SubstringIndexDef& ix) {
  std::vector<std::string> cols = {ix.key, ix.cluster};
  for (const auto& c : ix.columns) cols.push_back(c);
  for (const auto& c : ix.copies) {
    if (c.column != ix.cluster) cols.push_back(c.column);
  }
  return cols;
}

// Those columns as a select list: an except of the old rows against the new
// (and back) leaves the rows changed in them.
std::string Watched(const SubstringIndexDef& ix) {
  std::string cols;
  for (const auto& c : Held(ix)) cols += (cols.empty() ? "" : ",") + c;
  return cols;
}

// Draws new numbers for the cluster values in `values` (a query of one
// column), in their order.
std::string Redraw(const SubstringIndexDef& ix, const std::string& values) {
  return "insert into " + MarkTable(ix) + " as k select v, (random() * 9e18)::bigint from (" +
         values + ") d(v) where v is not null group by v order by v on conflict (" +
         FoldCase(ix.cluster) + ") do update set Mark = excluded.Mark;";
}

// Logs the rows `rows` (a query of cluster value and key) selects, then cuts
// the logs grown past kLogKept among their values, drawing their marks
// again; these triggers' names sort after the kept counts', so they run
// after them and every statement takes its rows in one order.
std::string Note(const SubstringIndexDef& ix, const std::string& rows) {
  const std::string log = LogTable(ix), cluster = FoldCase(ix.cluster);
  const std::string looked = std::to_string(kLogLooked);
  return "insert into " + log + " (" + cluster + "," + FoldCase(ix.key) + ") select v,k from (" +
         rows + ") d(v,k) where v is not null; get diagnostics ptlx_logged = row_count; " +
         "if ptlx_logged > " + looked + " or random() * " + looked + " < 1 then " +
         "select array_agg(v order by v) into ptlx_full from (select distinct v from (" + rows +
         ") d(v,k) where v is not null) n where exists (select 1 from " + log + " where " +
         cluster + " = n.v offset " + std::to_string(kLogKept) +
         "); if ptlx_full is not null then delete from " + log + " where " + cluster +
         " = any(ptlx_full); " + Redraw(ix, "select unnest(ptlx_full)") + " end if; end if;";
}

// The statements that keep the log and the marks: statement triggers that
// read the changed rows from the transition tables.
std::vector<std::string> LogStatements(const SubstringIndexDef& ix) {
  const std::string w = Watched(ix), pair = ix.cluster + "," + ix.key;
  const std::string changed = "select " + pair + " from (select " + w +
                              " from ptlx_old except select " + w + " from ptlx_new) a union " +
                              "select " + pair + " from (select " + w +
                              " from ptlx_new except select " + w + " from ptlx_old) b";
  // The texts' rows follow first: those of the rows added, those of the
  // keys gone, and those of rows changed in a column they hold.
  const std::string texts = TextTable(ix), key = FoldCase(ix.key);
  std::string set;
  for (const auto& c : Held(ix)) {
    if (c != ix.key) set += (set.empty() ? "" : ", ") + FoldCase(c) + " = excluded." + FoldCase(c);
  }
  const std::string added = "insert into " + texts + " (" + w + ") select " + w + " from ptlx_new;";
  const std::string gone = "delete from " + texts + " where " + key + " in (select " + ix.key +
                           " from ptlx_old except select " + ix.key + " from ptlx_new);";
  const std::string rewritten = "insert into " + texts + " (" + w + ") select " + w +
                                " from (select " + w + " from ptlx_new except select " + w +
                                " from ptlx_old) c on conflict (" + key + ") do update set " + set +
                                ";";
  // Most updates (a review, an order) change none of those columns: one
  // look spares the three statements.
  const std::string unchanged = ReturnUnlessChanged(w);
  const struct {
    const char* event;
    const char* tables;
    std::string body;
  } triggers[] = {
      {"insert", " referencing new table as ptlx_new",
       added + " " + Note(ix, "select " + pair + " from ptlx_new")},
      {"delete", " referencing old table as ptlx_old",
       "delete from " + texts + " where " + key + " in (select " + ix.key + " from ptlx_old); " +
           Note(ix, "select " + pair + " from ptlx_old")},
      {"update", " referencing old table as ptlx_old new table as ptlx_new",
       unchanged + gone + " " + rewritten + " " + Note(ix, changed)},
      {"truncate", "",
       "delete from " + texts + "; delete from " + LogTable(ix) + "; " + Redraw(ix, "select -1")},
  };
  const std::string cluster = FoldCase(ix.cluster);
  std::vector<std::string> out = {"create table if not exists " + MarkTable(ix) + " (" + cluster +
                                      " bigint primary key, Mark bigint not null)",
                                  "create table if not exists " + LogTable(ix) + " (" + cluster +
                                      " bigint not null, " + FoldCase(ix.key) +
                                      " bigint, Xid xid8 not null default pg_current_xact_id())",
                                  "create index if not exists " + LogTable(ix) + "_" + cluster +
                                      "_xid on " + LogTable(ix) + " (" + cluster + ", Xid)"};
  for (const auto& t : triggers) {
    std::string name = FoldCase("ptlx_" + ix.name + "_mark_" + t.event);
    out.push_back("create or replace function " + name +
                  "() returns trigger language plpgsql as $ptlx$ declare ptlx_full bigint[]; "
                  "ptlx_logged bigint; "
                  "begin " +
                  t.body + " return null; end $ptlx$");
    out.push_back("drop trigger if exists " + name + " on " + FoldCase(ix.table));
    out.push_back("create trigger " + name + " after " + t.event + " on " + FoldCase(ix.table) +
                  t.tables + " for each statement execute function " + name + "()");
  }
  return out;
}

size_t Characters(std::string_view text) {
  size_t n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

// The statements of a do block that create extension `name` when it is
// missing, in schema public (or the current schema where there is none),
// and leave its schema in s. Two first inits at once may both try.
std::string Extension(const std::string& name) {
  return "  if not exists (select 1 from pg_extension where extname = '" + name +
         "') then\n"
         "    begin\n"
         "      execute format('create extension " +
         name +
         " schema %I', coalesce((select nspname from pg_namespace where nspname = 'public'), "
         "current_schema()));\n"
         "    exception when unique_violation or duplicate_object then null;\n"
         "    end;\n"
         "  end if;\n"
         "  select extnamespace::regnamespace::text into s from pg_extension where extname = '" +
         name + "';\n";
}

}  // namespace

std::vector<std::string> SubstringIndexStatements(const SubstringIndexDef& ix) {
  std::string body = "do $$\ndeclare s text;\n  made boolean;\nbegin\n";
  // With a cluster, the texts' table leads each index with it (btree_gin
  // gives its numbers a GIN operator class): a search in one column reads
  // only that column's matches (at 10,000,000 items a common word's first
  // search in the busiest column read 34,000 rows instead of 200,000).
  const bool apart = !ix.cluster.empty();
  if (apart) body += Extension("btree_gin");
  body += Extension("pg_trgm");
  body += "  made := false;\n";
  const std::string table = apart ? TextTable(ix) : FoldCase(ix.table);
  if (apart) {
    // Filled once, when made; the searched table is held against writers
    // until init commits, so that no row is written between the fill and
    // the triggers that keep the texts. Every column takes the searched
    // table's type, so that a condition on them reads the same there.
    const std::string t = Watched(ix);
    body += "  if to_regclass(format('%I.%I', current_schema(), '" + table +
            "')) is null then\n    lock table " + FoldCase(ix.table) +
            " in share row exclusive mode;\n    create table " + table + " as select " + t +
            " from " + FoldCase(ix.table) + " with no data;\n    alter table " + table +
            " add primary key (" + FoldCase(ix.key) + ");\n    insert into " + table + " (" + t +
            ") select " + t + " from " + FoldCase(ix.table) + ";\n    made := true;\n  end if;\n";
  }
  const std::string lead = apart ? FoldCase(ix.cluster) + ", " : "";
  for (const auto& c : ix.columns) {
    std::string name = apart ? FoldCase(ix.name + "_" + c) : FoldCase("ptlx_" + ix.name + "_" + c);
    body += "  if to_regclass(format('%I.%I', current_schema(), '" + name +
            "')) is null then\n    execute format('create index if not exists " + name + " on " +
            table + " using gin (" + lead + Lowered(FoldCase(c)) +
            " %s.gin_trgm_ops)', s);\n    made := true;\n  end if;\n";
    // The indexes made on the searched table before the texts had their
    // own: this schema's, never one of the same name further along the
    // search path.
    if (apart) {
      for (const std::string& old : {FoldCase("ptlx_" + ix.name + "_" + c),
                                     FoldCase("ptlx_" + ix.name + "_" + ix.cluster + "_" + c)}) {
        body +=
            "  execute format('drop index if exists %I.%I', current_schema(), '" + old + "');\n";
      }
    }
  }
  // The planner knows how many rows a pattern matches only from statistics
  // of the lowered expression, which an index made on rows already there
  // has none of until the table is analyzed: without them it guesses a
  // fraction of a percent and reads a common word's rows through a lossy
  // bitmap.
  body += "  if made then execute 'analyze " + table + "'; end if;\n";
  std::vector<std::string> out = {body + "end $$"};
  if (apart) {
    for (auto& sql : LogStatements(ix)) out.push_back(std::move(sql));
  }
  return out;
}

namespace {

// The cluster value written as a plain number, as the marks and the texts'
// table hold it; empty for any other.
std::string PlainNumber(const std::string& v) {
  if (v.empty() || v.size() > 18 || v.find_first_not_of("0123456789") != v.npos) return "";
  return v;
}

// The cluster column's condition for the plain number `v`, quoted so that
// it takes the column's own type: btree_gin compares like types only.
std::string ClusterIs(const SubstringIndexDef& ix, const std::string& v) {
  return ix.cluster + " = '" + v + "'";
}

// The likes of the lowered texts that the index serves, one group per
// term of three characters or more; empty for none.
std::string Likes(const SubstringIndexDef& ix, const std::vector<SubstringTerm>& terms) {
  std::string out;
  for (const auto& term : terms) {
    // pg_trgm finds nothing to look up in fewer than three characters and
    // would read its whole index.
    if (Characters(term.word) < 3) continue;
    std::string pattern = "lower('%" + LikeLiteral(term.word, "pText") + "%'" + kCollation + ")";
    std::string any;
    for (const auto& c : ix.columns) {
      if (!term.column.empty() && term.column != c) continue;
      any += (any.empty() ? "" : " or ") + Lowered(c) + " like " + pattern + " escape '\\'";
    }
    if (any.empty()) continue;
    out += (out.empty() ? "(" : " and (") + any + ")";
  }
  return out;
}

}  // namespace

std::string SubstringCandidates(const SubstringIndexDef& ix, const SubstringSearch& search) {
  std::string likes = Likes(ix, search.terms);
  if (likes.empty() || ix.cluster.empty()) return likes;
  // The texts' rows are named alike, so the likes read the same there.
  std::string v = PlainNumber(search.cluster);
  return ix.key + " in (select " + ix.key + " from " + TextTable(ix) + " where " +
         (v.empty() ? "" : ClusterIs(ix, v) + " and ") + likes + ")";
}

SubstringTally SubstringCount(const SubstringIndexDef& ix, const SubstringSearch& search) {
  const std::string v = PlainNumber(search.cluster);
  if (ix.cluster.empty() || search.condition.empty() || v.empty()) return {};
  const std::string likes = Likes(ix, search.terms);
  if (likes.empty()) return {};
  // The index follows every write: nothing is left for the rest. Kept keys
  // are brought up to date from the log instead.
  const std::string& condition = search.condition;
  SubstringTally tally;
  // The condition names only copies and texts, which the texts' table
  // holds: the matches are counted there, without the searched table's rows.
  tally.keys = "select " + ix.key + " from " + TextTable(ix) + " where " + condition + " and " +
               ClusterIs(ix, v) + " and " + likes;
  tally.mark = "(select string_agg(Mark::text, ':' order by " + FoldCase(ix.cluster) + ") from " +
               MarkTable(ix) + " where " + FoldCase(ix.cluster) + " in (-1, " + v + "))";
  tally.rest = "select 0";
  tally.others = "select null";
  tally.since = "pg_current_snapshot()::text";
  tally.remember = "select set_config('ptlx.since', '{since}', false)";
  // Every transaction under a snapshot's xmin had ended when it was taken:
  // rows written since have that xmin or more, found through the index.
  const std::string since = "current_setting('ptlx.since')::pg_snapshot";
  tally.written = "select " + FoldCase(ix.key) + " from " + LogTable(ix) + " where " +
                  FoldCase(ix.cluster) + " = " + v + " and Xid >= pg_snapshot_xmin(" + since +
                  ") and not pg_visible_in_snapshot(Xid, " + since + ")";
  tally.recheck = "select " + ix.key + " from " + ix.table + " where " + condition;
  tally.key = FoldCase(ix.key);
  return tally;
}

}  // namespace ptolix::db::postgres
