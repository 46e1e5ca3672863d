#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ptolix::test {

// What the tests need that differs between the engines, in one place: the
// tests ask it instead of testing the engine themselves.
class TestContext {
 public:
  // The connection URL the test runs on ("sqlite:..." or "postgresql://...").
  explicit TestContext(std::string_view url);

  bool postgres() const { return postgres_; }
  bool sqlite() const { return !postgres_; }
  // The engine's name in messages: "sqlite" or "postgres".
  const char* name() const { return postgres_ ? "postgres" : "sqlite"; }

  // Statements after which the next row added to `table` without an
  // identifier gets `next` in its identity column `column`.
  std::vector<std::string> RestartIdentity(std::string_view table, std::string_view column,
                                           long long next) const;
  // Statements creating the trigger `name` that refuses every `event`
  // ("insert" or "update") on `table` with the message "refused".
  std::vector<std::string> RefusingTrigger(std::string_view name, std::string_view table,
                                           std::string_view event) const;
  // The statement dropping that trigger again.
  std::string DropTrigger(std::string_view name, std::string_view table) const;
  // Statements refreshing the planner's statistics after a bulk load; on
  // PostgreSQL they also keep the planner off whole-table scans, so that a
  // small test table is planned as a large one would be.
  std::vector<std::string> Analyze() const;
  // The statement showing the plan of `sql`, one step a row, in its last field.
  std::string Explain(std::string_view sql) const;

 private:
  bool postgres_;
};

}  // namespace ptolix::test
