#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <type_traits>

#include "ptolix/db/connection.h"
#include "ptolix/db/error.h"

// Atomic changes: transactions, savepoints and the locks they hold, and the
// retry of a whole change that another transaction made fail.
namespace ptolix::db {

// What an atomic change decides about, locked for the rest of its
// transaction so that two connections never decide from the same state: a
// whole tree (its codes), the counters, or one user's effective access rows.
// On PostgreSQL a transaction-scoped advisory lock on the pair; on SQLite
// every write transaction holds the database's write lock from its start,
// which covers every key.
struct Lock {
  int32_t space;
  int32_t key;
};

namespace locks {
inline constexpr int32_t kTreeSpace = 0x50544C58;  // "PTLX"
inline constexpr int32_t kUserSpace = 0x50544C59;
inline constexpr Lock kRoleTree{kTreeSpace, 1};
inline constexpr Lock kColumnTree{kTreeSpace, 2};
inline constexpr Lock kItemTree{kTreeSpace, 3};
inline constexpr Lock kCounters{kTreeSpace, 4};
// The effective access rows of user `user` (a stable hash of the identifier).
Lock UserAccess(std::string_view user);
}  // namespace locks

// A unit of atomic work: a transaction, or a savepoint when one is already
// open on the connection. Rolls back unless Commit() was called. `held` are
// taken at the start and kept until the outermost transaction ends.
class Transaction {
 public:
  explicit Transaction(Connection& conn, std::initializer_list<Lock> held = {});
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  // Throws db::Error (and the transaction stays open, to be rolled back by
  // the destructor) when the database refuses the commit or the connection
  // was lost.
  void Commit();

 private:
  void Ended();

  Connection& conn_;
  int depth_;
  bool done_ = false;
};

// How many times an atomic change runs at most when other transactions make
// it fail with a serialization failure or a deadlock.
inline constexpr int kAtomicAttempts = 5;
// Waits a short, random time before attempt `attempt` + 1.
void AtomicBackOff(int attempt);

// Runs `fn` as one atomic change: in a transaction holding `held`, committed
// when `fn` returns, rolled back when it throws. At the outermost level a
// serialization failure or deadlock runs `fn` again whole, up to
// kAtomicAttempts times, before it is reported; inside a transaction the
// caller opened the failure goes to the caller, whose transaction is lost.
// `fn` must therefore be safe to run again: everything it decides comes from
// what it reads inside the transaction.
template <class F>
auto RunAtomic(Connection& conn, std::initializer_list<Lock> held, F&& fn)
    -> std::invoke_result_t<F&> {
  using Result = std::invoke_result_t<F&>;
  const bool outermost = !conn.InTransaction();
  for (int attempt = 1;; ++attempt) {
    try {
      Transaction tx(conn, held);
      if constexpr (std::is_void_v<Result>) {
        fn();
        tx.Commit();
        return;
      } else {
        Result result = fn();
        tx.Commit();
        return result;
      }
    } catch (const Error& e) {
      if (!outermost || !e.Retryable() || attempt >= kAtomicAttempts) throw;
    }
    AtomicBackOff(attempt);
  }
}

}  // namespace ptolix::db
