#pragma once

// Order codes put the rows of each tree in display order, one hexadecimal
// segment per tree level; these are the segments' widths.
namespace ptolix {

inline constexpr int kRoleCodeWidth = 4;
inline constexpr int kColumnCodeWidth = 8;
inline constexpr int kInfoCodeWidth = 8;
inline constexpr int kWebSiteCodeWidth = 4;
inline constexpr int kLinkCodeWidth = 6;

}  // namespace ptolix
