#include "ptolix/db/connection.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <random>
#include <thread>

#include "cursors.h"
#include "db/atomic.h"
#include "db/backend.h"
#include "db/catalog.h"
#include "db/engine.h"
#include "db/rewriter.h"
#include "ptolix/db/error.h"
#include "ptolix/value/text_case.h"
#include "value/failure.h"

namespace ptolix::db {

namespace {

// The first `n` words of a statement, lower case.
std::vector<std::string> LeadingWords(std::string_view sql, size_t n) {
  std::vector<std::string> words;
  size_t i = 0;
  while (words.size() < n) {
    while (i < sql.size() && !std::isalpha(static_cast<unsigned char>(sql[i]))) {
      if (!std::isspace(static_cast<unsigned char>(sql[i])) && sql[i] != ';') return words;
      ++i;
    }
    size_t j = i;
    while (j < sql.size() && std::isalpha(static_cast<unsigned char>(sql[j]))) ++j;
    if (j == i) break;
    words.push_back(FoldCase(sql.substr(i, j - i)));
    i = j;
  }
  return words;
}

// Every row of a cursor, row 0 the field names.
ResultArray ReadWhole(BackendCursor& cursor) {
  ResultArray rows(cursor.Columns());
  std::vector<Variant> row;
  while (cursor.Fetch(&row)) rows.AddRow(row);
  return rows;
}

}  // namespace

Connection::Connection(std::unique_ptr<Backend> backend, std::shared_ptr<const Catalog> catalog)
    : catalog_(catalog ? std::move(catalog) : std::make_shared<const Catalog>()),
      backend_(std::move(backend)),
      engine_(&backend_->engine()) {}
Connection::~Connection() = default;

void Connection::Record(std::string_view sql) {
  if (!trace_on_) return;
  if (trace_.size() >= kTraceLimit) {
    trace_.pop_front();
    ++trace_dropped_;
  }
  trace_.emplace_back(sql);
}

std::vector<std::string> Connection::TakeTrace(std::size_t* dropped) {
  std::vector<std::string> out(std::make_move_iterator(trace_.begin()),
                               std::make_move_iterator(trace_.end()));
  trace_.clear();
  if (dropped) *dropped = trace_dropped_;
  trace_dropped_ = 0;
  return out;
}

Dialect Connection::dialect() const { return engine_->dialect(); }

bool Connection::InTransaction() const {
  return tx_depth_ > 0 || (!backend_->Lost() && backend_->InTransaction());
}

Backend& BackendOf(Connection& conn) { return *conn.Session(); }
const Engine& EngineOf(const Connection& conn) { return *conn.engine_; }
const Catalog& CatalogOf(const Connection& conn) { return *conn.catalog_; }

bool EndsTransaction(std::string_view sql) {
  auto words = LeadingWords(sql, 2);
  if (words.empty()) return false;
  if (words[0] == "rollback") return words.size() < 2 || words[1] != "to";
  return words[0] == "commit" || words[0] == "end" || words[0] == "abort";
}

bool CommitsTransaction(std::string_view sql) {
  auto words = LeadingWords(sql, 1);
  return !words.empty() && (words[0] == "commit" || words[0] == "end");
}

Error Backend::MarkLost(std::string_view message, const std::string& sql, bool in_transaction,
                        std::string state) {
  if (!lost_) {
    lost_ = true;
    lost_in_transaction_ = in_transaction && !EndsTransaction(sql);
  }
  return Error::ConnectionLost(message, sql, std::move(state));
}

Backend* Connection::Session(std::string_view sql) {
  if (!backend_->Lost()) return backend_.get();
  // A transaction open at the loss went with the session. Every statement
  // of it fails until whoever opened it ends it: a Transaction of ours by
  // unwinding, the caller by its own commit (which fails: nothing was
  // committed) or rollback (which the server has done already).
  auto gone = [&] {
    return Error::ConnectionLost("the transaction that was open went with it", std::string(sql));
  };
  if (tx_depth_ > 0) throw gone();
  if (backend_->LostInTransaction() && !lost_transaction_ended_) {
    if (!EndsTransaction(sql)) throw gone();
    lost_transaction_ended_ = true;
    if (CommitsTransaction(sql)) throw gone();
    return nullptr;
  }
  // Whatever the old session kept (prepared plans, counts, locks) is gone
  // with it; the new one starts clean.
  backend_ = backend_->Reopen();
  counts_.clear();
  choices_.clear();
  lost_transaction_ended_ = false;
  return backend_.get();
}

void KeepCountsFrom(Connection& conn, std::chrono::microseconds cost) { conn.keep_from_ = cost; }

std::unique_ptr<BackendCursor> Backend::Query(const std::string& sql) {
  static const ResultNames kNone;
  return Query(sql, kNone);
}

Rewritten RewriteFor(const Connection& conn, std::string_view sql) {
  // Every engine cuts a statement at a NUL character: no part of one runs.
  // The library refuses such arguments before it builds a statement.
  if (sql.find('\0') != std::string_view::npos) {
    throw TypeMismatch("a statement holding a NUL character is not run");
  }
  return Rewrite(sql, *conn.engine_, *conn.catalog_);
}

std::unique_ptr<Recordset> Connection::Execute(std::string_view sql) {
  Record(sql);
  Backend* session = Session(sql);
  if (!session) return std::make_unique<ForwardRecordset>(nullptr);
  Rewritten r = RewriteFor(*this, sql);
  if (engine_->ReturnsRows(r.text))
    return std::make_unique<ForwardRecordset>(session->Query(r.text, r.names));
  session->Execute(r.text);
  return std::make_unique<ForwardRecordset>(nullptr);
}

int64_t Connection::ExecuteCommand(std::string_view sql) {
  Record(sql);
  Backend* session = Session(sql);
  if (!session) return 0;
  Rewritten r = RewriteFor(*this, sql);
  if (engine_->ReturnsRows(r.text)) {
    // A select run as a command: run it, discard the rows.
    session->Query(r.text);
    return 0;
  }
  return session->Execute(r.text);
}

std::unique_ptr<Recordset> Connection::OpenKeyset(std::string_view sql) {
  return OpenKeyset(sql, Paging::kPlain);
}

std::unique_ptr<Recordset> Connection::OpenKeyset(std::string_view sql, Paging paging) {
  Record(sql);
  return std::make_unique<KeysetRecordset>(*this, RewriteFor(*this, sql),
                                           paging == Paging::kKeysFirst);
}

std::unique_ptr<Recordset> Connection::OpenKeyset(std::string_view sql, int64_t rows,
                                                  Paging paging) {
  Record(sql);
  return std::make_unique<KeysetRecordset>(*this, RewriteFor(*this, sql),
                                           paging == Paging::kKeysFirst, rows);
}

int64_t Connection::Count(std::string_view sql) {
  Record(sql);
  return CountRewritten(RewriteFor(*this, sql).text, engine_->ChangeToken());
}

int64_t Connection::CountForChoice(std::string_view sql) {
  auto it = choices_.find(std::string(sql));
  if (it != choices_.end() && ++it->second.uses < kChoiceUses) return it->second.rows;
  int64_t rows = Count(sql);
  if (it != choices_.end()) {
    it->second = Choice{rows, 0};
  } else {
    if (choices_.size() >= kCountsKept) choices_.clear();
    choices_.emplace(std::string(sql), Choice{rows, 0});
  }
  return rows;
}

int64_t Connection::CountKept(std::string_view sql, std::string_view columns) {
  Record(sql);
  return CountRewritten(RewriteFor(*this, sql).text,
                        engine_->KeptCountsMark(RewriteFor(*this, columns).text));
}

// `text` counted, kept with the value of `token` it was counted under. A
// token narrower than the change token (marks of some rows) is read only
// once a commit has moved the change token: it costs more to read.
int64_t Connection::CountRewritten(const std::string& text, const std::string& token) {
  std::vector<Variant> row;
  Backend& session = *Session();
  // Inside a transaction the token does not see this transaction's own
  // uncommitted rows: count every time.
  if (InTransaction()) {
    session.Query(text)->Fetch(&row);
    return row.at(0).AsInt64();
  }
  const std::string change = engine_->ChangeToken();
  const std::string tokens = token == change ? token : change + ", " + token;
  const size_t at = token == change ? 0 : 1;  // the token's field
  auto kept = counts_.find(text);
  const bool known = kept != counts_.end();
  if (known) {
    if (at == 1) {
      session.Query("select " + change)->Fetch(&row);
      if (row.at(0).AsString() == kept->second.change) return kept->second.rows;
    }
    session.Query("select " + tokens)->Fetch(&row);
    if (row.at(at).AsString() == kept->second.token) {
      kept->second.change = row.at(0).AsString();
      return kept->second.rows;
    }
  }
  // The count and its tokens in one statement, so from one snapshot. The
  // texts stay the same from call to call, so they stay prepared.
  auto start = std::chrono::steady_clock::now();
  session.Query("select " + tokens + ", (" + text + ")")->Fetch(&row);
  Counted now{row.at(at).AsString(), row.at(at + 1).AsInt64(), nullptr, row.at(0).AsString(), {}};
  // Kept only while it takes long enough to be worth checking: a cheap
  // count is quicker taken again than checked.
  if (std::chrono::steady_clock::now() - start < keep_from_) {
    if (known) counts_.erase(kept);
  } else if (known) {
    kept->second = now;
  } else {
    if (counts_.size() >= kCountsKept) counts_.clear();
    counts_[text] = now;
  }
  return now.rows;
}

int64_t Connection::Insert(std::string_view sql, std::string_view id_column) {
  Record(sql);
  Backend& session = *Session();
  return session.Insert(engine_->InsertReturning(RewriteFor(*this, sql).text, id_column),
                        id_column);
}

StatementResult Connection::RunStatement(std::string_view sql) {
  StatementResult result;
  Backend* session = Session(sql);
  if (!session) return result;
  Rewritten r = RewriteFor(*this, sql);
  if (!engine_->ReturnsRows(r.text)) {
    result.changed = session->Execute(r.text);
    return result;
  }
  result.is_query = true;
  result.rows = ReadWhole(*session->Query(r.text, r.names));
  return result;
}

ResultArray Connection::RunQuery(std::string_view sql) {
  Backend& session = *Session();
  Rewritten r = RewriteFor(*this, sql);
  return ReadWhole(*session.Query(r.text, r.names));
}

Transaction::Transaction(Connection& conn, std::initializer_list<Lock> held)
    : conn_(conn), depth_(conn.tx_depth_) {
  Backend& session = *conn_.Session();
  std::string start;
  if (depth_ == 0 && !session.InTransaction()) {
    start = conn_.engine_->BeginText();
    depth_ = 0;
  } else {
    depth_ = depth_ + 1;
    start = "savepoint ptlx_" + std::to_string(depth_);
  }
  // The locks are engine plumbing, not statements of the library: they stay
  // out of the trace.
  start += conn_.engine_->LockText(held);
  session.Execute(start);
  ++conn_.tx_depth_;
}

void AtomicBackOff(int attempt) {
  static thread_local std::minstd_rand random(std::random_device{}());
  int most = 5 << std::min(attempt, 4);  // 10, 20, 40, 80 ms at most
  std::this_thread::sleep_for(std::chrono::milliseconds(1 + random() % most));
}

namespace locks {

Lock UserAccess(std::string_view user) {
  // FNV-1a: stable across processes and builds, unlike std::hash.
  uint32_t h = 2166136261u;
  for (unsigned char c : user) h = (h ^ c) * 16777619u;
  return Lock{kUserSpace, static_cast<int32_t>(h)};
}

}  // namespace locks

Transaction::~Transaction() {
  if (done_) return;
  try {
    if (depth_ == 0) {
      conn_.Session()->Execute("rollback");
    } else {
      std::string name = "ptlx_" + std::to_string(depth_);
      Backend& session = *conn_.Session();
      session.Execute("rollback to savepoint " + name);
      session.Execute("release savepoint " + name);
    }
  } catch (...) {
    // The transaction is gone with its connection; nothing more to undo.
  }
  Ended();
}

void Transaction::Commit() {
  if (depth_ == 0) {
    conn_.Session()->Execute("commit");
  } else {
    conn_.Session()->Execute("release savepoint ptlx_" + std::to_string(depth_));
  }
  done_ = true;
  Ended();
}

void Transaction::Ended() {
  --conn_.tx_depth_;
  // The outermost transaction was ours: if the session was lost inside it,
  // that transaction is over now, and the next call may open a new session.
  if (depth_ == 0 && conn_.backend_->Lost()) conn_.lost_transaction_ended_ = true;
}

std::shared_ptr<Connection> Connect(std::string_view url, std::shared_ptr<const Catalog> catalog) {
  if (const Engine* engine = EngineForUrl(url)) {
    if (!catalog) catalog = std::make_shared<const Catalog>();
    auto backend = engine->Open(url, *catalog);
    return std::make_shared<Connection>(std::move(backend), std::move(catalog));
  }
  throw Error("unknown connection URL '" + std::string(url) +
                  "' (use sqlite:PATH, sqlite::memory: or postgresql://...)",
              "");
}

}  // namespace ptolix::db
