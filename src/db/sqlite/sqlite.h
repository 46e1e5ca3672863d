#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "db/ddl.h"
#include "db/engine.h"
#include "db/rewrite_passes.h"
#include "ptolix/db/connection.h"
#include "ptolix/value/variant.h"

// What the SQLite backend is made of besides the backend itself.
namespace ptolix::db::sqlite {

// Registers the helper functions the library's SQL uses (functions.cc).
void RegisterFunctions(sqlite3* db);

// The lower-case form of `c` that searches ignoring letter case compare,
// for every script (functions.cc).
char32_t FoldLetter(char32_t c);
// The characters of the UTF-8 text `s` (`n` bytes) as SQLite reads them, up
// to its first NUL, into `out` (functions.cc).
void DecodeText(const unsigned char* s, size_t n, std::u32string& out);

// Column `i` of the statement's current row (values.cc).
Variant ReadColumn(sqlite3_stmt* stmt, int i);

// The rewrite passes, in the order they run (rewrite.cc).
const std::vector<Pass>& RewritePasses();

// How the engine declares tables (ddl.cc).
const Ddl& EngineDdl();

// Substring indexes: an FTS5 table of trigrams, the rows written since it
// was brought up to date and the triggers that note them (search_index.cc),
// as Engine::SubstringIndexStatements, SubstringCandidates, SubstringCount
// and SubstringIndexUpkeep describe them.
std::vector<std::string> SubstringIndexStatements(const SubstringIndexDef& index);
std::string SubstringCandidates(const SubstringIndexDef& index, const SubstringSearch& search);
SubstringTally SubstringCount(const SubstringIndexDef& index, const SubstringSearch& search);
SubstringUpkeep SubstringIndexUpkeep(const SubstringIndexDef& index);

// A write with its values taken out as parameters (parameters.cc).
struct Parameterized {
  std::string text;  // "?" where each value was
  std::vector<std::variant<int64_t, std::string>> values;
};
// `sql` with its quoted strings and plain integers as parameters, when it is
// an insert, update, delete or replace that has some; nullopt otherwise.
// Writes that differ only in values then share one prepared statement, and
// the triggers they fire are compiled once.
std::optional<Parameterized> ParameterizeWrite(std::string_view sql);

// A backend on the database file `path` (backend.cc).
std::unique_ptr<Backend> OpenBackend(const std::string& path);

// The kept counts' tables and triggers (kept_counts.cc).
std::vector<std::string> KeptCountStatements();

// The object that answers for SQLite (engine.cc).
const Engine& TheEngine();

}  // namespace ptolix::db::sqlite
