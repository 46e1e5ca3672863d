#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ptolix/ptolix.h"
#include "test_context.h"

namespace ptolix {
// Lets GoogleTest print values in failure messages.
inline void PrintTo(const Variant& v, std::ostream* os) { *os << ToDisplay(v); }
inline void PrintTo(const ResultArray& a, std::ostream* os) { *os << a.ToString(); }
}  // namespace ptolix

namespace ptolix::test {

using Lines = std::vector<std::string>;

// The databases a backend test runs on: SQLite always, PostgreSQL when
// PTOLIX_TEST_PG holds a URL.
std::vector<std::string> BackendUrls();
// A readable name for a URL in test names ("sqlite", "postgres").
std::string BackendName(const ::testing::TestParamInfo<std::string>& info);

// A fresh database with the schema, per test. On PostgreSQL each test gets
// its own schema (search_path) that is dropped afterwards.
class DbTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A new late-bound object with the connection set.
  std::unique_ptr<Object> New(const std::string& class_name);
  // Runs a query and renders its rows as ResultArray::ToString does.
  std::string Rows(const std::string& sql);
  // Runs a statement directly (not traced).
  void Exec(const std::string& sql);
  void ExecAll(const std::vector<std::string>& sqls);
  // The first field of a query's first row as a number (a count).
  int64_t Count(const std::string& sql);
  // The statements the library sent since the last call.
  std::vector<std::string> Trace() { return conn->TakeTrace(); }
  bool IsPostgres() const { return conn->dialect() == db::Dialect::kPostgres; }
  // What differs between the engines.
  TestContext engine() const { return TestContext(GetParam()); }

  std::shared_ptr<db::Connection> conn;
  std::string pg_schema_;
};

// One field of a result's data rows, each followed by a blank; sorted when
// the list has no order. "(unallocated)" for a failed query's array.
std::string FieldValues(const ResultArray& a, std::string_view field, bool sort = false);

// Lines of an Errors text with their time stamps removed:
// "[Ptolix] message" or "[13] Type mismatch...".
std::vector<std::string> ErrorLines(const std::string& errors);
// The lines of a late-bound object's Errors property.
Lines ErrorsOf(Object& obj);

}  // namespace ptolix::test

#define PTOLIX_BACKENDS(Suite)                                                                  \
  INSTANTIATE_TEST_SUITE_P(Backends, Suite, ::testing::ValuesIn(::ptolix::test::BackendUrls()), \
                           ::ptolix::test::BackendName)
