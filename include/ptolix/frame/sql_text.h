#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ptolix/frame/variant.h"

namespace ptolix {

// "null" for empty text, else the text between single quotes with embedded
// single quotes doubled. Text holding a NUL character throws Type mismatch
// naming `arg_name`: no engine stores it whole, and a statement cut there
// must not run.
std::string SqlQuote(std::string_view text, std::string_view arg_name = "text");
// "null" for empty text, else the text unchanged. Callers splice numbers
// through it, so check them first (Bare).
std::string SqlValue(std::string_view text);
// Empty text for a database null (and Empty), else the value as text.
std::string NullToEmpty(const Variant& value);

// Checks a bare argument that is spliced into SQL as a number: empty text,
// or blanks, an optional sign and digits. Returns the text unchanged;
// anything else throws Type mismatch naming the argument, and a number
// outside 32 bits (every identifier and flag column) throws Overflow naming
// it.
std::string Bare(std::string_view text, std::string_view arg_name);
// The same for a comma list of such numbers ("1,2, 3"); empty is allowed.
std::string_view BareList(std::string_view text, std::string_view arg_name);
// A date given by a caller, rewritten as "YYYY-MM-DD HH:MM:SS"; empty text
// stays empty; anything else throws Type mismatch naming the argument.
std::string CallerDate(std::string_view text, std::string_view arg_name);
// A search text for a like pattern: quotes doubled, and %, _ and [ escaped
// with the escape character '\' (the statement adds " escape '\'"). A NUL
// character throws as in SqlQuote.
std::string LikeLiteral(std::string_view text, std::string_view arg_name = "text");

// Number conversion of argument text: blanks around ignored,
// an optional sign, digits with an optional fraction rounded half to even.
// Anything else throws Type mismatch (13); outside 32 bits, Overflow (6).
int32_t ParseLong(std::string_view text);
// The same, but out of the 16-bit range is Overflow.
int16_t ParseInteger(std::string_view text);

}  // namespace ptolix
