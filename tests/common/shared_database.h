#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ptolix/db/connection.h"

namespace ptolix::test {

// One database that several connections share, as the page requests of a
// site do: an SQLite file (WAL) in a folder of its own, or a schema of its
// own on the PostgreSQL server the parameter names. `main_` holds the
// schema; Open() gives each thread its own connection.
class SharedDatabaseTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::shared_ptr<db::Connection> Open();

  std::string url_, dir_, pg_schema_;
  std::shared_ptr<db::Connection> main_;
};

}  // namespace ptolix::test
