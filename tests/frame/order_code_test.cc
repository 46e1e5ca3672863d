#include "frame/order_code.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "ptolix/frame/errors.h"

namespace ptolix {
namespace {

TEST(OrderCode, SegmentsOfTheTable) {
  struct Case {
    int64_t value;
    int width;
    const char* code;
    const char* padded;  // nullptr: padding fails
  } cases[] = {
      {0, 4, "FFFF", "FFFF"},         {1, 4, "FFEF", "FFEF"},
      {2, 4, "FFDF", "FFDF"},         {16, 4, "FEFF", "FEFF"},
      {3839, 4, "100F", "100F"},      {3840, 4, "FFF", "0FFF"},
      {4095, 4, "0F", "000F"},        {4096, 4, "FFFFFFFFF", nullptr},
      {1, 8, "FFFFFFEF", "FFFFFFEF"}, {32767, 8, "FFF8000F", "FFF8000F"},
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
  EXPECT_EQ(MakeOrderCode(1, 6), "FFFFEF");
  // A role 5 under root role 1.
  EXPECT_EQ(PaddedOrderCode(1, kRoleCodeWidth) + PaddedOrderCode(5, kRoleCodeWidth), "FFEFFFAF");
}

TEST(OrderCode, WideIdentifiersStillOrderNewestFirst) {
  // Column and item segments hold identifiers beyond the old 16-bit range.
  std::vector<std::string> codes;
  for (int64_t id : {1, 2, 32767, 32768, 100000, 268435455})
    codes.push_back(PaddedOrderCode(id, 8));
  for (const auto& c : codes) EXPECT_EQ(c.size(), 8u);
  EXPECT_TRUE(std::is_sorted(codes.rbegin(), codes.rend()));
  EXPECT_EQ(codes.back(), "0000000F");
  EXPECT_THROW(PaddedOrderCode(268435456, 8), Failure);
}

}  // namespace
}  // namespace ptolix
