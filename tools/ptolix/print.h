#pragma once

#include <iosfwd>
#include <string>

#include "ptolix/value/variant.h"

namespace ptolix::tool {

enum class Format { kTable, kJson, kCsv };

// Prints a call's result: arrays as a table (column widths by display
// width), JSON in the host protocol's value encoding, or CSV.
void PrintValue(std::ostream& out, const Variant& value, Format format);

}  // namespace ptolix::tool
