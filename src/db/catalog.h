#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace ptolix::db {

// What the connection needs to know about the tables its statements name:
// the columns whose spelling or collation matters, and the tables' keys. The schema builds it and
// hands it to each connection it opens; db itself knows no tables. Names are keyed by their
// lower-case form.
struct Catalog {
  // Each column's own spelling: engines that fold unquoted names to lower
  // case give result columns back in it.
  std::unordered_map<std::string, std::string> spelling;
  // Columns that hold text in every table that has them: on PostgreSQL a
  // bare number compared with one is quoted.
  std::unordered_set<std::string> text_columns;
  // Order-code columns: prefix searches on them get an index range under
  // the columns' own collation.
  std::unordered_set<std::string> order_code_columns;
  // Columns of text that searches match without letter case, in every
  // script (titles and contents).
  std::unordered_set<std::string> case_free_columns;
  // Each table's one-column unique key (its identity or its single key
  // column), by the table's name; tables without one are absent.
  std::unordered_map<std::string, std::string> keys;

  bool IsTextColumn(std::string_view name) const;
  bool IsOrderCodeColumn(std::string_view name) const;
  bool IsCaseFreeColumn(std::string_view name) const;
  // The column's own spelling, or `name` itself when it is no column.
  std::string Spelling(std::string_view name) const;
  // The table's one-column unique key, or "" when it has none.
  std::string KeyOf(std::string_view table) const;
};

}  // namespace ptolix::db
