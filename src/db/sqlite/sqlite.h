#pragma once

#include <sqlite3.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "db/ddl.h"
#include "db/rewrite_passes.h"
#include "ptolix/db/connection.h"
#include "ptolix/value/variant.h"

// What the SQLite backend is made of besides the backend itself.
namespace ptolix::db::sqlite {

// Registers the helper functions the library's SQL uses (functions.cc).
void RegisterFunctions(sqlite3* db);

// The statements that create the helper functions: none, they are
// registered on each connection (functions.cc).
std::vector<std::string> FunctionStatements();

// Column `i` of the statement's current row (values.cc).
Variant ReadColumn(sqlite3_stmt* stmt, int i);

// The statement that begins a transaction (dialect.cc).
std::string BeginText();

// Takes `held` for the rest of the transaction (dialect.cc).
std::string LockText(std::initializer_list<Lock> held);

// An expression whose text stays the same between two statements outside
// a transaction only while the rows the connection sees stay the same
// (dialect.cc).
std::string ChangeToken();

// The rewrite passes, in the order they run (rewrite.cc).
const std::vector<Pass>& RewritePasses();

// How the engine declares tables (ddl.cc).
const Ddl& EngineDdl();

}  // namespace ptolix::db::sqlite
