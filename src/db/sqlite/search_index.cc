// Substring indexes on SQLite: an FTS5 table with the trigram tokenizer,
// kept by triggers written in plain SQL, so that a statement typed in the
// sqlite3 shell keeps it as current as the library's own writes do.
//
// The index keeps each text's trigrams exactly as written (case_sensitive
// 1): its own case folding is not the one searches use (FoldLetter), and an
// index that folded differently could miss a row the search finds. A word's
// trigrams are looked up instead in every spelling that folds like them, so
// the rows the index returns always include every row the like finds.

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/sqlite/sqlite.h"
#include "value/sql_text.h"

namespace ptolix::db::sqlite {

namespace {

// A trigram whose spellings are more than this many is left out of the
// lookup (the others still narrow it).
constexpr size_t kMaxSpellings = 64;
// The trigrams looked up per word: the first, every third one after it and
// the last, at most this many.
constexpr size_t kMaxTrigrams = 4;

// Every character that folds to `folded`, itself included when it folds to
// itself: the inverse of FoldLetter, built once from all of Unicode.
std::vector<char32_t> Spellings(char32_t folded) {
  static const std::map<char32_t, std::vector<char32_t>> others = [] {
    std::map<char32_t, std::vector<char32_t>> m;
    for (char32_t c = 1; c <= 0x10FFFF; ++c) {
      if (c == 0xD800) c = 0xE000;
      if (char32_t f = FoldLetter(c); f != c) m[f].push_back(c);
    }
    for (auto& [f, list] : m) {
      if (FoldLetter(f) == f) list.insert(list.begin(), f);
    }
    return m;
  }();
  auto it = others.find(folded);
  return it != others.end() ? it->second : std::vector<char32_t>{folded};
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// True for a character the index can hold as the same character: the
// reading of text (DecodeText) gives no other value for valid UTF-8.
bool Indexable(char32_t c) { return c >= 1 && c <= 0x10FFFF && c != 0xFFFE && c != 0xFFFF; }

// The lookup of one trigram in all its spellings, in FTS5's query syntax:
// ("abc" OR "Abc" OR ...); empty when it has too many.
std::string TrigramQuery(const std::vector<char32_t>& word, size_t at) {
  auto a = Spellings(FoldLetter(word[at])), b = Spellings(FoldLetter(word[at + 1])),
       c = Spellings(FoldLetter(word[at + 2]));
  if (a.size() * b.size() * c.size() > kMaxSpellings) return "";
  std::string out;
  for (char32_t x : a) {
    for (char32_t y : b) {
      for (char32_t z : c) {
        out += out.empty() ? "(\"" : " OR \"";
        for (char32_t ch : {x, y, z}) {
          AppendUtf8(out, ch);
          if (ch == U'"') out += '"';
        }
        out += '"';
      }
    }
  }
  return out + ")";
}

// The trigrams of `text` that the index can look up, joined by AND; empty
// when there are none (fewer than three indexable characters in a row).
std::string WordQuery(std::string_view text) {
  std::u32string chars;
  DecodeText(reinterpret_cast<const unsigned char*>(text.data()), text.size(), chars);
  std::vector<char32_t> word(chars.begin(), chars.end());
  std::vector<size_t> starts;
  size_t run = 0;  // indexable characters ending at i
  for (size_t i = 0; i < word.size(); ++i) {
    run = Indexable(word[i]) ? run + 1 : 0;
    if (run >= 3 && (starts.empty() || i - 2 >= starts.back() + 3)) starts.push_back(i - 2);
  }
  // The last trigram too, when the steps of three stopped short of it.
  if (run >= 3 && (starts.empty() || starts.back() != word.size() - 3))
    starts.push_back(word.size() - 3);
  std::vector<std::string> parts;
  for (size_t at : starts) {
    if (std::string q = TrigramQuery(word, at); !q.empty()) parts.push_back(q);
  }
  if (parts.size() > kMaxTrigrams) parts.erase(parts.begin() + kMaxTrigrams - 1, parts.end() - 1);
  std::string out;
  for (const auto& p : parts) out += (out.empty() ? "" : " AND ") + p;
  return out;
}

// The terms in FTS5's query syntax; empty when no term can be looked up.
std::string MatchQuery(const std::vector<SubstringTerm>& terms) {
  std::string query;
  for (const auto& term : terms) {
    std::string q = WordQuery(term.word);
    if (q.empty()) continue;
    if (!term.column.empty()) q = "{" + term.column + "} : (" + q + ")";
    query += (query.empty() ? "" : " AND ") + q;
  }
  return query;
}

// The index's rowid is cluster * kKeySpan + key for a row whose key and
// cluster value fit and whose copies hold the values they are meant to (an
// integer or a text, or null), so that one cluster value's rows are one
// range of rowids: FTS5 seeks its lists of rows to that range, and reads its
// copies in rowid order. Any other row with a key of 1 or more has rowid
// -key; a row whose key is under 1 is not indexed, and is a candidate of
// every search. An index with no cluster column holds every row in cluster 0.
constexpr int64_t kKeySpan = int64_t{1} << 36;
constexpr int64_t kClusters = int64_t{1} << 26;

std::string Str(int64_t n) { return std::to_string(n); }

// The index of the first shape (rowid = key, no copies) was named after the
// definition; the clustered one takes names of its own, so that the
// statements that make it also drop an index of the first shape.
std::string Fts(const SubstringIndexDef& ix) { return ix.name + "2"; }
std::string Pending(const SubstringIndexDef& ix) { return Fts(ix) + "Pending"; }
// One row, one random number, drawn again whenever the index's rows change
// (its fill, every catch-up): counts read from the index alone hold while
// it stays.
std::string Mark(const SubstringIndexDef& ix) { return Fts(ix) + "Mark"; }
constexpr char kNotedRow[] = "Index_Row";  // the index's rowid for the row when first noted

// The rowid of the row whose columns are `p` + name (p is "new.", "old." or "").
std::string RowOf(const SubstringIndexDef& ix, const std::string& p) {
  std::string k = p + ix.key, fits = k + " between 1 and " + Str(kKeySpan - 1), cluster = "0";
  if (!ix.cluster.empty()) {
    cluster = p + ix.cluster;
    fits += " and typeof(" + cluster + ") = 'integer' and " + cluster + " between 0 and " +
            Str(kClusters - 1);
  }
  for (const auto& c : ix.copies) {
    if (c.column == ix.cluster) continue;
    fits +=
        " and typeof(" + p + c.column + ") in ('" + (c.integer ? "integer" : "text") + "', 'null')";
  }
  return "case when " + fits + " then " + cluster + " * " + Str(kKeySpan) + " + " + k + " when " +
         k + " >= 1 then -" + k + " end";
}

// The copies come first, so that a search reads them and the title without
// reading through a long content's overflow pages.
std::string Columns(const SubstringIndexDef& ix) {
  std::string cols;
  for (const auto& c : ix.copies) cols += ", " + c.column;
  for (const auto& c : ix.columns) cols += ", " + c;
  return cols;
}

// Notes a key once, with the index's rowid of its row then. Not "insert or
// ignore": an outer statement's own conflict clause (insert or abort ...)
// would override it, and a second write of the same row would fail.
std::string Noted(const SubstringIndexDef& ix, const std::string& key, const std::string& row) {
  return "select " + key + ", " + row + " where not exists (select 1 from " + Pending(ix) +
         " where " + ix.key + " = " + key + ")";
}
std::string Note(const SubstringIndexDef& ix, const std::string& key, const std::string& row) {
  return "insert into " + Pending(ix) + " " + Noted(ix, key, row) + ";";
}
// An update notes the old key, and the new one where the key changed, in
// one statement (each statement a trigger runs costs about a microsecond).
std::string NoteUpdate(const SubstringIndexDef& ix) {
  std::string k = "new." + ix.key;
  return "insert into " + Pending(ix) + " " + Noted(ix, "old." + ix.key, RowOf(ix, "old.")) +
         " union all " + Noted(ix, k, "null") + " and " + k + " is not old." + ix.key + ";";
}

// The rowids of one cluster value: {1, 0} (none) for a value no row in the
// rowid ranges can have, nullopt where the value is not written as a plain
// number (its rows are then sought in every range).
std::optional<std::pair<int64_t, int64_t>> ClusterRange(const SubstringIndexDef& ix,
                                                        const std::string& value) {
  if (ix.cluster.empty()) return std::pair<int64_t, int64_t>{1, kKeySpan - 1};
  if (value.empty() || value.size() > 18 || value.find_first_not_of("0123456789") != value.npos)
    return std::nullopt;
  int64_t c = std::stoll(value);
  if (c >= kClusters) return std::pair<int64_t, int64_t>{1, 0};
  return std::pair<int64_t, int64_t>{c * kKeySpan + 1, c * kKeySpan + kKeySpan - 1};
}

// The index's rows meeting `filter` (on its rowid and match), with the
// key as ptlx_row less `lo` and the copies under their own names; integer
// copies keep the table's comparisons (integer affinity) in conditions on
// them.
std::string IndexRows(const SubstringIndexDef& ix, const std::string& filter) {
  std::string cols = "rowid as ptlx_row";
  for (const auto& c : ix.columns) cols += ", " + c;
  for (const auto& c : ix.copies) {
    cols += ", " + (c.integer ? "cast(" + c.column + " as integer) as " + c.column : c.column);
  }
  return "(select " + cols + " from " + Fts(ix) + " where " + filter + ") ptlx_ix";
}

// The index's rows of the range matching `query`.
std::string IndexRows(const SubstringIndexDef& ix, const std::string& query, int64_t lo,
                      int64_t hi) {
  return IndexRows(ix, Fts(ix) + " match " + SqlQuote(query) + " and rowid between " + Str(lo) +
                           " and " + Str(hi));
}

// The keys no row of the index answers for: the noted ones and those under 1.
std::string UnindexedKeys(const SubstringIndexDef& ix) {
  return "select " + ix.key + " as ptlx_key from " + Pending(ix) + " union select " + ix.key +
         " from " + ix.table + " where " + ix.key + " < 1";
}

// The keys the index cannot answer for: those above, and those outside the
// rowid ranges that match `query`.
std::string OtherKeys(const SubstringIndexDef& ix, const std::string& query) {
  return UnindexedKeys(ix) + " union select -rowid from " + Fts(ix) + " where " + Fts(ix) +
         " match " + SqlQuote(query) + " and rowid < 0";
}

}  // namespace

std::vector<std::string> SubstringIndexStatements(const SubstringIndexDef& ix) {
  std::string cols = Columns(ix), declared, trigger = "ptlx_" + Fts(ix), first = "ptlx_" + ix.name;
  for (const auto& c : ix.copies) declared += ", " + c.column + " unindexed";
  for (const auto& c : ix.columns) declared += ", " + c;
  return {
      // An index of the first shape is rebuilt in this one.
      "drop trigger if exists " + first + "_insert",
      "drop trigger if exists " + first + "_update",
      "drop trigger if exists " + first + "_delete",
      "drop table if exists " + ix.name,
      "drop table if exists " + ix.name + "Pending",
      // The table keeps its own copy of the texts, so that a row leaves the
      // index by its rowid alone whatever wrote it.
      "create virtual table if not exists " + Fts(ix) + " using fts5(" + declared.substr(2) +
          ", tokenize = 'trigram case_sensitive 1', detail = column)",
      "create table if not exists " + Pending(ix) + " (" + ix.key + " integer primary key, " +
          kNotedRow + " integer)",
      "create table if not exists " + Mark(ix) + " (Mark integer)",
      "delete from " + Mark(ix),
      "insert into " + Mark(ix) + " values (random())",
      // Filled once, in the transaction that creates its triggers: a
      // database made before the index gets it whole on its next init. In
      // rowid order: FTS5 writes out what it holds whenever a rowid is
      // lower than the one before, which in key order is every other row.
      "insert or replace into " + Fts(ix) + " (rowid" + cols + ") select " + RowOf(ix, "") + cols +
          " from " + ix.table + " where " + ix.key +
          " >= 1 and not exists (select 1 from sqlite_master where type = 'trigger' and name = '" +
          trigger + "_insert') order by 1",
      // Indexing one row in its own transaction costs FTS5 several times
      // what the row's insert costs; the triggers note the row instead (a
      // key never indexed with no rowid), and searches take the noted rows
      // from the table until a catch-up indexes them in bulk. Every column
      // the index holds is watched, so an unnoted row's index row is exact.
      // Made afresh on every init, after the fill has looked for them, so
      // that a database takes the current form of each.
      "drop trigger if exists " + trigger + "_insert",
      "create trigger " + trigger + "_insert after insert on " + ix.table + " begin " +
          Note(ix, "new." + ix.key, "null") + " end",
      "drop trigger if exists " + trigger + "_update",
      "create trigger " + trigger + "_update after update of " + ix.key + cols + " on " + ix.table +
          " begin " + NoteUpdate(ix) + " end",
      "drop trigger if exists " + trigger + "_delete",
      "create trigger " + trigger + "_delete after delete on " + ix.table + " begin " +
          Note(ix, "old." + ix.key, RowOf(ix, "old.")) + " end",
  };
}

// In a cluster, one in-list of keys, so that the table's rows can be read
// by key.
std::string SubstringCandidates(const SubstringIndexDef& ix, const SubstringSearch& search) {
  std::string query = MatchQuery(search.terms);
  if (query.empty()) return "";
  std::string others = " union " + OtherKeys(ix, query) + ")";
  auto range = ClusterRange(ix, search.cluster);
  if (!range) {
    // Two in-lists, as before the index had clusters: a search of many
    // columns reads its page in list order, checking each row's key.
    return "(" + ix.key + " in (select case when rowid > 0 then rowid % " + Str(kKeySpan) +
           " else -rowid end from " + Fts(ix) + " where " + Fts(ix) + " match " + SqlQuote(query) +
           ") or " + ix.key + " in (" + UnindexedKeys(ix) + "))";
  }
  auto [lo, hi] = *range;
  std::string where = search.condition.empty() ? "" : " where " + search.condition;
  return ix.key + " in (select ptlx_row - " + Str(lo - 1) + " from " +
         IndexRows(ix, query, lo, hi) + where + others;
}

SubstringTally SubstringCount(const SubstringIndexDef& ix, const SubstringSearch& search) {
  std::string query = MatchQuery(search.terms);
  if (query.empty() || search.condition.empty() || ix.copies.empty()) return {};
  auto range = ClusterRange(ix, search.cluster);
  if (search.cluster.empty() || !range) return {};
  auto [lo, hi] = *range;
  // The index's rows in the range that meet the condition, less those of
  // the noted keys (their copies may be stale), looked up by key: every row
  // meeting the condition (its likes) matches the query, so they need not
  // be matched again. The noted keys' rows and those the index does not
  // hold are counted in the table.
  std::string noted_rows = "rowid in (select " + ix.key + " + " + Str(lo - 1) + " from " +
                           Pending(ix) + " where " + ix.key + " between 1 and " + Str(hi - lo + 1) +
                           ")";
  SubstringTally tally;
  tally.others = OtherKeys(ix, query);
  tally.keys = "select ptlx_row - " + Str(lo - 1) + " from " + IndexRows(ix, query, lo, hi) +
               " where " + search.condition;
  tally.mark = "(select Mark from " + Mark(ix) + ")";
  // The other keys as an in-list: joined to the table, SQLite would build a
  // Bloom filter over every row meeting the condition before the first key.
  tally.rest = "select (select count(*) from " + ix.table + " where " + ix.key + " in (" +
               tally.others + ") and " + search.condition + ") - (select count(*) from " +
               IndexRows(ix, noted_rows) + " where " + search.condition + ")";
  return tally;
}

SubstringUpkeep SubstringIndexUpkeep(const SubstringIndexDef& ix) {
  std::string cols = Columns(ix), noted = " in (select " + ix.key + " from " + Pending(ix) + ")";
  return {
      "select count(*) from " + Pending(ix),
      {"delete from " + Fts(ix) + " where rowid in (select " + kNotedRow + " from " + Pending(ix) +
           ")",
       "insert into " + Fts(ix) + " (rowid" + cols + ") select " + RowOf(ix, "") + cols + " from " +
           ix.table + " where " + ix.key + " >= 1 and " + ix.key + noted + " order by 1",
       "delete from " + Pending(ix), "update " + Mark(ix) + " set Mark = random()"}};
}

}  // namespace ptolix::db::sqlite
