// SQLite's own rewrite passes, and the order every pass runs in on SQLite.

#include <string>
#include <vector>

#include "db/rewrite_passes.h"
#include "db/sqlite/sqlite.h"

namespace ptolix::db::sqlite {

namespace {

// RIGHT is a join keyword to SQLite; its function goes by another name.
void RightFunction(Statement& s) {
  for (size_t i = 0; i < s.tokens.size(); ++i) {
    if (!Is(s.tokens[i], "right")) continue;
    size_t j = NextSolid(s.tokens, i + 1);
    if (j < s.tokens.size() && s.tokens[j].text == "(") s.tokens[i].text = "ptlx_right";
  }
}

// Order codes compare under NOCASE; the highest character closes the range.
std::string PrefixRange(const std::string& column, const std::string& pattern) {
  std::string prefix = "substr(" + pattern + ", 1, length(" + pattern + ") - 1)";
  return column + " >= " + prefix + " and " + column + " < " + prefix + " || char(1114111)";
}

// SQLite's like folds ASCII only; its "match" operator calls a function of
// ours that folds every script (same operands, same escape clause). Other
// likes stay, except that an order-code prefix from a sub-query becomes the
// range it spans, which the code's index serves (SQLite's like has no
// escape character of its own).
void Searches(Statement& s) {
  for (size_t i = 0; i < s.tokens.size(); ++i) {
    if (!Is(s.tokens[i], "like")) continue;
    size_t p = SearchedColumn(s.tokens, i);
    if (p != std::string::npos && IsCaseFreeColumn(s, s.tokens[p])) {
      s.tokens[i].text = "match";
    } else {
      AddPrefixRange(s, i, PrefixRange, /*range_alone=*/true);
    }
  }
}

}  // namespace

const std::vector<Pass>& RewritePasses() {
  static const std::vector<Pass> passes = {
      TopToLimit,          FindOrderBy, ConcatBesideLiteral, RightFunction,
      DoubleQuoteBrackets, Searches,    SplitGluedNumbers,   Render,
  };
  return passes;
}

}  // namespace ptolix::db::sqlite
