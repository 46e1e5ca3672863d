#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ptolix/db/connection.h"

namespace ptolix {

// Advances the counter of (table, column, scope) and returns its new value,
// creating it at 1 on first use. The step is atomic: two connections
// numbering one scope never receive the same number. On failure (no
// connection, a scope that is not a number) appends a form-2 line to
// `errors` and returns 0.
int32_t NextEncodeValue(std::string_view table, std::string_view column, std::string_view identify,
                        db::Connection* connection, std::string& errors) noexcept;

}  // namespace ptolix
