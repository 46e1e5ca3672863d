#pragma once

// The information-item data set of the benchmarks, skewed as a newsroom is:
// by default 1,000,000 items over 2,000 columns up to 6 levels deep in two
// systems, 5 websites, half the items published, 5% cross-posted (published
// and unpublished ones). One busy column (the front page) holds 17% of the
// items, three more 6%, 4.5% and 3%, spread over three websites each; the
// rest are spread evenly. Also 100,000 users in 5 roles and 100,000 links in
// 4 classes.
//
// PTOLIX_BENCH_ITEMS sets the number of items (the skewed shares and the
// users and links scale with it). The data set is made once and reused:
// into var/bench/info.db, or into the database PTOLIX_BENCH_INFO_DB names
// (sqlite:/path or postgresql://...), made again when it is missing or
// incomplete.

#include <memory>
#include <string>

#include "ptolix/db/connection.h"

namespace ptolix::bench {

struct InfoData {
  std::string url;   // the database, for db::Connect
  std::string site;  // website of the lists below
  std::string sys;   // the system
  std::string
      top_column;  // a top column of `site` (its subtree holds about 1/10 of the even spread)
  // Columns of `sys` by size: the busy one (17% of all items, a third of
  // them on `site`), a mid-size one (3%) and a small one (about 350).
  std::string big_column, mid_column, small_column;
  std::string busy_top;                          // the top column above big_column
  std::string title_word;                        // a word found in about 1 title in 50
  std::string big_role, small_role;              // roles holding 60% and 5% of the users
  std::string big_link_class, small_link_class;  // link classes of 50% and 5% of the links
  int64_t items = 0;
};

// Builds the data set when it is missing; returns where it is.
const InfoData& EnsureInfoData();

// A new connection to the data set.
std::shared_ptr<db::Connection> OpenInfoData();

}  // namespace ptolix::bench
