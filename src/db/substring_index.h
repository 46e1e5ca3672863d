#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ptolix::db {

class Connection;

// A column of the searched table that an index may keep a copy of beside
// the texts, so that conditions on it are answered without the table's rows.
struct SubstringCopy {
  std::string column;
  bool integer;  // holds integers (else texts); other values are not copied
};

// An index that finds the rows of `table` whose text `columns` contain a
// given text, letter case ignored as the engine's like ignores it on those
// columns. db knows no tables; the schema names them.
struct SubstringIndexDef {
  std::string name;                  // the index (or the table that holds it)
  std::string table;                 // the table searched
  std::string key;                   // its integer key, one column
  std::vector<std::string> columns;  // the text columns indexed
  // An integer column (also among `copies`) whose rows an engine may keep
  // together, so that a search of one of its values reads that value's
  // matches alone; empty for none.
  std::string cluster;
  std::vector<SubstringCopy> copies;
};

// One search term: `word` taken literally (no wildcards) in `column`, or in
// any of the index's columns when `column` is empty.
struct SubstringTerm {
  std::string column;
  std::string word;
};

// A search through a substring index: `terms`, and what else every row
// sought meets, which an engine may use to read fewer of the index's rows.
struct SubstringSearch {
  std::vector<SubstringTerm> terms;
  std::string cluster;    // the value of the index's cluster column; empty: any
  std::string condition;  // the whole condition on the rows sought (library
                          // SQL, the terms' likes included), naming only the
                          // index's copies and text columns; empty: unknown
};

// A search's matches read through an index that keeps copies: `keys` (a
// query of one integer column, library SQL) gives the keys of the index's
// rows meeting the condition, stale rows among them, and holds while the
// expression `mark` (the engine's SQL) keeps its value; `rest` (a count)
// corrects it for the rows written since the index was brought up to date;
// `others` (a query of one column) gives the keys the index does not answer
// for. Empty `keys`: the engine has no such count.
//
// Where the engine logs the keys written instead (`written` not empty),
// kept keys are brought up to date rather than read again: `since` (an
// expression, the engine's SQL) names the moment of a statement, and
// `written` (a query of keys, the engine's SQL) the keys written after the
// moment that `remember` (a statement, "{since}" standing for the moment)
// made current on the session; `recheck` (a query of keys, library SQL, to
// which "and `key` in (...)" may be added) gives those of the rows meeting
// the condition now. `mark` then moves only when a log is cut. The texts
// stay the same from call to call, so they stay prepared.
struct SubstringTally {
  std::string keys, mark, rest, others;
  std::string since, remember, written, recheck, key;
};

// What CountThroughIndex found: the count, and the keys it read from the
// index, joined by commas ("null" for none), while they are at most
// kListedKeys (else null), with the mark they hold under.
struct IndexedCount {
  static constexpr size_t kListedKeys = 5000;
  int64_t count = 0;
  std::shared_ptr<const std::string> keys;
  std::string mark;
};

// Counts a search through `tally` on one snapshot of the data. The index's
// keys are kept on the connection with their mark, and read again only
// when it has moved.
IndexedCount CountThroughIndex(Connection& conn, const SubstringTally& tally);
// True while the mark of `tally` is still the one `found` was read under:
// a statement run after `found` and before this saw the same index.
bool IndexUnchanged(Connection& conn, const SubstringTally& tally, const IndexedCount& found);

// What brings a substring index up to date where its triggers only note the
// rows written, so that a write pays for a note and not for the index.
struct SubstringUpkeep {
  std::string backlog;                // a count of the noted rows (library SQL)
  std::vector<std::string> catch_up;  // indexes them and clears the notes, in
                                      // one transaction (the engine's SQL)
};

}  // namespace ptolix::db
