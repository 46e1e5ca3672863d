#include "frame/order_code.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "ptolix/frame/errors.h"

namespace ptolix {
namespace {

TEST(OrderCode, SegmentsAndWidths) {
  struct Case {
    int64_t value;
    int width;
    const char* code;
    const char* padded;  // nullptr: padding fails
  } cases[] = {
      {1, 4, "FFEF", "FFEF"},
      {3840, 4, "FFF", "0FFF"},
      {4095, 4, "0F", "000F"},
      {4096, 4, "FFFFFFFFF", nullptr},
      {-1, 4, "1000F", nullptr},
      {1, 6, "FFFFEF", "FFFFEF"},
      {1, 8, "FFFFFFEF", "FFFFFFEF"},
      {268435455, 8, "0F", "0000000F"},
      {268435456, 8, "FFFFFFFFF", nullptr},
      {1, 12, "FFFFFFEF", nullptr},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MakeOrderCode(c.value, c.width), c.code) << c.value << "/" << c.width;
    if (c.padded) {
      EXPECT_EQ(PaddedOrderCode(c.value, c.width), c.padded) << c.value;
    } else if (c.width <= 8) {
      EXPECT_THROW(PaddedOrderCode(c.value, c.width), Failure) << c.value;
    }
  }
  // Newer identifiers sort first, beyond the 16-bit range too.
  std::vector<std::string> codes;
  for (int64_t id : {1, 2, 32767, 32768, 100000, 268435455})
    codes.push_back(PaddedOrderCode(id, kColumnCodeWidth));
  EXPECT_TRUE(std::is_sorted(codes.rbegin(), codes.rend()));
}

TEST(OrderCode, DigitsAndTails) {
  EXPECT_EQ(OrderCodeValue("ffFF0010"), 0xFFFF0010u);
  EXPECT_EQ(OrderCodeValue(""), 0u);
  EXPECT_THROW(OrderCodeValue("00X1"), Failure);
  EXPECT_EQ(OrderCodeDigits(0xAB, 8), "000000AB");
  EXPECT_EQ(OrderCodeDigits(0, 0), "0");
  EXPECT_EQ(DifferingTailLength("FFEF0012", "ffef00AB"), 2);
  EXPECT_EQ(DifferingTailLength("FFEF", "FFEF0012"), 0);
  EXPECT_EQ(DifferingTailLength("FFEF0012", "FFEF"), 4);
  EXPECT_EQ(CodeJustBefore("FFFFFFEF"), "FFFFFFE7");
  EXPECT_EQ(CodeJustBefore("FFFFFFE1"), "FFFFFFE0");
  EXPECT_THROW(CodeJustBefore("FFFFFFEG"), Failure);  // a damaged code is refused by name
}

TEST(OrderCode, GapBesideASibling) {
  const std::string mid = "FFFFFFEF", next = "FFFFFFF3", close = "FFFFFFF0";
  struct Case {
    std::string near;
    const std::string* far;
    bool up;
    std::optional<OrderCodeGap> gap;  // head, width, value, lo, hi
  } cases[] = {
      // Between two siblings: halfway, exclusive of both.
      {mid, &next, false, OrderCodeGap{"FFFFFF", 2, 0xF1, 0xF0, 0xF2}},
      {next, &mid, true, OrderCodeGap{"FFFFFF", 2, 0xF1, 0xF0, 0xF2}},
      {mid, &close, false, std::nullopt},  // the gap is used up
      // At the front: 8 below, down to 0.
      {"AAAA0010", nullptr, true, OrderCodeGap{"", 8, 0xAAAA0008, 0, 0xAAAA000F}},
      {"00000007", nullptr, true, std::nullopt},
      // A short tail at the front borrows the whole segment.
      {"FFFFFF03", nullptr, true, OrderCodeGap{"", 8, 0xFFFFFEFB, 0, 0xFFFFFF02}},
      // At the end: the tail after the leading Fs keeps its width, up to the
      // segment's end; the parent's part stays.
      {"FFFF00FF", nullptr, false, OrderCodeGap{"FFFF", 4, 0x0107, 0x0100, 0xFFFF}},
      {"1234FFF8", nullptr, false, OrderCodeGap{"", 8, 0x12350000, 0x1234FFF9, 0xFFFFFFFF}},
      {"0000FFFFFFFFFFF7", nullptr, false, OrderCodeGap{"0000FFFFFFFFFFF", 1, 0xF, 0x8, 0xF}},
      {"FFFFFFF8", nullptr, false, std::nullopt},
  };
  for (const auto& c : cases) {
    auto gap = GapBeside(c.near, c.far, c.up);
    ASSERT_EQ(gap.has_value(), c.gap.has_value()) << c.near;
    if (!gap) continue;
    EXPECT_EQ(gap->Code(gap->value), c.gap->Code(c.gap->value)) << c.near;
    EXPECT_EQ(gap->Code(gap->lo), c.gap->Code(c.gap->lo)) << c.near;
    EXPECT_EQ(gap->Code(gap->hi), c.gap->Code(c.gap->hi)) << c.near;
  }
  // Candidates: the preferred tail, then outwards, never leaving the gap.
  EXPECT_EQ((OrderCodeGap{"", 2, 0x11, 0x10, 0x12}.Candidates()),
            (std::vector<uint64_t>{0x11, 0x12, 0x10}));
  EXPECT_EQ((OrderCodeGap{"", 8, 0, 0, 0xFFFF}.Candidates()).size(), 64u);
}

TEST(OrderCode, RespacingPlansKeepOrderAndUniqueness) {
  // Columns: every distinct segment gets one new segment, order kept.
  auto spread = SpreadSegments({"FFFFFFEF", "0000000F", "FFFFFFEF", "7FFFFFFF"});
  ASSERT_EQ(spread.size(), 3u);
  EXPECT_EQ(spread["0000000F"], "4000000F");
  EXPECT_EQ(spread["7FFFFFFF"], "8000000F");
  EXPECT_EQ(spread["FFFFFFEF"], "C000000F");
  EXPECT_EQ(SpreadSegments({"FFFFFFEF"}).at("FFFFFFEF"), "8000000F");

  // Items: crowded, sharing a code, at both ends of the range, one member.
  const std::vector<std::string> levels[] = {
      {"AB00000010", "AB00000011", "AB00000012"},
      {"AB00000010", "AB00000010"},
      {"AB00000000", "ABFFFFFFFF"},
      {"ABFFFFFFF0", "ABFFFFFFF1"},
      {"AB12345678"},
  };
  for (const auto& codes : levels) {
    LevelSpread plan = SpreadLevel("AB", codes);
    EXPECT_GE(plan.step, 16u) << codes.front();
    std::vector<std::string> planned;
    for (size_t i = 0; i < codes.size(); ++i) {
      planned.push_back(plan.Code(i));
      EXPECT_EQ(planned.back().size(), 10u);
      EXPECT_LT(plan.Code(i, plan.step - 1), plan.Code(i + 1));  // steps never pass the next
    }
    EXPECT_TRUE(std::is_sorted(planned.begin(), planned.end())) << codes.front();
    EXPECT_EQ(std::set<std::string>(planned.begin(), planned.end()).size(), planned.size());
  }
  EXPECT_EQ(SpreadLevel("AB", {"AB12345678"}).Code(0), "AB12345678");  // stays
  EXPECT_EQ(TemporaryCode("AB", 12), "ABX0000012");
}

}  // namespace
}  // namespace ptolix
