// How SQLite declares the schema's tables.

#include "db/ddl.h"

#include <string>
#include <string_view>

#include "db/sqlite/sqlite.h"

namespace ptolix::db::sqlite {

namespace {

class SqliteDdl : public Ddl {
 public:
  std::string Type(ColumnType type) const override {
    switch (type) {
      case ColumnType::kIdentity:
        return "integer primary key autoincrement";
      case ColumnType::kInteger:
        return "integer";
      case ColumnType::kText:
      case ColumnType::kLongText:
        return "text";
      case ColumnType::kDateTime:
        return "datetime";
      case ColumnType::kFlag:
        return "char(1)";
      case ColumnType::kOrderCode:
        // Prefix searches use the index only when its collation agrees with
        // like, which ignores letter case.
        return "text collate nocase";
    }
    return "text";
  }

  std::string InsertTime() const override { return "(datetime('now','localtime'))"; }

  // A row inserted with its own identity moves the autoincrement past it.
  std::string FollowIdentity(std::string_view, std::string_view) const override { return ""; }

  // The planner has no statistics across columns.
  std::string ColumnDependencies(std::string_view, std::string_view,
                                 std::string_view) const override {
    return "";
  }
};

}  // namespace

const Ddl& EngineDdl() {
  static const SqliteDdl ddl;
  return ddl;
}

}  // namespace ptolix::db::sqlite
