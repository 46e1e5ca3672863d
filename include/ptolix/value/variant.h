#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace ptolix {

class ResultArray;
class Variant;

// A calendar date and time of day, without time zone (the database's local
// time).
struct DateTime {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;

  // "YYYY-MM-DD HH:MM:SS".
  std::string ToString() const;
  // Parses "YYYY-MM-DD", "YYYY/M/D" (either separator, one or two digits for
  // month and day) with an optional " HH:MM[:SS]", or the ISO "T" form.
  // Returns false for anything else, including impossible dates.
  static bool Parse(std::string_view text, DateTime* out);
  static DateTime Now();  // local time
  friend bool operator==(const DateTime&, const DateTime&) = default;
};

using VariantList = std::vector<Variant>;

// The automation value: what methods take and return and what result arrays
// hold. Empty is "never assigned"; Null is a database null.
class Variant {
 public:
  enum class Kind {
    kEmpty,
    kNull,
    kBoolean,
    kInteger,
    kLong,
    kInt64,
    kDouble,
    kString,
    kDate,
    kArray,
    kList
  };

  Variant() = default;
  Variant(bool v) : value_(v) {}
  Variant(int16_t v) : value_(v) {}
  Variant(int32_t v) : value_(v) {}
  Variant(int64_t v) : value_(v) {}
  Variant(double v) : value_(v) {}
  Variant(std::string v) : value_(std::move(v)) {}
  Variant(std::string_view v) : value_(std::string(v)) {}
  Variant(const char* v) : value_(std::string(v)) {}
  Variant(DateTime v) : value_(v) {}
  Variant(ResultArray v);
  Variant(VariantList v);

  static Variant Null() {
    Variant v;
    v.value_ = NullTag{};
    return v;
  }

  Kind kind() const { return static_cast<Kind>(value_.index()); }
  bool IsEmpty() const { return kind() == Kind::kEmpty; }
  bool IsNull() const { return kind() == Kind::kNull; }
  bool IsNumber() const;

  // Typed access; REQUIRES: kind() matches.
  bool AsBool() const { return std::get<bool>(value_); }
  const std::string& AsString() const { return std::get<std::string>(value_); }
  const DateTime& AsDate() const { return std::get<DateTime>(value_); }
  const ResultArray& AsArray() const {
    return *std::get<std::shared_ptr<const ResultArray>>(value_);
  }
  const VariantList& AsList() const {
    return *std::get<std::shared_ptr<const VariantList>>(value_);
  }
  int64_t AsInt64() const;  // any integer kind
  double AsDouble() const;  // any number kind

  // Text conversion: Empty is "", numbers in decimal, booleans
  // "True"/"False", dates "YYYY-MM-DD HH:MM:SS". Throws Failure 13 for Null
  // and arrays (a null has no text).
  std::string ToText() const;
  // Conversion to a 32-bit integer: numbers rounded half to even, text by
  // ParseLong. Throws Failure 13 or 6.
  int32_t ToLong() const;

  friend bool operator==(const Variant& a, const Variant& b);

 private:
  struct NullTag {
    friend bool operator==(NullTag, NullTag) { return true; }
  };
  std::variant<std::monostate, NullTag, bool, int16_t, int32_t, int64_t, double, std::string,
               DateTime, std::shared_ptr<const ResultArray>, std::shared_ptr<const VariantList>>
      value_;
};

// Renders a value for tests and the tool: strings bare, Null as "Null",
// Empty as "Empty", dates as text.
std::string ToDisplay(const Variant& v);

}  // namespace ptolix
