#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "ptolix/db/backend.h"
#include "ptolix/db/recordset.h"
#include "ptolix/db/rewriter.h"
#include "ptolix/frame/result_array.h"

namespace ptolix::db {

class Connection;

// What one statement run by Connection::RunStatement gave back.
struct StatementResult {
  bool is_query = false;
  ResultArray rows;     // a query's rows, row 0 the field names
  int64_t changed = 0;  // any other statement: the number of rows changed
};

// A unit of atomic work: a transaction, or a savepoint when one is already
// open on the connection. Rolls back unless Commit() was called.
class Transaction {
 public:
  explicit Transaction(Connection& conn);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  Connection& conn_;
  int depth_;
  bool done_ = false;
};

// An open database connection, shared by the objects that use it (they hold a
// shared_ptr and never close it). Takes SQL Server text, records it in the
// trace when tracing is on, rewrites it for the backend and runs it.
// Not thread-safe: one connection belongs to one thread at a time.
class Connection {
 public:
  explicit Connection(std::unique_ptr<Backend> backend);
  ~Connection();

  Dialect dialect() const { return backend_->dialect(); }

  // Runs a statement of any kind. For a query, returns a forward cursor on
  // the first row; for anything else, an empty cursor.
  std::unique_ptr<Recordset> Execute(std::string_view sql);
  // Runs a statement that returns no rows; returns the number of rows changed.
  int64_t ExecuteCommand(std::string_view sql);
  // Opens a keyset cursor: exact counts and paging without reading every row.
  std::unique_ptr<Recordset> OpenKeyset(std::string_view sql);
  // The same, with a statement that returns the number of rows of `sql`
  // (one row, one number), for statements whose wrapped count is slow.
  std::unique_ptr<Recordset> OpenKeyset(std::string_view sql, std::string_view count_sql);
  // Runs an insert and returns the new row's identity in `id_column`.
  int64_t Insert(std::string_view sql, std::string_view id_column);
  // Runs one statement of an administrator or a tool (not the library's
  // own): rewritten for the backend like the others, kept out of the trace,
  // and read whole. Throws db::Error.
  StatementResult RunStatement(std::string_view sql);

  // Statement trace: while on, every text handed to the methods above is
  // recorded as given (before rewriting).
  void SetTrace(bool on) { trace_on_ = on; }
  std::vector<std::string> TakeTrace();

  Backend& backend() { return *backend_; }
  Rewritten RewriteFor(std::string_view sql) const;

 private:
  friend class Transaction;
  friend class KeysetRecordset;
  void Record(std::string_view sql);

  std::unique_ptr<Backend> backend_;
  bool trace_on_ = false;
  std::vector<std::string> trace_;
  int tx_depth_ = 0;
};

// Opens a connection from a URL: "sqlite:PATH" (created when missing),
// "sqlite::memory:", or "postgresql://..." / "postgres://..." (libpq URI).
// Throws db::Error when the database cannot be opened.
std::shared_ptr<Connection> Connect(std::string_view url);

}  // namespace ptolix::db
