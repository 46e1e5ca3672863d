// Every list that can grow large, at page 1 and a deep page, in the busy,
// a mid-size and a small column (or role, or link class), each iteration
// running the library call and the best hand-written statements for the same
// rows one after the other on the same connection, in a random order, so
// that the machine's load and the caches fall on both alike. Before each library call one row is
// rewritten (untimed), so the connection counts again as it would after a write: the figures are of
// the statements, not of a count kept from the call before. Counters: lib_ms, hand_ms (the fastest
// of the hand-written forms), ratio = lib_ms / hand_ms, and the growth of peak memory during the
// library calls.
//
//   ptolix_bench --benchmark_filter=BM_List
//   PTOLIX_BENCH_WRITE=1 ptolix_bench --benchmark_filter=BM_List   (another connection
//       commits before every timed call; the hand-written side reads the page, no count)
//   PTOLIX_BENCH_INFO_DB=postgresql://... ptolix_bench --benchmark_filter=BM_List

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "content/information_sql.h"
#include "db/backend.h"
#include "db/rewriter.h"
#include "info_data.h"
#include "ptolix/content/column.h"
#include "ptolix/content/information.h"
#include "ptolix/org/role.h"
#include "ptolix/records/link.h"
#include "ptolix/schema/schema.h"

namespace ptolix::bench {
namespace {

constexpr int kPageSize = 20;
constexpr int kDeepPage = 100;

std::shared_ptr<db::Connection> Conn() {
  static std::shared_ptr<db::Connection> conn = [] {
    auto c = OpenInfoData();
    schema::CreateSchema(*c);  // indexes added since the data was made
    return c;
  }();
  return conn;
}

bool Pg() { return Conn()->dialect() == db::Dialect::kPostgres; }

// Runs a statement in the backend's dialect and reads every row into
// Variants, as a result array would.
int64_t Direct(const std::string& sql) {
  auto cursor = db::BackendOf(*Conn()).Query(sql);
  std::vector<Variant> row;
  int64_t n = 0;
  while (cursor->Fetch(&row)) n += static_cast<int64_t>(row.size());
  return n;
}

// A committed change of one row: kept counts are stale from here on.
void Touch() {
  db::BackendOf(*Conn()).Execute("update tPtlx_System set Sys_Name = Sys_Name where Sys_ID = 1");
}

// PTOLIX_BENCH_WRITE=1: a newsroom writing while pages are viewed. Before
// every timed call, library and hand-written alike, another connection
// commits a change of the oldest item's source address, which changes no
// list's rows or counts; the hand-written side then reads the page alone,
// with no count at all. PTOLIX_BENCH_WRITE=title: the change is to the
// title of the busy column's oldest item instead (never holding the
// searched word), a write the text index sees, as an edit or a new item
// in that column is.
bool WriteMode() {
  static const bool on = [] {
    const char* v = std::getenv("PTOLIX_BENCH_WRITE");
    return v && (std::string(v) == "1" || std::string(v) == "title");
  }();
  return on;
}

void OtherWriterCommits() {
  static const bool title = std::string(std::getenv("PTOLIX_BENCH_WRITE")) == "title";
  static std::shared_ptr<db::Connection> other = OpenInfoData();
  static std::string oldest = [] {
    auto cursor = db::BackendOf(*other).Query(
        "select min(Info_ID) from tPtlx_Information" +
        (title ? " where Column_ID = " + EnsureInfoData().big_column : std::string()));
    std::vector<Variant> row;
    cursor->Fetch(&row);
    return ToDisplay(row.at(0));
  }();
  static int n = 0;
  db::BackendOf(*other).Execute(std::string("update tPtlx_Information set ") +
                                (title ? "Info_Title = 'edited " : "Info_Url = 'http://source/") +
                                std::to_string(++n % 2) + "' where Info_ID = " + oldest);
}

int64_t CountOf(const std::string& sql) {
  auto cursor = db::BackendOf(*Conn()).Query(sql);
  std::vector<Variant> row;
  cursor->Fetch(&row);
  return row.at(0).AsInt64();
}

long PeakRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

template <class T>
T& Object() {
  static T* obj = [] {
    auto* o = new T;
    o->SetConnection(Conn());
    o->SetPageSize(kPageSize);
    return o;
  }();
  return *obj;
}

// A hand-written list: its count statement and its page statement for
// rows [offset, offset + 20).
struct HandForm {
  std::string count;
  std::function<std::string(int64_t offset)> page;
};

std::string Window(int64_t offset) {
  return " limit " + std::to_string(kPageSize) + " offset " + std::to_string(offset);
}

// The page of `from_where` (" from T where ...") in `order`: plainly, and on
// PostgreSQL also with the page's keys read from the index first, so the
// rows skipped by the offset are never visited.
std::vector<HandForm> Plain(const std::string& cols, const std::string& from_where,
                            const std::string& order, const std::string& key = "") {
  std::vector<HandForm> forms;
  std::string count = "select count(*)" + from_where;
  forms.push_back(
      {count, [=](int64_t off) { return "select " + cols + from_where + order + Window(off); }});
  if (Pg() && !key.empty()) {
    std::string table = from_where.substr(6, from_where.find(" where") - 6);
    forms.push_back({count, [=](int64_t off) {
                       return "select " + cols + " from " + table + " where " + key +
                              " in (select " + key + from_where + order + Window(off) + ")" + order;
                     }});
  }
  return forms;
}

struct Case {
  std::string name;
  std::function<void(const std::string& page)> library;  // the call for a page ("1", "100")
  std::function<int64_t()> rows;                         // the number of rows of the list
  std::vector<HandForm> hand;
};

void Run(benchmark::State& state, const Case& c, bool deep) {
  int64_t rows = c.rows();
  int64_t pages = std::max<int64_t>(1, (rows + kPageSize - 1) / kPageSize);
  int64_t page = deep ? std::min<int64_t>(kDeepPage, pages) : 1;
  std::string page_text = std::to_string(page);
  int64_t offset = (page - 1) * kPageSize;
  using Clock = std::chrono::steady_clock;
  double lib = 0;
  std::vector<double> hand(c.hand.size());
  long rss = PeakRssKb();
  // The library call is turn 0, hand-written form i turn i + 1, in a new
  // random order each iteration, so each side follows every other equally
  // often: a heavy form leaves the caches cold for whatever runs next.
  std::vector<size_t> turns(c.hand.size() + 1);
  for (size_t i = 0; i < turns.size(); ++i) turns[i] = i;
  std::mt19937 shuffle(7);
  // One untimed round first: statements prepared, plans and probes made.
  c.library(page_text);
  for (const HandForm& form : c.hand) {
    CountOf(form.count);
    Direct(form.page(offset));
  }
  for (auto _ : state) {
    std::shuffle(turns.begin(), turns.end(), shuffle);
    for (size_t turn : turns) {
      if (WriteMode()) OtherWriterCommits();
      if (turn == 0) {
        if (!WriteMode()) Touch();
        auto t0 = Clock::now();
        c.library(page_text);
        lib += std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        continue;
      }
      const HandForm& form = c.hand[turn - 1];
      auto t1 = Clock::now();
      if (!WriteMode()) benchmark::DoNotOptimize(CountOf(form.count));
      benchmark::DoNotOptimize(Direct(form.page(offset)));
      hand[turn - 1] += std::chrono::duration<double, std::milli>(Clock::now() - t1).count();
    }
  }
  double n = static_cast<double>(state.iterations());
  double best = std::numeric_limits<double>::max();
  size_t best_form = 0;
  for (size_t i = 0; i < hand.size(); ++i) {
    if (hand[i] < best) best = hand[i], best_form = i;
  }
  state.counters["lib_ms"] = lib / n;
  state.counters["hand_ms"] = best / n;
  state.counters["ratio"] = lib / best;
  state.counters["hand_form"] = static_cast<double>(best_form);
  state.counters["page"] = static_cast<double>(page);
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["rss_MB"] = static_cast<double>(PeakRssKb() - rss) / 1024.0;
}

std::vector<Case> Cases() {
  const auto& d = EnsureInfoData();
  std::vector<Case> out;
  const std::string cols = info_sql::kListColumns;
  const std::string order = " order by Info_Order";
  struct Sized {
    const char* size;
    std::string column;
  };
  const Sized columns[] = {{"big", d.big_column}, {"mid", d.mid_column}, {"small", d.small_column}};
  const char* modes[][2] = {
      {"Published", " and InfState_ID in (4,5,6)"}, {"All", ""},
      {"WaitAssess", " and InfState_ID = 1"},       {"NeedReedit", " and InfState_ID = 2"},
      {"Canceled", " and InfState_ID = 3"},         {"Editor", " and InfState_ID in (1,2)"}};
  for (const auto& col : columns) {
    for (const auto& mode : modes) {
      std::string where = " from tPtlx_Information where Column_ID = " + col.column +
                          " and WebSite_ID = " + d.site + " and Sys_ID = " + d.sys + mode[1] +
                          " and Info_IsDeleted = '0'";
      std::string m = mode[0], c = col.column;
      out.push_back({std::string("GetInfoList/") + m + "/" + col.size,
                     [=](const std::string& page) {
                       benchmark::DoNotOptimize(
                           Object<Information>().GetInfoList(d.site, d.sys, c, m, page));
                     },
                     [=] { return CountOf("select count(*)" + where); },
                     Plain(cols, where, order, "Info_ID")});
    }
    // Search: a title word and a date range. The title matches whatever its
    // letter case in every script, on PostgreSQL through an ICU collation (a
    // plain ilike folds ASCII letters only and would find other rows).
    std::string title =
        Pg() ? "Info_Title collate \"und-x-icu\" ilike '%quartz%'" : "Info_Title like '%quartz%'";
    std::string where =
        " from tPtlx_Information where Column_ID = " + col.column + " and WebSite_ID = " + d.site +
        " and Sys_ID = " + d.sys + " and " + title +
        " and Info_SystemTime between '2020-01-01 00:00:00' and '2021-06-30 00:00:00'"
        " and Info_IsDeleted = '0'";
    std::string c = col.column;
    out.push_back(
        {std::string("SearchInfoList/") + col.size,
         [=](const std::string& page) {
           benchmark::DoNotOptimize(Object<Information>().SearchInfoList(
               d.site, d.sys, c, "All", "quartz", "", "", "2020-01-01", "2021-06-30", page));
         },
         [=] { return CountOf("select count(*)" + where); }, Plain(cols, where, order, "Info_ID")});
    // Items of the column cross-posted into the busy one.
    std::string where1 =
        " from tPtlx_Information where Sys_ID = " + d.sys + " and Column_ID = " + col.column +
        " and Info_ID in (select Info_ID from tPtlx_Info2Colu where Sys_ID = " + d.sys +
        " and Column_ID = " + d.big_column + ") and Info_IsDeleted = '0'";
    out.push_back({std::string("GetInfoList1/") + col.size,
                   [=](const std::string& page) {
                     benchmark::DoNotOptimize(
                         Object<Information>().GetInfoList1(d.sys, c, d.sys, d.big_column, page));
                   },
                   [=] { return CountOf("select count(*)" + where1); },
                   Plain(cols, where1, order, "Info_ID")});
  }
  // Published lists of a subtree: a top column (a tenth of the even spread),
  // the busy column's top, the busy column and a small column.
  const Sized subtrees[] = {{"top", d.top_column},
                            {"busytop", d.busy_top},
                            {"big", d.big_column},
                            {"small", d.small_column}};
  for (const auto& s : subtrees) {
    std::string code = "(select Column_Order from tPtlx_Column where Column_ID = " + s.column + ")";
    std::string subtree = "(select Column_ID from tPtlx_Column where Column_Order >= " + code +
                          " and Column_Order < " + code + " || 'Z' and Sys_ID = " + d.sys +
                          " and Column_IsDeleted = '0')";
    std::string live = " from tPtlx_Information where WebSite_ID = " + d.site +
                       " and Sys_ID = " + d.sys +
                       " and InfState_ID in (4,5,6) and Info_IsDeleted = '0'";
    std::string posted = "(select Info_ID from tPtlx_Info2Colu where Sys_ID = " + d.sys +
                         " and Column_ID in " + subtree + ")";
    std::string count = "select (select count(*)" + live + " and Column_ID in " + subtree +
                        ") + (select count(*)" + live + " and Info_ID in " + posted +
                        " and not Column_ID in " + subtree + ")";
    // In the site's order, the subtree picked out on the way; or the
    // subtree's rows found by column and sorted.
    std::string ordered = "select " + cols + live + " and (+Column_ID in " + subtree +
                          " or +Info_ID in " + posted + ")" + order;
    std::string by_column = "select " + cols + live + " and (Column_ID in " + subtree +
                            " or Info_ID in " + posted + ")" +
                            (Pg() ? order : " order by +Info_Order");
    std::vector<HandForm> forms = {{count, [=](int64_t off) { return ordered + Window(off); }},
                                   {count, [=](int64_t off) { return by_column + Window(off); }}};
    std::string c = s.column;
    out.push_back({std::string("GetPublishedInfoList/") + s.size,
                   [=](const std::string& page) {
                     benchmark::DoNotOptimize(
                         Object<Information>().GetPublishedInfoList(d.site, d.sys, c, page));
                   },
                   [=] { return CountOf(count); }, forms});
    // Top 10: no count.
    std::vector<HandForm> top = {{"select 1", [=](int64_t) { return ordered + " limit 10"; }},
                                 {"select 1", [=](int64_t) { return by_column + " limit 10"; }}};
    out.push_back({std::string("GetTopNPublishedInfoList/") + s.size,
                   [=](const std::string&) {
                     benchmark::DoNotOptimize(
                         Object<Information>().GetTopNPublishedInfoList(d.site, d.sys, c, "10"));
                   },
                   [] { return int64_t{10}; }, top});
  }
  {
    std::string list =
        "select " + cols + " from tPtlx_Information where WebSite_ID = " + d.site +
        " and Sys_ID = " + d.sys +
        " and InfState_ID in (4,5,6) and Info_IsDeleted = '0' and Info_ImageCount > 0" + order +
        " limit 10";
    out.push_back({"GetTopNPictureInfoList",
                   [=](const std::string&) {
                     benchmark::DoNotOptimize(
                         Object<Information>().GetTopNPictureInfoList(d.site, d.sys, "10"));
                   },
                   [] { return int64_t{10}; },
                   {{"select 1", [=](int64_t) { return list; }}}});
  }
  // Users of a role (60% and 5% of them), links of a class (50% and 5%),
  // the columns of a system.
  for (const auto& [size, role] :
       {std::pair<const char*, std::string>{"big", d.big_role}, {"small", d.small_role}}) {
    std::string where = " from tPtlx_User where Role_ID = " + role;
    std::string r = role;
    out.push_back({std::string("Role.GetDirectUserList/") + size,
                   [=](const std::string& page) {
                     benchmark::DoNotOptimize(Object<Role>().GetDirectUserList(r, page));
                   },
                   [=] { return CountOf("select count(*)" + where); },
                   Plain("*", where, "", "Usr_ID")});
  }
  for (const auto& [size, k] : {std::pair<const char*, std::string>{"big", d.big_link_class},
                                {"small", d.small_link_class}}) {
    std::string where = " from tLink_Detail where LinkClass_ID = " + k;
    std::string cls = k;
    out.push_back({std::string("Link.GetClassLinkList/") + size,
                   [=](const std::string& page) {
                     benchmark::DoNotOptimize(Object<Link>().GetClassLinkList(cls, page));
                   },
                   [=] { return CountOf("select count(*)" + where); },
                   Plain("*", where, " order by Link_Order", "Link_ID")});
  }
  {
    std::string where = " from tPtlx_Column where Sys_ID = " + d.sys +
                        " and (WebSite_ID is null or WebSite_ID = " + d.site +
                        ") and Column_IsDeleted = '0'";
    out.push_back({"Column.GetColumnList",
                   [=](const std::string& page) {
                     benchmark::DoNotOptimize(Object<Column>().GetColumnList(d.sys, d.site, page));
                   },
                   [=] { return CountOf("select count(*)" + where); },
                   Plain("*", where, " order by Column_Order", "Column_ID")});
  }
  return out;
}

const bool registered = [] {
  // The cases are made when the benchmarks run, so listing them does not
  // build the data set.
  static std::vector<Case>* cases = nullptr;
  static const char* const names[] = {
      "GetInfoList/Published/big",    "GetInfoList/All/big",
      "GetInfoList/WaitAssess/big",   "GetInfoList/NeedReedit/big",
      "GetInfoList/Canceled/big",     "GetInfoList/Editor/big",
      "SearchInfoList/big",           "GetInfoList1/big",
      "GetInfoList/Published/mid",    "GetInfoList/All/mid",
      "GetInfoList/WaitAssess/mid",   "GetInfoList/NeedReedit/mid",
      "GetInfoList/Canceled/mid",     "GetInfoList/Editor/mid",
      "SearchInfoList/mid",           "GetInfoList1/mid",
      "GetInfoList/Published/small",  "GetInfoList/All/small",
      "GetInfoList/WaitAssess/small", "GetInfoList/NeedReedit/small",
      "GetInfoList/Canceled/small",   "GetInfoList/Editor/small",
      "SearchInfoList/small",         "GetInfoList1/small",
      "GetPublishedInfoList/top",     "GetTopNPublishedInfoList/top",
      "GetPublishedInfoList/busytop", "GetTopNPublishedInfoList/busytop",
      "GetPublishedInfoList/big",     "GetTopNPublishedInfoList/big",
      "GetPublishedInfoList/small",   "GetTopNPublishedInfoList/small",
      "GetTopNPictureInfoList",       "Role.GetDirectUserList/big",
      "Role.GetDirectUserList/small", "Link.GetClassLinkList/big",
      "Link.GetClassLinkList/small",  "Column.GetColumnList"};
  for (const char* name : names) {
    std::string n = name;
    bool paged = n.find("TopN") == std::string::npos;
    for (bool deep : {false, true}) {
      if (deep && !paged) continue;
      benchmark::RegisterBenchmark(("BM_List/" + n + (deep ? "/deep" : "/page1")).c_str(),
                                   [n, deep](benchmark::State& state) {
                                     if (!cases) cases = new std::vector<Case>(Cases());
                                     for (const auto& c : *cases) {
                                       if (c.name == n) return Run(state, c, deep);
                                     }
                                     state.SkipWithError("no such case");
                                   })
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
  }
  return true;
}();

}  // namespace
}  // namespace ptolix::bench
