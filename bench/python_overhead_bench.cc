// The C++ side of the Python module's overhead: the same late-bound calls a
// page script makes through the module (python/bench_module.py), made here
// through the registry on the same data, so that the difference is the cost
// of the module alone.
//
//   ./build/ptolix_bench --benchmark_filter=PythonOverhead
//   python3 python/bench_module.py   (runs this too and prints the overhead)
//
// Data, in memory, made by the same calls in both programs: one link class
// with one link; one column with 60 published items.

#include <benchmark/benchmark.h>

#include <string>

#include "ptolix/ptolix.h"

namespace {

using namespace ptolix;

struct OverheadData {
  std::shared_ptr<db::Connection> conn = ptolix::Connect("sqlite::memory:");
  std::unique_ptr<Object> link;
  std::unique_ptr<Object> info;
  std::string column;

  OverheadData() {
    schema::CreateSchema(*conn);
    link = New("Link");
    link->Call("AppendLinkClass", {"友情链接", "Friends"});
    link->Call("AppendLink", {"1", "Ptolix", "项目主页", "http://ptolix.example/", "logo.gif", "88",
                              "31", "2030-12-31"});
    column =
        ToDisplay(New("Column")->Call("AppendColumn", {"1", "新闻", "", "", "", "", "", "1", ""}));
    info = New("Information");
    std::string ids;
    for (int i = 1; i <= 60; ++i) {
      Variant id =
          info->Call("AppendInfo", {"1", column, "reporter", "1", "第" + std::to_string(i) + "篇",
                                    "<p>正文</p>", "2024-05-01", "", "", "1", ""});
      ids += (ids.empty() ? "" : ",") + ToDisplay(id);
    }
    info->Call("AssessInfo", {"editor", ids, "4"});
    info->Put("PageSize", Variant(20));
  }

  std::unique_ptr<Object> New(const char* name) {
    auto obj = GlobalRegistry().CreateObject(std::string("Corvane_Ptolix.") + name);
    obj->PutConnection(conn);
    return obj;
  }
};

OverheadData& Data() {
  static OverheadData data;
  return data;
}

void BM_PythonOverhead_GetLink(benchmark::State& state) {
  Object& link = *Data().link;
  int64_t values = 0;
  for (auto _ : state) {
    Variant v = link.Call("GetLink", {"1", "1"});
    values = static_cast<int64_t>(v.AsArray().DataRows() + 1) * v.AsArray().Columns();
    benchmark::DoNotOptimize(v);
  }
  state.counters["values"] = static_cast<double>(values);
}
BENCHMARK(BM_PythonOverhead_GetLink);

void BM_PythonOverhead_PublishedPage(benchmark::State& state) {
  OverheadData& data = Data();
  int64_t values = 0;
  for (auto _ : state) {
    Variant v = data.info->Call("GetPublishedInfoList", {"1", "1", data.column, Variant(2)});
    values = static_cast<int64_t>(v.AsArray().DataRows() + 1) * v.AsArray().Columns();
    benchmark::DoNotOptimize(v);
  }
  state.counters["values"] = static_cast<double>(values);
}
BENCHMARK(BM_PythonOverhead_PublishedPage);

}  // namespace
