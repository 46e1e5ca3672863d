// The engine table: the one place outside the engine folders that knows
// which engines there are.

#include "db/engine.h"
#include "db/postgres/postgres.h"
#include "db/sqlite/sqlite.h"

namespace ptolix::db {

namespace {

const Engine* const kEngines[] = {&sqlite::TheEngine(), &postgres::TheEngine()};

}  // namespace

const Engine* EngineForUrl(std::string_view url) {
  for (const Engine* engine : kEngines) {
    if (engine->Opens(url)) return engine;
  }
  return nullptr;
}

const Engine& EngineFor(Dialect dialect) {
  for (const Engine* engine : kEngines) {
    if (engine->dialect() == dialect) return *engine;
  }
  return *kEngines[0];
}

}  // namespace ptolix::db
