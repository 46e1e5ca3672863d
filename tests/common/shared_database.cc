#include "shared_database.h"

#include <stdlib.h>

#include <filesystem>
#include <random>

#include "db/backend.h"
#include "fixture.h"
#include "ptolix/connect.h"
#include "ptolix/schema/schema.h"

namespace ptolix::test {

void SharedDatabaseTest::SetUp() {
  if (TestContext(GetParam()).sqlite()) {
    char dir[] = "/tmp/ptolix-shared.XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    url_ = "sqlite:" + dir_ + "/ptolix.db";
  } else {
    url_ = GetParam();
    std::random_device rd;
    pg_schema_ = "s" + std::to_string(rd()) + std::to_string(rd());
    db::BackendOf(*ptolix::Connect(url_)).Execute("create schema " + pg_schema_);
  }
  main_ = Open();
  schema::CreateSchema(*main_);
}

void SharedDatabaseTest::TearDown() {
  if (!pg_schema_.empty() && main_) {
    try {
      db::BackendOf(*main_).Execute("drop schema " + pg_schema_ + " cascade");
    } catch (...) {
    }
  }
  main_.reset();
  if (!dir_.empty()) std::filesystem::remove_all(dir_);
}

std::shared_ptr<db::Connection> SharedDatabaseTest::Open() {
  auto conn = ptolix::Connect(url_);
  if (!pg_schema_.empty()) db::BackendOf(*conn).Execute("set search_path to " + pg_schema_);
  return conn;
}

}  // namespace ptolix::test
