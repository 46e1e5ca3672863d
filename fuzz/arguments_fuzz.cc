// Number and date parsing of arguments and the registry's conversions of
// late-bound arguments. The first byte picks what the rest is:
//   'd' a double read by strtod, 'l' a 64-bit integer read by strtoll,
//   'b' a boolean, 'e' Empty, 'n' Null, 't' a date;
// any other first byte makes the whole input a string.
// Checks ParseLong against a plain reference and the conversions against
// each other.
#include <strings.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "ptolix/frame/registry.h"
#include "ptolix/value/errors.h"
#include "ptolix/value/variant.h"
#include "value/sql_text.h"

namespace {

using ptolix::Variant;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "argument invariant broken: %s\n", what);
    std::abort();
  }
}

// ParseLong's outcome: a value, or the failure number (13 or 6).
struct Outcome {
  int64_t value = 0;
  int failure = 0;
  bool operator==(const Outcome&) const = default;
};

Outcome Parsed(std::string_view text) {
  try {
    return {ptolix::ParseLong(text), 0};
  } catch (const ptolix::Failure& f) {
    return {0, f.number()};
  }
}

// Blanks around, a sign, digits with an optional fraction rounded half to
// even, within 32 bits.
Outcome ReferenceParseLong(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  bool negative = !s.empty() && s.front() == '-';
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) s.remove_prefix(1);
  size_t point = s.find('.');
  std::string_view whole = s.substr(0, point);
  std::string_view fraction = point == s.npos ? "" : s.substr(point + 1);
  if (whole.empty() && fraction.empty()) return {0, 13};
  if (whole.find_first_not_of("0123456789") != whole.npos ||
      fraction.find_first_not_of("0123456789") != fraction.npos) {
    return {0, 13};
  }
  while (whole.size() > 1 && whole.front() == '0') whole.remove_prefix(1);
  if (whole.size() > 10) return {0, 6};
  int64_t magnitude = whole.empty() ? 0 : std::stoll(std::string(whole));
  if (!fraction.empty()) {
    bool above_half = fraction[0] > '5' ||
                      (fraction[0] == '5' && fraction.find_first_not_of('0', 1) != fraction.npos);
    bool half = fraction[0] == '5' && fraction.find_first_not_of('0', 1) == fraction.npos;
    if (above_half || (half && magnitude % 2 == 1)) ++magnitude;
  }
  int64_t value = negative ? -magnitude : magnitude;
  if (value < INT32_MIN || value > INT32_MAX) return {0, 6};
  return {value, 0};
}

// A conversion's outcome: the value, or nothing for a HostError.
template <typename F>
auto Converted(F f) -> std::optional<decltype(f())> {
  try {
    return f();
  } catch (const ptolix::HostError&) {
    return std::nullopt;
  }
}

void CheckConversions(const Variant& v) {
  auto as_long = Converted([&] { return ptolix::ArgToLong(v, "p"); });
  auto as_integer = Converted([&] { return ptolix::ArgToInteger(v, "p"); });
  auto as_bool = Converted([&] { return ptolix::ArgToBool(v, "p"); });
  auto as_string = Converted([&] { return ptolix::ArgToString(v, "p"); });

  bool fits_16 = as_long && *as_long >= INT16_MIN && *as_long <= INT16_MAX;
  Check(as_integer.has_value() == fits_16, "Integer is Long within 16 bits");
  if (as_integer) Check(*as_integer == *as_long, "Integer and Long agree");
  if (v.kind() == Variant::Kind::kBoolean) {
    Check(as_bool == v.AsBool(), "a boolean stays itself");
  } else if (v.kind() == Variant::Kind::kString &&
             (strcasecmp(v.AsString().c_str(), "true") == 0 ||
              strcasecmp(v.AsString().c_str(), "false") == 0) &&
             v.AsString().find('\0') == std::string::npos) {
    Check(as_bool == (strcasecmp(v.AsString().c_str(), "true") == 0), "True and False by name");
  } else if (as_long) {
    Check(as_bool == (*as_long != 0), "a number is true when not zero");
  } else {
    Check(!as_bool, "no boolean where there is no number");
  }
  Check(as_string.has_value() == !v.IsNull(), "every value but Null has text");
  if (as_string) Check(*as_string == v.ToText(), "text as ToText writes it");

  switch (v.kind()) {
    case Variant::Kind::kString: {
      Outcome o = Parsed(v.AsString());
      Check(o == ReferenceParseLong(v.AsString()), "ParseLong as the reference");
      Check(as_long.has_value() == (o.failure == 0), "Long from text is ParseLong");
      if (as_long) Check(*as_long == o.value, "Long from text is ParseLong");
      if (o.failure == 0) {
        Check(Parsed(std::to_string(o.value)) == o, "a number reads back");
      }
      break;
    }
    case Variant::Kind::kDouble: {
      double d = std::nearbyint(v.AsDouble());
      bool fits = d >= INT32_MIN && d <= INT32_MAX;
      Check(as_long.has_value() == fits, "a double within 32 bits");
      if (as_long) Check(*as_long == static_cast<int32_t>(d), "a double rounds half to even");
      break;
    }
    case Variant::Kind::kInt64: {
      int64_t n = v.AsInt64();
      Check(as_long.has_value() == (n >= INT32_MIN && n <= INT32_MAX), "Int64 within 32 bits");
      break;
    }
    default:
      break;
  }
}

void CheckDate(std::string_view text) {
  std::optional<std::string> date;
  try {
    date = ptolix::CallerDate(text, "pDate");
  } catch (const ptolix::Failure& f) {
    Check(f.number() == 13, "a refused date is a type mismatch");
  }
  if (!date) return;
  Check(date->empty() == text.empty(), "empty only for empty text");
  if (date->empty()) return;
  Check(date->size() == 19, "YYYY-MM-DD HH:MM:SS");
  Check(ptolix::CallerDate(*date, "pDate") == *date, "a date reads back");
  ptolix::DateTime d;
  Check(ptolix::DateTime::Parse(*date, &d) && d.ToString() == *date, "Parse reads ToString");
}

void CheckBare(std::string_view text) {
  bool bare = true;
  try {
    ptolix::Bare(text, "pID");
  } catch (const ptolix::Failure&) {
    bare = false;
  }
  // What Bare lets through is spliced into SQL: only a number or nothing.
  if (bare && !text.empty()) {
    Check(text.find_first_not_of(" \t+-0123456789") == text.npos, "Bare lets only numbers through");
  }
  bool list = true;
  try {
    ptolix::BareList(text, "pIDs");
  } catch (const ptolix::Failure&) {
    list = false;
  }
  if (list) {
    Check(text.find_first_not_of(" \t+-0123456789,") == text.npos,
          "BareList lets only numbers through");
  }
  if (bare && !text.empty()) Check(list, "a bare number is a list of one");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string in(reinterpret_cast<const char*>(data), size);
  std::string rest = size > 0 ? in.substr(1) : "";
  char pick = size > 0 ? in[0] : 's';
  Variant v;
  switch (pick) {
    case 'd':
      v = Variant(std::strtod(rest.c_str(), nullptr));
      break;
    case 'l':
      v = Variant(static_cast<int64_t>(std::strtoll(rest.c_str(), nullptr, 10)));
      break;
    case 'b':
      v = Variant(!rest.empty() && rest[0] != '0');
      break;
    case 'e':
      break;
    case 'n':
      v = Variant::Null();
      break;
    case 't': {
      ptolix::DateTime d;
      if (!ptolix::DateTime::Parse(rest, &d)) return 0;
      v = Variant(d);
      break;
    }
    default:
      v = Variant(in);
      CheckDate(in);
      CheckBare(in);
      break;
  }
  CheckConversions(v);
  return 0;
}
