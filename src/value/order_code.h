#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ptolix/value/code_widths.h"

// Order codes: the text that puts roles, columns, items, websites and links
// in display order. A code is one hexadecimal segment per tree level, so
// sorting by code gives depth-first tree order and a code prefix selects a
// subtree. Everything here works on codes alone; the callers read the rows,
// ask for codes or a plan, and write the rows.
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

// Hexadecimal digits (either letter case) as a number; empty text is 0.
// Throws InvalidCall for any other character.
uint64_t OrderCodeValue(std::string_view digits);

// `value` in upper-case hexadecimal, padded with "0" to `width` digits.
std::string OrderCodeDigits(uint64_t value, size_t width);

// Length of the tail of `first` that starts at the first character where
// `first` and `second` differ (letter case ignored); 0 when `second` begins
// with `first`.
int32_t DifferingTailLength(std::string_view first, std::string_view second);

// `code` with its leading `from` replaced by `to`: the code a row of a moved
// subtree takes. REQUIRES: `code` begins with `from`.
std::string MovedCode(const std::string& code, const std::string& from, const std::string& to);

// Columns. The code just before `target` among its siblings: the target's
// code with its last digit halved. REQUIRES: `target` is not empty.
std::string CodeJustBefore(const std::string& target);

// Columns. New 8-character segments for a sibling group: each distinct old
// segment gets one spread evenly over the segment range and ending in "F",
// in the old segments' order. Returns old segment -> new segment.
std::map<std::string, std::string> SpreadSegments(const std::vector<std::string>& segments);

// Items. The codes an item may take beside a sibling: `head` followed by a
// `width`-digit tail from `lo` to `hi`. `value` is the preferred tail.
struct OrderCodeGap {
  std::string head;
  size_t width;
  uint64_t value, lo, hi;

  std::string Code(uint64_t tail) const { return head + OrderCodeDigits(tail, width); }
  // The tails to try, best first: `value`, then outwards on both sides, at
  // most 64 steps each way.
  std::vector<uint64_t> Candidates() const;
};

// Items. The gap beside `near` on the side away from the moving item: up to
// `far` (the next sibling beyond `near`) when there is one, else to the edge
// of the segment range (`up`: towards the front, where codes are smaller).
// Every code of the gap sorts on the right side of `near` and `far`. The
// preferred tail is halfway to `far`, or 8 beyond `near` at the edge. The new
// tail keeps the width of the tail it replaces; at the edge a tail that would
// leave that width borrows from the whole segment. Nothing when no code fits.
std::optional<OrderCodeGap> GapBeside(const std::string& near, const std::string* far, bool up);

// Items. New codes for one sibling level of n members, spread evenly and in
// order: over the level's present range widened by 16 * (n + 1) at each
// end, or over the whole segment range when that leaves fewer than 16
// between neighbours.
struct LevelSpread {
  std::string prefix;
  uint64_t first;  // tail of member 0
  uint64_t step;   // distance between neighbouring members

  // The code of member `index`, `bump` places on (bump < step keeps it
  // before the next member's).
  std::string Code(size_t index, uint64_t bump = 0) const;
};
// `codes`: the level's codes in order, each `prefix` followed by one segment.
// REQUIRES: `codes` is not empty.
LevelSpread SpreadLevel(const std::string& prefix, const std::vector<std::string>& codes);

// Items. A free code under `prefix` that sorts before `first`, a code of
// the level below `prefix`: the tails 8 to 4103 below first's last segment,
// nearest first, leaving out those ending in "F" (the ones codes made from an
// identifier end in); the first that `in_use` refuses to none, or nothing.
std::optional<std::string> FreeCodeBefore(const std::string& prefix, std::string_view first,
                                          const std::function<bool(const std::string&)>& in_use);

// Websites. MakeOrderCode(id, 4) up to 3839, then "0" and the 8-character
// segment, so that codes keep falling as identifiers rise.
std::string WebSiteOrderCode(int64_t website_id);

// A code no real code equals ("X" is not a hexadecimal digit), for member
// `index` of a level under `prefix` while the level is respaced.
std::string TemporaryCode(const std::string& prefix, size_t index);

}  // namespace ptolix
