// What sets PostgreSQL apart from the other engines: one object that
// answers for it, and how a transaction begins and takes its locks and a
// connection tells that the data may have changed.

#include "db/engine.h"

#include <cctype>
#include <string>

#include "db/backend.h"
#include "db/postgres/postgres.h"

namespace ptolix::db::postgres {

namespace {

class PostgresEngine : public Engine {
 public:
  Dialect dialect() const override { return Dialect::kPostgres; }

  bool Opens(std::string_view url) const override {
    return url.substr(0, 13) == "postgresql://" || url.substr(0, 11) == "postgres://";
  }
  std::unique_ptr<Backend> Open(std::string_view url, const Catalog& catalog) const override {
    return OpenBackend(std::string(url), catalog);
  }

  const Ddl& ddl() const override { return EngineDdl(); }
  std::vector<std::string> HelperFunctionStatements() const override {
    return FunctionStatements();
  }

  const std::vector<Pass>& RewritePasses() const override { return postgres::RewritePasses(); }
  bool ReturnsRows(std::string_view sql) const override {
    return FirstWordIs(sql, {"select", "with", "values", "pragma", "explain"});
  }
  // The identity comes back as the statement's one row (the last row's,
  // for an insert of several).
  std::string InsertReturning(std::string_view sql, std::string_view id_column) const override {
    std::string text(sql);
    while (!text.empty() &&
           (std::isspace(static_cast<unsigned char>(text.back())) || text.back() == ';')) {
      text.pop_back();
    }
    return text + " returning " + std::string(id_column);
  }

  // An offset visits every row it skips unless the keys come from an index
  // alone.
  bool ReadsPagesKeysFirst() const override { return true; }
  // No unary plus for text; the planner weighs the ordered index against a
  // sort itself.
  std::string UnindexedOrder(std::string_view column) const override { return std::string(column); }

  std::string BeginText() const override { return "begin"; }
  std::string LockText(std::initializer_list<Lock> held) const override {
    // The locks travel with the statement that opens the transaction: one
    // round trip. Transaction-scoped advisory locks on each pair.
    std::string text;
    for (const Lock& lock : held) {
      text += "; select pg_advisory_xact_lock(" + std::to_string(lock.space) + "," +
              std::to_string(lock.key) + ")";
    }
    return text;
  }
  std::string ChangeToken() const override {
    // The statement's snapshot: two equal snapshots see the same committed
    // transactions, so the same rows; any commit since changes it.
    return "pg_current_snapshot()::text";
  }

  std::vector<std::string> SubstringIndexStatements(const SubstringIndexDef& index) const override {
    return postgres::SubstringIndexStatements(index);
  }
  // The GIN indexes know the texts alone: the cluster, the copies and the
  // condition are left to the table's own indexes.
  std::string SubstringCandidates(const SubstringIndexDef& index,
                                  const SubstringSearch& search) const override {
    return postgres::SubstringCandidates(index, search);
  }
  SubstringTally SubstringCount(const SubstringIndexDef& index,
                                const SubstringSearch& search) const override {
    return postgres::SubstringCount(index, search);
  }
  // GIN indexes follow every write (through their pending list).
  SubstringUpkeep SubstringIndexUpkeep(const SubstringIndexDef&) const override { return {}; }
  std::vector<std::string> KeptCountStatements() const override {
    return postgres::KeptCountStatements();
  }
  std::string KeptCountsFreeze() const override { return postgres::KeptCountsFreeze(); }
  // Reading the kept rows of many columns costs a few microseconds each
  // here (where SQLite takes a tenth of that), and every commit moves the
  // snapshot: marks keep a subtree's count while its own rows stay.
  std::string KeptCountsMark(const std::string& columns) const override {
    return postgres::KeptCountsMark(columns);
  }
  std::string KeptCountsRedrawn() const override { return postgres::KeptCountsRedrawn(); }
};

}  // namespace

const Engine& TheEngine() {
  static const PostgresEngine engine;
  return engine;
}

}  // namespace ptolix::db::postgres
