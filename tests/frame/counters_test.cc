#include "ptolix/frame/counters.h"

#include <gtest/gtest.h>

#include <tuple>

#include "fixture.h"

namespace ptolix {
namespace {

using test::ErrorLines;
using test::Lines;

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

}  // namespace
}  // namespace ptolix
