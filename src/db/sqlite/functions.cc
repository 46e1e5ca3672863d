// The helper functions the library's SQL uses beyond SQLite's own
// (getdate, len, right, and match for searches that ignore letter case),
// registered on each connection.

#include <locale.h>
#include <sqlite3.h>
#include <wctype.h>

#include <string>
#include <vector>

#include "db/sqlite/sqlite.h"
#include "ptolix/value/variant.h"

namespace ptolix::db::sqlite {

namespace {

// Counts UTF-8 characters.
size_t CharCount(const unsigned char* s, size_t bytes) {
  size_t n = 0;
  for (size_t i = 0; i < bytes; ++i) n += (s[i] & 0xC0) != 0x80;
  return n;
}

// getdate(): the local date and time, as the database server's clock.
void GetDate(sqlite3_context* ctx, int, sqlite3_value**) {
  std::string now = DateTime::Now().ToString();
  sqlite3_result_text(ctx, now.c_str(), static_cast<int>(now.size()), SQLITE_TRANSIENT);
}

// len(x): characters of x without its trailing blanks.
void Len(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  auto text = sqlite3_value_text(argv[0]);
  size_t bytes = sqlite3_value_bytes(argv[0]);
  while (bytes > 0 && text[bytes - 1] == ' ') --bytes;
  sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(CharCount(text, bytes)));
}

// right(x, n): the last n characters of x.
void Right(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    return sqlite3_result_null(ctx);
  }
  sqlite3_int64 n = sqlite3_value_int64(argv[1]);
  if (n < 0)
    return sqlite3_result_error(ctx, "Invalid length parameter passed to the right function.", -1);
  auto text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  size_t bytes = sqlite3_value_bytes(argv[0]);
  size_t start = bytes;
  for (sqlite3_int64 taken = 0; start > 0 && taken < n;) {
    --start;
    if ((static_cast<unsigned char>(text[start]) & 0xC0) != 0x80) ++taken;
  }
  sqlite3_result_text(ctx, text + start, static_cast<int>(bytes - start), SQLITE_TRANSIENT);
}

}  // namespace

// Letter case for searches: each character's lower-case form from the
// C.UTF-8 locale's tables, which cover all of Unicode (accented Latin,
// Greek, Cyrillic, full-width Latin), not only ASCII.
char32_t FoldLetter(char32_t c) {
  static const locale_t locale =
      newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
  if (!locale || c > 0x10FFFF) return c;
  return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), locale));
}

// SQLite's own reading of text, the one its like and its full-text index
// use: a lead byte takes every continuation byte after it, and what decodes
// to no character (an overlong form, a surrogate, U+FFFE, U+FFFF) reads as
// U+FFFD; a lone continuation byte stands for itself. The text ends at its
// first NUL.
void DecodeText(const unsigned char* s, size_t n, std::u32string& out) {
  out.clear();
  for (size_t i = 0; i < n && s[i] != 0;) {
    char32_t c = s[i++];
    if (c >= 0xC0) {
      c = c < 0xE0   ? c & 0x1F
          : c < 0xF0 ? c & 0x0F
          : c < 0xF8 ? c & 0x07
          : c < 0xFC ? c & 0x03
          : c < 0xFE ? c & 0x01
                     : 0;
      while (i < n && (s[i] & 0xC0) == 0x80) c = (c << 6) + (s[i++] & 0x3F);
      if (c < 0x80 || (c & 0xFFFFF800) == 0xD800 || (c & 0xFFFFFFFE) == 0xFFFE) c = 0xFFFD;
    }
    out.push_back(c);
  }
}

namespace {

// Decodes `s` as DecodeText does, each character folded, into `out`.
void FoldInto(const unsigned char* s, size_t n, std::u32string& out) {
  DecodeText(s, n, out);
  for (char32_t& c : out) c = FoldLetter(c);
}

// A like pattern read once per statement: "%" any run, "_" any one
// character, `escape` (when not 0) makes the next pattern character literal.
struct Pattern {
  struct Part {
    enum { kChar, kOne, kAny } kind;
    char32_t c;
  };
  char32_t escape = 0;
  std::vector<Part> parts;

  Pattern(const std::u32string& pattern, char32_t esc) : escape(esc) {
    for (size_t i = 0; i < pattern.size(); ++i) {
      char32_t c = pattern[i];
      if (escape && c == escape && i + 1 < pattern.size()) {
        parts.push_back({Part::kChar, pattern[++i]});
      } else if (c == U'%') {
        if (parts.empty() || parts.back().kind != Part::kAny) parts.push_back({Part::kAny, 0});
      } else if (c == U'_') {
        parts.push_back({Part::kOne, 0});
      } else {
        parts.push_back({Part::kChar, c});
      }
    }
  }

  // Greedy with one backtracking point, which is exact for these two
  // wildcards.
  bool Matches(const std::u32string& text) const {
    size_t t = 0, p = 0, star = std::string::npos, resume = 0;
    while (t < text.size()) {
      if (p < parts.size() && parts[p].kind == Part::kAny) {
        star = p++;
        resume = t;
      } else if (p < parts.size() && (parts[p].kind == Part::kOne || parts[p].c == text[t])) {
        ++p;
        ++t;
      } else if (star != std::string::npos) {
        p = star + 1;
        t = ++resume;
      } else {
        return false;
      }
    }
    while (p < parts.size() && parts[p].kind == Part::kAny) ++p;
    return p == parts.size();
  }
};

// match(pattern, x [, escape]): the function behind "x match pattern
// [escape e]", which the rewriter puts in place of "like" for title and
// content searches; letter case ignored for every script. The pattern is
// read once per statement and kept with it.
void MatchIgnoringCase(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  }
  thread_local std::u32string folded;
  auto fold = [&](int i) -> const std::u32string& {
    FoldInto(sqlite3_value_text(argv[i]), static_cast<size_t>(sqlite3_value_bytes(argv[i])),
             folded);
    return folded;
  };
  char32_t escape = 0;
  if (argc == 3) {
    if (fold(2).size() != 1)
      return sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
    escape = folded[0];
  }
  auto* pattern = static_cast<Pattern*>(sqlite3_get_auxdata(ctx, 0));
  if (!pattern || pattern->escape != escape) {
    sqlite3_set_auxdata(ctx, 0, new Pattern(fold(0), escape),
                        [](void* p) { delete static_cast<Pattern*>(p); });
    pattern = static_cast<Pattern*>(sqlite3_get_auxdata(ctx, 0));
    if (!pattern) return sqlite3_result_error_nomem(ctx);
  }
  sqlite3_result_int(ctx, pattern->Matches(fold(1)) ? 1 : 0);
}

}  // namespace

void RegisterFunctions(sqlite3* raw) {
  sqlite3_create_function_v2(raw, "getdate", 0, SQLITE_UTF8, nullptr, GetDate, nullptr, nullptr,
                             nullptr);
  sqlite3_create_function_v2(raw, "len", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, Len,
                             nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(raw, "ptlx_right", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                             Right, nullptr, nullptr, nullptr);
  for (int args : {2, 3}) {
    sqlite3_create_function_v2(raw, "match", args,
                               SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                               MatchIgnoringCase, nullptr, nullptr, nullptr);
  }
}

}  // namespace ptolix::db::sqlite
