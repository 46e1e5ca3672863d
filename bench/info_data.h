#pragma once

// The information-item data set of the benchmarks: 1,000,000 items over
// 2,000 columns up to 6 levels deep, 3 websites, half the items published,
// 5% cross-posted. Generated once into var/bench/info.db and reused; when
// PTOLIX_BENCH_INFO_DB holds a URL (postgresql://...), into that database
// instead, made again when it is missing or incomplete.

#include <memory>
#include <string>

#include "ptolix/db/connection.h"

namespace ptolix::bench {

struct InfoData {
  std::string url;           // the database, for db::Connect
  std::string path;          // the SQLite file (empty on a server)
  std::string site;          // website of the lists below
  std::string sys;           // the system
  std::string top_column;    // a top column (its subtree holds about 1/10 of the items)
  std::string big_column;    // a column holding 10,000 items of `site`
  std::string title_word;    // a word found in about 1 title in 50
};

// Builds the data set when it is missing; returns where it is.
const InfoData& EnsureInfoData();

// A new connection to the data set.
std::shared_ptr<db::Connection> OpenInfoData();

}  // namespace ptolix::bench
