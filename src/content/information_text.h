#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Text helpers of the information item methods.
namespace ptolix {

// Non-overlapping occurrences of `pattern` in `text`, letter case exact.
// An empty pattern counts 0.
int32_t CountOccurrences(std::string_view text, std::string_view pattern);

// The condition a pMode keyword adds to a list statement (" and InfState_ID
// in (4,5,6)" for "Published"); empty for "All" and unknown keywords.
std::string ModeFilter(std::string_view pMode);

}  // namespace ptolix
