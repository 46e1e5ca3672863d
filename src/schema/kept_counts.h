#pragma once

#include <string>
#include <vector>

#include "db/engine.h"
#include "ptolix/db/connection.h"

namespace ptolix::schema {

// The statements that create the kept counts (db/kept_counts.h) with their
// triggers, then fill each kept table from the rows when it is empty: on a
// database made before they existed, and never again after.
std::vector<std::string> KeptCountStatements(const db::Engine& engine);

}  // namespace ptolix::schema
