#pragma once

#include <libpq-fe.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "db/ddl.h"
#include "db/rewrite_passes.h"
#include "ptolix/db/connection.h"
#include "ptolix/value/variant.h"

// What the PostgreSQL backend is made of besides the backend itself.
namespace ptolix::db::postgres {

// Field `col` of row `row`, of the built-in type `type` (values.cc).
Variant ReadValue(const PGresult* res, int row, int col, Oid type);

// The statements that create the helper functions (functions.cc).
std::vector<std::string> FunctionStatements();

// The statement that begins a transaction (dialect.cc).
std::string BeginText();

// Takes `held` for the rest of the transaction, appended to the statement
// that opens it (dialect.cc).
std::string LockText(std::initializer_list<Lock> held);

// An expression whose text stays the same between two statements outside
// a transaction only while the rows the connection sees stay the same
// (dialect.cc).
std::string ChangeToken();

// The rewrite passes, in the order they run (rewrite.cc).
const std::vector<Pass>& RewritePasses();

// How the engine declares tables (ddl.cc).
const Ddl& EngineDdl();

}  // namespace ptolix::db::postgres
