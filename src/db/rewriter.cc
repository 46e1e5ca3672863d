#include "db/rewriter.h"

#include <cctype>

#include "db/catalog.h"
#include "db/engine.h"
#include "db/rewrite_passes.h"
#include "ptolix/value/text_case.h"

namespace ptolix::db {

namespace {

bool IsNameStart(unsigned char c) {
  return std::isalpha(c) || c == '_' || c == '@' || c == '#' || c >= 0x80;
}
bool IsNameChar(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '@' || c == '#' || c == '$' || c >= 0x80;
}

bool IsPunct(const Token& t, const char* text) {
  return t.kind == TokenKind::kPunct && t.text == text;
}

// Index of the parenthesis closing the one at `open`, or tokens.size().
size_t Closing(const std::vector<Token>& tokens, size_t open) {
  int depth = 0;
  for (size_t k = open; k < tokens.size(); ++k) {
    if (tokens[k].kind != TokenKind::kPunct) continue;
    if (tokens[k].text == "(") ++depth;
    if (tokens[k].text == ")" && --depth == 0) return k;
  }
  return tokens.size();
}

bool IsPercent(const Token& t) { return t.kind == TokenKind::kString && t.text == "'%'"; }

// The index of the last token of a prefix pattern "(select ...)" closed at
// `close`: the '%' of a following "|| '%'", or `close` itself when the
// select list ends in "|| '%'" before its from; npos when neither.
size_t PatternEnd(const std::vector<Token>& tokens, size_t sel, size_t close) {
  size_t bar = NextSolid(tokens, close + 1),
         pct = bar < tokens.size() ? NextSolid(tokens, bar + 1) : bar;
  if (pct < tokens.size() && tokens[bar].text == "||" && IsPercent(tokens[pct])) return pct;
  for (size_t k = sel; k < close; ++k) {
    if (Is(tokens[k], "from")) {
      size_t p1 = PrevSolid(tokens, k), p2 = p1 == std::string::npos ? p1 : PrevSolid(tokens, p1);
      bool percent = p2 != std::string::npos && IsPercent(tokens[p1]) && tokens[p2].text == "||";
      return percent ? close : std::string::npos;
    }
  }
  return std::string::npos;
}

}  // namespace

bool Is(const Token& t, const char* word) {
  return t.kind == TokenKind::kName && SameIgnoringCase(t.text, word);
}

size_t NextSolid(const std::vector<Token>& tokens, size_t i) {
  while (i < tokens.size() && tokens[i].kind == TokenKind::kSpace) ++i;
  return i;
}

size_t PrevSolid(const std::vector<Token>& tokens, size_t i) {
  while (i > 0) {
    --i;
    if (tokens[i].kind != TokenKind::kSpace) return i;
  }
  return std::string::npos;
}

size_t SearchedColumn(const std::vector<Token>& tokens, size_t like) {
  size_t p = PrevSolid(tokens, like);
  if (p != std::string::npos && Is(tokens[p], "not")) p = PrevSolid(tokens, p);
  return p;
}

bool IsCaseFreeColumn(const Statement& s, const Token& column) {
  return column.kind == TokenKind::kName && s.catalog.IsCaseFreeColumn(column.text);
}

bool AddPrefixRange(Statement& s, size_t like, PrefixRange range, bool range_alone) {
  std::vector<Token>& tokens = s.tokens;
  size_t col = PrevSolid(tokens, like);
  if (col == std::string::npos || tokens[col].kind != TokenKind::kName ||
      !s.catalog.IsOrderCodeColumn(tokens[col].text))
    return false;
  size_t first = col;  // a qualified name: table.column
  if (col >= 2 && tokens[col - 1].text == "." && tokens[col - 2].kind == TokenKind::kName)
    first = col - 2;
  size_t open = NextSolid(tokens, like + 1);
  if (open >= tokens.size() || tokens[open].text != "(") return false;
  size_t sel = NextSolid(tokens, open + 1);
  if (sel >= tokens.size() || !Is(tokens[sel], "select")) return false;
  size_t close = Closing(tokens, open);
  if (close >= tokens.size()) return false;
  size_t last = PatternEnd(tokens, sel, close);
  if (last == std::string::npos) return false;
  // An escape character makes the prefix's text differ from what it
  // matches: no range.
  size_t after = NextSolid(tokens, last + 1);
  if (after < tokens.size() && Is(tokens[after], "escape")) return false;
  std::string column, pattern;
  for (size_t k = first; k <= col; ++k) column += tokens[k].text;
  for (size_t k = open; k <= last; ++k) {
    if (tokens[k].text.empty() && tokens[k].kind != TokenKind::kSpace)
      return false;  // a dropped top N
    pattern += tokens[k].text;
  }
  if (range_alone) {
    for (size_t k = first + 1; k <= last; ++k) tokens[k].text.clear();
    tokens[first].text = "(" + range(column, pattern) + ")";
    return true;
  }
  tokens[first].text = "(" + tokens[first].text;
  tokens[last].text += " and " + range(column, pattern) + ")";
  return true;
}

void TopToLimit(Statement& s) {
  // "select [distinct] top N": drop "top N" and remember where that select
  // ends (the parenthesis closing its depth, or the end of the text), where
  // "limit N" goes.
  std::vector<std::pair<int, std::string>> open;  // depth and count, innermost last
  std::vector<Token>& tokens = s.tokens;
  int depth = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (IsPunct(tokens[i], "(")) {
      ++depth;
    } else if (IsPunct(tokens[i], ")")) {
      for (; !open.empty() && open.back().first == depth; open.pop_back())
        s.limits.emplace_back(i, " limit " + open.back().second);
      --depth;
    } else if (Is(tokens[i], "select")) {
      size_t j = NextSolid(tokens, i + 1);
      if (j < tokens.size() && Is(tokens[j], "distinct")) j = NextSolid(tokens, j + 1);
      if (j >= tokens.size() || !Is(tokens[j], "top")) continue;
      size_t k = NextSolid(tokens, j + 1);
      if (k >= tokens.size() || tokens[k].kind != TokenKind::kNumber) continue;
      open.emplace_back(depth, tokens[k].text);
      for (size_t m = j; m <= k; ++m) tokens[m].text.clear();
      // Drop the blank after the count too, so "top 10 x" reads "x".
      if (k + 1 < tokens.size() && tokens[k + 1].kind == TokenKind::kSpace)
        tokens[k + 1].text.clear();
    }
  }
  s.out.has_limit = !open.empty();
  for (; !open.empty(); open.pop_back())
    s.limits.emplace_back(tokens.size(), " limit " + open.back().second);
}

void FindOrderBy(Statement& s) {
  int depth = 0;
  for (size_t i = 0; i < s.tokens.size(); ++i) {
    const Token& t = s.tokens[i];
    if (IsPunct(t, "(")) {
      ++depth;
    } else if (IsPunct(t, ")")) {
      --depth;
    } else if (depth == 0 && Is(t, "order")) {
      size_t j = NextSolid(s.tokens, i + 1);
      if (j < s.tokens.size() && Is(s.tokens[j], "by")) s.order_by = i;
    }
  }
}

void ConcatBesideLiteral(Statement& s) {
  std::vector<Token>& tokens = s.tokens;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (!IsPunct(tokens[i], "+")) continue;
    size_t p = PrevSolid(tokens, i), q = NextSolid(tokens, i + 1);
    if ((p != std::string::npos && tokens[p].kind == TokenKind::kString) ||
        (q < tokens.size() && tokens[q].kind == TokenKind::kString))
      tokens[i].text = "||";
  }
}

void DoubleQuoteBrackets(Statement& s) {
  for (Token& t : s.tokens) {
    // An unclosed "[name" stays as it is, for the engine to refuse.
    if (t.kind == TokenKind::kQuotedName && t.text.front() == '[' && t.text.size() >= 2 &&
        t.text.back() == ']')
      t.text = "\"" + t.text.substr(1, t.text.size() - 2) + "\"";
  }
}

void SplitGluedNumbers(Statement& s) {
  // A blank goes between a number and the word glued to it; the indexes
  // other passes noted move with their tokens.
  auto glued = [&](size_t i) {
    return i > 0 && s.tokens[i].kind == TokenKind::kName &&
           s.tokens[i - 1].kind == TokenKind::kNumber;
  };
  size_t i = 0;
  while (i < s.tokens.size() && !glued(i)) ++i;
  if (i == s.tokens.size()) return;
  std::vector<Token> tokens;
  std::vector<size_t> moved(s.tokens.size() + 1);  // old index -> new index
  for (i = 0; i < s.tokens.size(); ++i) {
    if (glued(i)) tokens.push_back({TokenKind::kSpace, " "});
    moved[i] = tokens.size();
    tokens.push_back(std::move(s.tokens[i]));
  }
  moved[s.tokens.size()] = tokens.size();
  for (auto& limit : s.limits) limit.first = moved[limit.first];
  if (s.order_by != std::string::npos) s.order_by = moved[s.order_by];
  s.tokens = std::move(tokens);
}

void Render(Statement& s) {
  Rewritten& out = s.out;
  size_t next_limit = 0;
  out.before_order_by = std::string::npos;
  s.starts.assign(s.tokens.size(), 0);
  for (size_t i = 0; i <= s.tokens.size(); ++i) {
    for (; next_limit < s.limits.size() && s.limits[next_limit].first == i; ++next_limit)
      out.text += s.limits[next_limit].second;
    if (i == s.tokens.size()) break;
    if (i == s.order_by) {
      size_t end = out.text.find_last_not_of(" \t\r\n");
      out.before_order_by = end == std::string::npos ? 0 : end + 1;
    }
    s.starts[i] = out.text.size();
    out.text += s.tokens[i].text;
  }
  if (out.before_order_by == std::string::npos) out.before_order_by = out.text.size();
}

std::vector<Token> Tokenize(std::string_view sql) {
  std::vector<Token> out;
  size_t i = 0, n = sql.size();
  while (i < n) {
    unsigned char c = sql[i];
    size_t start = i;
    if (std::isspace(c)) {
      while (i < n && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
      out.push_back({TokenKind::kSpace, std::string(sql.substr(start, i - start))});
    } else if (c == '\'') {
      ++i;
      while (i < n) {
        if (sql[i] == '\'') {
          if (i + 1 < n && sql[i + 1] == '\'') {
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        ++i;
      }
      out.push_back({TokenKind::kString, std::string(sql.substr(start, i - start))});
    } else if (c == '"' || c == '[') {
      char close = c == '"' ? '"' : ']';
      ++i;
      while (i < n && sql[i] != close) ++i;
      if (i < n) ++i;
      out.push_back({TokenKind::kQuotedName, std::string(sql.substr(start, i - start))});
    } else if (std::isdigit(c) ||
               (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(sql[i + 1])))) {
      while (i < n && std::isdigit(static_cast<unsigned char>(sql[i]))) ++i;
      if (i < n && sql[i] == '.') {
        ++i;
        while (i < n && std::isdigit(static_cast<unsigned char>(sql[i]))) ++i;
      }
      out.push_back({TokenKind::kNumber, std::string(sql.substr(start, i - start))});
    } else if (IsNameStart(c)) {
      while (i < n && IsNameChar(static_cast<unsigned char>(sql[i]))) ++i;
      out.push_back({TokenKind::kName, std::string(sql.substr(start, i - start))});
    } else {
      ++i;
      if (i < n) {
        std::string two{static_cast<char>(c), sql[i]};
        if (two == "<>" || two == "<=" || two == ">=" || two == "!=" || two == "||") ++i;
      }
      out.push_back({TokenKind::kPunct, std::string(sql.substr(start, i - start))});
    }
  }
  return out;
}

Rewritten Rewrite(std::string_view sql, const Engine& engine, const Catalog& catalog) {
  Statement s(Tokenize(sql), catalog);
  for (Pass pass : engine.RewritePasses()) pass(s);
  return std::move(s.out);
}

}  // namespace ptolix::db
