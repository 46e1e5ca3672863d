// SQLite values to Variant.

#include "db/values.h"

#include <sqlite3.h>

#include <string>

#include "db/sqlite/sqlite.h"
#include "ptolix/value/text_case.h"

namespace ptolix::db::sqlite {

Variant ReadColumn(sqlite3_stmt* stmt, int i) {
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_NULL:
      return Variant::Null();
    case SQLITE_INTEGER: {
      sqlite3_int64 v = sqlite3_column_int64(stmt, i);
      return NarrowInteger(v);
    }
    case SQLITE_FLOAT:
      return Variant(sqlite3_column_double(stmt, i));
    default: {
      std::string text(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                       sqlite3_column_bytes(stmt, i));
      const char* decl = sqlite3_column_decltype(stmt, i);
      if (decl && SameIgnoringCase(decl, "datetime")) return DateOrText(text, text);
      return Variant(std::move(text));
    }
  }
}

}  // namespace ptolix::db::sqlite
