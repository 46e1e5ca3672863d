#include "ptolix/frame/sql_text.h"

#include <cstdint>

#include "ptolix/frame/errors.h"

namespace ptolix {

namespace {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsSignedDigits(std::string_view s) {
  s = TrimBlanks(s);
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) s.remove_prefix(1);
  if (s.empty()) return false;
  for (char c : s) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

// What a refusal says: the argument, and its text unless that holds a NUL
// character, which an error line cannot carry.
std::string Refused(std::string_view arg_name, std::string_view text) {
  std::string d(arg_name);
  if (text.find('\0') != std::string_view::npos) return d + " holds a NUL character";
  d += " '";
  d += text;
  d += "'";
  return d;
}

void RefuseNul(std::string_view text, std::string_view arg_name) {
  if (text.find('\0') != std::string_view::npos) throw TypeMismatch(Refused(arg_name, text));
}

// True when signed digits (IsSignedDigits) fit in 32 bits.
bool FitsLong(std::string_view s) {
  s = TrimBlanks(s);
  bool negative = s.front() == '-';
  if (s.front() == '+' || negative) s.remove_prefix(1);
  int64_t magnitude = 0;
  for (char c : s) {
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > int64_t{INT32_MAX} + 1) return false;
  }
  return negative || magnitude <= INT32_MAX;
}

// Checks one bare number of an argument.
void CheckBare(std::string_view item, std::string_view arg_name, std::string_view text) {
  if (!IsSignedDigits(item)) throw TypeMismatch(Refused(arg_name, text));
  if (!FitsLong(item)) throw Overflow(Refused(arg_name, text));
}

}  // namespace

std::string SqlQuote(std::string_view text, std::string_view arg_name) {
  if (text.empty()) return "null";
  RefuseNul(text, arg_name);
  std::string out;
  out.reserve(text.size() + 2);
  out += '\'';
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
  return out;
}

std::string SqlValue(std::string_view text) {
  if (text.empty()) return "null";
  return std::string(text);
}

std::string NullToEmpty(const Variant& value) {
  if (value.IsNull()) return "";
  return value.ToText();
}

std::string Bare(std::string_view text, std::string_view arg_name) {
  if (!text.empty()) CheckBare(text, arg_name, text);
  return std::string(text);
}

std::string_view BareList(std::string_view text, std::string_view arg_name) {
  if (text.empty()) return text;
  size_t start = 0;
  while (true) {
    size_t comma = text.find(',', start);
    std::string_view item =
        text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
    CheckBare(item, arg_name, text);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return text;
}

std::string CallerDate(std::string_view text, std::string_view arg_name) {
  if (text.empty()) return "";
  DateTime d;
  if (!DateTime::Parse(text, &d)) throw TypeMismatch(Refused(arg_name, text));
  return d.ToString();
}

std::string LikeLiteral(std::string_view text, std::string_view arg_name) {
  RefuseNul(text, arg_name);
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\'':
        out += "''";
        break;
      case '%':
      case '_':
      case '[':
      case '\\':
        out += '\\';
        out += c;
        break;
      default:
        out += c;
    }
  }
  return out;
}

int32_t ParseLong(std::string_view text) {
  std::string_view s = TrimBlanks(text);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  size_t point = s.find('.');
  std::string_view whole = s.substr(0, point);
  std::string_view fraction = point == s.npos ? std::string_view() : s.substr(point + 1);
  if (whole.empty() && fraction.empty()) throw TypeMismatch(Refused("number", text));
  for (char c : whole) {
    if (!IsDigit(c)) throw TypeMismatch(Refused("number", text));
  }
  for (char c : fraction) {
    if (!IsDigit(c)) throw TypeMismatch(Refused("number", text));
  }
  int64_t magnitude = 0;
  for (char c : whole) {
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > (int64_t{1} << 32)) throw Overflow();
  }
  // Round the fraction half to even.
  if (!fraction.empty()) {
    char first = fraction.front();
    bool rest_nonzero = fraction.find_first_not_of('0', 1) != fraction.npos;
    if (first > '5' || (first == '5' && (rest_nonzero || magnitude % 2 == 1))) ++magnitude;
  }
  int64_t value = negative ? -magnitude : magnitude;
  if (value < INT32_MIN || value > INT32_MAX) throw Overflow();
  return static_cast<int32_t>(value);
}

int16_t ParseInteger(std::string_view text) {
  int32_t v = ParseLong(text);
  if (v < INT16_MIN || v > INT16_MAX) throw Overflow();
  return static_cast<int16_t>(v);
}

}  // namespace ptolix
