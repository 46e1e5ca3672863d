#include "fixture.h"

#include <fmt/format.h>

#include <cctype>
#include <filesystem>
#include <random>

#include "db/backend.h"
#include "ptolix/connect.h"
#include "ptolix/org/password.h"

namespace ptolix::test {

std::vector<std::string> TestContext::RestartIdentity(std::string_view table,
                                                      std::string_view column,
                                                      long long next) const {
  if (postgres_)
    return {fmt::format("alter table {} alter column {} restart with {}", table, column, next)};
  // SQLite numbers after the highest value sqlite_sequence holds for the table.
  std::vector<std::string> out = {
      fmt::format("delete from sqlite_sequence where name = '{}'", table)};
  if (next > 1)
    out.push_back(
        fmt::format("insert into sqlite_sequence (name,seq) values ('{}',{})", table, next - 1));
  return out;
}

std::vector<std::string> TestContext::RefusingTrigger(std::string_view name, std::string_view table,
                                                      std::string_view event) const {
  if (postgres_) {
    return {fmt::format("create function {}_refuse() returns trigger language plpgsql as "
                        "'begin raise exception ''refused''; end'",
                        name),
            fmt::format(
                "create trigger {0} before {1} on {2} for each row execute function {0}_refuse()",
                name, event, table)};
  }
  return {fmt::format("create trigger {} before {} on {} begin select raise(abort, 'refused'); end",
                      name, event, table)};
}

DbTest::DbTest(bool shared) : url_(GetParam()) {
  // Password hashes at the minimum cost keep the suites fast.
  SetPasswordHashCost(PasswordHashCost::kMinimum);
  char dir[] = "/tmp/ptolix-shared.XXXXXX";
  if (engine().sqlite() && shared && mkdtemp(dir)) {
    dir_ = dir;
    url_ = "sqlite:" + dir_ + "/ptolix.db";
  } else if (engine().postgres()) {
    std::random_device rd;
    pg_schema_ = "t" + std::to_string(rd()) + std::to_string(rd());
    ptolix::Connect(url_)->RunStatement("create schema " + pg_schema_);
  }
  conn = Open();
  schema::CreateSchema(*conn);
  conn->SetTrace(true);
  conn->TakeTrace();
}

void DbTest::TearDown() {
  if (!pg_schema_.empty() && conn) {
    try {
      conn->RunStatement("drop schema " + pg_schema_ + " cascade");
    } catch (...) {
    }
  }
  if (!dir_.empty()) std::filesystem::remove_all(dir_);
}

std::shared_ptr<db::Connection> DbTest::Open() {
  auto opened = ptolix::Connect(url_);
  if (!pg_schema_.empty()) opened->RunStatement("set search_path to " + pg_schema_);
  return opened;
}

Lines DbTest::Fetch(const std::string& text) {
  Lines out;
  auto cursor = db::BackendOf(*conn).Query(text);
  for (std::vector<Variant> row; cursor->Fetch(&row);) {
    std::string line;
    for (const auto& v : row) line += ToDisplay(v) + "|";
    out.push_back(line);
  }
  return out;
}

std::string DbTest::Plan(const std::string& sql) {
  std::string text;
  for (const auto& line :
       Fetch((engine().postgres() ? "explain (costs off) " : "explain query plan ") + sql)) {
    std::string step = line.substr(0, line.size() - 1);  // SQLite: the last field, the detail
    text += (engine().sqlite() ? step.substr(step.rfind('|') + 1) : step) + "\n";
  }
  for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return text;
}

}  // namespace ptolix::test
