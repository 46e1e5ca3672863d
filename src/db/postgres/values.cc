// PostgreSQL values (text format) to Variant.

#include "db/values.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "db/postgres/postgres.h"

namespace ptolix::db::postgres {

namespace {

// Type identifiers of the built-in types (pg_type.oid, fixed across versions).
constexpr Oid kBoolOid = 16;
constexpr Oid kInt8Oid = 20;
constexpr Oid kInt2Oid = 21;
constexpr Oid kInt4Oid = 23;
constexpr Oid kOidOid = 26;
constexpr Oid kFloat4Oid = 700;
constexpr Oid kFloat8Oid = 701;
constexpr Oid kNumericOid = 1700;
constexpr Oid kDateOid = 1082;
constexpr Oid kTimestampOid = 1114;
constexpr Oid kTimestampTzOid = 1184;

}  // namespace

Variant ReadValue(const PGresult* res, int row, int col, Oid type) {
  if (PQgetisnull(res, row, col)) return Variant::Null();
  const char* text = PQgetvalue(res, row, col);
  int len = PQgetlength(res, row, col);
  switch (type) {
    case kInt2Oid:
    case kInt4Oid:
    case kInt8Oid:
    case kOidOid: {
      int64_t v = 0;
      std::from_chars(text, text + len, v);
      return NarrowInteger(v);
    }
    case kFloat4Oid:
    case kFloat8Oid:
    case kNumericOid:
      return Variant(std::strtod(text, nullptr));
    case kBoolOid:
      return Variant(text[0] == 't');
    case kDateOid:
    case kTimestampOid:
    case kTimestampTzOid: {
      std::string_view s(text, len);
      // A zone suffix ("+08", "-05:30") after the time of day is dropped.
      if (type == kTimestampTzOid && s.size() > 19) {
        size_t zone = s.find_first_of("+-", 19);
        if (zone != std::string_view::npos) s = s.substr(0, zone);
      }
      // infinity, BC dates: as the server printed them
      return DateOrText(s, std::string_view(text, len));
    }
    default:
      return Variant(std::string(text, len));
  }
}

}  // namespace ptolix::db::postgres
