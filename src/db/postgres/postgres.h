#pragma once

#include <libpq-fe.h>

#include <memory>
#include <string>
#include <vector>

#include "db/ddl.h"
#include "db/engine.h"
#include "db/rewrite_passes.h"
#include "ptolix/db/connection.h"
#include "ptolix/value/variant.h"

// What the PostgreSQL backend is made of besides the backend itself.
namespace ptolix::db::postgres {

// Field `col` of row `row`, of the built-in type `type` (values.cc).
Variant ReadValue(const PGresult* res, int row, int col, Oid type);

// The statements that create the helper functions (functions.cc).
std::vector<std::string> FunctionStatements();

// The rewrite passes, in the order they run (rewrite.cc).
const std::vector<Pass>& RewritePasses();

// How the engine declares tables (ddl.cc).
const Ddl& EngineDdl();

// A backend on the database `uri` names, giving result columns the
// spelling of `catalog`'s columns (backend.cc).
std::unique_ptr<Backend> OpenBackend(const std::string& uri, const Catalog& catalog);

// For an update's statement trigger: returns from it when no row changed
// in `columns` (a select list of both transition tables), before the
// statements that would find nothing to do.
inline std::string ReturnUnlessChanged(const std::string& columns) {
  return "if not exists (select " + columns + " from ptlx_old except select " + columns +
         " from ptlx_new) and not exists (select " + columns + " from ptlx_new except select " +
         columns + " from ptlx_old) then return null; end if; ";
}

// The kept counts' tables and triggers (kept_counts.cc).
std::vector<std::string> KeptCountStatements();
std::string KeptCountsFreeze();
std::string KeptCountsMark(const std::string& columns);
std::string KeptCountsRedrawn();

// The object that answers for PostgreSQL (engine.cc).
const Engine& TheEngine();

// Substring indexes: pg_trgm GIN indexes on the lowered columns, in a
// table of the texts of their own where the index has a cluster
// (search_index.cc), with marks of the rows they index by cluster value, as
// Engine::SubstringIndexStatements, SubstringCandidates and SubstringCount
// describe them.
std::vector<std::string> SubstringIndexStatements(const SubstringIndexDef& index);
std::string SubstringCandidates(const SubstringIndexDef& index, const SubstringSearch& search);
SubstringTally SubstringCount(const SubstringIndexDef& index, const SubstringSearch& search);

}  // namespace ptolix::db::postgres
