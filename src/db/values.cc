#include "db/values.h"

#include <string>

namespace ptolix::db {

Variant NarrowInteger(int64_t v) {
  if (v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<int32_t>(v));
  return Variant(v);
}

Variant DateOrText(std::string_view date, std::string_view text) {
  DateTime parsed;
  if (DateTime::Parse(date, &parsed)) return Variant(parsed);
  return Variant(std::string(text));
}

}  // namespace ptolix::db
