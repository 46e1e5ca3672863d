#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ptolix/db/connection.h"

namespace ptolix::schema {

// Creates every table, index and helper function, and the standard rows
// (access types 1 to 4, information states 1 to 6, role 1). Running it on an
// existing database changes nothing. Throws db::Error.
void CreateSchema(db::Connection& connection);

// One count the database keeps for the information lists that differs from
// a count of the rows.
struct KeptCountDifference {
  std::string table;  // the kept table
  std::string keys;   // its key columns, "Sys_ID,WebSite_ID,..."
  std::string key;    // the key's values joined by "|", "null" for a null
  int64_t kept = 0;   // the kept count (0 where no row is kept)
  int64_t real = 0;   // the rows counted
};

// Compares every kept count with a count of the rows, in one transaction
// that holds writers of the items off, and returns the differences in key
// order. With `repair`, each kept table that differs is rebuilt from the
// rows in the same transaction. Throws db::Error.
std::vector<KeptCountDifference> CheckKeptCounts(db::Connection& connection, bool repair);

}  // namespace ptolix::schema
