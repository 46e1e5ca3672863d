#pragma once

#include "ptolix/db/connection.h"

namespace ptolix::schema {

// Creates every table, index and helper function, and the standard rows
// (access types 1 to 4, information states 1 to 6, role 1). Running it on an
// existing database changes nothing. Throws db::Error.
void CreateSchema(db::Connection& connection);

}  // namespace ptolix::schema
