#include "ptolix/db/rewriter.h"

#include <strings.h>

#include <cctype>

namespace ptolix::db {

namespace {

bool IsNameStart(unsigned char c) { return std::isalpha(c) || c == '_' || c == '@' || c == '#' || c >= 0x80; }
bool IsNameChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '@' || c == '#' || c == '$' || c >= 0x80; }

bool Is(const Token& t, const char* word) {
  return t.kind == TokenKind::kName && strcasecmp(t.text.c_str(), word) == 0;
}

// Index of the next token that is not blank, or tokens.size().
size_t NextSolid(const std::vector<Token>& tokens, size_t i) {
  while (i < tokens.size() && tokens[i].kind == TokenKind::kSpace) ++i;
  return i;
}

// Index of the previous token that is not blank, or npos.
size_t PrevSolid(const std::vector<Token>& tokens, size_t i) {
  while (i > 0) {
    --i;
    if (tokens[i].kind != TokenKind::kSpace) return i;
  }
  return std::string::npos;
}

}  // namespace

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
    } else if (std::isdigit(c) || (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(sql[i + 1])))) {
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

Rewritten Rewrite(std::string_view sql, Dialect dialect) {
  std::vector<Token> tokens = Tokenize(sql);

  // "select [distinct] top N": drop "top N" and remember where that select
  // ends (the parenthesis closing its depth, or the end of the text), where
  // "limit N" goes.
  struct Limit {
    int depth;
    std::string count;
  };
  std::vector<Limit> open_limits;                 // selects with top, innermost last
  std::vector<std::pair<size_t, std::string>> limit_at;  // token index -> " limit N" before it
  bool outer_limit = false;
  int depth = 0;
  size_t last_order_by = std::string::npos;  // token index of a top-level "order by"
  for (size_t i = 0; i < tokens.size(); ++i) {
    Token& t = tokens[i];
    if (t.kind == TokenKind::kPunct && t.text == "(") {
      ++depth;
    } else if (t.kind == TokenKind::kPunct && t.text == ")") {
      while (!open_limits.empty() && open_limits.back().depth == depth) {
        limit_at.emplace_back(i, " limit " + open_limits.back().count);
        open_limits.pop_back();
      }
      --depth;
    } else if (Is(t, "select")) {
      size_t j = NextSolid(tokens, i + 1);
      if (j < tokens.size() && Is(tokens[j], "distinct")) j = NextSolid(tokens, j + 1);
      if (j < tokens.size() && Is(tokens[j], "top")) {
        size_t k = NextSolid(tokens, j + 1);
        if (k < tokens.size() && tokens[k].kind == TokenKind::kNumber) {
          open_limits.push_back({depth, tokens[k].text});
          for (size_t m = j; m <= k; ++m) tokens[m].text.clear();
          // Drop the blank after the count too, so "top 10 x" reads "x".
          if (k + 1 < tokens.size() && tokens[k + 1].kind == TokenKind::kSpace) tokens[k + 1].text.clear();
        }
      }
    } else if (depth == 0 && Is(t, "order")) {
      size_t j = NextSolid(tokens, i + 1);
      if (j < tokens.size() && Is(tokens[j], "by")) last_order_by = i;
    } else if (t.kind == TokenKind::kPunct && t.text == "+") {
      size_t p = PrevSolid(tokens, i), q = NextSolid(tokens, i + 1);
      bool next_to_string = (p != std::string::npos && tokens[p].kind == TokenKind::kString) ||
                            (q < tokens.size() && tokens[q].kind == TokenKind::kString);
      if (next_to_string) t.text = "||";
    } else if (Is(t, "right")) {
      size_t j = NextSolid(tokens, i + 1);
      // RIGHT is a join keyword to SQLite; its function goes by another name.
      if (j < tokens.size() && tokens[j].text == "(" && dialect == Dialect::kSqlite) t.text = "ptlx_right";
    } else if (t.kind == TokenKind::kQuotedName && t.text.front() == '[') {
      t.text = "\"" + t.text.substr(1, t.text.size() - 2) + "\"";
    }
  }
  if (!open_limits.empty()) {
    outer_limit = true;
    while (!open_limits.empty()) {
      limit_at.emplace_back(tokens.size(), " limit " + open_limits.back().count);
      open_limits.pop_back();
    }
  }

  Rewritten out;
  size_t next_limit = 0;
  out.before_order_by = std::string::npos;
  for (size_t i = 0; i <= tokens.size(); ++i) {
    while (next_limit < limit_at.size() && limit_at[next_limit].first == i) {
      out.text += limit_at[next_limit++].second;
    }
    if (i == tokens.size()) break;
    const Token& t = tokens[i];
    if (i == last_order_by) {
      size_t end = out.text.find_last_not_of(" \t\r\n");
      out.before_order_by = end == std::string::npos ? 0 : end + 1;
    }
    // A number glued to the word after it ("1and") reads as two tokens.
    if (t.kind == TokenKind::kName && i > 0 && tokens[i - 1].kind == TokenKind::kNumber) out.text += ' ';
    out.text += t.text;
  }
  if (out.before_order_by == std::string::npos) out.before_order_by = out.text.size();
  out.has_limit = outer_limit;
  return out;
}

}  // namespace ptolix::db
