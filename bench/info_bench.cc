// Information items on 1,000,000 rows: each list call measured three ways in
// one run, (a) the library call, (b) the statements the library sends run
// directly on the same connection, (c) the best hand-written SQL for the same
// rows; plus moves and adds.
//
//   ptolix_bench --benchmark_filter=BM_Info
//   PTOLIX_BENCH_INFO_DB=postgresql://... ptolix_bench --benchmark_filter=BM_Info
//   PTOLIX_BENCH_WRITE=1 ptolix_bench --benchmark_filter=BM_Info   (another connection commits
//       before every list call, untimed)

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "content/information_sql.h"
#include "db/atomic.h"
#include "db/backend.h"
#include "db/rewriter.h"
#include "info_data.h"
#include "ptolix/content/information.h"
#include "ptolix/schema/schema.h"
#include "value/order_code.h"

namespace ptolix::bench {
namespace {

constexpr int kPageSize = 20;

std::shared_ptr<db::Connection> Conn() {
  static std::shared_ptr<db::Connection> conn = [] {
    auto c = OpenInfoData();
    schema::CreateSchema(*c);  // indexes added since the data was made
    return c;
  }();
  return conn;
}

// Runs one statement (SQL Server text) as the connection would and reads
// every row into Variants, as a result array would.
int64_t Direct(const std::string& sql, const std::string& tail = "") {
  auto& conn = *Conn();
  auto cursor = db::BackendOf(conn).Query(db::RewriteFor(conn, sql).text + tail);
  std::vector<Variant> row;
  int64_t n = 0;
  while (cursor->Fetch(&row)) n += static_cast<int64_t>(row.size());
  return n;
}

std::string Window(int page) {
  return " limit " + std::to_string(kPageSize) + " offset " +
         std::to_string((page - 1) * kPageSize);
}

// The keyset's count of a statement: wrapped, without its order by.
std::string WrappedCount(const std::string& sql) {
  auto r = db::RewriteFor(*Conn(), sql);
  return "select count(*) from (" + r.text.substr(0, r.before_order_by) + ") ptlx_count";
}

long PeakRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

Information& Library() {
  static Information* info = [] {
    auto* i = new Information;
    i->SetConnection(Conn());
    i->SetPageSize(kPageSize);
    return i;
  }();
  return *info;
}

void CheckErrors(benchmark::State& state) {
  if (!Library().Errors().empty()) state.SkipWithError(Library().Errors().c_str());
}

const std::string kCols = info_sql::kListColumns;

// PTOLIX_BENCH_WRITE=1: before every call of the list benchmarks below
// (library and hand-written alike) another connection commits a change of
// the oldest item's source address, untimed; it changes no list's rows or
// counts. The hand-written side then reads the page alone, with no count.
bool WriteMode() {
  static const bool on = [] {
    const char* v = std::getenv("PTOLIX_BENCH_WRITE");
    return v && std::string(v) == "1";
  }();
  return on;
}

void OtherWriterCommits(benchmark::State& state) {
  if (!WriteMode()) return;
  static std::shared_ptr<db::Connection> other = OpenInfoData();
  static int n = 0;
  state.PauseTiming();
  db::BackendOf(*other).Execute("update tPtlx_Information set Info_Url = 'http://source/" +
                                std::to_string(++n % 2) +
                                "' where Info_ID = (select min(Info_ID) from tPtlx_Information)");
  state.ResumeTiming();
}

// The hand-written count, or nothing in write mode.
void HandCount(const std::string& sql) {
  if (!WriteMode()) benchmark::DoNotOptimize(Direct(sql));
}

// A title holding `word` in any letter case (the word is lower case).
std::string TitleHas(const std::string& word) {
  bool pg = Conn()->dialect() == db::Dialect::kPostgres;
  return std::string(pg ? "strpos" : "instr") + "(lower(Info_Title), '" + word + "') > 0";
}

// --- GetPublishedInfoList of a top column, pages 1 and 500 ---

void BM_InfoPublished_a_Library(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  std::string page = std::to_string(state.range(0));
  long rss = PeakRssKb();
  for (auto _ : state) {
    OtherWriterCommits(state);
    benchmark::DoNotOptimize(Library().GetPublishedInfoList(d.site, d.sys, d.top_column, page));
  }
  state.counters["rows"] = Library().RecordCount();
  state.counters["peak_rss_growth_MB"] = static_cast<double>(PeakRssKb() - rss) / 1024.0;
  CheckErrors(state);
}
void BM_InfoPublished_b_SentSql(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  std::string list = info_sql::PublishedList(d.sys, d.top_column, d.site);
  std::string count =
      db::RewriteFor(*Conn(), info_sql::PublishedCount(d.sys, d.top_column, d.site)).text;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Direct(count));
    benchmark::DoNotOptimize(Direct(list, Window(static_cast<int>(state.range(0)))));
  }
}
void BM_InfoPublished_b_ReferenceSql(benchmark::State& state) {
  // For orientation: PublishedListReference, counted by wrapping.
  const auto& d = EnsureInfoData();
  std::string list = info_sql::PublishedListReference(d.sys, d.top_column, d.site);
  for (auto _ : state) {
    benchmark::DoNotOptimize(Direct(WrappedCount(list)));
    benchmark::DoNotOptimize(Direct(list, Window(static_cast<int>(state.range(0)))));
  }
}
void BM_InfoPublished_c_HandWritten(benchmark::State& state) {
  // The subtree's code looked up once, its columns found by an index range.
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
  std::string list = "select " + kCols + live + " and (+Column_ID in " + subtree +
                     " or +Info_ID in " + posted + ") order by Info_Order";
  std::string count = "select (select count(*)" + live + " and Column_ID in " + subtree +
                      ") + (select count(*)" + live + " and Info_ID in " + posted +
                      " and not Column_ID in " + subtree + ")";
  for (auto _ : state) {
    OtherWriterCommits(state);
    HandCount(count);
    benchmark::DoNotOptimize(Direct(list, Window(static_cast<int>(state.range(0)))));
  }
}
BENCHMARK(BM_InfoPublished_a_Library)->Arg(1)->Arg(500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoPublished_b_SentSql)->Arg(1)->Arg(500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoPublished_c_HandWritten)->Arg(1)->Arg(500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoPublished_b_ReferenceSql)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);

// --- GetInfoList of a column of 10,000 items, mode Published ---

std::string ColumnList() {
  const auto& d = EnsureInfoData();
  return "select " + kCols + " from tPtlx_Information where WebSite_ID = " + d.site +
         " and Sys_ID = " + d.sys + " and Column_ID = " + d.big_column +
         " and InfState_ID in (4,5,6) and Info_IsDeleted = '0' order by Info_Order";
}
void BM_InfoColumnList_a_Library(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  std::string page = std::to_string(state.range(0));
  for (auto _ : state) {
    OtherWriterCommits(state);
    benchmark::DoNotOptimize(Library().GetInfoList(d.site, d.sys, d.big_column, "Published", page));
  }
  state.counters["rows"] = Library().RecordCount();
  CheckErrors(state);
}
void BM_InfoColumnList_b_SentSql(benchmark::State& state) {
  std::string list = ColumnList();
  for (auto _ : state) {
    benchmark::DoNotOptimize(Direct(WrappedCount(list)));
    benchmark::DoNotOptimize(Direct(list, Window(static_cast<int>(state.range(0)))));
  }
}
void BM_InfoColumnList_c_HandWritten(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  std::string where = " from tPtlx_Information where Column_ID = " + d.big_column +
                      " and WebSite_ID = " + d.site + " and Sys_ID = " + d.sys +
                      " and InfState_ID in (4,5,6) and Info_IsDeleted = '0'";
  std::string window = Window(static_cast<int>(state.range(0)));
  std::string list = "select " + kCols + where + " order by Info_Order" + window;
  if (Conn()->dialect() == db::Dialect::kPostgres) {
    // The column's items lie one to a heap page: the page's keys come from
    // the index alone, then only its 20 rows are read.
    list = "select " + kCols + " from tPtlx_Information where Column_ID = " + d.big_column +
           " and Info_Order in (select Info_Order" + where + " order by Info_Order" + window +
           ") order by Info_Order";
  }
  for (auto _ : state) {
    OtherWriterCommits(state);
    HandCount("select count(*)" + where);
    benchmark::DoNotOptimize(Direct(list));
  }
}
BENCHMARK(BM_InfoColumnList_a_Library)->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoColumnList_b_SentSql)->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoColumnList_c_HandWritten)->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond);

// --- SearchInfoList by a title word and a date range, page 1 ---

const char kFrom[] = "2020-01-01";
const char kTo[] = "2021-06-30";

void BM_InfoSearch_a_Library(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  for (auto _ : state) {
    benchmark::DoNotOptimize(Library().SearchInfoList(d.site, d.sys, d.big_column, "All",
                                                      d.title_word, "", "", kFrom, kTo, "1"));
  }
  state.counters["rows"] = Library().RecordCount();
  CheckErrors(state);
}
void BM_InfoSearch_b_SentSql(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  std::string list =
      "select " + kCols + " from tPtlx_Information where WebSite_ID = " + d.site +
      " and Sys_ID = " + d.sys + " and Column_ID = " + d.big_column + " and Info_Title like '%" +
      d.title_word +
      "%' escape '\\' and Info_SystemTime >= '2020-01-01 00:00:00' and info_SystemTime <= "
      "'2021-06-30 00:00:00' and Info_IsDeleted = '0' order by Info_Order";
  for (auto _ : state) {
    benchmark::DoNotOptimize(Direct(WrappedCount(list)));
    benchmark::DoNotOptimize(Direct(list, Window(1)));
  }
}
void BM_InfoSearch_c_HandWritten(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  std::string where = " from tPtlx_Information where Column_ID = " + d.big_column +
                      " and WebSite_ID = " + d.site + " and Sys_ID = " + d.sys +
                      " and Info_IsDeleted = '0' and Info_SystemTime between "
                      "'2020-01-01 00:00:00' and '2021-06-30 00:00:00' and " +
                      TitleHas(d.title_word);
  for (auto _ : state) {
    OtherWriterCommits(state);
    HandCount("select count(*)" + where);
    benchmark::DoNotOptimize(Direct("select " + kCols + where + " order by Info_Order", Window(1)));
  }
}
BENCHMARK(BM_InfoSearch_a_Library)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoSearch_b_SentSql)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoSearch_c_HandWritten)->Unit(benchmark::kMillisecond);

// --- searches over the whole website: a title word, and none (a feed) ---

void BM_InfoSiteSearch_a_Library(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  std::string words = state.range(0) ? d.title_word : "";
  for (auto _ : state) {
    benchmark::DoNotOptimize(Library().SearchPublishedInfoList(d.site, d.sys, "", words, "", "1"));
  }
  state.counters["rows"] = Library().RecordCount();
  CheckErrors(state);
}
// The same rows: published, live items of the website in live columns of the
// system, the word in the title or the content (ASCII case folding only).
void BM_InfoSiteSearch_c_HandWritten(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  bool pg = Conn()->dialect() == db::Dialect::kPostgres;
  std::string has = std::string(pg ? "strpos" : "instr");
  std::string word = state.range(0) ? " and (" + TitleHas(d.title_word) + " or " + has +
                                          "(lower(Info_Content), '" + d.title_word + "') > 0)"
                                    : "";
  std::string where = " from tPtlx_Information where WebSite_ID = " + d.site +
                      " and Sys_ID = " + d.sys +
                      " and InfState_ID in (4,5,6) and Info_IsDeleted = '0' and Column_ID in "
                      "(select Column_ID from tPtlx_Column where Sys_ID = " +
                      d.sys + " and Column_IsDeleted = '0')" + word;
  for (auto _ : state) {
    OtherWriterCommits(state);
    HandCount("select count(*)" + where);
    benchmark::DoNotOptimize(Direct("select " + kCols + where + " order by Info_Order", Window(1)));
  }
}
BENCHMARK(BM_InfoSiteSearch_a_Library)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoSiteSearch_c_HandWritten)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A column's published list with a hidden column elsewhere in the system:
// the list pages take SearchPublishedInfoList then (0 small, 1 big column).
void BM_InfoShownList_a_Library(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  const std::string& col = state.range(0) ? d.big_column : d.small_column;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        Library().SearchPublishedInfoList(d.site, d.sys, col, "", d.mid_column, "1"));
  }
  state.counters["rows"] = Library().RecordCount();
  CheckErrors(state);
}
void BM_InfoShownList_b_Published(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  const std::string& col = state.range(0) ? d.big_column : d.small_column;
  for (auto _ : state)
    benchmark::DoNotOptimize(Library().GetPublishedInfoList(d.site, d.sys, col, "1"));
  state.counters["rows"] = Library().RecordCount();
  CheckErrors(state);
}
BENCHMARK(BM_InfoShownList_a_Library)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoShownList_b_Published)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// --- top-N lists ---

void BM_InfoTopPublished_a_Library(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  for (auto _ : state)
    benchmark::DoNotOptimize(Library().GetTopNPublishedInfoList(d.site, d.sys, d.top_column, "10"));
  CheckErrors(state);
}
void BM_InfoTopPublished_b_SentSql(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  std::string list = info_sql::PublishedList(d.sys, d.top_column, d.site, "10");
  for (auto _ : state) benchmark::DoNotOptimize(Direct(list));
}
void BM_InfoTopPublished_c_HandWritten(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  std::string code =
      "(select Column_Order from tPtlx_Column where Column_ID = " + d.top_column + ")";
  std::string subtree = "(select Column_ID from tPtlx_Column where Column_Order >= " + code +
                        " and Column_Order < " + code + " || 'Z' and Sys_ID = " + d.sys +
                        " and Column_IsDeleted = '0')";
  std::string list =
      "select " + kCols + " from tPtlx_Information where WebSite_ID = " + d.site +
      " and Sys_ID = " + d.sys +
      " and InfState_ID in (4,5,6) and Info_IsDeleted = '0' and (+Column_ID in " + subtree +
      " or +Info_ID in (select Info_ID from tPtlx_Info2Colu where Sys_ID = " + d.sys +
      " and Column_ID in " + subtree + ")) order by Info_Order limit 10";
  for (auto _ : state) benchmark::DoNotOptimize(Direct(list));
}
BENCHMARK(BM_InfoTopPublished_a_Library)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoTopPublished_b_SentSql)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoTopPublished_c_HandWritten)->Unit(benchmark::kMillisecond);

void BM_InfoTopPicture_a_Library(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  for (auto _ : state)
    benchmark::DoNotOptimize(Library().GetTopNPictureInfoList(d.site, d.sys, "10"));
  CheckErrors(state);
}
void BM_InfoTopPicture_b_SentSql(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  std::string list = "select top 10 " + kCols + " from tPtlx_Information where Sys_ID = " + d.sys +
                     "and InfState_ID in (4,5,6) and WebSite_ID = " + d.site +
                     " and Info_IsDeleted = '0' and Info_ImageCount>0 order by Info_Order";
  for (auto _ : state) benchmark::DoNotOptimize(Direct(list));
}
void BM_InfoTopPicture_c_HandWritten(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  std::string list = "select " + kCols + " from tPtlx_Information where WebSite_ID = " + d.site +
                     " and Sys_ID = " + d.sys +
                     " and InfState_ID in (4,5,6) and Info_IsDeleted = '0' and Info_ImageCount > 0 "
                     "order by Info_Order limit 10";
  for (auto _ : state) benchmark::DoNotOptimize(Direct(list));
}
BENCHMARK(BM_InfoTopPicture_a_Library)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoTopPicture_b_SentSql)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoTopPicture_c_HandWritten)->Unit(benchmark::kMillisecond);

// --- moves and adds (each iteration rolled back with the rest of the run) ---

// An item 5,000 deep in the busy column's list of its website and system,
// moved up and back down (the column also holds other websites' items).
void BM_InfoMoveUpDown_a_Library(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  auto conn = Conn();
  std::string id;
  {
    auto rs =
        conn->Execute("select Info_ID from tPtlx_Information where Column_ID = " + d.big_column +
                      " and WebSite_ID = " + d.site + " and Sys_ID = " + d.sys +
                      " and Info_IsDeleted = '0' order by Info_Order limit 1 offset 5000");
    id = ToDisplay(rs->Field(0));
  }
  db::Transaction tx(*conn);
  for (auto _ : state) {
    Library().MoveUpInfo(d.site, d.sys, d.big_column, "All", id);
    Library().MoveDownInfo(d.site, d.sys, d.big_column, "All", id);
  }
  state.SetItemsProcessed(state.iterations() * 2);  // moves
  CheckErrors(state);
}
BENCHMARK(BM_InfoMoveUpDown_a_Library)->Unit(benchmark::kMillisecond);

void BM_InfoAppend_a_Library(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  auto conn = Conn();
  db::Transaction tx(*conn);
  for (auto _ : state) {
    benchmark::DoNotOptimize(Library().AppendInfo(d.sys, d.big_column, "bench", "1", "A new story",
                                                  "<p>text <img src=\"a.png\"></p>", "2024-05-01",
                                                  "", "", d.site));
  }
  state.SetItemsProcessed(state.iterations());
  CheckErrors(state);
}
void BM_InfoAppend_b_SentSql(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  auto conn = Conn();
  db::Transaction tx(*conn);
  for (auto _ : state) {
    // The library's statements, rewritten, in the library's savepoint.
    db::Transaction each(*conn);
    Direct("select * from tPtlx_Information where Info_ID = null");
    int64_t id = db::BackendOf(*conn).Insert(
        db::RewriteFor(
            *conn,
            "insert into tPtlx_Information (Sys_ID,Column_ID,Info_PublicUsr,InfType_ID,Info_Title,"
            "WebSite_ID,Info_Content,Info_ImageCount,Info_PublicDate) values (" +
                d.sys + "," + d.big_column + ",'bench',1,'A new story'," + d.site +
                ",'<p>text <img src=\"a.png\"></p>',1,'2024-05-01 00:00:00')")
            .text,
        "Info_ID");
    db::BackendOf(*conn).Execute(
        db::RewriteFor(*conn, "update tPtlx_Information set Info_Order = '" +
                                  PaddedOrderCode(id, kInfoCodeWidth) +
                                  "' where Info_ID = " + std::to_string(id))
            .text);
    each.Commit();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_InfoAppend_a_Library)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InfoAppend_b_SentSql)->Unit(benchmark::kMicrosecond);

// Live items of the busy column of the website and system, `n` of them
// from `offset` in list order.
std::vector<std::string> BusyItems(int n, int offset) {
  const auto& d = EnsureInfoData();
  auto rs =
      Conn()->Execute("select Info_ID from tPtlx_Information where Column_ID = " + d.big_column +
                      " and WebSite_ID = " + d.site + " and Sys_ID = " + d.sys +
                      " and Info_IsDeleted = '0' order by Info_Order limit " + std::to_string(n) +
                      " offset " + std::to_string(offset));
  std::vector<std::string> ids;
  for (; !rs->IsEof(); rs->MoveNext()) ids.push_back(ToDisplay(rs->Field(0)));
  return ids;
}

// A review of an old item of the busy column, published and back to waiting
// in turn: each call changes the item's state, so its counts.
void BM_InfoAssess_a_Library(benchmark::State& state) {
  std::string id = BusyItems(1, 5000).at(0);
  db::Transaction tx(*Conn());
  int i = 0;
  for (auto _ : state) Library().AssessInfo("bench", id, ++i % 2 ? "4" : "1");
  state.SetItemsProcessed(state.iterations());
  CheckErrors(state);
}
BENCHMARK(BM_InfoAssess_a_Library)->Unit(benchmark::kMicrosecond);

// An item moved from the busy column to the mid-size one and back.
void BM_InfoMove_a_Library(benchmark::State& state) {
  const auto& d = EnsureInfoData();
  std::string id = BusyItems(1, 5000).at(0);
  db::Transaction tx(*Conn());
  for (auto _ : state) {
    Library().MoveInfo(id, d.sys, d.mid_column);
    Library().MoveInfo(id, d.sys, d.big_column);
  }
  state.SetItemsProcessed(state.iterations() * 2);  // moves
  CheckErrors(state);
}
BENCHMARK(BM_InfoMove_a_Library)->Unit(benchmark::kMicrosecond);

// Old items of the busy column deleted one by one (each a live one).
void BM_InfoDelete_a_Library(benchmark::State& state) {
  std::vector<std::string> ids = BusyItems(3000, 1000);
  db::Transaction tx(*Conn());
  size_t i = 0;
  for (auto _ : state) Library().DeleteInfo(ids[i++ % ids.size()]);
  state.SetItemsProcessed(state.iterations());
  CheckErrors(state);
}
BENCHMARK(BM_InfoDelete_a_Library)->Unit(benchmark::kMicrosecond)->Iterations(2000);

}  // namespace
}  // namespace ptolix::bench
