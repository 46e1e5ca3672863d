// SQLite backend: runs statements already rewritten to SQLite's dialect and
// hands back column names and Variant rows.

#include "db/backend.h"

#include <sqlite3.h>
#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "db/sqlite/sqlite.h"
#include "ptolix/db/error.h"
#include "ptolix/value/variant.h"

namespace ptolix::db {

namespace {

struct DbCloser {
  void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
  void operator()(sqlite3_stmt* s) const noexcept { sqlite3_finalize(s); }
};
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

class SqliteBackend;

// The SQLSTATE-like class of the last failure: a write transaction that
// started from a snapshot another writer has since changed cannot go on, as
// a serialization failure; a database file that was moved, removed or can
// no longer be opened is a lost connection (08006); everything else has none.
std::string FailureState(sqlite3* db) {
  switch (sqlite3_extended_errcode(db)) {
    case SQLITE_BUSY_SNAPSHOT:
      return "40001";
    case SQLITE_READONLY_DBMOVED:
    case SQLITE_CANTOPEN:
      return "08006";
    default:
      return "";
  }
}

// Where a database file is, to tell whether it is still the one opened.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
};

// Why the file at `path` is no longer `opened`, or "" while it is.
std::string FileGone(const std::string& path, const FileIdentity& opened) {
  struct stat now {};
  if (stat(path.c_str(), &now) != 0) {
    return "the database file " + path + " is gone (" + std::strerror(errno) + ")";
  }
  if (now.st_dev != opened.device || now.st_ino != opened.inode) {
    return "the database file " + path + " was replaced by another file";
  }
  return "";
}

// Prepared statements by text, reused; a statement in use by a cursor is
// taken out of the cache until the cursor is done with it.
class StatementCache {
 public:
  explicit StatementCache(sqlite3* db) : db_(db) {}
  StmtPtr Take(const std::string& sql) {
    StmtPtr s = TryTake(sql);
    if (!s) throw Error(sqlite3_errmsg(db_.get()), sql);
    return s;
  }
  // The statement, or null when `sql` does not prepare.
  StmtPtr TryTake(const std::string& sql) {
    auto it = cache_.find(sql);
    if (it != cache_.end() && !it->second.empty()) {
      StmtPtr s = std::move(it->second.back());
      it->second.pop_back();
      return s;
    }
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql.c_str(), static_cast<int>(sql.size()), &raw, &tail) !=
        SQLITE_OK) {
      return nullptr;
    }
    return StmtPtr(raw);
  }
  void Give(const std::string& sql, StmtPtr stmt) {
    sqlite3_reset(stmt.get());
    sqlite3_clear_bindings(stmt.get());
    if (cache_.size() > 512) cache_.clear();
    cache_[sql].push_back(std::move(stmt));
  }
  sqlite3* db() const { return db_.get(); }

  // Shapes of writes whose plan depends on their values (a like pattern, a
  // value a partial index's condition names): SQLite prepares them again
  // each time they are bound, so they run with their values written in.
  bool ValueDependent(const std::string& shape) const { return value_dependent_.count(shape); }
  void MarkValueDependent(const std::string& shape) {
    if (value_dependent_.size() > 512) value_dependent_.clear();
    value_dependent_.insert(shape);
  }

 private:
  std::unique_ptr<sqlite3, DbCloser> db_;  // closed after the statements below
  std::unordered_map<std::string, std::vector<StmtPtr>> cache_;
  std::unordered_set<std::string> value_dependent_;
};

class SqliteCursor : public BackendCursor {
 public:
  // With `bound`, the statement is `sql`'s parameterized text with its
  // values bound, or `sql` itself where that text does not prepare or its
  // plan depends on the values.
  SqliteCursor(std::shared_ptr<StatementCache> cache, std::string sql,
               const sqlite::Parameterized* bound = nullptr)
      : cache_(std::move(cache)), sql_(std::move(sql)), key_(sql_) {
    if (bound && !cache_->ValueDependent(bound->text)) Bind(*bound);
    if (!stmt_) stmt_ = cache_->Take(key_ = sql_);
    const int prepared = sqlite3_stmt_status(stmt_.get(), SQLITE_STMTSTATUS_REPREPARE, 0);
    Step();  // runs the statement; errors surface here, not at the first read
    if (key_ != sql_ && sqlite3_stmt_status(stmt_.get(), SQLITE_STMTSTATUS_REPREPARE, 0) > prepared)
      cache_->MarkValueDependent(key_);
    // Named after the first step: a kept statement whose tables changed is
    // prepared again there, and `select *` may then have other columns.
    int n = sqlite3_column_count(stmt_.get());
    for (int i = 0; i < n; ++i) columns_.emplace_back(sqlite3_column_name(stmt_.get(), i));
  }
  ~SqliteCursor() override {
    if (stmt_) cache_->Give(key_, std::move(stmt_));
  }
  const std::vector<std::string>& Columns() const override { return columns_; }
  bool Fetch(std::vector<Variant>* row) override {
    if (!has_row_) return false;
    row->clear();
    for (int i = 0; i < static_cast<int>(columns_.size()); ++i)
      row->push_back(sqlite::ReadColumn(stmt_.get(), i));
    Step();
    return true;
  }

 private:
  void Bind(const sqlite::Parameterized& bound) {
    StmtPtr s = cache_->TryTake(bound.text);
    if (!s || sqlite3_bind_parameter_count(s.get()) != static_cast<int>(bound.values.size())) {
      if (s) cache_->Give(bound.text, std::move(s));
      return;
    }
    for (size_t i = 0; i < bound.values.size(); ++i) {
      const int at = static_cast<int>(i) + 1;
      if (const auto* n = std::get_if<int64_t>(&bound.values[i])) {
        sqlite3_bind_int64(s.get(), at, *n);
      } else {
        const std::string& text = std::get<std::string>(bound.values[i]);
        sqlite3_bind_text(s.get(), at, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
      }
    }
    key_ = bound.text;
    stmt_ = std::move(s);
  }

  void Step() {
    int rc = sqlite3_step(stmt_.get());
    if (rc == SQLITE_ROW) {
      has_row_ = true;
    } else if (rc == SQLITE_DONE) {
      has_row_ = false;
    } else {
      has_row_ = false;
      std::string message = sqlite3_errmsg(cache_->db());
      std::string state = FailureState(cache_->db());
      sqlite3_reset(stmt_.get());
      throw Error(message, sql_, state);
    }
  }

  std::shared_ptr<StatementCache> cache_;
  std::string sql_;  // as asked, for errors
  std::string key_;  // the text prepared
  StmtPtr stmt_;
  std::vector<std::string> columns_;
  bool has_row_ = false;
};

// SQLite counts every allocation under one lock of the process unless told
// not to, before its first use; a process that used SQLite already keeps its
// setting (the call then fails, harmlessly).
void ConfigureOnce() {
  static const bool done = [] {
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    return true;
  }();
  (void)done;
}

// Each connection keeps up to 16 MiB of pages (SQLite's default is 2 MB).
constexpr int64_t kCacheKib = 16 * 1024;

class SqliteBackend : public Backend {
 public:
  // With `create`, a missing file is created; a connection opened again
  // never does, so that a database whose folder went away is not replaced
  // by an empty one.
  SqliteBackend(const std::string& path, bool create) : path_(path) {
    ConfigureOnce();
    sqlite3* raw = nullptr;
    // A connection is used by one thread at a time, so SQLite need not lock
    // it around every call.
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX |
                (create ? SQLITE_OPEN_CREATE : 0);
    int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    if (rc != SQLITE_OK) {
      std::string message = raw ? sqlite3_errmsg(raw) : "out of memory";
      sqlite3_close_v2(raw);
      throw Error("cannot open SQLite database '" + path + "': " + message, "");
    }
    cache_ = std::make_shared<StatementCache>(raw);
    // The file as opened ("" in memory): each call outside a transaction,
    // and each commit, first checks it is still there, since SQLite goes on
    // reading a removed file and would write where nobody finds it again.
    if (const char* file = sqlite3_db_filename(raw, "main"); file && *file) {
      struct stat st {};
      if (stat(file, &st) == 0) {
        file_ = file;
        identity_ = {st.st_dev, st.st_ino};
      }
    }
    sqlite3_busy_timeout(raw, 30000);
    sqlite::RegisterFunctions(raw);
    if (path != ":memory:") Exec("pragma journal_mode=wal");
    Exec("pragma synchronous=normal");
    // Temporary b-trees (statement journals inside savepoints, sorts, "in"
    // lists) live in memory: as temporary files each statement opened and
    // closed a pager, and a write inside an atomic change cost several times
    // the write itself.
    Exec("pragma temp_store=memory");
    // A count or a list that reads a few thousand pages finds them here on
    // its next call. The file is not mapped into memory: every commit by
    // another connection makes SQLite drop its mapping, and a connection that
    // had read much of a 1 GiB mapping took 25 ms to drop it and map it
    // again, on its next statement, for every write anyone made.
    Exec("pragma cache_size=-" + std::to_string(kCacheKib));
  }

  const Engine& engine() const override { return sqlite::TheEngine(); }

  std::unique_ptr<BackendCursor> Query(const std::string& sql, const ResultNames&) override {
    return Checked(sql, false, [&]() -> std::unique_ptr<BackendCursor> {
      return std::make_unique<SqliteCursor>(cache_, sql);
    });
  }

  int64_t Execute(const std::string& sql) override {
    return Checked(sql, true, [&]() -> int64_t {
      const auto bound = sqlite::ParameterizeWrite(sql);
      const bool one = bound && bound->text.find(';') == std::string::npos;
      if (!one && HasSecondStatement(sql)) return Exec(sql);
      SqliteCursor run(cache_, sql, bound ? &*bound : nullptr);
      return sqlite3_changes64(cache_->db());
    });
  }

  int64_t Insert(const std::string& sql, std::string_view) override {
    return Checked(sql, true, [&]() -> int64_t {
      const auto bound = sqlite::ParameterizeWrite(sql);
      SqliteCursor run(cache_, sql, bound ? &*bound : nullptr);
      return sqlite3_last_insert_rowid(cache_->db());
    });
  }

  std::unique_ptr<Backend> Reopen() const override {
    if (!file_.empty()) {
      if (struct stat st{}; stat(file_.c_str(), &st) != 0) {
        throw Error::ConnectionLost(
            "the database file " + file_ + " is missing (" + std::strerror(errno) + ")", "");
      }
    }
    try {
      return std::make_unique<SqliteBackend>(path_, false);
    } catch (const Error& e) {
      throw Error::ConnectionLost(e.description(), "");
    }
  }

  bool InTransaction() const override { return !sqlite3_get_autocommit(cache_->db()); }

 private:
  // Runs `run` for `sql` once the file is known to be the one opened, and
  // turns a failure that means the file went away into a lost connection.
  // Looking the file up is a system call that costs as much as a short
  // query: a write outside a transaction, a transaction's start and its
  // commit always look; a query outside a transaction looks when the last
  // look is a second old (a removed file reads as it was until then).
  template <class F>
  auto Checked(const std::string& sql, bool writes, F&& run) -> decltype(run()) {
    const bool in_transaction = InTransaction();
    if (!file_.empty() && (!in_transaction || EndsTransaction(sql))) {
      auto now = std::chrono::steady_clock::now();
      if (writes || in_transaction || now - looked_ >= std::chrono::seconds(1)) {
        looked_ = now;
        if (std::string gone = FileGone(file_, identity_); !gone.empty()) {
          throw MarkLost(gone, sql, in_transaction);
        }
      }
    }
    try {
      return run();
    } catch (const Error& e) {
      if (e.state() != "08006") throw;
      throw MarkLost(e.description() + " (" + file_ + ")", sql, in_transaction, e.state());
    }
  }

  // Runs a batch of statements.
  int64_t Exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(cache_->db(), sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      std::string text = message ? message : sqlite3_errmsg(cache_->db());
      sqlite3_free(message);
      throw Error(text, sql, FailureState(cache_->db()));
    }
    return sqlite3_changes64(cache_->db());
  }

  bool HasSecondStatement(const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    if (sql.find(';') == std::string::npos) return false;
    if (sqlite3_prepare_v2(cache_->db(), sql.c_str(), static_cast<int>(sql.size()), &raw, &tail) !=
        SQLITE_OK) {
      return false;  // the single-statement path reports the error
    }
    sqlite3_finalize(raw);
    for (; tail && *tail; ++tail) {
      if (!std::isspace(static_cast<unsigned char>(*tail)) && *tail != ';') return true;
    }
    return false;
  }

  std::string path_;  // as given when opening
  std::string file_;  // the file opened, "" in memory
  FileIdentity identity_;
  std::chrono::steady_clock::time_point looked_;  // the file was last looked up
  std::shared_ptr<StatementCache> cache_;
};

}  // namespace

}  // namespace ptolix::db

namespace ptolix::db::sqlite {

std::unique_ptr<Backend> OpenBackend(const std::string& path) {
  return std::make_unique<SqliteBackend>(path, true);
}

}  // namespace ptolix::db::sqlite
