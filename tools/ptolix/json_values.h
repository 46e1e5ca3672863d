#pragma once

#include <nlohmann/json.hpp>

#include "ptolix/value/variant.h"

namespace ptolix::tool {

// Values of the host protocol: strings, numbers and booleans as JSON; Null
// as null; Empty as {"empty":true}; Date as {"date":"YYYY-MM-DD HH:MM:SS"};
// a result array as {"rows":[[...],...]} ({"rows":null} unallocated); a
// one-dimensional array as {"list":[...]}.
nlohmann::json ToJson(const Variant& v);
// The reverse; a JSON integer becomes Long (Int64 outside 32 bits).
// Throws HostError for a value it cannot map.
Variant FromJson(const nlohmann::json& j);

}  // namespace ptolix::tool
