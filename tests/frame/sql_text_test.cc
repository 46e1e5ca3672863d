#include "ptolix/frame/sql_text.h"

#include <gtest/gtest.h>

#include "fixture.h"

namespace ptolix {
namespace {

TEST(SqlText, LiteralsAndNulls) {
  EXPECT_EQ(SqlQuote("") + SqlQuote("abc") + SqlQuote("O'Brien's"), "null'abc''O''Brien''s'");
  EXPECT_EQ(SqlValue("") + " " + SqlValue("12"), "null 12");
  EXPECT_EQ(
      NullToEmpty(Variant::Null()) + NullToEmpty(Variant(int32_t{7})) + NullToEmpty(Variant("x")),
      "7x");
  EXPECT_EQ(NullToEmpty(Variant(DateTime{2002, 8, 2, 13, 5, 0})), "2002-08-02 13:05:00");
}

TEST(SqlText, BareArgumentsAreCheckedBeforeTheyReachSql) {
  for (const char* ok : {"", "12", "-3", "+4", " 5 "}) EXPECT_EQ(Bare(ok, "pID"), ok) << ok;
  for (const char* bad : {"1 or 1=1", "abc", "1;drop table x", "-", "1.5", "0x10"}) {
    try {
      Bare(bad, "pID");
      ADD_FAILURE() << bad;
    } catch (const Failure& f) {
      EXPECT_EQ(f.number(), 13);
      EXPECT_EQ(f.description(), std::string("Type mismatch: pID '") + bad + "'");
    }
  }
  EXPECT_EQ(BareList("1,2, 3", "pIDs"), "1,2, 3");
  EXPECT_EQ(BareList("", "pIDs"), "");
  for (const char* bad : {"1,,2", "1,", "1,2) or (1=1", "a"})
    EXPECT_THROW(BareList(bad, "pIDs"), Failure) << bad;
}

TEST(SqlText, CallerDatesAreNormalised) {
  const std::pair<const char*, const char*> cases[] = {
      {"2002-08-02", "2002-08-02 00:00:00"},    {"2002/8/2", "2002-08-02 00:00:00"},
      {"2002-8-2 9:05", "2002-08-02 09:05:00"}, {"2002-08-02 23:59:59", "2002-08-02 23:59:59"},
      {"2004-02-29", "2004-02-29 00:00:00"},    {"", ""}};
  for (auto [in, out] : cases) EXPECT_EQ(CallerDate(in, "pDate"), out) << in;
  for (const char* bad :
       {"2003-02-29", "yesterday", "2002-13-01", "2002-08-02 25:00", "02-08-2002", "2002-08-02'"}) {
    EXPECT_THROW(CallerDate(bad, "pDate"), Failure) << bad;
  }
}

TEST(SqlText, NumberConversionRoundsHalfToEvenAndChecksRange) {
  const std::pair<const char*, int32_t> cases[] = {{"12", 12},
                                                   {" 7 ", 7},
                                                   {"-3", -3},
                                                   {"+4", 4},
                                                   {"2.5", 2},
                                                   {"3.5", 4},
                                                   {"-2.5", -2},
                                                   {"2.51", 3},
                                                   {"0.4", 0},
                                                   {".5", 0},
                                                   {"1.5", 2},
                                                   {"2147483647", 2147483647},
                                                   {"-2147483648", INT32_MIN}};
  for (auto [text, value] : cases) EXPECT_EQ(ParseLong(text), value) << text;
  // 13: not a number; 6: out of range.
  const std::pair<const char*, int> failures[] = {
      {"", 13},    {" ", 13}, {"abc", 13},       {"1a", 13},         {"1e3", 13},
      {"--1", 13}, {".", 13}, {"2147483648", 6}, {"-2147483649", 6}, {"99999999999999999999", 6}};
  for (auto [text, number] : failures) {
    try {
      ParseLong(text);
      ADD_FAILURE() << text;
    } catch (const Failure& f) {
      EXPECT_EQ(f.number(), number) << text;
    }
  }
  EXPECT_EQ(ParseInteger("32767"), 32767);
  EXPECT_THROW(ParseInteger("32768"), Failure);
}

TEST(ErrorText, LinesHaveTheirTwoForms) {
  std::string errors;
  SetError(errors, "x");
  SetError(errors, "");  // an empty message adds nothing
  AppendFailure(errors, 13, "Type mismatch");
  // "YYYY-MM-DD HH:MM:SS - [Ptolix] x\r\n"
  ASSERT_EQ(errors.size(), 19 + 15 + 19 + 23u);
  EXPECT_EQ(errors.substr(19, 14), " - [Ptolix] x\r");
  EXPECT_EQ(test::ErrorLines(errors),
            (std::vector<std::string>{"[Ptolix] x", "[13] Type mismatch"}));
  DateTime stamp;
  EXPECT_TRUE(DateTime::Parse(errors.substr(0, 19), &stamp));
}

TEST(VariantText, Conversions) {
  EXPECT_EQ(Variant().ToText(), "");
  EXPECT_EQ(Variant(true).ToText(), "True");
  EXPECT_EQ(Variant(int16_t{-5}).ToText(), "-5");
  EXPECT_EQ(Variant(2.5).ToLong(), 2);
  EXPECT_EQ(Variant(3.5).ToLong(), 4);
  EXPECT_EQ(Variant("12").ToLong(), 12);
  EXPECT_THROW(Variant::Null().ToText(), Failure);
  EXPECT_THROW(Variant(int64_t{1} << 40).ToLong(), Failure);
}

}  // namespace
}  // namespace ptolix
