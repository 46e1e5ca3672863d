#include "test_context.h"

#include <fmt/format.h>

namespace ptolix::test {

TestContext::TestContext(std::string_view url) : postgres_(url.rfind("sqlite", 0) != 0) {}

std::vector<std::string> TestContext::RestartIdentity(std::string_view table,
                                                      std::string_view column,
                                                      long long next) const {
  if (postgres_)
    return {fmt::format("alter table {} alter column {} restart with {}", table, column, next)};
  // SQLite numbers after the highest value sqlite_sequence holds for the table.
  std::vector<std::string> out = {
      fmt::format("delete from sqlite_sequence where name = '{}'", table)};
  if (next > 1) {
    out.push_back(
        fmt::format("insert into sqlite_sequence (name,seq) values ('{}',{})", table, next - 1));
  }
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

std::string TestContext::DropTrigger(std::string_view name, std::string_view table) const {
  return postgres_ ? fmt::format("drop trigger {} on {}", name, table)
                   : fmt::format("drop trigger {}", name);
}

std::vector<std::string> TestContext::Analyze() const {
  if (postgres_) return {"vacuum analyze", "set enable_seqscan = off"};
  return {"analyze"};
}

std::string TestContext::Explain(std::string_view sql) const {
  return fmt::format("{}{}", postgres_ ? "explain (costs off) " : "explain query plan ", sql);
}

}  // namespace ptolix::test
