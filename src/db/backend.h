#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ptolix/db/connection.h"
#include "ptolix/db/dialect.h"
#include "ptolix/frame/variant.h"

namespace ptolix::db {

// What the result columns of a query are called, worked out by the rewriter
// from the statement's select list, for engines that fold unquoted names to
// lower case (PostgreSQL). Empty for the other engines and for statements
// handed to a backend unrewritten: those keep the schema's spelling of its
// columns and the engine's own names otherwise.
struct ResultNames {
  // The items of the outermost select list, in order: an alias in its own spelling, a
  // column in the schema's spelling, any other expression by its text
  // ("count(*)"). Empty when there is no list or it holds a star.
  std::vector<std::string> items;
  // The last spelling of each name the statement writes with a capital
  // letter, one per name (letter case ignored); a name last written in
  // lower case has none.
  std::vector<std::string> spellings;
};

// Rows of one running query, read forward once.
class BackendCursor {
 public:
  virtual ~BackendCursor() = default;
  virtual const std::vector<std::string>& Columns() const = 0;
  // Reads the next row into *row; false at the end.
  virtual bool Fetch(std::vector<Variant>* row) = 0;
};

// What a database engine must do: run statements already in its own dialect
// and hand back column names and Variant rows. Everything else (rewriting,
// cursors, paging, transactions bookkeeping, the trace) is written once in
// Connection. Implementations throw db::Error.
class Backend {
 public:
  virtual ~Backend() = default;
  virtual Dialect dialect() const = 0;
  // Runs a query; `names` says what its columns are called where the engine
  // folds them.
  virtual std::unique_ptr<BackendCursor> Query(const std::string& sql,
                                               const ResultNames& names) = 0;
  std::unique_ptr<BackendCursor> Query(const std::string& sql);
  // Runs a statement that returns no rows; returns the number of rows changed.
  virtual int64_t Execute(const std::string& sql) = 0;
  // Runs an insert and returns the identity the database assigned to
  // `id_column`.
  virtual int64_t Insert(const std::string& sql, std::string_view id_column) = 0;
  // True while a transaction is open on the connection (ours or the caller's).
  virtual bool InTransaction() const = 0;
  // The statement that begins a transaction.
  virtual std::string BeginText() const = 0;
  // What takes `held` for the rest of the transaction, appended to the
  // statement that opens it (a transaction or a savepoint).
  virtual std::string LockText(std::initializer_list<Lock> held) const = 0;
  // An expression whose value, outside a transaction, stays the same only
  // while the rows the connection sees do.
  virtual std::string ChangeToken() const = 0;

  // True once the connection to the database is gone (the server or the
  // network dropped it, or the database file went away). A lost backend is
  // never used again: Reopen() gives a new one.
  bool Lost() const { return lost_; }
  // True when a transaction was open at the loss and the statement that met
  // it was not the one ending it.
  bool LostInTransaction() const { return lost_in_transaction_; }
  // A new connection to the same database, opened as this one was (an
  // SQLite file is not created again). Throws a lost db::Error when it
  // cannot be opened.
  virtual std::unique_ptr<Backend> Reopen() const = 0;

 protected:
  // Marks the connection lost and gives what to throw: `message` is the
  // engine's; `in_transaction` says whether a transaction was open before
  // `sql` ran.
  Error MarkLost(std::string_view message, const std::string& sql, bool in_transaction,
                 std::string state = "");

 private:
  bool lost_ = false;
  bool lost_in_transaction_ = false;
};

// True when `sql` ends the open transaction (commit, end, abort, or a
// rollback that is not to a savepoint).
bool EndsTransaction(std::string_view sql);
// True when `sql` commits the open transaction (commit or end).
bool CommitsTransaction(std::string_view sql);

// Keeps counts that took `cost` or longer (tests keep every count).
void KeepCountsFrom(Connection& conn, std::chrono::microseconds cost);

// The backend a connection runs its statements on: for the library's own
// plumbing (the schema's DDL, tests, benchmarks), never traced or rewritten.
Backend& BackendOf(Connection& conn);

// The statements that create the helper functions the library's SQL uses,
// for engines that keep them in the database (PostgreSQL); SQLite registers
// its own on each connection.
std::vector<std::string> HelperFunctionStatements(Dialect dialect);

std::unique_ptr<Backend> OpenSqlite(const std::string& path);
std::unique_ptr<Backend> OpenPostgres(const std::string& uri);

}  // namespace ptolix::db
