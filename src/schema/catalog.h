#pragma once

#include <memory>

#include "db/catalog.h"

namespace ptolix::schema {

// The columns of the schema's tables whose spelling or collation the
// connection must know (see db::Catalog).
db::Catalog BuildCatalog();

// The catalog of the library's tables, built once, which every connection
// the library opens (ptolix::Connect) carries.
std::shared_ptr<const db::Catalog> LibraryCatalog();

}  // namespace ptolix::schema
