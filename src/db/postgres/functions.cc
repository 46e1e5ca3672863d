// The helper functions the library's SQL uses beyond PostgreSQL's own,
// created with the schema (the engine's HelperFunctionStatements).

#include <iterator>
#include <string>
#include <vector>

#include "db/postgres/postgres.h"

namespace ptolix::db::postgres {

namespace {

// PostgreSQL lacks SQL Server's getdate() and len(); the library's SQL uses
// both.
const char* kFunctions[] = {
    "create or replace function getdate() returns timestamp(0) language sql stable as "
    "$$ select localtimestamp(0) $$",
    "create or replace function len(text) returns integer language sql immutable as "
    "$$ select length(rtrim($1, ' ')) $$",
    // A row inserted with its own identity moves the identity past it, as on
    // SQL Server and SQLite, so later rows never collide with it.
    "create or replace function ptlx_follow_identity() returns trigger language plpgsql as $$\n"
    "declare\n"
    "  seq text := pg_get_serial_sequence(quote_ident(TG_TABLE_SCHEMA) || '.' || "
    "quote_ident(TG_TABLE_NAME), "
    "TG_ARGV[0]);\n"
    "  top bigint;\n"
    "begin\n"
    "  execute format('select max(%I) from ptlx_added', TG_ARGV[0]) into top;\n"
    "  if top > coalesce(pg_sequence_last_value(seq::regclass), 0) then\n"
    "    perform setval(seq, top);\n"
    "  end if;\n"
    "  return null;\n"
    "end $$",
};

}  // namespace

std::vector<std::string> FunctionStatements() {
  return {std::begin(kFunctions), std::end(kFunctions)};
}

}  // namespace ptolix::db::postgres
