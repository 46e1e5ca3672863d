#pragma once

namespace ptolix::db {

// The database engine behind a connection.
enum class Dialect { kSqlite, kPostgres };

}  // namespace ptolix::db
