#pragma once

#include <cstdint>
#include <string>

namespace ptolix {

// Segment of a hierarchical order code: 16^(w-1) - 1 - value in upper-case
// hexadecimal (no leading zeros, 8-digit two's complement when negative)
// followed by "F", with w the width capped at 8. Segments fall as values
// rise, so among siblings the newest sorts first.
std::string MakeOrderCode(int64_t value, int width);

// MakeOrderCode padded with leading "0" to exactly `width` characters, for
// the padded trees (roles 4, columns and items 8). A segment wider than
// `width` (a role identifier above 4095) throws Overflow.
std::string PaddedOrderCode(int64_t value, int width);

// Segment widths of the trees.
inline constexpr int kRoleCodeWidth = 4;
inline constexpr int kColumnCodeWidth = 8;
inline constexpr int kInfoCodeWidth = 8;
inline constexpr int kWebSiteCodeWidth = 4;
inline constexpr int kLinkCodeWidth = 6;

}  // namespace ptolix
