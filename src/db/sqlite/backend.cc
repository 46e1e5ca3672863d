// SQLite backend: runs statements already rewritten to SQLite's dialect and
// hands back column names and Variant rows.

#include <locale.h>
#include <sqlite3.h>
#include <strings.h>
#include <wctype.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "ptolix/db/backend.h"
#include "ptolix/db/error.h"
#include "ptolix/frame/variant.h"

namespace ptolix::db {

namespace {

struct DbCloser {
  void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
  void operator()(sqlite3_stmt* s) const noexcept { sqlite3_finalize(s); }
};
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

// Counts UTF-8 characters.
size_t CharCount(const unsigned char* s, size_t bytes) {
  size_t n = 0;
  for (size_t i = 0; i < bytes; ++i) n += (s[i] & 0xC0) != 0x80;
  return n;
}

// getdate(): the local date and time, as the database server's clock.
void GetDate(sqlite3_context* ctx, int, sqlite3_value**) {
  std::string now = DateTime::Now().ToString();
  sqlite3_result_text(ctx, now.c_str(), static_cast<int>(now.size()), SQLITE_TRANSIENT);
}

// len(x): characters of x without its trailing blanks.
void Len(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  auto text = sqlite3_value_text(argv[0]);
  size_t bytes = sqlite3_value_bytes(argv[0]);
  while (bytes > 0 && text[bytes - 1] == ' ') --bytes;
  sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(CharCount(text, bytes)));
}

// right(x, n): the last n characters of x.
void Right(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    return sqlite3_result_null(ctx);
  }
  sqlite3_int64 n = sqlite3_value_int64(argv[1]);
  if (n < 0) return sqlite3_result_error(ctx, "Invalid length parameter passed to the right function.", -1);
  auto text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  size_t bytes = sqlite3_value_bytes(argv[0]);
  size_t start = bytes;
  for (sqlite3_int64 taken = 0; start > 0 && taken < n;) {
    --start;
    if ((static_cast<unsigned char>(text[start]) & 0xC0) != 0x80) ++taken;
  }
  sqlite3_result_text(ctx, text + start, static_cast<int>(bytes - start), SQLITE_TRANSIENT);
}

// Letter case for searches: each character's lower-case form from the
// C.UTF-8 locale's tables, which cover all of Unicode (accented Latin,
// Greek, Cyrillic, full-width Latin), not only ASCII.
char32_t Fold(char32_t c) {
  static const locale_t locale =
      newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
  if (!locale) return c;
  return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), locale));
}

// Decodes UTF-8 to code points, folded; a stray byte stands for itself in
// a range no character uses, so it matches only the same byte.
std::u32string FoldedText(const unsigned char* s, size_t n) {
  std::u32string out;
  out.reserve(n);
  for (size_t i = 0; i < n;) {
    unsigned char c = s[i];
    int extra = c < 0x80             ? 0
                : (c & 0xE0) == 0xC0 ? 1
                : (c & 0xF0) == 0xE0 ? 2
                : (c & 0xF8) == 0xF0 ? 3
                                     : -1;
    char32_t cp = extra == 0 ? c : extra == 1 ? c & 0x1F : extra == 2 ? c & 0x0F : c & 0x07;
    bool ok = extra >= 0 && i + extra < n;
    for (int k = 1; ok && k <= extra; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    if (!ok) {
      out.push_back(0x110000 + c);
      ++i;
      continue;
    }
    out.push_back(Fold(cp));
    i += extra + 1;
  }
  return out;
}

// x like pattern, "%" any run, "_" any one character, `escape` (when not 0)
// makes the next pattern character literal; letter case ignored for every
// script. Greedy with one backtracking point, which is exact for these two
// wildcards.
bool LikeIgnoringCase(const std::u32string& text, const std::u32string& pattern, char32_t escape) {
  struct Part {
    enum { kChar, kOne, kAny } kind;
    char32_t c;
  };
  std::vector<Part> parts;
  for (size_t i = 0; i < pattern.size(); ++i) {
    char32_t c = pattern[i];
    if (escape && c == escape && i + 1 < pattern.size()) {
      parts.push_back({Part::kChar, pattern[++i]});
    } else if (c == U'%') {
      if (parts.empty() || parts.back().kind != Part::kAny) parts.push_back({Part::kAny, 0});
    } else if (c == U'_') {
      parts.push_back({Part::kOne, 0});
    } else {
      parts.push_back({Part::kChar, c});
    }
  }
  size_t t = 0, p = 0, star = std::string::npos, resume = 0;
  while (t < text.size()) {
    if (p < parts.size() && parts[p].kind == Part::kAny) {
      star = p++;
      resume = t;
    } else if (p < parts.size() && (parts[p].kind == Part::kOne || parts[p].c == text[t])) {
      ++p;
      ++t;
    } else if (star != std::string::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < parts.size() && parts[p].kind == Part::kAny) ++p;
  return p == parts.size();
}

// match(pattern, x [, escape]): the function behind "x match pattern
// [escape e]", which the rewriter puts in place of "like" for title and
// content searches.
void MatchIgnoringCase(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  }
  auto text_of = [&](int i) {
    return FoldedText(sqlite3_value_text(argv[i]),
                      static_cast<size_t>(sqlite3_value_bytes(argv[i])));
  };
  char32_t escape = 0;
  if (argc == 3) {
    std::u32string e = text_of(2);
    if (e.size() != 1)
      return sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
    escape = e[0];
  }
  sqlite3_result_int(ctx, LikeIgnoringCase(text_of(1), text_of(0), escape) ? 1 : 0);
}

Variant ReadColumn(sqlite3_stmt* stmt, int i) {
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_NULL:
      return Variant::Null();
    case SQLITE_INTEGER: {
      sqlite3_int64 v = sqlite3_column_int64(stmt, i);
      if (v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<int32_t>(v));
      return Variant(static_cast<int64_t>(v));
    }
    case SQLITE_FLOAT:
      return Variant(sqlite3_column_double(stmt, i));
    default: {
      std::string text(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                       sqlite3_column_bytes(stmt, i));
      const char* decl = sqlite3_column_decltype(stmt, i);
      DateTime date;
      if (decl && strcasecmp(decl, "datetime") == 0 && DateTime::Parse(text, &date)) return Variant(date);
      return Variant(std::move(text));
    }
  }
}

class SqliteBackend;

// The SQLSTATE-like class of the last failure: a write transaction that
// started from a snapshot another writer has since changed cannot go on, as
// a serialization failure; everything else has none.
std::string FailureState(sqlite3* db) {
  return sqlite3_extended_errcode(db) == SQLITE_BUSY_SNAPSHOT ? "40001" : "";
}

// Prepared statements by text, reused; a statement in use by a cursor is
// taken out of the cache until the cursor is done with it.
class StatementCache {
 public:
  explicit StatementCache(sqlite3* db) : db_(db) {}
  StmtPtr Take(const std::string& sql) {
    auto it = cache_.find(sql);
    if (it != cache_.end() && !it->second.empty()) {
      StmtPtr s = std::move(it->second.back());
      it->second.pop_back();
      return s;
    }
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql.c_str(), static_cast<int>(sql.size()), &raw, &tail) != SQLITE_OK) {
      throw Error(sqlite3_errmsg(db_.get()), sql);
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

 private:
  std::unique_ptr<sqlite3, DbCloser> db_;  // closed after the statements below
  std::unordered_map<std::string, std::vector<StmtPtr>> cache_;
};

class SqliteCursor : public BackendCursor {
 public:
  SqliteCursor(std::shared_ptr<StatementCache> cache, std::string sql)
      : cache_(std::move(cache)), sql_(std::move(sql)), stmt_(cache_->Take(sql_)) {
    int n = sqlite3_column_count(stmt_.get());
    for (int i = 0; i < n; ++i) columns_.emplace_back(sqlite3_column_name(stmt_.get(), i));
    Step();  // runs the statement; errors surface here, not at the first read
  }
  ~SqliteCursor() override {
    if (stmt_) cache_->Give(sql_, std::move(stmt_));
  }
  const std::vector<std::string>& Columns() const override { return columns_; }
  bool Fetch(std::vector<Variant>* row) override {
    if (!has_row_) return false;
    row->clear();
    for (int i = 0; i < static_cast<int>(columns_.size()); ++i) row->push_back(ReadColumn(stmt_.get(), i));
    Step();
    return true;
  }

 private:
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
  std::string sql_;
  StmtPtr stmt_;
  std::vector<std::string> columns_;
  bool has_row_ = false;
};

class SqliteBackend : public Backend {
 public:
  explicit SqliteBackend(const std::string& path) {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI,
                             nullptr);
    if (rc != SQLITE_OK) {
      std::string message = raw ? sqlite3_errmsg(raw) : "out of memory";
      sqlite3_close_v2(raw);
      throw Error("cannot open SQLite database '" + path + "': " + message, "");
    }
    cache_ = std::make_shared<StatementCache>(raw);
    sqlite3_busy_timeout(raw, 30000);
    sqlite3_create_function_v2(raw, "getdate", 0, SQLITE_UTF8, nullptr, GetDate, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(raw, "len", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, Len, nullptr,
                               nullptr, nullptr);
    sqlite3_create_function_v2(raw, "ptlx_right", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, Right,
                               nullptr, nullptr, nullptr);
    for (int args : {2, 3}) {
      sqlite3_create_function_v2(raw, "match", args,
                                 SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                                 MatchIgnoringCase, nullptr, nullptr, nullptr);
    }
    if (path != ":memory:") Exec("pragma journal_mode=wal");
    Exec("pragma synchronous=normal");
  }

  Dialect dialect() const override { return Dialect::kSqlite; }

  std::unique_ptr<BackendCursor> Query(const std::string& sql) override {
    return std::make_unique<SqliteCursor>(cache_, sql);
  }

  int64_t Execute(const std::string& sql) override {
    if (HasSecondStatement(sql)) return Exec(sql);
    SqliteCursor run(cache_, sql);
    return sqlite3_changes64(cache_->db());
  }

  int64_t Insert(const std::string& sql, std::string_view) override {
    SqliteCursor run(cache_, sql);
    return sqlite3_last_insert_rowid(cache_->db());
  }

  bool InTransaction() const override { return !sqlite3_get_autocommit(cache_->db()); }

 private:
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
    if (sqlite3_prepare_v2(cache_->db(), sql.c_str(), static_cast<int>(sql.size()), &raw, &tail) != SQLITE_OK) {
      return false;  // the single-statement path reports the error
    }
    sqlite3_finalize(raw);
    for (; tail && *tail; ++tail) {
      if (!std::isspace(static_cast<unsigned char>(*tail)) && *tail != ';') return true;
    }
    return false;
  }

  std::shared_ptr<StatementCache> cache_;
};

}  // namespace

std::unique_ptr<Backend> OpenSqlite(const std::string& path) { return std::make_unique<SqliteBackend>(path); }

}  // namespace ptolix::db
