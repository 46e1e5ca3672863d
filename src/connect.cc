// The library's top level opens connections: db runs the statements, the
// schema knows the tables they name, and each connection carries both.

#include "ptolix/connect.h"

#include "db/backend.h"
#include "schema/catalog.h"

namespace ptolix {

std::shared_ptr<db::Connection> Connect(std::string_view url) {
  return db::Connect(url, schema::LibraryCatalog());
}

}  // namespace ptolix
