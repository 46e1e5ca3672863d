#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "db/backend.h"
#include "ptolix/db/connection.h"
#include "ptolix/db/dialect.h"

namespace ptolix::db {

struct Catalog;

enum class TokenKind { kSpace, kString, kQuotedName, kName, kNumber, kPunct };

struct Token {
  TokenKind kind;
  std::string text;
};

// Splits SQL Server text into tokens. A number followed directly by letters
// ("1and") gives two tokens; string literals keep their quotes.
std::vector<Token> Tokenize(std::string_view sql);

// A statement in the backend's dialect, with what paging needs to know.
struct Rewritten {
  std::string text;
  // Length of the prefix of `text` before a trailing top-level "order by"
  // (text.size() when there is none): what a count may wrap.
  size_t before_order_by = 0;
  // True when the statement ends in a top-level limit (from "top N"), so a
  // page window must wrap it rather than append to it.
  bool has_limit = false;
  // What the result columns are called, for engines that fold names.
  ResultNames names;
};

// Rewrites SQL Server text for an engine: "select top N" becomes a trailing
// "limit N" of that select, "+" next to a string literal becomes "||",
// right() becomes a function both engines know, and numbers glued to
// keywords are separated.
// The passes are `engine`'s; column knowledge comes from `catalog`.
Rewritten Rewrite(std::string_view sql, const Engine& engine, const Catalog& catalog);

// `sql` rewritten for the connection's backend.
Rewritten RewriteFor(const Connection& conn, std::string_view sql);

}  // namespace ptolix::db
