// How a transaction begins on PostgreSQL, and how a connection tells that
// the data may have changed.

#include <string>

#include "db/postgres/postgres.h"

namespace ptolix::db::postgres {

std::string BeginText() { return "begin"; }

std::string LockText(std::initializer_list<Lock> held) {
  // The locks travel with the statement that opens the transaction: one
  // round trip. Transaction-scoped advisory locks on each pair.
  std::string text;
  for (const Lock& lock : held) {
    text += "; select pg_advisory_xact_lock(" + std::to_string(lock.space) + "," +
            std::to_string(lock.key) + ")";
  }
  return text;
}

std::string ChangeToken() {
  // The statement's snapshot: two equal snapshots see the same committed
  // transactions, so the same rows; any commit since changes it.
  return "pg_current_snapshot()::text";
}

}  // namespace ptolix::db::postgres
