// Writes with their values as parameters. SQLite compiles the triggers a
// write fires into the write's own program, each time the write is
// prepared: a change of an item's state prepared afresh took 200-400 µs, of
// which the change itself is a few. Writes that differ only in their values
// share one prepared statement once the values are taken out.

#include <cctype>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/rewriter.h"
#include "db/sqlite/sqlite.h"

namespace ptolix::db::sqlite {

namespace {

bool NameIs(const Token& t, std::string_view word) {
  if (t.kind != TokenKind::kName || t.text.size() != word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(t.text[i])) != word[i]) return false;
  }
  return true;
}

// A token that ends the attempt: a parameter of the statement's own, a
// comment, a backquoted name, or a quote that never closes.
bool Unsafe(const Token& t, const Token* next) {
  if (t.kind == TokenKind::kString) return t.text.size() < 2 || t.text.back() != '\'';
  if (t.kind == TokenKind::kName) return t.text[0] == '@' || t.text[0] == '#';
  if (t.kind != TokenKind::kPunct) return false;
  const bool comment =
      next && next->kind == TokenKind::kPunct &&
      ((t.text == "-" && next->text == "-") || (t.text == "/" && next->text == "*"));
  return comment || t.text == "?" || t.text == ":" || t.text == "$" || t.text == "`";
}

}  // namespace

std::optional<Parameterized> ParameterizeWrite(std::string_view sql) {
  const std::vector<Token> tokens = Tokenize(sql);
  size_t first = tokens.empty() || tokens[0].kind != TokenKind::kSpace ? 0 : 1;
  if (first >= tokens.size() ||
      !(NameIs(tokens[first], "insert") || NameIs(tokens[first], "update") ||
        NameIs(tokens[first], "delete") || NameIs(tokens[first], "replace"))) {
    return std::nullopt;
  }
  Parameterized out;
  out.text.reserve(sql.size());
  bool seen_by = false;  // numbers in "order by" or "group by" name columns
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    const Token* next = i + 1 < tokens.size() ? &tokens[i + 1] : nullptr;
    if (Unsafe(t, next)) return std::nullopt;
    // Glued to a name before it (x'0a' is a blob) or after it (1e3, 0x1f),
    // a literal stays as written.
    const bool after_name = i > 0 && tokens[i - 1].kind == TokenKind::kName;
    seen_by = seen_by || NameIs(t, "by");
    if (t.kind == TokenKind::kString && !after_name) {
      std::string value;
      for (size_t j = 1; j + 1 < t.text.size(); ++j) {
        value += t.text[j];
        if (t.text[j] == '\'') ++j;
      }
      out.values.emplace_back(std::move(value));
      out.text += '?';
      continue;
    }
    // Anything but a plain integer (1.5, one too big for 64 bits) stays.
    const bool glued = after_name || (next && next->kind == TokenKind::kName);
    if (t.kind == TokenKind::kNumber && !glued && !seen_by) {
      int64_t value = 0;
      const char* end = t.text.data() + t.text.size();
      const auto [stop, failed] = std::from_chars(t.text.data(), end, value);
      if (stop == end && failed == std::errc()) {
        out.values.emplace_back(value);
        out.text += '?';
        continue;
      }
    }
    out.text += t.text;
  }
  if (out.values.empty()) return std::nullopt;
  return out;
}

}  // namespace ptolix::db::sqlite
