#include "frame/order_code.h"

#include <fmt/format.h>

#include <cmath>
#include <cstdint>

#include "ptolix/frame/errors.h"

namespace ptolix {

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

}  // namespace ptolix
