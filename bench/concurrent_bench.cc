// Page views under concurrent load: K client threads, each with its own
// connection, run for PTOLIX_BENCH_SECONDS (20 by default) a mix of 95% reads
// (a published page 1 to 50 of a top column, one item, a top-10 list, a
// column list page 1 to 5 in a big, mid-size or small column) and 5% writes
// (AppendInfo, AssessInfo, MoveUpInfo in the mid-size column), once through
// the library and once as hand-written SQL on the same engine, interleaved
// per K. Reports calls per second, p50/p99 latency, failures that reached
// the caller, and writes lost (appends reported as done but not stored).
// The library's mix runs a second time beside a newsroom's writer: another
// connection commits a review (an item published or sent back, so lists and
// their counts change) every 100 ms (PTOLIX_BENCH_WRITER_MS).
//
//   ptolix_bench --benchmark_filter=BM_Concurrent
//   PTOLIX_BENCH_INFO_DB=postgresql://... ptolix_bench --benchmark_filter=BM_Concurrent

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "content/information_sql.h"
#include "db/backend.h"
#include "db/rewriter.h"
#include "info_data.h"
#include "ptolix/content/information.h"
#include "ptolix/schema/schema.h"
#include "value/order_code.h"

namespace ptolix::bench {
namespace {

constexpr int kPageSize = 20;
const char kMarker[] = "conc-bench";  // title of the items the writers add

uint64_t Rand(uint64_t& s) {
  s ^= s << 13;
  s ^= s >> 7;
  s ^= s << 17;
  return s;
}

double Seconds() {
  const char* env = std::getenv("PTOLIX_BENCH_SECONDS");
  return env && *env ? std::atof(env) : 20.0;
}

struct Target {
  int64_t id;
  int state;
};

// Items of the mid-size column the writers assess and move.
const std::vector<Target>& Targets() {
  static const std::vector<Target> targets = [] {
    const auto& d = EnsureInfoData();
    auto conn = OpenInfoData();
    std::vector<Target> out;
    auto rs = conn->Execute(
        "select Info_ID,InfState_ID from tPtlx_Information where Column_ID = " + d.mid_column +
        " and WebSite_ID = " + d.site + " and Sys_ID = " + d.sys +
        " and Info_IsDeleted = '0' and Info_Father is null order by Info_ID");
    for (; !rs->IsEof(); rs->MoveNext())
      out.push_back({rs->Field(0).AsInt64(), static_cast<int>(rs->Field(1).AsInt64())});
    return out;
  }();
  return targets;
}

struct Tally {
  std::vector<double> ms;
  int64_t failures = 0, busy = 0, appended = 0, commits = 0;
  std::string first_failure;
};

// Counts a failure; busy and lock failures separately.
void Failed(Tally& t, const std::string& text) {
  ++t.failures;
  if (text.find("lock") != std::string::npos || text.find("busy") != std::string::npos ||
      text.find("serializ") != std::string::npos || text.find("deadlock") != std::string::npos) {
    ++t.busy;
  }
  if (t.first_failure.empty()) t.first_failure = text;
}

// One client of the library.
class LibraryClient {
 public:
  LibraryClient() {
    info_.SetConnection(OpenInfoData());
    info_.SetPageSize(kPageSize);
  }
  void Call(uint64_t r, Tally& t) {
    const auto& d = EnsureInfoData();
    size_t before = info_.Errors().size();
    int kind = static_cast<int>(r % 100);
    std::string page = std::to_string(1 + (r >> 8) % 50);
    if (kind < 24) {
      benchmark::DoNotOptimize(info_.GetPublishedInfoList(d.site, d.sys, d.top_column, page));
    } else if (kind < 48) {
      benchmark::DoNotOptimize(info_.GetInfo(std::to_string(1 + (r >> 8) % d.items)));
    } else if (kind < 72) {
      benchmark::DoNotOptimize(info_.GetTopNPublishedInfoList(d.site, d.sys, d.busy_top, "10"));
    } else if (kind < 95) {
      const std::string& col = (r >> 20) % 3 == 0   ? d.big_column
                               : (r >> 20) % 3 == 1 ? d.mid_column
                                                    : d.small_column;
      benchmark::DoNotOptimize(
          info_.GetInfoList(d.site, d.sys, col, "Published", std::to_string(1 + (r >> 8) % 5)));
    } else {
      const Target& x = Targets()[(r >> 8) % Targets().size()];
      if (kind < 97) {
        std::string id = info_.AppendInfo(d.sys, d.mid_column, "bench", "1", kMarker, "<p>text</p>",
                                          "2024-05-01", "", "", d.site);
        if (!id.empty()) ++t.appended;
      } else if (kind < 98) {
        int state = x.state >= 4 ? 4 + static_cast<int>((r >> 30) % 3)
                                 : 1 + static_cast<int>((r >> 30) % 3);
        info_.AssessInfo("bench", std::to_string(x.id), std::to_string(state));
      } else {
        info_.MoveUpInfo(d.site, d.sys, d.mid_column, "All", std::to_string(x.id));
      }
    }
    if (info_.Errors().size() != before) {
      std::string text = info_.Errors().substr(before);
      // Moving the first item up is refused as the list says; not a failure.
      if (text.find("[Ptolix]") == std::string::npos) Failed(t, text);
    }
  }

 private:
  Information info_;
};

// The same mix written by hand.
class HandClient {
 public:
  HandClient() : conn_(OpenInfoData()), pg_(conn_->dialect() == db::Dialect::kPostgres) {
    const auto& d = EnsureInfoData();
    std::string code =
        "(select Column_Order from tPtlx_Column where Column_ID = " + d.top_column + ")";
    std::string subtree = "(select Column_ID from tPtlx_Column where Column_Order >= " + code +
                          " and Column_Order < " + code + " || 'Z' and Sys_ID = " + d.sys +
                          " and Column_IsDeleted = '0')";
    std::string live = " from tPtlx_Information where WebSite_ID = " + d.site +
                       " and Sys_ID = " + d.sys +
                       " and InfState_ID in (4,5,6) and Info_IsDeleted = '0'";
    std::string posted = "(select Info_ID from tPtlx_Info2Colu where Sys_ID = " + d.sys +
                         " and Column_ID in " + subtree + ")";
    published_ = "select " + std::string(info_sql::kListColumns) + live + " and (+Column_ID in " +
                 subtree + " or +Info_ID in " + posted + ") order by Info_Order";
    published_count_ = "select (select count(*)" + live + " and Column_ID in " + subtree +
                       ") + (select count(*)" + live + " and Info_ID in " + posted +
                       " and not Column_ID in " + subtree + ")";
    std::string tcode =
        "(select Column_Order from tPtlx_Column where Column_ID = " + d.busy_top + ")";
    std::string tsub = "(select Column_ID from tPtlx_Column where Column_Order >= " + tcode +
                       " and Column_Order < " + tcode + " || 'Z' and Sys_ID = " + d.sys +
                       " and Column_IsDeleted = '0')";
    top_ = "select " + std::string(info_sql::kListColumns) + live + " and (+Column_ID in " + tsub +
           " or +Info_ID in (select Info_ID from tPtlx_Info2Colu where Sys_ID = " + d.sys +
           " and Column_ID in " + tsub + ")) order by Info_Order limit 10";
  }
  void Call(uint64_t r, Tally& t) {
    try {
      Run(r, t);
    } catch (const std::exception& e) {
      if (db::BackendOf(*conn_).InTransaction()) db::BackendOf(*conn_).Execute("rollback");
      Failed(t, e.what());
    }
  }

 private:
  int64_t Rows(const std::string& sql) {
    auto cursor = db::BackendOf(*conn_).Query(sql);
    std::vector<Variant> row;
    int64_t n = 0;
    while (cursor->Fetch(&row)) n += static_cast<int64_t>(row.size());
    return n;
  }
  std::string One(const std::string& sql) {
    auto cursor = db::BackendOf(*conn_).Query(sql);
    std::vector<Variant> row;
    return cursor->Fetch(&row) ? ToDisplay(row.at(0)) : std::string();
  }
  static std::string Window(int page) {
    return " limit " + std::to_string(kPageSize) + " offset " +
           std::to_string((page - 1) * kPageSize);
  }
  void Run(uint64_t r, Tally& t) {
    const auto& d = EnsureInfoData();
    auto& b = db::BackendOf(*conn_);
    int kind = static_cast<int>(r % 100);
    int page = 1 + static_cast<int>((r >> 8) % 50);
    if (kind < 24) {
      Rows(published_count_);
      Rows(published_ + Window(page));
    } else if (kind < 48) {
      Rows("select * from tPtlx_Information where Info_ID = " +
           std::to_string(1 + (r >> 8) % d.items));
    } else if (kind < 72) {
      Rows(top_);
    } else if (kind < 95) {
      const std::string& col = (r >> 20) % 3 == 0   ? d.big_column
                               : (r >> 20) % 3 == 1 ? d.mid_column
                                                    : d.small_column;
      std::string where = " from tPtlx_Information where Column_ID = " + col +
                          " and WebSite_ID = " + d.site + " and Sys_ID = " + d.sys +
                          " and InfState_ID in (4,5,6) and Info_IsDeleted = '0'";
      Rows("select count(*)" + where);
      Rows("select " + std::string(info_sql::kListColumns) + where + " order by Info_Order" +
           Window(1 + static_cast<int>((r >> 8) % 5)));
    } else {
      const Target& x = Targets()[(r >> 8) % Targets().size()];
      if (kind < 97) {
        b.Execute(pg_ ? "begin" : "begin immediate");
        int64_t id = b.Insert(
            "insert into tPtlx_Information "
            "(Sys_ID,Column_ID,Info_PublicUsr,InfType_ID,Info_Title,WebSite_ID,"
            "Info_Content,Info_ImageCount,Info_PublicDate) values (" +
                d.sys + "," + d.mid_column + ",'bench',1,'" + kMarker + "'," + d.site +
                ",'<p>text</p>',0,'2024-05-01 00:00:00')",
            "Info_ID");
        b.Execute("update tPtlx_Information set Info_Order = '" +
                  PaddedOrderCode(id, kInfoCodeWidth) + "' where Info_ID = " + std::to_string(id));
        b.Execute("commit");
        ++t.appended;
      } else if (kind < 98) {
        int state = x.state >= 4 ? 4 + static_cast<int>((r >> 30) % 3)
                                 : 1 + static_cast<int>((r >> 30) % 3);
        b.Execute("update tPtlx_Information set Info_AssessUsr = 'bench', Info_AssessTime = " +
                  std::string(pg_ ? "localtimestamp(0)" : "datetime('now','localtime')") +
                  ", InfState_ID = " + std::to_string(state) +
                  " where Info_ID = " + std::to_string(x.id));
      } else {
        MoveUp(x.id);
      }
    }
  }
  // The item takes a code between its two nearest siblings above; its
  // subtree follows. Skipped when there is no gap (the library respaces).
  void MoveUp(int64_t id) {
    const auto& d = EnsureInfoData();
    auto& b = db::BackendOf(*conn_);
    b.Execute(pg_ ? "begin" : "begin immediate");
    std::string column = " from tPtlx_Information where Column_ID = " + d.mid_column +
                         " and WebSite_ID = " + d.site + " and Sys_ID = " + d.sys +
                         " and Info_IsDeleted = '0'";
    std::string cur = One("select Info_Order" + column + " and Info_ID = " + std::to_string(id));
    std::string prefix = cur.substr(0, cur.size() - kInfoCodeWidth);
    std::vector<std::string> near;
    {
      auto cursor = b.Query("select Info_Order" + column + " and Info_Order > '" + prefix +
                            "' and Info_Order < '" + cur + "' and length(Info_Order) = " +
                            std::to_string(cur.size()) + " order by Info_Order desc limit 2");
      std::vector<Variant> row;
      while (cursor->Fetch(&row)) near.push_back(ToDisplay(row.at(0)));
    }
    if (!near.empty()) {
      auto value = [&](const std::string& c) {
        return std::stoull(c.substr(c.size() - kInfoCodeWidth), nullptr, 16);
      };
      uint64_t hi = value(near[0]), lo = near.size() > 1 ? value(near[1]) : 0;
      if (hi - lo >= 2) {
        char seg[16];
        std::snprintf(seg, sizeof seg, "%08llX",
                      static_cast<unsigned long long>(lo + (hi - lo) / 2));
        std::string to = prefix + seg;
        b.Execute("update tPtlx_Information set Info_Order = '" + to + "' || substr(Info_Order, " +
                  std::to_string(cur.size() + 1) + ") where Info_Order >= '" + cur +
                  "' and Info_Order < '" + cur + "Z'");
      }
    }
    b.Execute("commit");
  }

  std::shared_ptr<db::Connection> conn_;
  bool pg_;
  std::string published_, published_count_, top_;
};

int WriterPeriodMs() {
  const char* env = std::getenv("PTOLIX_BENCH_WRITER_MS");
  return env && *env ? std::atoi(env) : 100;
}

// The newsroom's writer: every period, an item of the mid-size column is sent
// back for review or given its state again, on a connection of its own, until `stop`.
void Writer(const std::atomic<bool>& stop, Tally& t) {
  Information info;
  info.SetConnection(OpenInfoData());
  for (uint64_t n = 0; !stop.load(std::memory_order_relaxed); ++n) {
    const Target& x = Targets()[(n / 2) % Targets().size()];
    size_t before = info.Errors().size();
    info.AssessInfo("bench", std::to_string(x.id), n % 2 ? std::to_string(x.state) : "2");
    if (info.Errors().size() != before) {
      Failed(t, info.Errors().substr(before));
    } else {
      ++t.commits;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(WriterPeriodMs()));
  }
}

template <class Client, bool kWriter = false>
void RunMix(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  Targets();
  const int k = static_cast<int>(state.range(0));
  std::vector<std::unique_ptr<Client>> clients;
  for (int i = 0; i < k; ++i) clients.push_back(std::make_unique<Client>());
  std::vector<Tally> tallies(k);
  Tally writer;
  double wall = 0;
  for (auto _ : state) {
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    if (kWriter) threads.emplace_back([&] { Writer(stop, writer); });
    auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < k; ++i) {
      threads.emplace_back([&, i] {
        uint64_t s =
            0x9E3779B97F4A7C15ull * static_cast<uint64_t>(i + 1) + static_cast<uint64_t>(k) * 7919;
        while (!stop.load(std::memory_order_relaxed)) {
          uint64_t r = Rand(s);
          auto t0 = std::chrono::steady_clock::now();
          clients[i]->Call(r, tallies[i]);
          tallies[i].ms.push_back(
              std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                  .count());
        }
      });
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(Seconds()));
    stop = true;
    for (auto& th : threads) th.join();
    wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  }
  Tally all;
  for (auto& t : tallies) {
    all.ms.insert(all.ms.end(), t.ms.begin(), t.ms.end());
    all.failures += t.failures;
    all.busy += t.busy;
    all.appended += t.appended;
    if (all.first_failure.empty()) all.first_failure = t.first_failure;
  }
  std::sort(all.ms.begin(), all.ms.end());
  auto pct = [&](double p) {
    return all.ms.empty() ? 0.0 : all.ms[static_cast<size_t>(p * (all.ms.size() - 1))];
  };
  // Every add reported as done must be stored; then the data set gets its
  // rows back.
  auto conn = OpenInfoData();
  int64_t stored =
      conn->Execute(std::string("select count(*) from tPtlx_Information where Info_Title = '") +
                    kMarker + "'")
          ->Field(0)
          .AsInt64();
  conn->ExecuteCommand(std::string("delete from tPtlx_Information where Info_Title = '") + kMarker +
                       "'");
  state.counters["calls_per_s"] = static_cast<double>(all.ms.size()) / wall;
  state.counters["p50_ms"] = pct(0.5);
  state.counters["p99_ms"] = pct(0.99);
  state.counters["failures"] = static_cast<double>(all.failures);
  state.counters["busy_lock"] = static_cast<double>(all.busy);
  state.counters["lost_writes"] = static_cast<double>(all.appended - stored);
  if (kWriter) {
    state.counters["writer_commits"] = static_cast<double>(writer.commits);
    state.counters["writer_failures"] = static_cast<double>(writer.failures);
    if (!writer.first_failure.empty())
      std::fprintf(stderr, "K=%d writer's first failure: %s\n", k, writer.first_failure.c_str());
  }
  if (!all.first_failure.empty())
    std::fprintf(stderr, "K=%d first failure: %s\n", k, all.first_failure.c_str());
  (void)d;
}

void BM_Concurrent_a_Library(benchmark::State& state) { RunMix<LibraryClient>(state); }
void BM_Concurrent_b_LibraryBesideWriter(benchmark::State& state) {
  RunMix<LibraryClient, true>(state);
}
void BM_Concurrent_c_HandWritten(benchmark::State& state) { RunMix<HandClient>(state); }

// Interleaved by K, so the machine's load falls on every side alike.
const bool registered = [] {
  const std::pair<const char*, void (*)(benchmark::State&)> runs[] = {
      {"BM_Concurrent_a_Library", BM_Concurrent_a_Library},
      {"BM_Concurrent_b_LibraryBesideWriter", BM_Concurrent_b_LibraryBesideWriter},
      {"BM_Concurrent_c_HandWritten", BM_Concurrent_c_HandWritten},
  };
  for (int k : {1, 2, 4, 8}) {
    for (const auto& [name, run] : runs) {
      benchmark::RegisterBenchmark(name, run)->Arg(k)->Iterations(1)->UseRealTime()->Unit(
          benchmark::kSecond);
    }
  }
  return true;
}();

}  // namespace
}  // namespace ptolix::bench
