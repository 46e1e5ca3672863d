#pragma once

#include <string>
#include <utility>
#include <vector>

#include "db/catalog.h"
#include "db/rewriter.h"

// The passes a statement goes through on its way to an engine's dialect,
// and the token helpers they share. Each engine lists its passes, in the
// order they run, in its own rewrite.cc; the passes every engine runs are
// written once in rewriter.cc.
namespace ptolix::db {

// A statement on its way through the passes.
struct Statement {
  Statement(std::vector<Token> t, const Catalog& c) : tokens(std::move(t)), catalog(c) {}

  std::vector<Token> tokens;
  const Catalog& catalog;
  // " limit N" to write before the token at each index (tokens.size(): at
  // the end), in order of index.
  std::vector<std::pair<size_t, std::string>> limits;
  // Index of the "order" of a top-level "order by", or npos.
  size_t order_by = std::string::npos;
  // Where each token's text begins in out.text, once rendered.
  std::vector<size_t> starts;
  Rewritten out;
};

using Pass = void (*)(Statement&);

// True when `t` is the word `word`, letter case ignored.
bool Is(const Token& t, const char* word);
// Index of the next token from `i` on that is not blank, or tokens.size().
size_t NextSolid(const std::vector<Token>& tokens, size_t i);
// Index of the previous token before `i` that is not blank, or npos.
size_t PrevSolid(const std::vector<Token>& tokens, size_t i);

// The column a "[not] like" at `like` searches: its index, or npos.
size_t SearchedColumn(const std::vector<Token>& tokens, size_t like);
// True when the token `column` names a column the catalog says is searched
// without letter case.
bool IsCaseFreeColumn(const Statement& s, const Token& column);

// "code like (select ...) || '%'" and "code like (select ... || '%' from
// ...)" compare with a prefix no index can serve. Beside the like at
// `like` goes the range that prefix spans, written by `range(column,
// pattern)`, which an index on the code serves. The like stays, so the rows
// are the same; with `range_alone` the range takes its place, for engines
// whose like has no escape character unless one is named:
// a value in the range starts with the prefix itself, which the pattern
// (the prefix, then "%") always matches, so the like would refuse no row the
// range lets through. A like with an escape clause gets no range. Returns
// true when the like was given its range.
using PrefixRange = std::string (*)(const std::string& column, const std::string& pattern);
bool AddPrefixRange(Statement& s, size_t like, PrefixRange range, bool range_alone = false);

// The passes every engine runs, in order: before the engine's own,
void TopToLimit(Statement& s);           // "select top N" gets a trailing "limit N"
void FindOrderBy(Statement& s);          // where a top-level "order by" starts
void ConcatBesideLiteral(Statement& s);  // "+" next to a string literal is "||"
void DoubleQuoteBrackets(Statement& s);  // [name] is "name"
// and after them:
void SplitGluedNumbers(Statement& s);  // "1and" reads "1 and"
void Render(Statement& s);             // the tokens and limits as out.text

}  // namespace ptolix::db
