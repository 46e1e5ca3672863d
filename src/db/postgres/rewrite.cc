// PostgreSQL's own rewrite passes, and the order every pass runs in on
// PostgreSQL.

#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "db/postgres/postgres.h"
#include "db/rewrite_passes.h"
#include "ptolix/value/text_case.h"

namespace ptolix::db::postgres {

namespace {

bool IsTextColumn(const Statement& s, size_t i) {
  return i < s.tokens.size() && s.tokens[i].kind == TokenKind::kName &&
         s.catalog.IsTextColumn(s.tokens[i].text);
}

bool IsComparison(const Token& t) {
  return t.kind == TokenKind::kPunct &&
         (t.text == "=" || t.text == "<>" || t.text == "!=" || t.text == "<" || t.text == ">" ||
          t.text == "<=" || t.text == ">=");
}

void Quote(Token& number) { number.text = "'" + number.text + "'"; }

// A literal holding a backslash is written in escape syntax, E'...', with
// each backslash doubled: it then means the same text whatever the
// session's standard_conforming_strings, so a caller who turns that off
// cannot make a backslash end the literal early. A literal glued to a name
// (a caller's own N'...' or E'...') keeps the form it was given in.
void EscapeBackslashLiterals(Statement& s) {
  for (size_t i = 0; i < s.tokens.size(); ++i) {
    Token& t = s.tokens[i];
    if (t.kind != TokenKind::kString || t.text.find('\\') == std::string::npos) continue;
    if (i > 0 && s.tokens[i - 1].kind == TokenKind::kName) continue;
    std::string text = "E";
    for (char c : t.text) {
      text += c;
      if (c == '\\') text += c;
    }
    t.text = std::move(text);
  }
}

// Order codes compare under "C"; the highest character closes the range.
std::string PrefixRange(const std::string& column, const std::string& pattern) {
  std::string prefix = "left(" + pattern + ", -1)";
  return column + " >= " + prefix + " and " + column + " < " + prefix + " || chr(1114111)";
}

// Title and content searches ignore letter case, as on SQL Server: their
// like becomes ilike under an ICU collation, which folds every script
// whatever the server's own locale. Order-code prefix searches against a
// sub-query get an index range.
void Searches(Statement& s) {
  for (size_t i = 0; i < s.tokens.size(); ++i) {
    if (!Is(s.tokens[i], "like")) continue;
    size_t p = SearchedColumn(s.tokens, i);
    if (p != std::string::npos && IsCaseFreeColumn(s, s.tokens[p])) {
      s.tokens[p].text += " collate \"und-x-icu\"";
      s.tokens[i].text = "ilike";
    } else {
      AddPrefixRange(s, i, PrefixRange);
    }
  }
}

// PostgreSQL refuses comparing text with an integer, SQL Server converts: a
// bare number compared with a text column is quoted.
void QuoteNumbersBesideText(Statement& s) {
  for (size_t i = 0; i < s.tokens.size(); ++i) {
    if (!IsComparison(s.tokens[i])) continue;
    size_t p = PrevSolid(s.tokens, i), q = NextSolid(s.tokens, i + 1);
    if (p == std::string::npos || q >= s.tokens.size()) continue;
    if (IsTextColumn(s, p) && s.tokens[q].kind == TokenKind::kNumber) {
      Quote(s.tokens[q]);
    } else if (IsTextColumn(s, q) && s.tokens[p].kind == TokenKind::kNumber) {
      Quote(s.tokens[p]);
    }
  }
}

// "text_column [not] in (1,2,...)": the numbers are quoted too.
void QuoteNumbersInTextLists(Statement& s) {
  std::vector<Token>& tokens = s.tokens;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (!Is(tokens[i], "in")) continue;
    size_t p = SearchedColumn(tokens, i);
    size_t open = NextSolid(tokens, i + 1);
    if (p == std::string::npos || !IsTextColumn(s, p) || open >= tokens.size() ||
        tokens[open].text != "(")
      continue;
    for (size_t k = NextSolid(tokens, open + 1); k < tokens.size(); k = NextSolid(tokens, k + 1)) {
      if (tokens[k].kind == TokenKind::kNumber) {
        Quote(tokens[k]);
      } else if (tokens[k].kind != TokenKind::kPunct || tokens[k].text != ",") {
        break;  // a sub-query or the closing parenthesis
      }
    }
  }
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
      // "select * from (select ...) alias", as paging wraps a statement:
      // the inner list names the columns.
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

// The name an item gets, as SQLite names it: its alias, its column in the
// schema's spelling, or its text.
std::string ItemName(const Statement& s, const std::vector<size_t>& item) {
  if (item.empty()) return "";
  const Token& last = s.tokens[item.back()];
  bool name_last = last.kind == TokenKind::kName || last.kind == TokenKind::kQuotedName;
  if (name_last && item.size() >= 2) {
    const Token& prev = s.tokens[item[item.size() - 2]];
    if (Is(prev, "as") || prev.kind == TokenKind::kName || prev.kind == TokenKind::kString ||
        prev.kind == TokenKind::kNumber || prev.kind == TokenKind::kQuotedName ||
        (prev.kind == TokenKind::kPunct && prev.text == ")")) {
      return Unquoted(last);  // an alias
    }
  }
  // A column, maybe qualified: table.column.
  bool column = name_last && item.size() % 2 == 1;
  for (size_t k = 0; k + 1 < item.size() && column; ++k) {
    const Token& t = s.tokens[item[k]];
    column = k % 2 == 0 ? t.kind == TokenKind::kName || t.kind == TokenKind::kQuotedName
                        : t.kind == TokenKind::kPunct && t.text == ".";
  }
  if (column) return s.catalog.Spelling(Unquoted(last));
  size_t begin = s.starts[item.front()], end = s.starts[item.back()] + last.text.size();
  return s.out.text.substr(begin, end - begin);
}

// The name a token writes into the text: a column searched without letter
// case carries its collation, a column given a prefix range its opening
// parenthesis, and a literal in escape syntax starts with the name E.
std::string_view WrittenName(const Token& t) {
  if (t.kind == TokenKind::kString) return t.text.rfind("E'", 0) == 0 ? "E" : "";
  if (t.kind != TokenKind::kName) return "";
  std::string_view name = t.text;
  if (!name.empty() && name.front() == '(') name.remove_prefix(1);
  return name.substr(0, name.find(' '));
}

// The last spelling of each name, where it has a capital letter.
std::vector<std::string> Spellings(const std::vector<Token>& tokens) {
  std::vector<std::string> out;
  for (const Token& t : tokens) {
    std::string_view name = WrittenName(t);
    if (name.empty()) continue;
    for (auto it = out.begin(); it != out.end(); ++it) {
      if (SameIgnoringCase(*it, name)) {
        out.erase(it);
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

// PostgreSQL folds unquoted result names to lower case and calls
// expressions by their function's name; callers expect the names SQLite
// gives. Statements that change rows return none.
void NameResultColumns(Statement& s) {
  size_t first = NextSolid(s.tokens, 0);
  if (first < s.tokens.size() && (Is(s.tokens[first], "insert") || Is(s.tokens[first], "update") ||
                                  Is(s.tokens[first], "delete")))
    return;
  std::vector<std::vector<size_t>> items = OuterSelectList(s.tokens);
  bool star = false;
  for (const auto& item : items)
    star = star || (!item.empty() && s.tokens[item.back()].text == "*");
  if (!star) {
    for (const auto& item : items) s.out.names.items.push_back(ItemName(s, item));
  }
  s.out.names.spellings = Spellings(s.tokens);
}

}  // namespace

const std::vector<Pass>& RewritePasses() {
  static const std::vector<Pass> passes = {
      TopToLimit,
      FindOrderBy,
      ConcatBesideLiteral,
      DoubleQuoteBrackets,
      EscapeBackslashLiterals,
      Searches,
      QuoteNumbersBesideText,
      QuoteNumbersInTextLists,
      SplitGluedNumbers,
      Render,
      NameResultColumns,
  };
  return passes;
}

}  // namespace ptolix::db::postgres
