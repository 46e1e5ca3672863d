#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>
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

// Column `i` of the statement's current row (values.cc).
Variant ReadColumn(sqlite3_stmt* stmt, int i);

// The rewrite passes, in the order they run (rewrite.cc).
const std::vector<Pass>& RewritePasses();

// How the engine declares tables (ddl.cc).
const Ddl& EngineDdl();

// A backend on the database file `path` (backend.cc).
std::unique_ptr<Backend> OpenBackend(const std::string& path);

// The kept counts' tables and triggers (kept_counts.cc).
std::vector<std::string> KeptCountStatements();

// The object that answers for SQLite (engine.cc).
const Engine& TheEngine();

}  // namespace ptolix::db::sqlite
