#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ptolix/db/connection.h"
#include "ptolix/db/dialect.h"

namespace ptolix::schema {

enum class ColumnKind {
  kIdentity,  // integer assigned by the database, never reused
  kInteger,
  kText,
  kLongText,
  kDateTime,
  kFlag,       // one character, "0" or "1"
  kOrderCode,  // upper-case hexadecimal segments, matched by prefix
};

struct ColumnDef {
  std::string name;
  ColumnKind kind;
  std::string default_value;  // SQL expression, empty for none
  bool not_null = false;
};

struct TableDef {
  std::string name;
  std::vector<ColumnDef> columns;  // in the table's column order
  std::vector<std::string> key;    // primary or unique key columns (besides an identity)
};

struct IndexDef {
  std::string name;
  std::string table;
  std::string columns;  // "Column_ID, Info_IsDeleted"
  std::string where;    // partial index condition, empty for none
};

// The 26 tables, in the order of the subsystems that own them.
const std::vector<TableDef>& Tables();
const std::vector<IndexDef>& Indexes();
// Indexes of earlier schemas that CreateSchema drops.
const std::vector<std::string>& RetiredIndexes();

// Every column name in the schema's own spelling (for engines that fold
// unquoted names to lower case).
const std::vector<std::string>& ColumnNames();

// The statements that create the schema on `dialect`, tables and indexes
// "if not exists".
std::vector<std::string> CreateStatements(db::Dialect dialect);

// Creates every table, index and helper function, and the standard rows
// (access types 1 to 4, information states 1 to 6, role 1). Running it on an
// existing database changes nothing. Throws db::Error.
void CreateSchema(db::Connection& connection);

}  // namespace ptolix::schema
