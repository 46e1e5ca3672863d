#pragma once

// The access data set at full size: 2,000 columns in two systems up to 6
// levels deep, 500 roles up to 6 levels deep, 10,000 users (a third with
// additional roles), about 4,000 role grants and 15,000 user grants, and
// about 250,000 computed access rows of other users. Generated once into
// var/bench/access.db (PTOLIX_ACCESS_DB may name another URL) and reused.

#include <memory>
#include <string>

#include "ptolix/db/connection.h"

namespace ptolix::bench {

struct AccessData {
  std::shared_ptr<db::Connection> conn;
  // A user whose primary role lies 6 levels deep and who holds four
  // additional roles 4 to 6 levels deep.
  std::string user = "bench";
};

// The data set, made on first use.
const AccessData& GetAccessData();

// One hand-written statement that computes the user's access rows (the
// rows a rebuild leaves) with recursive queries; `u` is the quoted user.
std::string HandWrittenRebuild(const std::string& u);

}  // namespace ptolix::bench
