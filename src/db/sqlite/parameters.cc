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

#include "db/sqlite/sqlite.h"

namespace ptolix::db::sqlite {

namespace {

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// Whether `sql` starts with a word that writes rows.
bool IsWrite(std::string_view sql) {
  size_t i = 0;
  while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
  size_t j = i;
  while (j < sql.size() && IsWordChar(sql[j])) ++j;
  std::string word(sql.substr(i, j - i));
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return word == "insert" || word == "update" || word == "delete" || word == "replace";
}

// The end of the quoted text that opens at `i` with `quote`, a doubled
// quote standing for itself; npos when it never closes.
size_t QuoteEnd(std::string_view sql, size_t i, char quote) {
  for (size_t j = i + 1; j < sql.size(); ++j) {
    if (sql[j] != quote) continue;
    if (j + 1 < sql.size() && sql[j + 1] == quote) {
      ++j;
      continue;
    }
    return j + 1;
  }
  return std::string_view::npos;
}

}  // namespace

std::optional<Parameterized> ParameterizeWrite(std::string_view sql) {
  if (!IsWrite(sql)) return std::nullopt;
  Parameterized out;
  out.text.reserve(sql.size());
  bool seen_by = false;  // numbers in "order by" or "group by" name columns
  size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    const char before = i > 0 ? sql[i - 1] : ' ';
    size_t end = i + 1;
    if (c == '\'' && !IsWordChar(before)) {  // x'..' is a blob, left as written
      end = QuoteEnd(sql, i, '\'');
      if (end == std::string_view::npos) return std::nullopt;
      std::string value;
      for (size_t j = i + 1; j + 1 < end; ++j) {
        value += sql[j];
        if (sql[j] == '\'') ++j;
      }
      out.values.emplace_back(std::move(value));
      out.text += '?';
      i = end;
      continue;
    }
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
      end = c == '[' ? sql.find(']', i) : QuoteEnd(sql, i, c);
      if (end == std::string_view::npos) return std::nullopt;
      if (c == '[') ++end;
    } else if (c == '?' || c == ':' || c == '@' || (c == '$' && !IsWordChar(before)) ||
               sql.substr(i, 2) == "--" || sql.substr(i, 2) == "/*") {
      return std::nullopt;  // parameters of its own, or comments: kept as written
    } else if (std::isdigit(static_cast<unsigned char>(c)) && !IsWordChar(before) &&
               before != '.') {
      while (end < sql.size() && std::isdigit(static_cast<unsigned char>(sql[end]))) ++end;
      const bool plain = end == sql.size() || (!IsWordChar(sql[end]) && sql[end] != '.');
      int64_t value = 0;
      auto [ptr, ec] = std::from_chars(sql.data() + i, sql.data() + end, value);
      // Anything but a plain integer (1.5, 1e3, 0x1f, one too big for 64
      // bits) stays as written.
      if (plain && ec == std::errc() && ptr == sql.data() + end && !seen_by) {
        out.values.emplace_back(value);
        out.text += '?';
        i = end;
        continue;
      }
    } else if (IsWordChar(c)) {
      while (end < sql.size() && IsWordChar(sql[end])) ++end;
      std::string_view word = sql.substr(i, end - i);
      seen_by = seen_by ||
                (word.size() == 2 && std::tolower(word[0]) == 'b' && std::tolower(word[1]) == 'y');
    }
    out.text.append(sql.substr(i, end - i));
    i = end;
  }
  if (out.values.empty()) return std::nullopt;
  return out;
}

}  // namespace ptolix::db::sqlite
