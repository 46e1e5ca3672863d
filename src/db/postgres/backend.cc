// PostgreSQL backend: not built into this release yet.

#include "ptolix/db/backend.h"
#include "ptolix/db/error.h"

namespace ptolix::db {

std::unique_ptr<Backend> OpenPostgres(const std::string& uri) {
  throw Error("PostgreSQL connections are not supported by this build", uri);
}

}  // namespace ptolix::db
