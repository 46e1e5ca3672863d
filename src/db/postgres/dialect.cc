// How a transaction begins on PostgreSQL.

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

}  // namespace ptolix::db::postgres
