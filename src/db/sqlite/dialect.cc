// How a transaction begins on SQLite, and how a connection tells that the
// data may have changed.

#include <string>

#include "db/sqlite/sqlite.h"

namespace ptolix::db::sqlite {

std::string BeginText() {
  // Take the write lock now, so that a transaction that has read never
  // has to upgrade (which could fail at once with SQLITE_BUSY); the busy
  // timeout queues the writers instead.
  return "begin immediate";
}

std::string LockText(std::initializer_list<Lock>) {
  // Every write transaction holds the database's write lock from its start
  // (begin immediate), which covers every key.
  return "";
}

std::string ChangeToken() {
  // data_version moves when another connection commits, total_changes()
  // with every row this connection writes.
  return "((select data_version from pragma_data_version()) || ':' || total_changes())";
}

}  // namespace ptolix::db::sqlite
