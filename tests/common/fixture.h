#pragma once

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ptolix/ptolix.h"

namespace ptolix {
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using ::testing::ThrowsMessage;

// Lets GoogleTest print values in failure messages.
inline void PrintTo(const Variant& v, std::ostream* os) { *os << ToDisplay(v); }
inline void PrintTo(const ResultArray& a, std::ostream* os) { *os << a.ToString(); }
}  // namespace ptolix

namespace ptolix::test {

using Lines = std::vector<std::string>;

// What the tests need that differs between the engines, in one place: the
// tests ask it instead of testing the engine themselves.
class TestContext {
 public:
  // The connection URL the test runs on ("sqlite:..." or "postgresql://...").
  explicit TestContext(std::string_view url) : postgres_(url.rfind("sqlite", 0) != 0) {}

  bool postgres() const { return postgres_; }
  bool sqlite() const { return !postgres_; }
  // Statements after which the next row added to `table` without an
  // identifier gets `next` in its identity column `column`.
  std::vector<std::string> RestartIdentity(std::string_view table, std::string_view column,
                                           long long next) const;
  // Statements creating the trigger `name` that refuses every `event`
  // ("insert" or "update") on `table` with the message "refused".
  std::vector<std::string> RefusingTrigger(std::string_view name, std::string_view table,
                                           std::string_view event) const;
  std::string DropTrigger(std::string_view name, std::string_view table) const {
    return postgres_ ? fmt::format("drop trigger {} on {}", name, table)
                     : fmt::format("drop trigger {}", name);
  }
  // Statements refreshing the planner's statistics after a bulk load; on
  // PostgreSQL they also keep the planner off whole-table scans, so that a
  // small test table is planned as a large one would be.
  std::vector<std::string> Analyze() const {
    if (postgres_) return {"vacuum analyze", "set enable_seqscan = off"};
    return {"analyze"};
  }

 private:
  bool postgres_;
};

// The databases a backend test runs on: SQLite always, PostgreSQL when
// PTOLIX_TEST_PG holds a URL.
inline std::vector<std::string> BackendUrls() {
  std::vector<std::string> urls = {"sqlite::memory:"};
  if (const char* pg = std::getenv("PTOLIX_TEST_PG"); pg && *pg) urls.emplace_back(pg);
  return urls;
}
// A readable name for a URL in test names ("sqlite", "postgres").
inline std::string BackendName(const ::testing::TestParamInfo<std::string>& info) {
  return TestContext(info.param).postgres() ? "postgres" : "sqlite";
}

// A fresh database with the schema, per test. On PostgreSQL each test gets
// its own schema (search_path) that is dropped afterwards; a `shared` SQLite
// database is a file (WAL) in a folder of its own, so that Open() gives
// other connections to it, as the page requests of a site have. Connected by
// the constructor, so that a fixture's members may start from the connection.
class DbTest : public ::testing::TestWithParam<std::string> {
 protected:
  explicit DbTest(bool shared = false);
  void TearDown() override;
  // Another connection to the test's database.
  std::shared_ptr<db::Connection> Open();
  std::unique_ptr<Object> New(const std::string& class_name) {
    auto obj = GlobalRegistry().CreateObject("Corvane_Ptolix." + class_name);
    if (obj->info().set_connection) obj->PutConnection(conn);
    return obj;
  }
  template <class T>
  std::unique_ptr<T> Make() {
    auto obj = std::make_unique<T>();
    obj->SetConnection(conn);
    return obj;
  }
  std::string Rows(const std::string& sql) { return conn->RunQuery(sql).ToString(); }
  // Runs a statement directly (not traced).
  void Exec(const std::string& sql) { conn->RunStatement(sql); }
  void ExecAll(const std::vector<std::string>& sqls) {
    for (const auto& sql : sqls) Exec(sql);
  }
  int64_t Count(const std::string& sql) { return conn->RunQuery(sql).At(1, 0).AsInt64(); }
  // The rows of a statement in the engine's own dialect, one line each.
  Lines Fetch(const std::string& text);
  // The plan of a statement in the engine's own dialect, one step a line,
  // lower case.
  std::string Plan(const std::string& sql);
  // The statements the library sent since the last call.
  std::vector<std::string> Trace() { return conn->TakeTrace(); }
  // Whether `calls` sent no statement at all (a refused argument runs nothing).
  template <class F>
  bool RunsNothing(F calls) {
    Trace();
    calls();
    return Trace().empty();
  }
  TestContext engine() const { return TestContext(GetParam()); }

  std::string url_, dir_, pg_schema_;
  std::shared_ptr<db::Connection> conn;
};

// One field of a result's data rows, each followed by a blank; sorted when
// the list has no order. "(unallocated)" for a failed query's array.
inline std::string FieldValues(const ResultArray& a, std::string_view field, bool sort = false) {
  if (!a.allocated()) return "(unallocated)";
  std::vector<std::string> values;
  for (int r = 1; r <= a.DataRows(); ++r) values.push_back(ToDisplay(a.Get(r, field)));
  if (sort) std::sort(values.begin(), values.end());
  std::string out;
  for (const auto& v : values) out += v + " ";
  return out;
}

// Lines of an Errors text with their time stamps removed:
// "[Ptolix] message" or "[13] Type mismatch...".
inline std::vector<std::string> ErrorLines(const std::string& errors) {
  std::vector<std::string> out;
  for (size_t start = 0, end; start < errors.size(); start = end + 2) {
    end = std::min(errors.find("\r\n", start), errors.size());
    std::string line = errors.substr(start, end - start);
    size_t dash = line.find(" - ");
    out.push_back(dash == std::string::npos ? line : line.substr(dash + 3));
  }
  return out;
}
inline Lines ErrorsOf(Object& obj) { return ErrorLines(obj.Get("Errors").AsString()); }

}  // namespace ptolix::test

#define PTOLIX_BACKENDS(Suite)                                                                  \
  INSTANTIATE_TEST_SUITE_P(Backends, Suite, ::testing::ValuesIn(::ptolix::test::BackendUrls()), \
                           ::ptolix::test::BackendName)
