// The dialect rewriter on any text, for both engines. Checks that the
// tokens give back the text they came from, that string literals pass
// through in order (in escape syntax on PostgreSQL when they hold a
// backslash), and that what paging reads from the result is sound; and
// SQLite's parameterizing of writes on the same text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "db/rewriter.h"
#include "db/sqlite/sqlite.h"
#include "schema/catalog.h"

namespace {

using ptolix::db::Dialect;
using ptolix::db::TokenKind;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "rewriter invariant broken: %s\n", what);
    std::abort();
  }
}

void CheckRewrite(std::string_view sql, const std::vector<ptolix::db::Token>& tokens,
                  Dialect dialect) {
  ptolix::db::Rewritten out =
      ptolix::db::Rewrite(sql, ptolix::db::EngineFor(dialect), *ptolix::schema::LibraryCatalog());
  Check(out.before_order_by <= out.text.size(), "order by position inside the text");
  // Literals keep their text and their order. On PostgreSQL one holding a
  // backslash comes back in escape syntax (E'...', each backslash doubled),
  // unless it was glued to a name (N'...', E'...') and so kept its form.
  size_t at = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const auto& t = tokens[i];
    if (t.kind != TokenKind::kString) continue;
    std::string expected = t.text;
    if (dialect == Dialect::kPostgres && t.text.find('\\') != std::string::npos &&
        (i == 0 || tokens[i - 1].kind != TokenKind::kName)) {
      expected = "E";
      for (char c : t.text) expected += c == '\\' ? std::string(2, c) : std::string(1, c);
    }
    size_t q = out.text.find(expected, at);
    Check(q != std::string::npos, "string literal kept in order");
    at = q + expected.size();
  }
  // Quoted names change their quotes at most.
  for (const auto& t : tokens) {
    if (t.kind != TokenKind::kQuotedName) continue;
    bool closed = t.text.size() >= 2 && t.text.back() == (t.text.front() == '[' ? ']' : '"');
    std::string_view inner =
        std::string_view(t.text).substr(1, closed ? t.text.size() - 2 : t.text.npos);
    Check(out.text.find(inner) != std::string::npos, "quoted names kept");
  }
  if (out.has_limit) {
    size_t limit = out.text.rfind(" limit ");
    Check(limit != std::string::npos, "a trailing limit");
    std::string_view count = std::string_view(out.text).substr(limit + 7);
    Check(!count.empty() && count.find_first_not_of("0123456789.") == std::string_view::npos,
          "the limit ends the text");
  }
  // Rewriting is a function of the text.
  Check(ptolix::db::Rewrite(sql, ptolix::db::EngineFor(dialect), *ptolix::schema::LibraryCatalog())
                .text == out.text,
        "same text twice");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view sql(reinterpret_cast<const char*>(data), size);
  auto tokens = ptolix::db::Tokenize(sql);
  std::string joined;
  for (const auto& t : tokens) {
    Check(!t.text.empty(), "no empty token");
    joined += t.text;
  }
  Check(joined == sql, "tokens give back the text");
  CheckRewrite(sql, tokens, Dialect::kSqlite);
  CheckRewrite(sql, tokens, Dialect::kPostgres);
  // A write's values taken out as parameters: one "?" stands for each.
  if (auto p = ptolix::db::sqlite::ParameterizeWrite(sql)) {
    size_t marks = 0;
    for (char c : p->text) marks += c == '?';
    Check(!p->values.empty() && marks >= p->values.size(), "a mark for every value");
    Check(p->text.size() <= sql.size() + 1, "the text does not grow");
  }
  return 0;
}
