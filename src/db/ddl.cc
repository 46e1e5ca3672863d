#include "db/ddl.h"

#include "db/postgres/postgres.h"
#include "db/sqlite/sqlite.h"

namespace ptolix::db {

const Ddl& DdlOf(Dialect dialect) {
  return dialect == Dialect::kPostgres ? postgres::EngineDdl() : sqlite::EngineDdl();
}

}  // namespace ptolix::db
