#include "value/order_code.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "ptolix/value/errors.h"
#include "ptolix/value/text_case.h"
#include "value/failure.h"

namespace ptolix {

namespace {

// The largest tail of a whole 8-character segment.
constexpr uint64_t kSegmentMax = 0xFFFFFFFFull;
constexpr size_t kSegment = 8;

}  // namespace

std::string MakeOrderCode(int64_t value, int width) {
  int w = width > 8 ? 8 : width;
  double d = std::pow(16.0, w - 1) - 1 - static_cast<double>(value);
  auto n = static_cast<int64_t>(d);
  std::string hex;
  if (n >= 0) {
    hex = fmt::format("{:X}", n);
  } else {
    hex = fmt::format("{:08X}", static_cast<uint32_t>(static_cast<int32_t>(n)));
  }
  return hex + "F";
}

std::string PaddedOrderCode(int64_t value, int width) {
  std::string code = MakeOrderCode(value, width);
  if (static_cast<int>(code.size()) > width) {
    throw Overflow("identifier " + std::to_string(value) + " does not fit a " +
                   std::to_string(width) + "-character order code segment");
  }
  return std::string(width - code.size(), '0') + code;
}

uint64_t OrderCodeValue(std::string_view digits) {
  uint64_t v = 0;
  for (char c : digits) {
    int d = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
            : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                   : -1;
    if (d < 0) throw InvalidCall("order code '" + std::string(digits) + "' is not hexadecimal");
    v = v * 16 + static_cast<uint64_t>(d);
  }
  return v;
}

std::string OrderCodeDigits(uint64_t value, size_t width) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[value % 16]);
    value /= 16;
  } while (value > 0);
  if (out.size() < width) out.insert(0, width - out.size(), '0');
  return out;
}

int32_t DifferingTailLength(std::string_view first, std::string_view second) {
  for (size_t i = 0; i < first.size(); ++i) {
    if (i >= second.size() || FoldCase(first[i]) != FoldCase(second[i])) {
      return static_cast<int32_t>(first.size() - i);
    }
  }
  return 0;
}

std::string MovedCode(const std::string& code, const std::string& from, const std::string& to) {
  return to + code.substr(from.size());
}

std::string CodeJustBefore(const std::string& target) {
  uint64_t digit = OrderCodeValue(std::string_view(target).substr(target.size() - 1));
  return target.substr(0, target.size() - 1) + fmt::format("{:X}", digit / 2);
}

std::map<std::string, std::string> SpreadSegments(const std::vector<std::string>& segments) {
  std::map<std::string, std::string> spread;
  for (const std::string& s : segments) spread[s];
  const uint64_t step = 0x10000000ULL / (spread.size() + 1);
  uint64_t rank = 0;
  for (auto& [old_segment, new_segment] : spread) {
    new_segment = fmt::format("{:08X}", ((++rank) * step) * 16 + 15);
  }
  return spread;
}

std::vector<uint64_t> OrderCodeGap::Candidates() const {
  constexpr uint64_t kTries = 64;
  std::vector<uint64_t> tails;
  for (uint64_t d = 0; d < kTries; ++d) {
    if (value + d <= hi) tails.push_back(value + d);
    if (d > 0 && value >= lo + d) tails.push_back(value - d);
    if (value + d >= hi && value < lo + d) break;  // the whole gap is listed
  }
  return tails;
}

std::optional<OrderCodeGap> GapBeside(const std::string& near, const std::string* far, bool up) {
  size_t len = near.size();
  if (far) {
    size_t k = static_cast<size_t>(DifferingTailLength(near, *far));
    if (k == 0 || k > kSegment || far->size() != len) return std::nullopt;
    uint64_t a = OrderCodeValue(std::string_view(near).substr(len - k));
    uint64_t b = OrderCodeValue(std::string_view(*far).substr(len - k));
    uint64_t low = std::min(a, b), high = std::max(a, b);
    if (high - low < 2) return std::nullopt;  // the gap is used up
    return OrderCodeGap{near.substr(0, len - k), k, (a + b) / 2, low + 1, high - 1};
  }
  std::string_view segment = std::string_view(near).substr(len - kSegment);
  size_t k = static_cast<size_t>(DifferingTailLength(segment, "FFFFFFFF"));
  uint64_t tail = OrderCodeValue(std::string_view(near).substr(len - k));
  uint64_t limit = k >= 16 ? UINT64_MAX : (uint64_t{1} << (4 * k));
  if (up && tail >= 8) return OrderCodeGap{near.substr(0, len - k), k, tail - 8, 0, tail - 1};
  if (!up && tail + 8 < limit)
    return OrderCodeGap{near.substr(0, len - k), k, tail + 8, tail + 1, limit - 1};
  uint64_t whole = OrderCodeValue(segment);
  std::string head = near.substr(0, len - kSegment);
  if (up && whole >= 8) return OrderCodeGap{head, kSegment, whole - 8, 0, whole - 1};
  if (!up && whole + 8 <= kSegmentMax)
    return OrderCodeGap{head, kSegment, whole + 8, whole + 1, kSegmentMax};
  return std::nullopt;
}

std::string LevelSpread::Code(size_t index, uint64_t bump) const {
  return prefix + OrderCodeDigits(first + index * step + bump, kSegment);
}

LevelSpread SpreadLevel(const std::string& prefix, const std::vector<std::string>& codes) {
  uint64_t n = codes.size();
  uint64_t first = OrderCodeValue(std::string_view(codes.front()).substr(prefix.size()));
  uint64_t last = OrderCodeValue(std::string_view(codes.back()).substr(prefix.size()));
  uint64_t margin = 16 * (n + 1);
  uint64_t lo = first > margin ? first - margin : 0;
  uint64_t hi = std::min(kSegmentMax, last + margin);
  if ((hi - lo) / (n + 1) < 16) lo = 0, hi = kSegmentMax;
  uint64_t step = (hi - lo) / (n + 1);
  return LevelSpread{prefix, lo + step, step};
}

std::string TemporaryCode(const std::string& prefix, size_t index) {
  std::string digits = std::to_string(index);
  return prefix + "X" + std::string(kSegment - 1 - digits.size(), '0') + digits;
}

std::optional<std::string> FreeCodeBefore(const std::string& prefix, std::string_view first,
                                          const std::function<bool(const std::string&)>& in_use) {
  uint64_t v = OrderCodeValue(first.substr(first.size() - kInfoCodeWidth));
  for (uint64_t step = 8; step < 8 + 4096 && step <= v; ++step) {
    uint64_t candidate = v - step;
    if ((candidate & 0xF) == 0xF) continue;
    std::string code = prefix + OrderCodeDigits(candidate, kInfoCodeWidth);
    if (!in_use(code)) return code;
  }
  return std::nullopt;
}

std::string WebSiteOrderCode(int64_t website_id) {
  // The largest identifier whose 4-character segment still has 4 characters.
  constexpr int64_t kLastFourCharacterSite = 3839;
  if (website_id <= kLastFourCharacterSite) return MakeOrderCode(website_id, kWebSiteCodeWidth);
  // "0" sorts before the "1".."F" that start every 4-character code.
  return "0" + PaddedOrderCode(website_id, 8);
}

}  // namespace ptolix
