// The effective access rebuild on the full-size access data set: the
// library's ClearUsrAccess plus UpdateUsrAccess for a user with a primary
// role 6 levels deep and four additional roles, against one hand-written
// recursive statement that leaves the same rows, on the same SQLite file in
// the same run (both in one transaction, as the library's rebuild is); and
// GetAccessColumnList of that user against its statement run bare.
//
//   cd /work/main && ./build/ptolix_bench --benchmark_filter=Access

#include <benchmark/benchmark.h>

#include <algorithm>

#include "access_data.h"
#include "db/atomic.h"
#include "db/backend.h"
#include "ptolix/org/user_access.h"

namespace {

using namespace ptolix;
using ptolix::bench::GetAccessData;

std::string UserRows(db::Connection& conn, const std::string& user) {
  auto cursor = db::BackendOf(conn).Query(
      "select Sys_ID,Column_ID,AccessType_ID from tTemp_UsrAccess where Usr_ID = '" + user +
      "' order by Sys_ID,Column_ID");
  ResultArray rows(cursor->Columns());
  std::vector<Variant> row;
  while (cursor->Fetch(&row)) rows.AddRow(row);
  return rows.ToString();
}

void BM_Access_RebuildLibrary(benchmark::State& state) {
  const auto& data = GetAccessData();
  UserAccess user_access;
  user_access.SetConnection(data.conn);
  for (auto _ : state) {
    user_access.ClearUsrAccess(data.user);
    user_access.UpdateUsrAccess(data.user);
  }
  if (!user_access.Errors().empty()) state.SkipWithError(user_access.Errors().c_str());
  std::string library = UserRows(*data.conn, data.user);
  // The same rows from the hand-written statement, or the comparison is void.
  {
    db::Transaction tx(*data.conn);
    db::BackendOf(*data.conn).Execute("delete from tTemp_UsrAccess where Usr_ID = 'bench'");
    db::BackendOf(*data.conn).Execute(bench::HandWrittenRebuild("'bench'"));
    tx.Commit();
  }
  if (UserRows(*data.conn, data.user) != library) state.SkipWithError("the two rebuilds differ");
  state.counters["rows"] =
      static_cast<double>(std::count(library.begin(), library.end(), '\n') - 1);
}
BENCHMARK(BM_Access_RebuildLibrary)->Unit(benchmark::kMillisecond);

void BM_Access_RebuildHandWritten(benchmark::State& state) {
  const auto& data = GetAccessData();
  std::string insert = bench::HandWrittenRebuild("'bench'");
  for (auto _ : state) {
    db::Transaction tx(*data.conn);
    db::BackendOf(*data.conn).Execute("delete from tTemp_UsrAccess where Usr_ID = 'bench'");
    db::BackendOf(*data.conn).Execute(insert);
    tx.Commit();
  }
}
BENCHMARK(BM_Access_RebuildHandWritten)->Unit(benchmark::kMillisecond);

void BM_Access_ColumnListLibrary(benchmark::State& state) {
  const auto& data = GetAccessData();
  UserAccess user_access;
  user_access.SetConnection(data.conn);
  user_access.UpdateUsrAccess(data.user);
  size_t rows = 0;
  for (auto _ : state) {
    ResultArray list = user_access.GetAccessColumnList(data.user, "1", "1");
    rows = list.DataRows();
    benchmark::DoNotOptimize(list);
  }
  if (!user_access.Errors().empty()) state.SkipWithError(user_access.Errors().c_str());
  state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_Access_ColumnListLibrary)->Unit(benchmark::kMicrosecond);

void BM_Access_ColumnListHandWritten(benchmark::State& state) {
  const auto& data = GetAccessData();
  const std::string sql =
      "select tPtlx_Column.*,tTemp_UsrAccess.AccessType_ID from tPtlx_Column,tTemp_UsrAccess where "
      "tPtlx_Column.Sys_ID = tTemp_UsrAccess.Sys_ID and tPtlx_Column.Column_ID = "
      "tTemp_UsrAccess.Column_ID and "
      "Usr_ID = 'bench' and tPtlx_Column.Sys_ID = 1 and (WebSite_ID = 1 or WebSite_ID is null) and "
      "Column_IsDeleted = '0' order by Column_Order";
  for (auto _ : state) {
    auto cursor = db::BackendOf(*data.conn).Query(sql);
    std::vector<Variant> row;
    size_t n = 0;
    while (cursor->Fetch(&row)) ++n;
    benchmark::DoNotOptimize(n);
  }
}
BENCHMARK(BM_Access_ColumnListHandWritten)->Unit(benchmark::kMicrosecond);

}  // namespace
