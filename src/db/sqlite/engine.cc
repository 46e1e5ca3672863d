// What sets SQLite apart from the other engines: one object that answers
// for it, and how a transaction begins and a connection tells that the data
// may have changed.

#include "db/engine.h"

#include <string>

#include "db/backend.h"
#include "db/sqlite/sqlite.h"

namespace ptolix::db::sqlite {

namespace {

class SqliteEngine : public Engine {
 public:
  Dialect dialect() const override { return Dialect::kSqlite; }

  bool Opens(std::string_view url) const override { return url.substr(0, 7) == "sqlite:"; }
  std::unique_ptr<Backend> Open(std::string_view url, const Catalog&) const override {
    return OpenBackend(std::string(url.substr(7)));
  }

  const Ddl& ddl() const override { return EngineDdl(); }
  // Registered on each connection instead (functions.cc).
  std::vector<std::string> HelperFunctionStatements() const override { return {}; }

  const std::vector<Pass>& RewritePasses() const override { return sqlite::RewritePasses(); }
  bool ReturnsRows(std::string_view sql) const override {
    return FirstWordIs(sql, {"select", "with", "values", "pragma", "explain"});
  }
  // The backend asks SQLite for the last row's identity.
  std::string InsertReturning(std::string_view sql, std::string_view) const override {
    return std::string(sql);
  }

  // An offset skips its rows in the index.
  bool ReadsPagesKeysFirst() const override { return false; }
  // A unary plus changes neither the values nor their collation, but no
  // index delivers the order: SQLite then cannot choose to walk a whole
  // ordered index past a small subtree's rows.
  std::string UnindexedOrder(std::string_view column) const override {
    return "+" + std::string(column);
  }

  std::string BeginText() const override {
    // Take the write lock now, so that a transaction that has read never
    // has to upgrade (which could fail at once with SQLITE_BUSY); the busy
    // timeout queues the writers instead.
    return "begin immediate";
  }
  std::string LockText(std::initializer_list<Lock>) const override {
    // Every write transaction holds the database's write lock from its
    // start (begin immediate), which covers every key.
    return "";
  }
  std::string ChangeToken() const override {
    // data_version moves when another connection commits, total_changes()
    // with every row this connection writes.
    return "((select data_version from pragma_data_version()) || ':' || total_changes())";
  }

  std::vector<std::string> SubstringIndexStatements(const SubstringIndexDef& index) const override {
    return sqlite::SubstringIndexStatements(index);
  }
  std::string SubstringCandidates(const SubstringIndexDef& index,
                                  const SubstringSearch& search) const override {
    return sqlite::SubstringCandidates(index, search);
  }
  SubstringTally SubstringCount(const SubstringIndexDef& index,
                                const SubstringSearch& search) const override {
    return sqlite::SubstringCount(index, search);
  }
  SubstringUpkeep SubstringIndexUpkeep(const SubstringIndexDef& index) const override {
    return sqlite::SubstringIndexUpkeep(index);
  }
  std::vector<std::string> KeptCountStatements() const override {
    return sqlite::KeptCountStatements();
  }
  // Every write transaction holds the database's write lock.
  std::string KeptCountsFreeze() const override { return ""; }
  // Kept rows are read fast enough to be summed again after any commit; a
  // mark drawn on every counted write would cost the writes more.
  std::string KeptCountsMark(const std::string&) const override { return ChangeToken(); }
  std::string KeptCountsRedrawn() const override { return ""; }
};

}  // namespace

const Engine& TheEngine() {
  static const SqliteEngine engine;
  return engine;
}

}  // namespace ptolix::db::sqlite
