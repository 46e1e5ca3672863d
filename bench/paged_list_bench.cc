// The list-query path on a table of 1,000,000 rows: System::GetParameterList
// at PageSize 20, pages 1 and 25,000, against the best hand-written pair of
// statements for the same answer (a count and a limit/offset window) on the
// same SQLite file, in the same run.
//
//   ./build/ptolix_bench --benchmark_filter=PagedList
//
// The data set is made once in var/bench/paged.db (PTOLIX_BENCH_DB may name
// another URL, such as a PostgreSQL server).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "db/atomic.h"
#include "db/backend.h"
#include "ptolix/ptolix.h"

namespace {

using namespace ptolix;

constexpr int kRows = 1'000'000;

std::shared_ptr<db::Connection> PagedDb() {
  static std::shared_ptr<db::Connection> conn = [] {
    std::string url;
    if (const char* env = std::getenv("PTOLIX_BENCH_DB"); env && *env) {
      url = env;
    } else {
      std::filesystem::create_directories("var/bench");
      url = "sqlite:var/bench/paged.db";
    }
    auto c = ptolix::Connect(url);
    schema::CreateSchema(*c);
    auto rs = c->Execute("select count(*) from tPtlx_SystemParameter");
    if (rs->Field(0).AsInt64() != kRows) {
      db::Transaction tx(*c);
      db::BackendOf(*c).Execute("delete from tPtlx_SystemParameter");
      db::BackendOf(*c).Execute(
          "insert into tPtlx_SystemParameter (Para_Name, Para_Value, Para_Description) "
          "with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
          std::to_string(kRows) +
          ") select 'PARAMETER_' || i, 'value ' || i, 'a parameter made for the benchmark' from n");
      tx.Commit();
    }
    return c;
  }();
  return conn;
}

// Peak resident memory since the last reset, in kB (Linux).
long PeakKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

void BM_PagedList_Library(benchmark::State& state) {
  System sys;
  sys.SetConnection(PagedDb());
  sys.SetPageSize(20);
  int32_t page = static_cast<int32_t>(state.range(0));
  long peak = 0;
  for (auto _ : state) {
    ResetPeak();
    long before = PeakKb();
    ResultArray rows = sys.GetParameterList(page);
    peak = std::max(peak, PeakKb() - before);
    if (rows.DataRows() != 20 || sys.RecordCount() != kRows) state.SkipWithError("wrong page");
    benchmark::DoNotOptimize(rows);
  }
  state.counters["peak_kB_above_baseline"] = static_cast<double>(peak);
}

void BM_PagedList_HandWritten(benchmark::State& state) {
  auto conn = PagedDb();
  int64_t offset = (state.range(0) - 1) * 20;
  for (auto _ : state) {
    auto count = db::BackendOf(*conn).Query("select count(*) from tPtlx_SystemParameter");
    std::vector<Variant> row;
    count->Fetch(&row);
    auto page = db::BackendOf(*conn).Query("select * from tPtlx_SystemParameter limit 20 offset " +
                                           std::to_string(offset));
    int n = 0;
    while (page->Fetch(&row)) ++n;
    if (n != 20) state.SkipWithError("wrong page");
  }
}

BENCHMARK(BM_PagedList_Library)->Arg(1)->Arg(25000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PagedList_HandWritten)->Arg(1)->Arg(25000)->Unit(benchmark::kMicrosecond);

}  // namespace
