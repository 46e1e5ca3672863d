// RunAtomic against a backend that fails on demand: a serialization failure
// or deadlock runs the change again at the outermost level only, and what a
// caller gets back after each kind of failure.

#include "db/atomic.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "db/backend.h"
#include "ptolix/db/connection.h"
#include "ptolix/db/error.h"

namespace ptolix {
namespace {

// Runs nothing: records each statement, and refuses the statement `fails`
// with `state` the first time it is sent, or every time when `always`.
class FakeBackend : public db::Backend {
 public:
  FakeBackend(std::vector<std::string>* sent, const char* fails, bool always, const char* state)
      : sent_(sent), fails_(fails), always_(always), state_(state) {}
  // Transactions begin and lock as on SQLite.
  const db::Engine& engine() const override { return db::EngineFor(db::Dialect::kSqlite); }
  std::unique_ptr<db::BackendCursor> Query(const std::string& sql,
                                           const db::ResultNames&) override {
    Execute(sql);
    return nullptr;
  }
  int64_t Execute(const std::string& sql) override {
    bool again = std::count(sent_->begin(), sent_->end(), sql) > 0;
    sent_->push_back(sql);
    if (sql == fails_ && (!again || always_)) throw db::Error("refused", "", state_);
    if (sql == "begin immediate") open_ = true;
    if (sql == "commit" || sql == "rollback") open_ = false;
    return 1;
  }
  int64_t Insert(const std::string& sql, std::string_view) override { return Execute(sql); }
  bool InTransaction() const override { return open_; }
  std::unique_ptr<db::Backend> Reopen() const override { return nullptr; }  // never lost

 private:
  std::vector<std::string>* sent_;
  std::string fails_;
  bool always_;
  const char* state_;
  bool open_ = false;
};

TEST(RunAtomic, RetriesOnlyWholeOutermostChanges) {
  // name; the statement that fails, every time or only once, and its state;
  // whether the caller opened a transaction first, and whether the failure
  // reaches the caller; the statements sent, "|" between them
  using Case = std::tuple<const char*, const char*, bool, const char*, bool, bool, std::string>;
  std::string kept_failing = "begin immediate|update t";
  for (int i = 1; i < db::kAtomicAttempts; ++i)
    kept_failing += "|rollback|begin immediate|update t";
  kept_failing += "|rollback";
  const Case cases[] = {
      {"serialization failure, then success", "update t", false, "40001", false, false,
       "begin immediate|update t|rollback|begin immediate|update t|commit"},
      {"deadlock at commit", "commit", false, "40P01", false, false,
       "begin immediate|update t|commit|rollback|begin immediate|update t|commit"},
      {"any other refusal is not retried", "update t", false, "23505", false, true,
       "begin immediate|update t|rollback"},
      {"inside the caller's transaction", "update t", false, "40001", true, true,
       "begin immediate|savepoint ptlx_2|update t|rollback to savepoint ptlx_2|"
       "release savepoint ptlx_2|rollback"},
      // Given up after kAtomicAttempts runs, the failure reaching the caller.
      {"keeps failing", "update t", true, "40001", false, true, kept_failing}};
  for (const auto& [name, fails, always, state, caller_tx, reaches_caller, expected] : cases) {
    std::vector<std::string> sent;
    db::Connection conn(std::make_unique<FakeBackend>(&sent, fails, always, state));
    auto change = [&] {  // runs as often as "update t" was sent
      conn.ExecuteCommand("update t");
      return 7;
    };
    std::string outcome;  // what the caller gets
    try {
      std::optional<db::Transaction> outer;
      if (caller_tx) outer.emplace(conn);
      outcome = "returned " + std::to_string(db::RunAtomic(conn, {}, change));
    } catch (const db::Error& e) {
      outcome = "threw " + e.state();
    }
    EXPECT_EQ(outcome, reaches_caller ? std::string("threw ") + state : "returned 7") << name;
    std::string joined;
    for (const auto& s : sent) joined += (joined.empty() ? "" : "|") + s;
    EXPECT_EQ(joined, expected) << name;
    EXPECT_FALSE(conn.InTransaction()) << name;
  }
}

}  // namespace
}  // namespace ptolix
