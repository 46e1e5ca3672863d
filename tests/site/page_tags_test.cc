#include <gtest/gtest.h>

#include <random>

#include "ptolix/frame/errors.h"
#include "ptolix/site/page_code.h"

namespace ptolix {
namespace {

// The one-pass replacement must give exactly what the pass per tag gives,
// whenever it gives anything; templates it declines go in turn. Varied
// templates from pieces that meet in every way: plain, attribute and bodied
// markers of three tags, stray and nested closing markers, blanks, comments
// and programs with and without "[data]" or markers of their own.
TEST(ReplaceTags, OnePassAgreesWithThePassPerTag) {
  const std::vector<std::string> pieces = {
      "<!--a-->", "<!--b-->", "<!--c-->", "<!--a x=1&y=2-->", "<!--b k=v-->", "<!--c -->",
      "<!--/a-->", "<!--/b-->", "<!--/c-->", "<!-- note -->", "<!--a q", "text ", "\"q\" ", "\r\n", "<p>"};
  const std::vector<std::string> programs = {"P", "[data]", "S[data]E[data]", "X<!--a-->", "Y <!--b-->", ""};
  std::mt19937 random(20261206);
  int one_pass = 0, in_turn = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string text;
    int length = 1 + random() % 8;
    for (int i = 0; i < length; ++i) text += pieces[random() % pieces.size()];
    std::vector<TagProgram> tags;
    for (const char* code : {"a", "b", "c", "a"}) {
      if (random() % 4) tags.push_back({code, programs[random() % programs.size()]});
    }
    std::string expected;
    bool fails = false;
    try {
      expected = ReplaceTagsInTurn(text, tags);
    } catch (const Failure&) {
      fails = true;
    }
    std::optional<std::string> fast = ReplaceTagsInOnePass(text, tags);
    if (fast) {
      ++one_pass;
      EXPECT_FALSE(fails) << text;
      EXPECT_EQ(*fast, expected) << text;
    } else {
      ++in_turn;
    }
  }
  // Both ways are exercised.
  EXPECT_GT(one_pass, 400);
  EXPECT_GT(in_turn, 500);
}

}  // namespace
}  // namespace ptolix
