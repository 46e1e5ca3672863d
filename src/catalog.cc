// The library's top level hands db the schema's catalog: db runs statements
// on tables it does not know, schema knows them and uses db.

#include "db/catalog.h"

#include "schema/catalog.h"

namespace ptolix::db {

const Catalog& LibraryCatalog() {
  static const Catalog catalog = schema::BuildCatalog();
  return catalog;
}

}  // namespace ptolix::db
