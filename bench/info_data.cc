#include "db/backend.h"
#include "info_data.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "frame/order_code.h"
#include "ptolix/schema/schema.h"

namespace ptolix::bench {

namespace {

constexpr int kItems = 1'000'000;
constexpr int kColumns = 2'000;
constexpr int kTopColumns = 10;
constexpr int kMaxDepth = 6;
constexpr int kBigColumn = 1'500;  // every 100th item lives here
constexpr int kBatch = 500;

uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

const char* const kWords[] = {"alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel",
                              "india", "juliett", "kilo", "lima", "mike", "november", "oscar", "papa",
                              "quebec", "romeo", "sierra", "tango", "uniform", "victor", "whiskey", "xray",
                              "yankee", "zulu", "amber", "basalt", "cobalt", "dune", "ember", "fjord",
                              "garnet", "harbor", "indigo", "jasper", "kelp", "lagoon", "marble", "nectar",
                              "onyx", "pebble", "quartz", "ridge", "slate", "tundra", "umber", "velvet",
                              "willow", "zephyr"};

// The tables the data set fills.
const char kTables[] = "tPtlx_System, tPtlx_WebSite, tPtlx_Column, tPtlx_Information, tPtlx_Info2Colu";

bool OnPostgres(db::Connection& conn) { return conn.dialect() == db::Dialect::kPostgres; }

// The item's time: one item a minute from 2020-01-01 on.
std::string TimeOf(int id, bool pg) {
  return pg ? "timestamp '2020-01-01 00:00:00' + interval '" + std::to_string(id) + " minutes'"
            : "datetime('2020-01-01 00:00:00','+" + std::to_string(id) + " minutes')";
}

void Generate(db::Connection& conn) {
  schema::CreateSchema(conn);
  db::Transaction tx(conn);
  auto& backend = db::BackendOf(conn);
  bool pg = OnPostgres(conn);
  if (pg) {
    // Leftovers of an interrupted run go; the item indexes are built once
    // after loading rather than row by row.
    backend.Execute(std::string("truncate ") + kTables + " restart identity");
    for (const auto& ix : schema::Indexes()) {
      if (ix.table == "tPtlx_Information" || ix.table == "tPtlx_Info2Colu") backend.Execute("drop index " + ix.name);
    }
  }
  backend.Execute("insert into tPtlx_System (Sys_Name,Sys_Description) values ('bench','')");
  for (int s = 1; s <= 3; ++s) {
    backend.Execute("insert into tPtlx_WebSite (WebSite_Name) values ('site " + std::to_string(s) + "')");
  }
  // Columns: 10 top columns, then each column under an earlier one of depth
  // below 6; a column belongs to its top column's website.
  std::vector<int> depth(kColumns + 1), site(kColumns + 1);
  std::vector<std::string> code(kColumns + 1);
  for (int c = 1; c <= kColumns; ++c) {
    int father = 0;
    if (c > kTopColumns) {
      uint64_t attempt = 0;
      do father = 1 + static_cast<int>(Mix(c * 31 + attempt++) % (c - 1));
      while (depth[father] >= kMaxDepth);
    }
    depth[c] = father ? depth[father] + 1 : 1;
    site[c] = father ? site[father] : 1 + (c - 1) % 3;
    code[c] = (father ? code[father] : "") + PaddedOrderCode(c, kColumnCodeWidth);
    backend.Execute("insert into tPtlx_Column (Sys_ID,Column_Father,Column_Name,Column_Order,WebSite_ID) values (1," +
                    (father ? std::to_string(father) : std::string("null")) + ",'column " + std::to_string(c) +
                    "','" + code[c] + "'," + std::to_string(site[c]) + ")");
  }
  // Items: every 20th is filed under the item before it (same column).
  std::vector<int> column(kItems + 1);
  std::vector<std::string> order(kItems + 1);
  std::string sql;
  int in_batch = 0;
  for (int id = 1; id <= kItems; ++id) {
    uint64_t h = Mix(id);
    bool child = id % 20 == 10;
    int other = 1 + static_cast<int>(h % kColumns);
    column[id] = child ? column[id - 1] : id % 100 == 0 ? kBigColumn : other == kBigColumn ? other - 1 : other;
    order[id] = (child ? order[id - 1] : "") + PaddedOrderCode(id, kInfoCodeWidth);
    std::string father = child ? std::to_string(id - 1) : "null";
    int state = id % 2 == 0 ? 4 + static_cast<int>((h >> 8) % 3) : 1 + static_cast<int>((h >> 8) % 3);
    bool picture = (h >> 16) % 10 == 0;
    const char* word = kWords[(h >> 24) % 50];
    std::string time = TimeOf(id, pg);
    if (in_batch == 0) {
      sql = "insert into tPtlx_Information (Info_ID,InfState_ID,InfType_ID,Sys_ID,Column_ID,Info_Father,"
            "Info_PublicUsr,Info_Title,Info_Content,Info_ImageCount,Info_SystemTime,Info_Order,Info_IsDeleted,"
            "WebSite_ID) values ";
    } else {
      sql += ",";
    }
    sql += "(" + std::to_string(id) + "," + std::to_string(state) + "," + std::to_string(1 + (h >> 32) % 5) +
           ",1," + std::to_string(column[id]) + "," + father + ",'editor','News " + word + " " +
           std::to_string(id) + "','<p>Story " + std::to_string(id) + (picture ? "<img src=\"a.png\">" : "") +
           "</p>'," + (picture ? "1" : "0") + "," + time + ",'" + order[id] + "','" +
           ((h >> 40) % 100 == 0 ? "1" : "0") + "'," + std::to_string(site[column[id]]) + ")";
    if (++in_batch == kBatch || id == kItems) {
      backend.Execute(sql);
      in_batch = 0;
    }
  }
  // 5% cross-posted into another column of the same website.
  for (int id = 1; id <= kItems; id += kBatch * 20) {
    std::string rows;
    for (int i = id; i < id + kBatch * 20 && i <= kItems; i += 20) {
      int target = 1 + static_cast<int>(Mix(i * 7 + 3) % kColumns);
      // Top columns 1, 2 and 3 belong to websites 1, 2 and 3.
      if (site[target] != site[column[i]]) target = site[column[i]];
      rows += (rows.empty() ? "" : ",") + ("(1," + std::to_string(target) + "," + std::to_string(i) + ")");
    }
    if (!rows.empty()) backend.Execute("insert into tPtlx_Info2Colu (Sys_ID,Column_ID,Info_ID) values " + rows);
  }
  if (pg) schema::CreateSchema(conn);  // the indexes dropped above
  tx.Commit();
  backend.Execute(pg ? "vacuum analyze" : "analyze");
}

// True when a server database holds the whole data set.
bool Complete(db::Connection& conn) {
  schema::CreateSchema(conn);
  auto rs = conn.Execute("select (select count(*) from tPtlx_Column), (select count(*) from tPtlx_Information), "
                         "(select count(*) from tPtlx_Info2Colu)");
  return rs->Field(0).AsInt64() == kColumns && rs->Field(1).AsInt64() == kItems &&
         rs->Field(2).AsInt64() == kItems / 20;
}

}  // namespace

const InfoData& EnsureInfoData() {
  static const InfoData data = [] {
    InfoData d;
    if (const char* env = std::getenv("PTOLIX_BENCH_INFO_DB"); env && *env) {
      d.url = env;
      auto conn = db::Connect(d.url);
      if (!Complete(*conn)) Generate(*conn);
    } else {
      std::filesystem::path dir = std::filesystem::path(__FILE__).parent_path().parent_path() / "var" / "bench";
      std::filesystem::create_directories(dir);
      d.path = (dir / "info.db").string();
      d.url = "sqlite:" + d.path;
      if (!std::filesystem::exists(d.path)) {
        std::string building = d.path + ".building";
        std::filesystem::remove(building);
        {
          auto conn = db::Connect("sqlite:" + building);
          Generate(*conn);
        }
        std::filesystem::rename(building, d.path);
      }
    }
    auto conn = db::Connect(d.url);
    auto rs = conn->Execute("select WebSite_ID from tPtlx_Column where Column_ID = " + std::to_string(kBigColumn));
    d.site = std::to_string(rs->Field(0).AsInt64());
    d.sys = "1";
    d.top_column = d.site;  // top columns 1, 2 and 3 belong to websites 1, 2 and 3
    d.big_column = std::to_string(kBigColumn);
    d.title_word = "quartz";
    return d;
  }();
  return data;
}

std::shared_ptr<db::Connection> OpenInfoData() { return db::Connect(EnsureInfoData().url); }

}  // namespace ptolix::bench
