#include "ptolix/frame/counters.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "fixture.h"

namespace ptolix {
namespace {

using test::ErrorLines;
using Lines = std::vector<std::string>;

class CountersTest : public test::DbTest {
 protected:
  int32_t Next(std::string_view scope, std::string& errors) {
    return NextEncodeValue("tLink_Detail", "Link_ID", scope, conn.get(), errors);
  }
};

TEST_P(CountersTest, CountersStartAtOnePerScope) {
  std::string errors;
  EXPECT_EQ(Next("3", errors), 1);
  EXPECT_EQ(Next("3", errors), 2);
  EXPECT_EQ(Next("4", errors), 1);
  EXPECT_EQ(NextEncodeValue("tLink_Detail", "Other_ID", "3", conn.get(), errors), 1);
  EXPECT_EQ(Next("3", errors), 3);
  EXPECT_EQ(errors, "");
  // The first call of each scope created its row.
  EXPECT_EQ(
      Rows("select tEncode_Column, tEncode_Identify, tEncode_Counter from tEncode_Manager "
           "order by tEncode_Column, tEncode_Identify"),
      "tEncode_Column|tEncode_Identify|tEncode_Counter\nLink_ID|3|3\nLink_ID|4|1\nOther_ID|3|1\n");
}

TEST_P(CountersTest, FailuresGiveZeroAndOneLine) {
  // scope, connected, the error line
  const std::tuple<const char*, bool, const char*> cases[] = {
      {"", true, "[13] Type mismatch: the counter's scope is empty"},
      {"3 or 1=1", true, "[13] Type mismatch: identify '3 or 1=1'"},
      {"3", false, "[91] Object variable or With block variable not set"},
  };
  for (auto [scope, connected, line] : cases) {
    std::string errors;
    EXPECT_EQ(
        NextEncodeValue("tLink_Detail", "Link_ID", scope, connected ? conn.get() : nullptr, errors),
        0);
    EXPECT_EQ(ErrorLines(errors), Lines{line}) << scope;
  }
  EXPECT_EQ(Rows("select count(*) n from tEncode_Manager"), "n\n0\n");
}

PTOLIX_BACKENDS(CountersTest);

// Two connections numbering one scope in turn get consecutive numbers.
TEST(CountersSharedFile, InterleavedConnectionsGetConsecutiveNumbers) {
  auto dir =
      std::filesystem::temp_directory_path() / ("ptolix_counters_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::string url = "sqlite:" + (dir / "counters.db").string();
  auto a = db::Connect(url);
  auto b = db::Connect(url);
  schema::CreateSchema(*a);
  std::string errors;
  std::vector<int32_t> got;
  for (int i = 0; i < 3; ++i) {
    got.push_back(NextEncodeValue("tLink_Detail", "Link_ID", "7", a.get(), errors));
    got.push_back(NextEncodeValue("tLink_Detail", "Link_ID", "7", b.get(), errors));
  }
  EXPECT_EQ(got, (std::vector<int32_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(errors, "");
  a.reset();
  b.reset();
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace ptolix
