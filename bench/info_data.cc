#include "info_data.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "db/atomic.h"
#include "db/backend.h"
#include "db/engine.h"
#include "ptolix/connect.h"
#include "ptolix/schema/schema.h"
#include "schema/search_index.h"
#include "schema/tables.h"
#include "value/order_code.h"

namespace ptolix::bench {

namespace {

constexpr int kColumns = 2'000;
constexpr int kTopColumns = 10;
constexpr int kSystem2Tops = 2;  // the last top columns and their subtrees belong to system 2
constexpr int kWebSites = 5;     // 1 to 3 own the top columns; 4 and 5 share their subtrees
constexpr int kMaxDepth = 6;
constexpr int kBatch = 500;
constexpr int kRoles = 5;  // roles 2 to 6 (role 1 is the standard one)
constexpr int kLinkClasses = 4;

uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

const char* const kWords[] = {
    "alpha",   "bravo",  "charlie", "delta",  "echo",     "foxtrot", "golf",   "hotel",  "india",
    "juliett", "kilo",   "lima",    "mike",   "november", "oscar",   "papa",   "quebec", "romeo",
    "sierra",  "tango",  "uniform", "victor", "whiskey",  "xray",    "yankee", "zulu",   "amber",
    "basalt",  "cobalt", "dune",    "ember",  "fjord",    "garnet",  "harbor", "indigo", "jasper",
    "kelp",    "lagoon", "marble",  "nectar", "onyx",     "pebble",  "quartz", "ridge",  "slate",
    "tundra",  "umber",  "velvet",  "willow", "zephyr"};

// The tables the data set fills.
const char* const kTables[] = {"tPtlx_System",      "tPtlx_WebSite",   "tPtlx_Column",
                               "tPtlx_Information", "tPtlx_Info2Colu", "tPtlx_User",
                               "tPtlx_Usr2Role",    "tLink_Class",     "tLink_Detail"};

int64_t Items() {
  const char* env = std::getenv("PTOLIX_BENCH_ITEMS");
  int64_t n = env && *env ? std::atoll(env) : 1'000'000;
  return n < 1'000 ? 1'000 : n;
}

// The column tree, the same in every run.
struct Tree {
  std::vector<int> depth, site, sys, top, father;
  std::vector<std::string> code;
  // The skewed columns of system 1: the busy one and three mid-size ones
  // (shares of 1,000 items: 170, 60, 45, 30); a small one of the even spread.
  int busy = 0, mid60 = 0, mid45 = 0, mid30 = 0, small = 0;
  bool Skewed(int c) const { return c == busy || c == mid60 || c == mid45 || c == mid30; }
};

const Tree& ColumnTree() {
  static const Tree tree = [] {
    Tree t;
    t.depth.resize(kColumns + 1);
    t.site.resize(kColumns + 1);
    t.sys.resize(kColumns + 1);
    t.top.resize(kColumns + 1);
    t.code.resize(kColumns + 1);
    t.father.resize(kColumns + 1);
    for (int c = 1; c <= kColumns; ++c) {
      int father = 0;
      if (c > kTopColumns) {
        uint64_t attempt = 0;
        do father = 1 + static_cast<int>(Mix(c * 31 + attempt++) % (c - 1));
        while (t.depth[father] >= kMaxDepth);
      }
      t.father[c] = father;
      t.depth[c] = father ? t.depth[father] + 1 : 1;
      t.top[c] = father ? t.top[father] : c;
      t.site[c] = father ? t.site[father] : 1 + (c - 1) % 3;
      t.sys[c] = father ? t.sys[father] : (c > kTopColumns - kSystem2Tops ? 2 : 1);
      t.code[c] = (father ? t.code[father] : "") + PaddedOrderCode(c, kColumnCodeWidth);
    }
    // All of them below top columns of website 1, 2 or 3 of system 1; the
    // others share the busy column's website.
    auto pick = [&](int from) {
      int c = from;
      while (t.sys[c] != 1 || t.depth[c] < 2 || t.Skewed(c) ||
             (t.busy && t.site[c] != t.site[t.busy]))
        ++c;
      return c;
    };
    t.busy = pick(1500);
    t.mid60 = pick(1200);
    t.mid45 = pick(1300);
    t.mid30 = pick(1400);
    t.small = pick(700);
    return t;
  }();
  return tree;
}

struct ItemPlace {
  int column, site, sys;
};

bool CrossPosted(int64_t id) { return id % 40 == 3 || id % 40 == 14; }

int64_t CrossPostCount(int64_t n) { return n / 40 * 2 + (n % 40 >= 3) + (n % 40 >= 14); }

bool OnPostgres(db::Connection& conn) { return conn.dialect() == db::Dialect::kPostgres; }

// The item's time: one item a minute from 2020-01-01 on.
std::string TimeOf(int64_t id, bool pg) {
  return pg ? "timestamp '2020-01-01 00:00:00' + interval '" + std::to_string(id) + " minutes'"
            : "datetime('2020-01-01 00:00:00','+" + std::to_string(id) + " minutes')";
}

// The load's transaction. On PostgreSQL it is committed and begun again
// every kChunk statements: each statement in a transaction runs in a
// savepoint of its own, and after some thousands of them every row's
// visibility check reads the subtransactions' log, so that one batch took
// seconds. An interrupted load is found incomplete and made again.
class Load {
 public:
  explicit Load(db::Connection& conn) : conn_(conn), pg_(OnPostgres(conn)) { tx_.emplace(conn); }
  void Execute(const std::string& sql) {
    db::BackendOf(conn_).Execute(sql);
    if (pg_ && ++statements_ % kChunk == 0) {
      tx_->Commit();
      tx_.emplace(conn_);
    }
  }
  void Commit() { tx_->Commit(); }

 private:
  static constexpr int kChunk = 100;
  db::Connection& conn_;
  bool pg_;
  std::optional<db::Transaction> tx_;
  int64_t statements_ = 0;
};

// Sends rows in multi-row inserts of kBatch rows.
class Batcher {
 public:
  Batcher(Load& load, std::string head) : load_(load), head_(std::move(head)) {}
  ~Batcher() { Flush(); }
  void Add(const std::string& row) {
    sql_ += (n_ ? "," : head_) + row;
    if (++n_ == kBatch) Flush();
  }
  void Flush() {
    if (n_) load_.Execute(sql_);
    sql_.clear();
    n_ = 0;
  }

 private:
  Load& load_;
  std::string head_, sql_;
  int n_ = 0;
};

void Generate(db::Connection& conn) {
  auto started = std::chrono::steady_clock::now();
  const int64_t items = Items();
  const Tree& t = ColumnTree();
  schema::CreateSchema(conn);
  Load backend(conn);
  bool pg = OnPostgres(conn);
  // Leftovers of an interrupted run go; the indexes of the big tables are
  // built once after loading rather than row by row.
  for (const char* table : kTables) backend.Execute(std::string("delete from ") + table);
  for (const auto& ix : schema::Indexes()) {
    for (const char* table : kTables) {
      if (ix.table == table) backend.Execute("drop index " + ix.name);
    }
  }
  backend.Execute(
      "insert into tPtlx_System (Sys_ID,Sys_Name,Sys_Description) values (1,'bench',''),(2,'bench "
      "2','')");
  for (int s = 1; s <= kWebSites; ++s) {
    backend.Execute("insert into tPtlx_WebSite (WebSite_ID,WebSite_Name) values (" +
                    std::to_string(s) + ",'site " + std::to_string(s) + "')");
  }
  {
    Batcher columns(
        backend,
        "insert into tPtlx_Column (Column_ID,Sys_ID,Column_Father,Column_Name,Column_Order,"
        "WebSite_ID) values ");
    for (int c = 1; c <= kColumns; ++c) {
      std::string father = t.father[c] ? std::to_string(t.father[c]) : "null";
      columns.Add("(" + std::to_string(c) + "," + std::to_string(t.sys[c]) + "," + father +
                  ",'column " + std::to_string(c) + "','" + t.code[c] + "'," +
                  std::to_string(t.site[c]) + ")");
    }
  }
  // Items: every 20th is filed under the item before it (same column).
  std::vector<ItemPlace> place(items + 1);
  std::vector<std::string> order(items + 1);
  {
    Batcher rows(
        backend,
        "insert into tPtlx_Information "
        "(Info_ID,InfState_ID,InfType_ID,Sys_ID,Column_ID,Info_Father,"
        "Info_PublicUsr,Info_Title,Info_Content,Info_ImageCount,Info_SystemTime,Info_Order,"
        "Info_IsDeleted,WebSite_ID) values ");
    for (int64_t id = 1; id <= items; ++id) {
      uint64_t h = Mix(id);
      bool child = id % 20 == 10;
      if (child) {
        place[id] = place[id - 1];
      } else {
        int share = static_cast<int>(h % 1000);
        int column = share < 170   ? t.busy
                     : share < 230 ? t.mid60
                     : share < 275 ? t.mid45
                     : share < 305 ? t.mid30
                                   : 0;
        int site;
        if (column) {
          // A skewed column's items belong to its website and two others.
          int k = static_cast<int>((h >> 52) % 3);
          site = k == 0 ? t.site[column] : 3 + k;
        } else {
          column = 1 + static_cast<int>((h >> 44) % kColumns);
          while (t.Skewed(column)) column = column % kColumns + 1;
          site = (h >> 52) % 10 == 0 ? 4 + static_cast<int>((h >> 56) % 2) : t.site[column];
        }
        place[id] = {column, site, t.sys[column]};
      }
      order[id] = (child ? order[id - 1] : "") + PaddedOrderCode(id, kInfoCodeWidth);
      std::string father = child ? std::to_string(id - 1) : "null";
      int state =
          id % 2 == 0 ? 4 + static_cast<int>((h >> 8) % 3) : 1 + static_cast<int>((h >> 8) % 3);
      bool picture = (h >> 16) % 10 == 0;
      const char* word = kWords[(h >> 24) % 50];
      rows.Add("(" + std::to_string(id) + "," + std::to_string(state) + "," +
               std::to_string(1 + (h >> 32) % 5) + "," + std::to_string(place[id].sys) + "," +
               std::to_string(place[id].column) + "," + father + ",'editor','News " + word + " " +
               std::to_string(id) + "','<p>Story " + std::to_string(id) +
               (picture ? "<img src=\"a.png\">" : "") + "</p>'," + (picture ? "1" : "0") + "," +
               TimeOf(id, pg) + ",'" + order[id] + "','" + ((h >> 40) % 100 == 0 ? "1" : "0") +
               "'," + std::to_string(place[id].site) + ")");
    }
  }
  // 5% cross-posted, published and unpublished ones, into another column of
  // the same system; one in ten of them onto the busy column.
  {
    Batcher rows(backend, "insert into tPtlx_Info2Colu (Sys_ID,Column_ID,Info_ID) values ");
    for (int64_t id = 1; id <= items; ++id) {
      if (!CrossPosted(id)) continue;
      uint64_t h = Mix(id * 7 + 3);
      int sys = place[id].sys;
      int target = h % 10 == 0 && sys == 1 ? t.busy : 1 + static_cast<int>((h >> 8) % kColumns);
      while (t.sys[target] != sys) target = target % kColumns + 1;
      rows.Add("(" + std::to_string(sys) + "," + std::to_string(target) + "," + std::to_string(id) +
               ")");
    }
  }
  // Roles 2 to 6 and users: 60%, 25%, 10% and 5% in roles 2 to 5; every
  // tenth user also holds role 6.
  const int64_t users = items / 10;
  for (int r = 2; r < 2 + kRoles; ++r) {
    backend.Execute("delete from tPtlx_Role where Role_ID = " + std::to_string(r));
    backend.Execute("insert into tPtlx_Role (Role_ID,Role_Name,Role_Order) values (" +
                    std::to_string(r) + ",'role " + std::to_string(r) + "','" +
                    PaddedOrderCode(r, kRoleCodeWidth) + "')");
  }
  {
    Batcher rows(backend,
                 "insert into tPtlx_User "
                 "(Usr_ID,Role_ID,Usr_Name,Usr_Password,Usr_Email,WebSite_ID) values ");
    Batcher extra(backend, "insert into tPtlx_Usr2Role (Role_ID,Usr_ID) values ");
    char id[32];
    for (int64_t u = 1; u <= users; ++u) {
      std::snprintf(id, sizeof id, "user%07lld", static_cast<long long>(u));
      int share = static_cast<int>(Mix(u * 11) % 100);
      int role = share < 60 ? 2 : share < 85 ? 3 : share < 95 ? 4 : 5;
      rows.Add(std::string("('") + id + "'," + std::to_string(role) + ",'User " +
               std::to_string(u) + "','x','" + id + "@example.org'," + std::to_string(1 + u % 3) +
               ")");
      if (u % 10 == 0) extra.Add(std::string("(6,'") + id + "')");
    }
  }
  // Link classes 1 to 4 with 50%, 30%, 15% and 5% of the links.
  const int64_t links = items / 10;
  for (int k = 1; k <= kLinkClasses; ++k) {
    backend.Execute(
        "insert into tLink_Class (LinkClass_ID,LinkClass_ChineseName,LinkClass_EnglishName) values "
        "(" +
        std::to_string(k) + ",'class','class " + std::to_string(k) + "')");
  }
  {
    Batcher rows(
        backend,
        "insert into tLink_Detail (LinkClass_ID,Link_ID,Link_Title,Link_Url,Link_Order) values ");
    int64_t number[kLinkClasses + 1] = {};
    for (int64_t l = 1; l <= links; ++l) {
      int share = static_cast<int>(Mix(l * 13) % 100);
      int k = share < 50 ? 1 : share < 80 ? 2 : share < 95 ? 3 : 4;
      int64_t n = ++number[k];
      rows.Add("(" + std::to_string(k) + "," + std::to_string(n) + ",'Link " + std::to_string(l) +
               "','http://example.org/" + std::to_string(l) + "','" +
               PaddedOrderCode(n, kLinkCodeWidth) + "')");
    }
  }
  schema::CreateSchema(conn);  // the indexes dropped above
  // The rows the text index's triggers only noted are indexed in one go, as
  // the first search would.
  for (const auto& sql : db::EngineOf(conn).SubstringIndexUpkeep(schema::InfoTextIndex()).catch_up)
    backend.Execute(sql);
  backend.Commit();
  db::BackendOf(conn).Execute(pg ? "vacuum analyze" : "analyze");
  std::fprintf(stderr, "info data: %lld items generated in %.0f s\n", static_cast<long long>(items),
               std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

// True when the database holds the whole data set.
bool Complete(db::Connection& conn) {
  schema::CreateSchema(conn);
  const int64_t items = Items();
  auto rs = conn.Execute(
      "select (select count(*) from tPtlx_Column), (select count(*) from tPtlx_Information), "
      "(select count(*) from tPtlx_Info2Colu), (select count(*) from tPtlx_User), (select count(*) "
      "from tLink_Detail), "
      "(select count(*) from tPtlx_Information where Column_ID = " +
      std::to_string(ColumnTree().busy) + ")");
  return rs->Field(0).AsInt64() == kColumns && rs->Field(1).AsInt64() == items &&
         rs->Field(2).AsInt64() == CrossPostCount(items) && rs->Field(3).AsInt64() == items / 10 &&
         rs->Field(4).AsInt64() == items / 10 && rs->Field(5).AsInt64() > items / 10;
}

}  // namespace

const InfoData& EnsureInfoData() {
  static const InfoData data = [] {
    InfoData d;
    const char* env = std::getenv("PTOLIX_BENCH_INFO_DB");
    if (env && *env) {
      d.url = env;
    } else {
      std::filesystem::path dir =
          std::filesystem::path(__FILE__).parent_path().parent_path() / "var" / "bench";
      std::filesystem::create_directories(dir);
      d.url = "sqlite:" + (dir / "info.db").string();
    }
    if (d.url.rfind("sqlite:", 0) == 0) {
      // Made under another name and renamed, so a half-made file is never used.
      std::string path = d.url.substr(7);
      bool ok = std::filesystem::exists(path) && Complete(*ptolix::Connect(d.url));
      if (!ok) {
        std::string building = path + ".building";
        std::filesystem::remove(building);
        std::filesystem::remove(building + "-wal");
        std::filesystem::remove(building + "-shm");
        {
          auto conn = ptolix::Connect("sqlite:" + building);
          Generate(*conn);
        }
        std::filesystem::remove(path + "-wal");
        std::filesystem::remove(path + "-shm");
        std::filesystem::rename(building, path);
      }
    } else {
      auto conn = ptolix::Connect(d.url);
      if (!Complete(*conn)) Generate(*conn);
    }
    const Tree& t = ColumnTree();
    d.site = std::to_string(t.site[t.busy]);
    d.sys = "1";
    d.top_column = d.site;  // top columns 1, 2 and 3 belong to websites 1, 2 and 3
    d.big_column = std::to_string(t.busy);
    d.mid_column = std::to_string(t.mid30);
    d.small_column = std::to_string(t.small);
    d.busy_top = std::to_string(t.top[t.busy]);
    d.title_word = "quartz";
    d.big_role = "2";
    d.small_role = "5";
    d.big_link_class = "1";
    d.small_link_class = "4";
    d.items = Items();
    return d;
  }();
  return data;
}

std::shared_ptr<db::Connection> OpenInfoData() { return ptolix::Connect(EnsureInfoData().url); }

}  // namespace ptolix::bench
