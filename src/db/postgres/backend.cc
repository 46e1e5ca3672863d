// PostgreSQL backend: runs statements already rewritten to PostgreSQL's
// dialect through libpq and hands back column names (in the schema's
// spelling) and Variant rows.

#include "db/backend.h"

#include <libpq-fe.h>
#include <strings.h>

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "db/catalog.h"
#include "db/postgres/postgres.h"
#include "frame/text_case.h"
#include "ptolix/db/error.h"
#include "ptolix/frame/variant.h"

namespace ptolix::db {

namespace {

struct ResultFree {
  void operator()(PGresult* r) const noexcept { PQclear(r); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultFree>;

struct ConnFinish {
  void operator()(PGconn* c) const noexcept { PQfinish(c); }
};

// Names of the result columns as callers expect them: schema columns in the
// schema's spelling, aliases as the statement wrote them, and other
// expressions by their text ("count(*)"), as SQLite names them. PostgreSQL
// itself folds unquoted names to lower case and calls expressions by their
// function name or "?column?"; `names` holds what the rewriter read from the
// statement.
std::vector<std::string> ColumnNames(const PGresult* res, const ResultNames& names) {
  int n = PQnfields(res);
  std::vector<std::string> out(n);
  // Unquoted names come back folded to lower case; the schema's own
  // spelling is what callers index result arrays by.
  const auto& spelling = LibraryCatalog().spelling;
  bool all_known = true;
  for (int i = 0; i < n; ++i) {
    const char* folded = PQfname(res, i);
    if (auto it = spelling.find(folded); it != spelling.end()) {
      out[i] = it->second;
    } else {
      all_known = false;
    }
  }
  if (all_known) return out;
  bool positional = static_cast<int>(names.items.size()) == n;
  for (int i = 0; i < n; ++i) {
    if (!out[i].empty()) continue;
    if (positional) {
      out[i] = names.items[i];
      continue;
    }
    const char* folded = PQfname(res, i);
    out[i] = folded;
    bool lower = true;
    for (const char* p = folded; *p; ++p)
      lower = lower && !std::isupper(static_cast<unsigned char>(*p));
    if (!lower) continue;  // quoted in the statement: kept in its own spelling
    for (const auto& word : names.spellings) {
      if (strcasecmp(word.c_str(), folded) == 0) out[i] = word;
    }
  }
  return out;
}

// The engine's message for a failure, on one line: libpq's own messages
// (a dropped connection) run over several, and an error line holds one.
std::string ErrorText(const PGresult* res, PGconn* conn) {
  const char* primary = res ? PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  std::string raw = primary ? primary : PQerrorMessage(conn);
  std::string text;
  bool blank = false;
  for (char c : raw) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      blank = true;
      continue;
    }
    if (blank && !text.empty()) text += ' ';
    blank = false;
    text += c;
  }
  return text;
}

// True when a failure means the session is gone: the socket closed, the
// server ended the session (terminated, shutting down, crashed, starting),
// or a connection exception (SQLSTATE class 08).
bool SessionGone(PGconn* conn, const std::string& state) {
  return PQstatus(conn) == CONNECTION_BAD || state.rfind("08", 0) == 0 || state == "57P01" ||
         state == "57P02" || state == "57P03";
}

// First word of a statement, lower case.
std::string FirstWord(const std::string& sql) {
  size_t i = 0;
  while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
  size_t j = i;
  while (j < sql.size() && std::isalpha(static_cast<unsigned char>(sql[j]))) ++j;
  return FoldCase(std::string_view(sql).substr(i, j - i));
}

bool OneOf(const std::string& word, std::initializer_list<const char*> words) {
  for (const char* w : words) {
    if (word == w) return true;
  }
  return false;
}

// Statements whose plans may be kept: one query or change, nothing that
// alters the schema or the session. `first` is the statement's first word.
bool IsPreparable(const std::string& first, const std::string& sql) {
  return OneOf(first, {"select", "insert", "update", "delete", "with"}) &&
         sql.find(';') == std::string::npos;
}

bool IsTransactionControl(const std::string& first) {
  return OneOf(first,
               {"begin", "start", "commit", "end", "rollback", "abort", "savepoint", "release"});
}

class PgCursor : public BackendCursor {
 public:
  PgCursor(ResultPtr res, const ResultNames& names) : res_(std::move(res)) {
    int n = PQnfields(res_.get());
    columns_ = ColumnNames(res_.get(), names);
    for (int i = 0; i < n; ++i) types_.push_back(PQftype(res_.get(), i));
    rows_ = PQntuples(res_.get());
  }
  const std::vector<std::string>& Columns() const override { return columns_; }
  bool Fetch(std::vector<Variant>* row) override {
    if (next_ >= rows_) return false;
    row->clear();
    row->reserve(columns_.size());
    for (int i = 0; i < static_cast<int>(columns_.size()); ++i) {
      row->push_back(postgres::ReadValue(res_.get(), next_, i, types_[i]));
    }
    ++next_;
    return true;
  }

 private:
  ResultPtr res_;
  std::vector<std::string> columns_;
  std::vector<Oid> types_;
  int rows_ = 0;
  int next_ = 0;
};

void IgnoreNotice(void*, const char*) {}

// Connects with a 10 s limit on connecting, unless the URL (or key=value
// text) gives its own connect_timeout: libpq takes the last value given for
// a key word, and the expanded URL comes after the default.
PGconn* ConnectWithTimeout(const std::string& uri) {
  const char* keywords[] = {"connect_timeout", "dbname", nullptr};
  const char* values[] = {"10", uri.c_str(), nullptr};
  return PQconnectdbParams(keywords, values, 1);
}

class PostgresBackend : public Backend {
 public:
  explicit PostgresBackend(const std::string& uri) : uri_(uri), conn_(ConnectWithTimeout(uri)) {
    if (!conn_) throw Error("cannot connect to PostgreSQL: out of memory", "");
    if (PQstatus(conn_.get()) != CONNECTION_OK) {
      throw Error("cannot connect to PostgreSQL: " + ErrorText(nullptr, conn_.get()), "");
    }
    PQsetNoticeProcessor(conn_.get(), IgnoreNotice, nullptr);
    if (PQsetClientEncoding(conn_.get(), "UTF8") != 0) {
      throw Error(
          "cannot use UTF-8 with this PostgreSQL server: " + ErrorText(nullptr, conn_.get()), "");
    }
    // Dates as "YYYY-MM-DD HH:MM:SS"; backslashes in literals as themselves.
    Run("set datestyle to iso, ymd; set standard_conforming_strings to on; "
        "set client_min_messages to warning");
  }

  Dialect dialect() const override { return Dialect::kPostgres; }

  std::unique_ptr<BackendCursor> Query(const std::string& sql, const ResultNames& names) override {
    return std::make_unique<PgCursor>(Run(sql), names);
  }

  int64_t Execute(const std::string& sql) override { return Changed(Run(sql).get()); }

  int64_t Insert(const std::string& sql, std::string_view id_column) override {
    std::string text = sql;
    while (!text.empty() &&
           (std::isspace(static_cast<unsigned char>(text.back())) || text.back() == ';')) {
      text.pop_back();
    }
    text += " returning ";
    text += id_column;
    ResultPtr res = Run(text);
    if (PQresultStatus(res.get()) != PGRES_TUPLES_OK || PQntuples(res.get()) == 0 ||
        PQgetisnull(res.get(), 0, 0)) {
      return 0;  // nothing inserted
    }
    // The last row inserted, as SQLite reports it.
    const char* value = PQgetvalue(res.get(), PQntuples(res.get()) - 1, 0);
    int64_t id = 0;
    std::from_chars(value, value + std::strlen(value), id);
    return id;
  }

  std::string BeginText() const override { return postgres::BeginText(); }
  std::string ChangeToken() const override { return postgres::ChangeToken(); }
  std::string LockText(std::initializer_list<Lock> held) const override {
    return postgres::LockText(held);
  }

  std::unique_ptr<Backend> Reopen() const override {
    try {
      return std::make_unique<PostgresBackend>(uri_);
    } catch (const Error& e) {
      throw Error::ConnectionLost(e.description(), "");
    }
  }

  bool InTransaction() const override {
    auto status = PQtransactionStatus(conn_.get());
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR || status == PQTRANS_ACTIVE;
  }

 private:
  static int64_t Changed(const PGresult* res) {
    const char* n = PQcmdTuples(const_cast<PGresult*>(res));
    int64_t v = 0;
    if (n && *n) std::from_chars(n, n + std::strlen(n), v);
    return v;
  }

  // Runs a statement (or a batch) and returns the result of its last
  // statement. Inside a transaction a failed statement would abort the whole
  // transaction; as on SQL Server and SQLite, only the statement is undone:
  // each runs under a savepoint of its own. That savepoint is released with
  // the next statement (same round trip), or rolled back when the statement
  // fails.
  ResultPtr Run(const std::string& sql) {
    auto tx_status = PQtransactionStatus(conn_.get());
    if (tx_status != PQTRANS_INTRANS && tx_status != PQTRANS_INERROR) statement_savepoint_ = false;
    const std::string first = FirstWord(sql);
    bool control = IsTransactionControl(first);
    bool guard = tx_status == PQTRANS_INTRANS && !control;
    std::string text;
    // A transaction-control statement must not run under ours: release it
    // first, so that a named savepoint is not nested inside it.
    if (statement_savepoint_) text = "release savepoint ptlx_statement; ";
    if (guard) text += "savepoint ptlx_statement; ";
    statement_savepoint_ = false;
    ResultPtr res;
    if (text.empty() && tx_status == PQTRANS_IDLE && IsPreparable(first, sql)) {
      res = RunKept(sql);
    } else {
      res.reset(PQexec(conn_.get(), text.empty() ? sql.c_str() : (text += sql).c_str()));
    }
    if (!Succeeded(res.get())) {
      std::string message = ErrorText(res.get(), conn_.get());
      std::string state = State(res.get());
      if (SessionGone(conn_.get(), state)) {
        throw MarkLost(message, sql, tx_status == PQTRANS_INTRANS || tx_status == PQTRANS_INERROR,
                       state);
      }
      if (guard) {
        ResultPtr undo(PQexec(
            conn_.get(), "rollback to savepoint ptlx_statement; release savepoint ptlx_statement"));
      }
      throw Error(message, sql, state);
    }
    statement_savepoint_ = guard;
    return res;
  }

  static bool Succeeded(const PGresult* res) {
    auto status = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY;
  }

  static std::string State(const PGresult* res) {
    const char* code = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    return code ? code : "";
  }

  static constexpr size_t kKept = 128;  // statements whose plans are kept
  struct Kept {
    std::string name;
    std::list<std::string>::iterator use;
  };

  // Runs a statement outside a transaction, keeping its plan on the server
  // from its second run on: a page view sends the same few texts again and
  // again, and planning a list's sub-selects of the column tree costs as much
  // as running them. A statement without parameters keeps one plan, which
  // the server makes again when a table it reads changes.
  ResultPtr RunKept(const std::string& sql) {
    auto it = kept_.find(sql);
    if (it == kept_.end()) {
      if (seen_.insert(std::hash<std::string>{}(sql)).second) {
        if (seen_.size() > kKept * 8) seen_.clear();
        return ResultPtr(PQexec(conn_.get(), sql.c_str()));
      }
      if (kept_.size() >= kKept) Forget(kept_.find(uses_.back()));
      std::string name = "ptlx_" + std::to_string(++prepared_);
      ResultPtr prepared(PQprepare(conn_.get(), name.c_str(), sql.c_str(), 0, nullptr));
      // A statement the server refuses to prepare runs as it is, and its
      // failure, if any, is reported from that run.
      if (!Succeeded(prepared.get())) return ResultPtr(PQexec(conn_.get(), sql.c_str()));
      uses_.push_front(sql);
      it = kept_.emplace(sql, Kept{std::move(name), uses_.begin()}).first;
    } else {
      uses_.splice(uses_.begin(), uses_, it->second.use);
    }
    ResultPtr res(
        PQexecPrepared(conn_.get(), it->second.name.c_str(), 0, nullptr, nullptr, nullptr, 0));
    if (Succeeded(res.get())) return res;
    // A table changed the shape of the rows the kept plan returns, or the
    // caller deallocated our statements: nothing ran, so it runs again as
    // it is.
    std::string state = State(res.get());
    if (state != "0A000" && state != "26000") return res;
    Forget(it);
    return ResultPtr(PQexec(conn_.get(), sql.c_str()));
  }

  void Forget(std::unordered_map<std::string, Kept>::iterator it) {
    ResultPtr gone(PQexec(conn_.get(), ("deallocate " + it->second.name).c_str()));
    uses_.erase(it->second.use);
    kept_.erase(it);
  }

  std::unordered_map<std::string, Kept> kept_;
  std::list<std::string> uses_;      // texts of kept_, most recently run first
  std::unordered_set<size_t> seen_;  // hashes of texts run once, not yet kept
  uint64_t prepared_ = 0;

  std::string uri_;
  std::unique_ptr<PGconn, ConnFinish> conn_;
  bool statement_savepoint_ = false;  // the last statement's savepoint is still open
};

}  // namespace

std::unique_ptr<Backend> OpenPostgres(const std::string& uri) {
  return std::make_unique<PostgresBackend>(uri);
}

}  // namespace ptolix::db
