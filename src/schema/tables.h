#pragma once

#include <string>
#include <vector>

#include "db/ddl.h"
#include "db/engine.h"

// The library's tables and indexes, as the schema declares them.
namespace ptolix::schema {

struct ColumnDef {
  std::string name;
  db::ColumnType kind;
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

// The statements that create the schema on `engine`, tables and indexes
// "if not exists".
std::vector<std::string> CreateStatements(const db::Engine& engine);

}  // namespace ptolix::schema
