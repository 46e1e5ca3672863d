#include <gtest/gtest.h>

#include <random>

#include "ptolix/frame/errors.h"
#include "site/page_code.h"

namespace ptolix {
namespace {

// The one-pass replacement must give exactly what the pass per tag gives,
// whenever it gives anything; templates it declines go in turn. Varied
// templates from pieces that meet in every way: plain, attribute and bodied
// markers of three tags, stray and nested closing markers, blanks, comments
// and programs with and without "[data]" or markers of their own.
TEST(ReplaceTags, OnePassAgreesWithThePassPerTag) {
  const std::vector<std::string> pieces = {
      "<!--a-->",  "<!--b-->",  "<!--c-->",  "<!--a x=1&y=2-->", "<!--b k=v-->", "<!--c -->",
      "<!--/a-->", "<!--/b-->", "<!--/c-->", "<!-- note -->",    "<!--a q",      "text ",
      "\"q\" ",    "\r\n",      "<p>"};
  const std::vector<std::string> programs = {
      "P", "[data]",        "S[data]E[data]", "X<!--a-->", "Y <!--b-->",
      "",  "Z<!--c k=v-->", "W<!--/b-->V",    "U<!--c",    "T<!--b--><!--c-->"};
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

// A program holding a later tag's marker is expanded once, as that tag's
// pass would replace it, and the template still goes in one pass.
TEST(ReplaceTags, ProgramsHoldingMarkersOfLaterTagsStayInOnePass) {
  struct Case {
    const char* text;
    std::vector<TagProgram> tags;
    bool one_pass;
  } cases[] = {
      {"<!--a-->|<!--b-->|<!--c-->",
       {{"a", "A<!--b-->"}, {"b", "B<!--c x=1-->"}, {"c", "C<!--a-->"}},
       true},
      // The first row of a code applies to the template, a later row to what
      // an earlier program inserted.
      {"<!--a-->|<!--b-->", {{"b", "B1"}, {"a", "A<!--b-->"}, {"b", "B2"}}, true},
      // Markers of the tag itself or earlier tags stay as they are.
      {"<!--a-->|<!--b-->", {{"a", "A<!--a-->"}, {"b", "B<!--a-->"}}, true},
      // A later tag with a body, or a closing marker: in turn.
      {"<!--a-->|<!--b-->x<!--/b-->", {{"a", "A<!--b-->"}, {"b", "[[data]]"}}, false},
      {"<!--b-->|<!--a-->", {{"a", "A<!--/b-->"}, {"b", "B"}}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::optional<std::string> fast = ReplaceTagsInOnePass(c.text, c.tags);
    EXPECT_EQ(fast.has_value(), c.one_pass);
    std::string expected;
    try {
      expected = ReplaceTagsInTurn(c.text, c.tags);
    } catch (const Failure&) {
      expected = "(fails)";
    }
    if (fast) {
      EXPECT_EQ(*fast, expected);
    }
    EXPECT_EQ(ReplaceTags(c.text, c.tags) == expected || expected == "(fails)", true);
  }
  EXPECT_EQ(
      *ReplaceTagsInOnePass("<!--a-->|<!--b-->", {{"b", "B1"}, {"a", "A<!--b-->"}, {"b", "B2"}}),
      "<%A<%B2%>%>|<%B1%>");
}

}  // namespace
}  // namespace ptolix
