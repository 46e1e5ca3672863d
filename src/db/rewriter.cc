#include "db/rewriter.h"

#include <strings.h>

#include <cctype>

#include "db/catalog.h"

namespace ptolix::db {

namespace {

bool IsNameStart(unsigned char c) {
  return std::isalpha(c) || c == '_' || c == '@' || c == '#' || c >= 0x80;
}
bool IsNameChar(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '@' || c == '#' || c == '$' || c >= 0x80;
}

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

bool IsTextColumn(const Token& t, const Catalog& catalog) {
  return t.kind == TokenKind::kName && catalog.IsTextColumn(t.text);
}

bool IsComparison(const Token& t) {
  return t.kind == TokenKind::kPunct &&
         (t.text == "=" || t.text == "<>" || t.text == "!=" || t.text == "<" || t.text == ">" ||
          t.text == "<=" || t.text == ">=");
}

bool IsOrderCodeColumn(const Token& t, const Catalog& catalog) {
  return t.kind == TokenKind::kName && catalog.IsOrderCodeColumn(t.text);
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

// "code like (select ...) || '%'" and "code like (select ... || '%' from ...)"
// compare with a prefix no index can serve. Beside the like goes the range
// that prefix spans, "code >= prefix and code < prefix || U+10FFFF", which an
// index on the code serves (order codes are upper-case ASCII, compared under
// the code columns' own collation: "C" on PostgreSQL, NOCASE on SQLite). The
// like stays, so the rows are the same. Returns true when the like at `i` was
// given its range.
bool AddPrefixRange(std::vector<Token>& tokens, size_t i, Dialect dialect, const Catalog& catalog) {
  size_t col = PrevSolid(tokens, i);
  if (col == std::string::npos || !IsOrderCodeColumn(tokens[col], catalog)) return false;
  size_t first = col;  // a qualified name: table.column
  if (col >= 2 && tokens[col - 1].text == "." && tokens[col - 2].kind == TokenKind::kName)
    first = col - 2;
  size_t open = NextSolid(tokens, i + 1);
  if (open >= tokens.size() || tokens[open].text != "(") return false;
  size_t sel = NextSolid(tokens, open + 1);
  if (sel >= tokens.size() || !Is(tokens[sel], "select")) return false;
  size_t close = Closing(tokens, open);
  if (close >= tokens.size()) return false;
  size_t last = close;
  bool ends_in_percent = false;
  size_t bar = NextSolid(tokens, close + 1),
         pct = bar < tokens.size() ? NextSolid(tokens, bar + 1) : bar;
  if (pct < tokens.size() && tokens[bar].text == "||" && IsPercent(tokens[pct])) {
    last = pct;
    ends_in_percent = true;
  } else {
    // The select list itself ends in || '%' before its from.
    for (size_t k = sel; k < close; ++k) {
      if (Is(tokens[k], "from")) {
        size_t p1 = PrevSolid(tokens, k), p2 = p1 == std::string::npos ? p1 : PrevSolid(tokens, p1);
        ends_in_percent =
            p2 != std::string::npos && IsPercent(tokens[p1]) && tokens[p2].text == "||";
        break;
      }
    }
  }
  if (!ends_in_percent) return false;
  std::string column, pattern;
  for (size_t k = first; k <= col; ++k) column += tokens[k].text;
  for (size_t k = open; k <= last; ++k) {
    if (tokens[k].text.empty() && tokens[k].kind != TokenKind::kSpace)
      return false;  // a dropped top N
    pattern += tokens[k].text;
  }
  bool pg = dialect == Dialect::kPostgres;
  std::string prefix =
      pg ? "left(" + pattern + ", -1)" : "substr(" + pattern + ", 1, length(" + pattern + ") - 1)";
  std::string highest = pg ? "chr(1114111)" : "char(1114111)";
  tokens[first].text = "(" + tokens[first].text;
  tokens[last].text += " and " + column + " >= " + prefix + " and " + column + " < " + prefix +
                       " || " + highest + ")";
  return true;
}

// A token that is still part of the text (a dropped "top N" is not).
bool Solid(const Token& t) { return t.kind != TokenKind::kSpace && !t.text.empty(); }

std::string Unquoted(const Token& t) {
  return t.kind == TokenKind::kQuotedName ? t.text.substr(1, t.text.size() - 2) : t.text;
}

// The items of the statement's outermost select list, each as the indexes of
// its solid tokens (empty when there is no list).
std::vector<std::vector<size_t>> OuterSelectList(const std::vector<Token>& tokens, size_t i = 0) {
  std::vector<std::vector<size_t>> items;
  i = NextSolid(tokens, i);
  if (i >= tokens.size() || !Is(tokens[i], "select")) return items;
  int depth = 0;
  items.emplace_back();
  for (++i; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (t.kind == TokenKind::kPunct && t.text == "(") ++depth;
    if (t.kind == TokenKind::kPunct && t.text == ")") --depth;
    if (depth == 0 && (Is(t, "from") || Is(t, "where") || Is(t, "order") || Is(t, "limit") ||
                       Is(t, "union") || Is(t, "group"))) {
      // "select * from (select ...) alias": the inner list names the columns.
      if (Is(t, "from") && items.size() == 1 && items[0].size() == 1 &&
          tokens[items[0][0]].text == "*") {
        size_t k = NextSolid(tokens, i + 1);
        if (k < tokens.size() && tokens[k].text == "(") return OuterSelectList(tokens, k + 1);
      }
      break;
    }
    if (depth == 0 && t.kind == TokenKind::kPunct && t.text == ",") {
      items.emplace_back();
    } else if (Solid(t) &&
               !(items.size() == 1 && items[0].empty() && (Is(t, "distinct") || Is(t, "all")))) {
      items.back().push_back(i);
    }
  }
  return items;
}

// The name of an item: its alias, its column, or its text.
std::string ItemName(const std::vector<Token>& tokens, const std::vector<size_t>& item,
                     const std::vector<size_t>& starts, const std::string& text,
                     const Catalog& catalog) {
  if (item.empty()) return "";
  const Token& last = tokens[item.back()];
  bool name_last = last.kind == TokenKind::kName || last.kind == TokenKind::kQuotedName;
  if (name_last && item.size() >= 2) {
    const Token& prev = tokens[item[item.size() - 2]];
    if (Is(prev, "as") || prev.kind == TokenKind::kName || prev.kind == TokenKind::kString ||
        prev.kind == TokenKind::kNumber || prev.kind == TokenKind::kQuotedName ||
        (prev.kind == TokenKind::kPunct && prev.text == ")")) {
      return Unquoted(last);  // an alias
    }
  }
  // A column, maybe qualified: table.column.
  bool column = name_last && item.size() % 2 == 1;
  for (size_t k = 0; k + 1 < item.size() && column; ++k) {
    const Token& t = tokens[item[k]];
    column = k % 2 == 0 ? t.kind == TokenKind::kName || t.kind == TokenKind::kQuotedName
                        : t.kind == TokenKind::kPunct && t.text == ".";
  }
  if (column) return catalog.Spelling(Unquoted(last));
  size_t begin = starts[item.front()], end = starts[item.back()] + last.text.size();
  return text.substr(begin, end - begin);
}

// The spelling a name token gives the text: a column searched without
// letter case carries its collation, and a literal in escape syntax starts
// with the name E.
std::string_view SpelledName(const Token& t) {
  if (t.kind == TokenKind::kString) return t.text.rfind("E'", 0) == 0 ? "E" : "";
  if (t.kind != TokenKind::kName) return "";
  std::string_view name = t.text;
  if (!name.empty() && name.front() == '(') name.remove_prefix(1);  // a prefix range's
  return name.substr(0, name.find(' '));
}

// The last spelling of each name written with a capital letter.
std::vector<std::string> Spellings(const std::vector<Token>& tokens) {
  std::vector<std::string> out;
  for (const Token& t : tokens) {
    std::string_view name = SpelledName(t);
    if (name.empty()) continue;
    for (size_t k = 0; k < out.size(); ++k) {
      if (out[k].size() == name.size() &&
          strncasecmp(out[k].data(), name.data(), name.size()) == 0) {
        out.erase(out.begin() + static_cast<std::ptrdiff_t>(k));
        break;
      }
    }
    for (char c : name) {
      if (std::isupper(static_cast<unsigned char>(c))) {
        out.emplace_back(name);
        break;
      }
    }
  }
  return out;
}

// What the result columns of a query are called: statements that change
// rows return none.
ResultNames NamesOf(const std::vector<Token>& tokens, const std::vector<size_t>& starts,
                    const std::string& text, const Catalog& catalog) {
  ResultNames names;
  size_t first = NextSolid(tokens, 0);
  if (first < tokens.size() &&
      (Is(tokens[first], "insert") || Is(tokens[first], "update") || Is(tokens[first], "delete")))
    return names;
  std::vector<std::vector<size_t>> items = OuterSelectList(tokens);
  bool star = false;
  for (const auto& item : items) star = star || (!item.empty() && tokens[item.back()].text == "*");
  if (!star) {
    for (const auto& item : items)
      names.items.push_back(ItemName(tokens, item, starts, text, catalog));
  }
  names.spellings = Spellings(tokens);
  return names;
}

// PostgreSQL's own rules, applied to the tokens of a statement:
// - literals holding a backslash use escape syntax (see below);
// - title and content searches ignore letter case, as on SQL Server: "like"
//   after Info_Title or Info_Content becomes "ilike" under an ICU collation
//   (the server's own locale may fold ASCII only);
// - a bare number compared with a text column is quoted (PostgreSQL refuses
//   comparing text with an integer, SQL Server converts);
// - order-code prefix searches against a sub-query get an index range.
void ForPostgres(std::vector<Token>& tokens, const Catalog& catalog) {
  // A literal holding a backslash is written in escape syntax, E'...', with
  // each backslash doubled: it then means the same text whatever the
  // session's standard_conforming_strings, so a caller who turns that off
  // cannot make a backslash end the literal early. A literal glued to a name
  // (a caller's own N'...' or E'...') keeps the form it was given in.
  for (size_t i = 0; i < tokens.size(); ++i) {
    Token& t = tokens[i];
    if (t.kind != TokenKind::kString || t.text.find('\\') == std::string::npos) continue;
    if (i > 0 && tokens[i - 1].kind == TokenKind::kName) continue;
    std::string text = "E";
    for (char c : t.text) {
      text += c;
      if (c == '\\') text += c;
    }
    t.text = std::move(text);
  }
  for (size_t i = 0; i < tokens.size(); ++i) {
    Token& t = tokens[i];
    if (Is(t, "like")) {
      size_t p = PrevSolid(tokens, i);
      if (p != std::string::npos && Is(tokens[p], "not")) p = PrevSolid(tokens, p);
      if (p != std::string::npos &&
          (Is(tokens[p], "Info_Title") || Is(tokens[p], "Info_Content"))) {
        // ilike folds letter case by the collation: an ICU one folds every
        // script, whatever the server's locale.
        tokens[p].text += " collate \"und-x-icu\"";
        t.text = "ilike";
      } else {
        AddPrefixRange(tokens, i, Dialect::kPostgres, catalog);
      }
    } else if (IsComparison(t)) {
      size_t p = PrevSolid(tokens, i), q = NextSolid(tokens, i + 1);
      if (p == std::string::npos || q >= tokens.size()) continue;
      if (IsTextColumn(tokens[p], catalog) && tokens[q].kind == TokenKind::kNumber) {
        tokens[q].text = "'" + tokens[q].text + "'";
      } else if (IsTextColumn(tokens[q], catalog) && tokens[p].kind == TokenKind::kNumber) {
        tokens[p].text = "'" + tokens[p].text + "'";
      }
    } else if (Is(t, "in")) {
      // text_column [not] in (1,2,...)
      size_t p = PrevSolid(tokens, i);
      if (p != std::string::npos && Is(tokens[p], "not")) p = PrevSolid(tokens, p);
      size_t open = NextSolid(tokens, i + 1);
      if (p == std::string::npos || !IsTextColumn(tokens[p], catalog) || open >= tokens.size() ||
          tokens[open].text != "(") {
        continue;
      }
      for (size_t k = NextSolid(tokens, open + 1); k < tokens.size();
           k = NextSolid(tokens, k + 1)) {
        if (tokens[k].kind == TokenKind::kNumber) {
          tokens[k].text = "'" + tokens[k].text + "'";
        } else if (tokens[k].kind == TokenKind::kPunct && tokens[k].text == ",") {
          continue;
        } else {
          break;  // a sub-query or the closing parenthesis
        }
      }
    }
  }
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

Rewritten Rewrite(std::string_view sql, Dialect dialect) {
  return Rewrite(sql, dialect, LibraryCatalog());
}

Rewritten Rewrite(std::string_view sql, Dialect dialect, const Catalog& catalog) {
  std::vector<Token> tokens = Tokenize(sql);

  // "select [distinct] top N": drop "top N" and remember where that select
  // ends (the parenthesis closing its depth, or the end of the text), where
  // "limit N" goes.
  struct Limit {
    int depth;
    std::string count;
  };
  std::vector<Limit> open_limits;                        // selects with top, innermost last
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
          if (k + 1 < tokens.size() && tokens[k + 1].kind == TokenKind::kSpace)
            tokens[k + 1].text.clear();
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
      if (j < tokens.size() && tokens[j].text == "(" && dialect == Dialect::kSqlite)
        t.text = "ptlx_right";
    } else if (t.kind == TokenKind::kQuotedName && t.text.front() == '[' && t.text.size() >= 2 &&
               t.text.back() == ']') {
      // An unclosed "[name" stays as it is, for the engine to refuse.
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

  if (dialect == Dialect::kPostgres) {
    ForPostgres(tokens, catalog);
  } else {
    for (size_t i = 0; i < tokens.size(); ++i) {
      if (!Is(tokens[i], "like")) continue;
      size_t p = PrevSolid(tokens, i);
      if (p != std::string::npos && Is(tokens[p], "not")) p = PrevSolid(tokens, p);
      if (p != std::string::npos &&
          (Is(tokens[p], "Info_Title") || Is(tokens[p], "Info_Content"))) {
        // SQLite's like folds ASCII only; its "match" operator calls a
        // function of ours that folds every script (same operands, same
        // escape clause). Other likes stay, so order-code prefix searches
        // keep their index.
        tokens[i].text = "match";
      } else {
        AddPrefixRange(tokens, i, dialect, catalog);
      }
    }
  }

  Rewritten out;
  size_t next_limit = 0;
  out.before_order_by = std::string::npos;
  std::vector<size_t> starts(tokens.size());  // where each token's text begins in out.text
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
    if (t.kind == TokenKind::kName && i > 0 && tokens[i - 1].kind == TokenKind::kNumber)
      out.text += ' ';
    starts[i] = out.text.size();
    out.text += t.text;
  }
  if (out.before_order_by == std::string::npos) out.before_order_by = out.text.size();
  out.has_limit = outer_limit;
  if (dialect == Dialect::kPostgres) out.names = NamesOf(tokens, starts, out.text, catalog);
  return out;
}

}  // namespace ptolix::db
