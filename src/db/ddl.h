#pragma once

#include <string>
#include <string_view>

namespace ptolix::db {

// The kinds of column a table declares, as the engines tell them apart.
enum class ColumnType {
  kIdentity,  // integer assigned by the database, never reused
  kInteger,
  kText,
  kLongText,
  kDateTime,
  kFlag,       // one character, "0" or "1"
  kOrderCode,  // upper-case hexadecimal segments, matched by prefix
};

// How an engine writes the DDL of a schema it is told about: the types,
// defaults and statements that differ between engines. db knows no tables;
// the schema names them.
class Ddl {
 public:
  virtual ~Ddl() = default;
  // The type of a column, with the key, identity or collation it implies.
  virtual std::string Type(ColumnType type) const = 0;
  // The default that gives a column the local time of the insert.
  virtual std::string InsertTime() const = 0;
  // The statement that keeps `table`'s identity `column` ahead of rows
  // inserted with their own identity; empty where the engine does so itself.
  virtual std::string FollowIdentity(std::string_view table, std::string_view column) const = 0;
  // The statement, named `name`, that tells the planner that `columns` (a
  // comma-separated list) of `table` depend on each other; empty where the
  // engine keeps no such statistics.
  virtual std::string ColumnDependencies(std::string_view name, std::string_view table,
                                         std::string_view columns) const = 0;
};

}  // namespace ptolix::db
