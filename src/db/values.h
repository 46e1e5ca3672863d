#pragma once

#include <cstdint>
#include <string_view>

#include "ptolix/value/variant.h"

// Value handling both engines share.
namespace ptolix::db {

// An integer as callers see it: 32-bit when it fits, 64-bit otherwise.
Variant NarrowInteger(int64_t v);

// `date` ("YYYY-MM-DD[ HH:MM:SS]") as a date; when it is none (infinity, BC
// dates), `text`, the value as the engine gave it.
Variant DateOrText(std::string_view date, std::string_view text);

}  // namespace ptolix::db
