#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ptolix::db {

// An index that finds the rows of `table` whose text `columns` contain a
// given text, letter case ignored as the engine's like ignores it on those
// columns. db knows no tables; the schema names them.
struct SubstringIndexDef {
  std::string name;                  // the index (or the table that holds it)
  std::string table;                 // the table searched
  std::string key;                   // its integer key, one column
  std::vector<std::string> columns;  // the text columns indexed
};

// One search term: `word` taken literally (no wildcards) in `column`, or in
// any of the index's columns when `column` is empty.
struct SubstringTerm {
  std::string column;
  std::string word;
};

// What brings a substring index up to date where its triggers only note the
// rows written, so that a write pays for a note and not for the index.
struct SubstringUpkeep {
  std::string backlog;                // a count of the noted rows (library SQL)
  std::vector<std::string> catch_up;  // indexes them and clears the notes, in
                                      // one transaction (the engine's SQL)
};

}  // namespace ptolix::db
