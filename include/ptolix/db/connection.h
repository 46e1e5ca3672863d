#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ptolix/db/dialect.h"
#include "ptolix/db/error.h"
#include "ptolix/db/recordset.h"
#include "ptolix/value/result_array.h"

namespace ptolix::db {

class Backend;
class Connection;
class Engine;
struct Catalog;
struct IndexedCount;
struct Rewritten;
struct SubstringTally;

// What one statement run by Connection::RunStatement gave back.
struct StatementResult {
  bool is_query = false;
  ResultArray rows;     // a query's rows, row 0 the field names
  int64_t changed = 0;  // any other statement: the number of rows changed
};

// An open database connection, shared by the objects that use it (they hold a
// shared_ptr and never close it). Takes SQL Server text, records it in the
// trace when tracing is on, rewrites it for its engine and runs it.
// Not thread-safe: one connection belongs to one thread at a time.
//
// A connection the server or the network dropped (or whose SQLite file went
// away) is opened again, from the same URL, by the next call. The call that
// met the loss throws a db::Error with number err::kConnectionLost; so does
// every later call while a transaction that was open at the loss has not
// been ended by whoever opened it (a caller's commit of it fails too, its
// rollback succeeds). Nothing is run again behind the caller's back. What
// the old session held (prepared plans, kept counts, locks, settings made by
// statements) is gone with it.
class Connection {
 public:
  // A connection on `backend`, whose statements name the tables of
  // `catalog` (none when null). Opened by ptolix::Connect (ptolix/connect.h).
  explicit Connection(std::unique_ptr<Backend> backend,
                      std::shared_ptr<const Catalog> catalog = nullptr);
  ~Connection();

  Dialect dialect() const;

  // Runs a statement of any kind. For a query, returns a forward cursor on
  // the first row; for anything else, an empty cursor.
  std::unique_ptr<Recordset> Execute(std::string_view sql);
  // Runs a statement that returns no rows; returns the number of rows changed.
  int64_t ExecuteCommand(std::string_view sql);
  // Opens a keyset cursor: exact counts and paging without reading every row.
  std::unique_ptr<Recordset> OpenKeyset(std::string_view sql);
  // Where a keyset cursor starts reading pages keys first on PostgreSQL (a
  // page's keys from an index, then its rows), since an offset there visits
  // every row it skips: far down the list by default, or from the first
  // page for a list filtered by a sub-query, whose rows the engine would
  // otherwise walk in order, visiting the many that fail the filter.
  enum class Paging { kPlain, kKeysFirst };
  std::unique_ptr<Recordset> OpenKeyset(std::string_view sql, Paging paging);
  // The same for a statement whose `rows` the caller has just counted.
  std::unique_ptr<Recordset> OpenKeyset(std::string_view sql, int64_t rows,
                                        Paging paging = Paging::kPlain);
  // Runs a query of one row and one number (a count) and returns the number.
  // Outside a transaction a count that took a while is kept with the
  // engine's mark of the data it was counted on, and the same query is
  // counted again only when that mark has moved (a commit by anyone, a write
  // on this connection).
  int64_t Count(std::string_view sql);
  // The same for a sum of the kept counts (db/kept_counts.h) of the columns
  // that `columns`, a query of column identities, selects: kept while the
  // engine's marks of those columns stay, so writes that change none of
  // their counts (a text, a source address, an order) keep it too.
  int64_t CountKept(std::string_view sql, std::string_view columns);
  // The same for a count that only chooses between statements returning the
  // same rows (a probe of a list's size): a stale number costs speed, never
  // a wrong row, so the number is taken again only at every
  // kChoiceUses-th use on this connection, whatever was written meanwhile.
  static constexpr int kChoiceUses = 64;
  int64_t CountForChoice(std::string_view sql);
  // Runs an insert and returns the new row's identity in `id_column`.
  int64_t Insert(std::string_view sql, std::string_view id_column);
  // Runs one statement of an administrator or a tool (not the library's
  // own): rewritten for the backend like the others, kept out of the trace,
  // and read whole. Throws db::Error.
  StatementResult RunStatement(std::string_view sql);
  // Runs one query the same way (rewritten, untraced) and returns its rows,
  // row 0 the field names. Throws db::Error.
  ResultArray RunQuery(std::string_view sql);

  // Statement trace: while on, every text handed to the methods above is
  // recorded as given (before rewriting). Only the latest kTraceLimit
  // statements are kept; TakeTrace hands them over, oldest first, and sets
  // `*dropped` to how many older ones were discarded since the last take.
  static constexpr std::size_t kTraceLimit = 10000;
  void SetTrace(bool on) { trace_on_ = on; }
  std::vector<std::string> TakeTrace(std::size_t* dropped = nullptr);

  // True while a transaction is open (ours or the caller's).
  bool InTransaction() const;

 private:
  friend class Transaction;
  friend class KeysetRecordset;
  friend Backend& BackendOf(Connection& conn);
  friend const Engine& EngineOf(const Connection& conn);
  friend const Catalog& CatalogOf(const Connection& conn);
  friend Rewritten RewriteFor(const Connection& conn, std::string_view sql);
  friend void KeepCountsFrom(Connection& conn, std::chrono::microseconds cost);
  friend IndexedCount CountThroughIndex(Connection& conn, const SubstringTally& tally);
  void Record(std::string_view sql);
  int64_t CountRewritten(const std::string& text, const std::string& token);
  // The backend to run `sql` on, opened again when the old one was lost.
  // Null when `sql` is the caller's rollback of a transaction that was lost
  // with its session: there is nothing left to undo. Throws a lost db::Error
  // while such a transaction is still open, or when the database cannot be
  // reached.
  Backend* Session(std::string_view sql = {});

  // Counts that take less than this are cheaper to take again than to
  // check: they are not kept.
  std::chrono::microseconds keep_from_{200};
  // A count and the change token it was taken under ("" until known), with
  // the keys counted, joined by commas, where they were kept too.
  struct Counted {
    std::string token;
    int64_t rows = 0;
    std::shared_ptr<const std::string> keys;
    // The change token's value, where `token` is another; for a search's
    // keys, the moment they were brought up to, where the engine logs writes.
    std::string change;
    std::vector<int64_t> all;  // those keys in order, where the engine logs writes
  };
  // At most this many count texts are kept; past it they are all dropped.
  static constexpr std::size_t kCountsKept = 64;

  std::shared_ptr<const Catalog> catalog_;
  std::unique_ptr<Backend> backend_;
  const Engine* engine_;  // the backend's, taken once
  bool trace_on_ = false;
  std::deque<std::string> trace_;
  std::size_t trace_dropped_ = 0;
  int tx_depth_ = 0;
  // The transaction open when the session was lost has been ended.
  bool lost_transaction_ended_ = false;
  std::unordered_map<std::string, Counted> counts_;
  struct Choice {
    int64_t rows = 0;
    int uses = 0;
  };
  std::unordered_map<std::string, Choice> choices_;
};

}  // namespace ptolix::db
