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

// The message of a refused argument is checked through the classes' calls.
TEST(SqlText, BareArgumentsAreCheckedBeforeTheyReachSql) {
  for (const char* ok : {"", "12", "-3", "+4", " 5 "}) EXPECT_EQ(Bare(ok, "pID"), ok) << ok;
  for (const char* bad : {"1 or 1=1", "abc", "1;drop table x", "-", "1.5", "0x10"})
    EXPECT_THROW(Bare(bad, "pID"), Failure) << bad;
  EXPECT_EQ(std::string(BareList("1,2, 3", "pIDs")) + "|" + std::string(BareList("", "pIDs")),
            "1,2, 3|");
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
  std::string parsed;
  for (const char* text : {"12", " 7 ", "-3", "+4", "2.5", "3.5", "-2.5", "2.51", "0.4", ".5",
                           "1.5", "2147483647", "-2147483648"})
    parsed += std::to_string(ParseLong(text)) + " ";
  EXPECT_EQ(parsed, "12 7 -3 4 2 4 -2 3 0 0 2 2147483647 -2147483648 ");
  // 13: not a number; 6: out of range.
  std::string numbers;
  for (const char* text : {"", " ", "abc", "1a", "1e3", "--1", ".", "2147483648", "-2147483649",
                           "99999999999999999999"}) {
    try {
      numbers += std::to_string(ParseLong(text)) + " ";
    } catch (const Failure& f) {
      numbers += std::to_string(f.number()) + " ";
    }
  }
  EXPECT_EQ(numbers, "13 13 13 13 13 13 13 6 6 6 ");
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
