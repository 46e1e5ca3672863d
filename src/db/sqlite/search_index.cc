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
#include <string>
#include <string_view>
#include <vector>

#include "db/sqlite/sqlite.h"

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

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

}  // namespace

// The rows written since the index was last brought up to date.
std::string Pending(const SubstringIndexDef& ix) { return ix.name + "Pending"; }

std::vector<std::string> SubstringIndexStatements(const SubstringIndexDef& ix) {
  std::string cols, trigger = "ptlx_" + ix.name;
  for (const auto& c : ix.columns) cols += ", " + c;
  // Notes a key once. Not "insert or ignore": an outer statement's own
  // conflict clause (insert or abort ...) would override it, and a second
  // write of the same row would fail.
  auto note = [&](const std::string& key) {
    return "insert into " + Pending(ix) + " select " + key + " where not exists (select 1 from " +
           Pending(ix) + " where " + ix.key + " = " + key + ");";
  };
  return {
      // The table keeps its own copy of the texts, so that a row leaves the
      // index by its key alone whatever wrote it.
      "create virtual table if not exists " + ix.name + " using fts5(" + cols.substr(2) +
          ", tokenize = 'trigram case_sensitive 1', detail = column)",
      "create table if not exists " + Pending(ix) + " (" + ix.key + " integer primary key)",
      // Filled once, in the transaction that creates its triggers: a
      // database made before the index gets it whole on its next init.
      "insert or replace into " + ix.name + " (rowid" + cols + ") select " + ix.key + cols +
          " from " + ix.table +
          " where not exists (select 1 from sqlite_master where type = 'trigger' and name = '" +
          trigger + "_insert')",
      // Indexing one row in its own transaction costs FTS5 several times
      // what the row's insert costs; the triggers note the row instead, and
      // searches take the noted rows as candidates until a catch-up indexes
      // them in bulk.
      "create trigger if not exists " + trigger + "_insert after insert on " + ix.table +
          " begin " + note("new." + ix.key) + " end",
      "create trigger if not exists " + trigger + "_update after update of " + ix.key + cols +
          " on " + ix.table + " begin " + note("old." + ix.key) + " " + note("new." + ix.key) +
          " end",
      "create trigger if not exists " + trigger + "_delete after delete on " + ix.table +
          " begin " + note("old." + ix.key) + " end",
  };
}

std::string SubstringCandidates(const SubstringIndexDef& ix,
                                const std::vector<SubstringTerm>& terms) {
  std::string query;
  for (const auto& term : terms) {
    std::string q = WordQuery(term.word);
    if (q.empty()) continue;
    if (!term.column.empty()) q = "{" + term.column + "} : (" + q + ")";
    query += (query.empty() ? "" : " AND ") + q;
  }
  if (query.empty()) return "";
  return "(" + ix.key + " in (select rowid from " + ix.name + " where " + ix.name + " match " +
         Quoted(query) + ") or " + ix.key + " in (select " + ix.key + " from " + Pending(ix) + "))";
}

SubstringUpkeep SubstringIndexUpkeep(const SubstringIndexDef& ix) {
  std::string cols, noted = " in (select " + ix.key + " from " + Pending(ix) + ")";
  for (const auto& c : ix.columns) cols += ", " + c;
  return {"select count(*) from " + Pending(ix),
          {"delete from " + ix.name + " where rowid" + noted,
           "insert into " + ix.name + " (rowid" + cols + ") select " + ix.key + cols + " from " +
               ix.table + " where " + ix.key + noted,
           "delete from " + Pending(ix)}};
}

}  // namespace ptolix::db::sqlite
