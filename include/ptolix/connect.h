#pragma once

#include <memory>
#include <string_view>

#include "ptolix/db/connection.h"

namespace ptolix {

// Opens a connection to a database of the library's tables from a URL:
// "sqlite:PATH" (created when missing), "sqlite::memory:", or
// "postgresql://..." / "postgres://..." (libpq URI). Throws db::Error when no
// engine opens the URL or the database cannot be opened.
std::shared_ptr<db::Connection> Connect(std::string_view url);

}  // namespace ptolix
