#pragma once

#include "db/catalog.h"

namespace ptolix::schema {

// The columns of the schema's tables whose spelling or collation the
// connection must know (see db::Catalog).
db::Catalog BuildCatalog();

}  // namespace ptolix::schema
