#include "ptolix/value/variant.h"

#include <fmt/format.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "ptolix/value/errors.h"
#include "ptolix/value/result_array.h"
#include "value/failure.h"
#include "value/sql_text.h"

namespace ptolix {

namespace {

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Reads 1..max_digits digits at text[*pos]; false when there are none.
bool ReadNumber(std::string_view text, size_t* pos, int max_digits, int* out) {
  int value = 0, digits = 0;
  while (*pos < text.size() && digits < max_digits && text[*pos] >= '0' && text[*pos] <= '9') {
    value = value * 10 + (text[*pos] - '0');
    ++*pos;
    ++digits;
  }
  *out = value;
  return digits > 0;
}

}  // namespace

std::string DateTime::ToString() const {
  return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", year, month, day, hour, minute, second);
}

bool DateTime::Parse(std::string_view text, DateTime* out) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  DateTime d;
  d.hour = d.minute = d.second = 0;
  size_t pos = 0;
  if (!ReadNumber(text, &pos, 4, &d.year) || pos != 4) return false;
  if (pos >= text.size() || (text[pos] != '-' && text[pos] != '/')) return false;
  char sep = text[pos++];
  if (!ReadNumber(text, &pos, 2, &d.month)) return false;
  if (pos >= text.size() || text[pos] != sep) return false;
  ++pos;
  if (!ReadNumber(text, &pos, 2, &d.day)) return false;
  if (pos < text.size()) {
    if (text[pos] != ' ' && text[pos] != 'T') return false;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == 'T')) ++pos;
    if (!ReadNumber(text, &pos, 2, &d.hour)) return false;
    if (pos >= text.size() || text[pos] != ':') return false;
    ++pos;
    if (!ReadNumber(text, &pos, 2, &d.minute)) return false;
    if (pos < text.size() && text[pos] == ':') {
      ++pos;
      if (!ReadNumber(text, &pos, 2, &d.second)) return false;
      // Fractions of a second, as databases may print them, are dropped.
      if (pos < text.size() && text[pos] == '.') {
        ++pos;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
      }
    }
    if (pos != text.size()) return false;
  }
  if (d.month < 1 || d.month > 12 || d.day < 1 || d.day > DaysInMonth(d.year, d.month))
    return false;
  if (d.hour > 23 || d.minute > 59 || d.second > 59) return false;
  *out = d;
  return true;
}

// The precise clock, as SQLite's 'now' reads it: time() reads a coarse
// one that lags it by up to a tick, so a row's insert time could follow a
// getdate() taken after it.
DateTime DateTime::Now() {
  std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm tm{};
  localtime_r(&t, &tm);
  return DateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

Variant::Variant(ResultArray v) : value_(std::make_shared<const ResultArray>(std::move(v))) {}
Variant::Variant(VariantList v) : value_(std::make_shared<const VariantList>(std::move(v))) {}

bool Variant::IsNumber() const {
  switch (kind()) {
    case Kind::kInteger:
    case Kind::kLong:
    case Kind::kInt64:
    case Kind::kDouble:
      return true;
    default:
      return false;
  }
}

int64_t Variant::AsInt64() const {
  switch (kind()) {
    case Kind::kInteger:
      return std::get<int16_t>(value_);
    case Kind::kLong:
      return std::get<int32_t>(value_);
    case Kind::kInt64:
      return std::get<int64_t>(value_);
    case Kind::kBoolean:
      return AsBool() ? -1 : 0;
    default:
      throw TypeMismatch("not an integer");
  }
}

double Variant::AsDouble() const {
  if (kind() == Kind::kDouble) return std::get<double>(value_);
  return static_cast<double>(AsInt64());
}

std::string Variant::ToText() const {
  switch (kind()) {
    case Kind::kEmpty:
      return "";
    case Kind::kBoolean:
      return AsBool() ? "True" : "False";
    case Kind::kInteger:
    case Kind::kLong:
    case Kind::kInt64:
      return std::to_string(AsInt64());
    case Kind::kDouble:
      return fmt::format("{}", std::get<double>(value_));
    case Kind::kString:
      return AsString();
    case Kind::kDate:
      return AsDate().ToString();
    default:
      throw TypeMismatch("value has no text");
  }
}

int32_t Variant::ToLong() const {
  switch (kind()) {
    case Kind::kEmpty:
      return 0;
    case Kind::kString:
      return ParseLong(AsString());
    case Kind::kDouble: {
      double d = std::nearbyint(std::get<double>(value_));  // ties to even
      if (!(d >= INT32_MIN && d <= INT32_MAX)) throw Overflow();
      return static_cast<int32_t>(d);
    }
    case Kind::kBoolean:
    case Kind::kInteger:
    case Kind::kLong:
    case Kind::kInt64: {
      int64_t v = AsInt64();
      if (v < INT32_MIN || v > INT32_MAX) throw Overflow();
      return static_cast<int32_t>(v);
    }
    default:
      throw TypeMismatch("value is not a number");
  }
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.kind() == Variant::Kind::kArray && b.kind() == Variant::Kind::kArray) {
    return a.AsArray() == b.AsArray();
  }
  if (a.kind() == Variant::Kind::kList && b.kind() == Variant::Kind::kList) {
    return a.AsList() == b.AsList();
  }
  return a.value_ == b.value_;
}

std::string ToDisplay(const Variant& v) {
  switch (v.kind()) {
    case Variant::Kind::kEmpty:
      return "Empty";
    case Variant::Kind::kNull:
      return "Null";
    case Variant::Kind::kArray:
      return v.AsArray().ToString();
    case Variant::Kind::kList: {
      std::string out = "(";
      for (size_t i = 0; i < v.AsList().size(); ++i) {
        if (i) out += ", ";
        out += ToDisplay(v.AsList()[i]);
      }
      return out + ")";
    }
    default:
      return v.ToText();
  }
}

}  // namespace ptolix
