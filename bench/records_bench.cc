// Links: adding a link (counter and insert in one transaction), a page of a
// class's links newest first, and one link by class and number, each beside
// the best hand-written statements for the same answer on the same SQLite
// file, in the same run.
//
//   ./build/ptolix_bench --benchmark_filter=Records
//
// The data set is made once in var/bench/records.db: class 1 holds 100,000
// links, classes 2 to 101 hold 1,000 each. Adds go to class 999, emptied
// when the program starts.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "db/atomic.h"
#include "db/backend.h"
#include "ptolix/ptolix.h"
#include "ptolix/records/link.h"
#include "value/order_code.h"

namespace {

using namespace ptolix;

constexpr int kBigClass = 100'000;
constexpr int kSmallClasses = 100;
constexpr int kSmallClass = 1'000;
constexpr int kPageSize = 20;

std::shared_ptr<db::Connection> RecordsDb() {
  static std::shared_ptr<db::Connection> conn = [] {
    std::filesystem::create_directories("var/bench");
    auto c = ptolix::Connect("sqlite:var/bench/records.db");
    schema::CreateSchema(*c);
    auto rs = c->Execute("select count(*) from tLink_Detail where LinkClass_ID <= " +
                         std::to_string(kSmallClasses + 1));
    if (rs->Field(0).AsInt64() != kBigClass + kSmallClasses * kSmallClass) {
      db::Transaction tx(*c);
      db::BackendOf(*c).Execute("delete from tLink_Detail");
      db::BackendOf(*c).Execute("delete from tEncode_Manager");
      // Link_Order is the 6-character code of the number: 16^5 - 1 - n, then F.
      auto fill = [&](const std::string& class_expr, const std::string& n_expr,
                      const std::string& from) {
        db::BackendOf(*c).Execute(
            "insert into tLink_Detail "
            "(LinkClass_ID,Link_ID,Link_Title,Link_Description,Link_Url,Link_Image,"
            "Link_ImageWidth,Link_ImageHeight,Link_EndDate,Link_Order) " +
            from + " select " + class_expr + ", " + n_expr + ", 'link ' || " + n_expr +
            ", 'a link made for the benchmark', 'http://example.com/' || " + n_expr +
            ", null, 88, 31, '2030-12-31 00:00:00', printf('%X', 1048575 - " + n_expr +
            ") || 'F' from n");
      };
      fill("1", "i",
           "with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
               std::to_string(kBigClass) + ")");
      fill("2 + (i - 1) / " + std::to_string(kSmallClass),
           "1 + (i - 1) % " + std::to_string(kSmallClass),
           "with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
               std::to_string(kSmallClasses * kSmallClass) + ")");
      db::BackendOf(*c).Execute(
          "insert into tEncode_Manager "
          "(tEncode_Table,tEncode_Column,tEncode_Identify,tEncode_Counter) "
          "select 'tLink_Detail', 'Link_ID', LinkClass_ID, max(Link_ID) from tLink_Detail group by "
          "LinkClass_ID");
      tx.Commit();
    }
    db::BackendOf(*c).Execute("delete from tLink_Detail where LinkClass_ID = 999");
    db::BackendOf(*c).Execute("delete from tEncode_Manager where tEncode_Identify = 999");
    return c;
  }();
  return conn;
}

void BM_Records_AppendLink_Library(benchmark::State& state) {
  Link links;
  links.SetConnection(RecordsDb());
  for (auto _ : state) {
    links.AppendLink("999", "新链接", "", "http://example.com/new", "", "88", "31", "2030-12-31");
  }
  if (!links.Errors().empty()) state.SkipWithError(links.Errors().c_str());
}

void BM_Records_AppendLink_HandWritten(benchmark::State& state) {
  auto conn = RecordsDb();
  db::Backend& b = db::BackendOf(*conn);
  std::vector<Variant> row;
  for (auto _ : state) {
    b.Execute("begin immediate");
    if (b.Execute("update tEncode_Manager set tEncode_Counter = tEncode_Counter + 1 where "
                  "tEncode_Table = "
                  "'tLink_Detail' and tEncode_Column = 'Link_ID' and tEncode_Identify = 998") ==
        0) {
      b.Execute("insert into tEncode_Manager values ('tLink_Detail','Link_ID',998,1)");
    }
    auto counter = b.Query(
        "select tEncode_Counter from tEncode_Manager where tEncode_Table = 'tLink_Detail' and "
        "tEncode_Column = 'Link_ID' and tEncode_Identify = 998");
    counter->Fetch(&row);
    int64_t n = row[0].AsInt64();
    counter.reset();
    b.Execute("insert into tLink_Detail values (998," + std::to_string(n) +
              ",'新链接',null,'http://example.com/new',null,88,31,'2030-12-31 00:00:00','" +
              MakeOrderCode(n, kLinkCodeWidth) + "')");
    b.Execute("commit");
  }
  b.Execute("delete from tLink_Detail where LinkClass_ID = 998");
  b.Execute("delete from tEncode_Manager where tEncode_Identify = 998");
}

void BM_Records_ClassLinkPage_Library(benchmark::State& state) {
  Link links;
  links.SetConnection(RecordsDb());
  links.SetPageSize(kPageSize);
  std::string page = std::to_string(state.range(0));
  for (auto _ : state) {
    ResultArray rows = links.GetClassLinkList("1", page);
    if (rows.DataRows() != kPageSize || links.RecordCount() != kBigClass)
      state.SkipWithError("wrong page");
    benchmark::DoNotOptimize(rows);
  }
}

void BM_Records_ClassLinkPage_HandWritten(benchmark::State& state) {
  auto conn = RecordsDb();
  int64_t offset = (state.range(0) - 1) * kPageSize;
  std::vector<Variant> row;
  for (auto _ : state) {
    auto count =
        db::BackendOf(*conn).Query("select count(*) from tLink_Detail where LinkClass_ID = 1");
    count->Fetch(&row);
    auto page = db::BackendOf(*conn).Query(
        "select * from tLink_Detail where LinkClass_ID = 1 order by Link_Order limit " +
        std::to_string(kPageSize) + " offset " + std::to_string(offset));
    int n = 0;
    while (page->Fetch(&row)) ++n;
    if (n != kPageSize) state.SkipWithError("wrong page");
  }
}

void BM_Records_GetLink_Library(benchmark::State& state) {
  Link links;
  links.SetConnection(RecordsDb());
  for (auto _ : state) {
    ResultArray row = links.GetLink("57", "500");
    if (row.DataRows() != 1) state.SkipWithError("no link");
    benchmark::DoNotOptimize(row);
  }
}

void BM_Records_GetLink_HandWritten(benchmark::State& state) {
  auto conn = RecordsDb();
  std::vector<Variant> row;
  for (auto _ : state) {
    auto rs = db::BackendOf(*conn).Query(
        "select * from tLink_Detail where LinkClass_ID = 57 and Link_ID = 500");
    if (!rs->Fetch(&row)) state.SkipWithError("no link");
  }
}

BENCHMARK(BM_Records_AppendLink_Library)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Records_AppendLink_HandWritten)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Records_ClassLinkPage_Library)->Arg(1)->Arg(2500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Records_ClassLinkPage_HandWritten)->Arg(1)->Arg(2500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Records_GetLink_Library)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Records_GetLink_HandWritten)->Unit(benchmark::kMicrosecond);

}  // namespace
