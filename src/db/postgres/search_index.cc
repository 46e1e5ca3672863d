// Substring indexes on PostgreSQL: trigram GIN indexes (pg_trgm) on each
// text column lowered under the ICU collation that searches use.
//
// A search's ilike under that collation is a like of the two texts lowered
// under it, so a like of the lowered column against the lowered pattern
// finds exactly the same rows, and the index on the lowered column serves
// it whatever the database's own locale (pg_trgm folds with the database's
// ctype, which may be C).

#include <string>
#include <string_view>
#include <vector>

#include "db/postgres/postgres.h"
#include "ptolix/value/text_case.h"
#include "value/sql_text.h"

namespace ptolix::db::postgres {

namespace {

constexpr char kCollation[] = " collate \"und-x-icu\"";

// The indexed expression of `column`.
std::string Lowered(const std::string& column) { return "lower(" + column + kCollation + ")"; }

size_t Characters(std::string_view text) {
  size_t n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

}  // namespace

std::vector<std::string> SubstringIndexStatements(const SubstringIndexDef& ix) {
  // The extension goes where every schema's search finds it: public when
  // there is one. Two first inits at once may both try to create it.
  std::string body =
      "do $$\ndeclare s text;\n  made boolean;\nbegin\n"
      "  if not exists (select 1 from pg_extension where extname = 'pg_trgm') then\n"
      "    begin\n"
      "      execute format('create extension pg_trgm schema %I', coalesce((select nspname from "
      "pg_namespace where nspname = 'public'), current_schema()));\n"
      "    exception when unique_violation or duplicate_object then null;\n"
      "    end;\n"
      "  end if;\n"
      "  select extnamespace::regnamespace::text into s from pg_extension where extname = "
      "'pg_trgm';\n";
  // The planner knows how many rows a pattern matches only from statistics
  // of the lowered expression, which an index made on rows already there
  // has none of until the table is analyzed: without them it guesses a
  // fraction of a percent and reads a common word's rows through a lossy
  // bitmap.
  body += "  made := false;\n";
  for (const auto& c : ix.columns) {
    std::string name = FoldCase("ptlx_" + ix.name + "_" + c);
    body += "  if to_regclass(format('%I.%I', current_schema(), '" + name +
            "')) is null then\n    execute format('create index if not exists " + name + " on " +
            FoldCase(ix.table) + " using gin (" + Lowered(FoldCase(c)) +
            " %s.gin_trgm_ops)', s);\n    made := true;\n  end if;\n";
  }
  body += "  if made then execute 'analyze " + FoldCase(ix.table) + "'; end if;\n";
  return {body + "end $$"};
}

std::string SubstringCandidates(const SubstringIndexDef& ix,
                                const std::vector<SubstringTerm>& terms) {
  std::string out;
  for (const auto& term : terms) {
    // pg_trgm finds nothing to look up in fewer than three characters and
    // would read its whole index.
    if (Characters(term.word) < 3) continue;
    std::string pattern = "lower('%" + LikeLiteral(term.word, "pText") + "%'" + kCollation + ")";
    std::string any;
    for (const auto& c : ix.columns) {
      if (!term.column.empty() && term.column != c) continue;
      any += (any.empty() ? "" : " or ") + Lowered(c) + " like " + pattern + " escape '\\'";
    }
    if (any.empty()) continue;
    out += (out.empty() ? "(" : " and (") + any + ")";
  }
  return out;
}

}  // namespace ptolix::db::postgres
