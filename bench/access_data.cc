#include "access_data.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <vector>

#include "db/atomic.h"
#include "db/backend.h"
#include "ptolix/connect.h"
#include "ptolix/schema/schema.h"
#include "value/order_code.h"

namespace ptolix::bench {

namespace {

constexpr int kColumns = 2000;
constexpr int kRoles = 500;
constexpr int kUsers = 10000;
constexpr int kMaxDepth = 6;

// Rows are inserted in multi-row statements of a few hundred rows each.
class BatchInsert {
 public:
  BatchInsert(db::Connection& conn, std::string head) : conn_(conn), head_(std::move(head)) {}
  ~BatchInsert() { Flush(); }
  void Add(const std::string& values) {
    text_ += (count_++ ? ",(" : " values (") + values + ")";
    if (count_ == 400) Flush();
  }
  void Flush() {
    if (count_) db::BackendOf(conn_).Execute(head_ + text_);
    text_.clear();
    count_ = 0;
  }

 private:
  db::Connection& conn_;
  std::string head_;
  std::string text_;
  int count_ = 0;
};

std::string Str(int v) { return std::to_string(v); }

void Generate(db::Connection& conn) {
  std::mt19937 rng(4242);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  db::Transaction tx(conn);

  // Columns: each system a forest; a new column goes under a random earlier
  // column of its system that is not at the deepest level.
  struct Node {
    int father, depth;
    std::string code;
  };
  std::vector<Node> columns(kColumns + 1);
  std::vector<int> column_sys(kColumns + 1);
  {
    BatchInsert insert(
        conn,
        "insert into tPtlx_Column (Column_ID,Sys_ID,Column_Father,Column_Name,Column_Order,"
        "WebSite_ID,Column_IsDeleted)");
    std::vector<std::vector<int>> open(3);  // columns of a system that may take children
    for (int c = 1; c <= kColumns; ++c) {
      int sys = c % 4 == 0 ? 2 : 1;
      column_sys[c] = sys;
      Node n{0, 1, ""};
      if (!open[sys].empty() && pick(20)) {
        n.father = open[sys][pick(static_cast<int>(open[sys].size()))];
        n.depth = columns[n.father].depth + 1;
        n.code = columns[n.father].code;
      }
      n.code += PaddedOrderCode(c, kColumnCodeWidth);
      columns[c] = n;
      if (n.depth < kMaxDepth) open[sys].push_back(c);
      insert.Add(Str(c) + "," + Str(sys) + "," + (n.father ? Str(n.father) : "null") + ",'column " +
                 Str(c) + "','" + n.code + "'," + (pick(3) ? "null" : Str(1 + pick(3))) + ",'" +
                 (pick(50) ? "0" : "1") + "'");
    }
  }

  // Roles 2 to 501, the same way (role 1, the administrators, stays alone).
  std::vector<Node> roles(kRoles + 2);
  {
    BatchInsert insert(conn, "insert into tPtlx_Role (Role_ID,Role_Name,Role_Order,Role_Father)");
    std::vector<int> open;
    for (int r = 2; r <= kRoles + 1; ++r) {
      Node n{0, 1, ""};
      if (!open.empty() && pick(20)) {
        // Lean towards deep chains so that 6-level roles are common.
        n.father = open[open.size() - 1 - pick(std::min<int>(static_cast<int>(open.size()), 40))];
        n.depth = roles[n.father].depth + 1;
        n.code = roles[n.father].code;
      }
      n.code += PaddedOrderCode(r, kRoleCodeWidth);
      roles[r] = n;
      if (n.depth < kMaxDepth) open.push_back(r);
      insert.Add(Str(r) + ",'role " + Str(r) + "','" + n.code + "'," +
                 (n.father ? Str(n.father) : "null"));
    }
  }

  // Grants: role 1 on every column (as adding columns does), about eight
  // per other role, and up to three per user.
  {
    BatchInsert insert(conn,
                       "insert into tPtlx_RoleAccess (Sys_ID,Column_ID,Role_ID,AccessType_ID)");
    for (int c = 1; c <= kColumns; ++c) insert.Add(Str(column_sys[c]) + "," + Str(c) + ",1,4");
    for (int r = 2; r <= kRoles + 1; ++r) {
      for (int k = 4 + pick(9); k > 0; --k) {
        int c = 1 + pick(kColumns);
        insert.Add(Str(column_sys[c]) + "," + Str(c) + "," + Str(r) + "," + Str(1 + pick(4)));
      }
    }
  }
  std::vector<int> deep, deepish;
  for (int r = 2; r <= kRoles + 1; ++r) {
    if (roles[r].depth == kMaxDepth) deep.push_back(r);
    if (roles[r].depth >= 4) deepish.push_back(r);
  }
  if (deep.empty() || deepish.size() < 5)
    throw std::runtime_error("the role tree came out too shallow");
  {
    BatchInsert users(conn, "insert into tPtlx_User (Usr_ID,Role_ID,Usr_Name,WebSite_ID,Org_ID)");
    BatchInsert extra(conn, "insert into tPtlx_Usr2Role (Role_ID,Usr_ID)");
    BatchInsert grants(conn, "insert into tPtlx_UsrAccess (Sys_ID,Column_ID,Usr_ID,AccessType_ID)");
    BatchInsert computed(conn,
                         "insert into tTemp_UsrAccess (Usr_ID,Sys_ID,Column_ID,AccessType_ID)");
    for (int u = 1; u <= kUsers; ++u) {
      std::string id = "'user" + Str(u) + "'";
      users.Add(id + "," + Str(2 + pick(kRoles)) + ",'User " + Str(u) + "'," + Str(1 + pick(3)) +
                ",1");
      if (pick(3) == 0) {
        for (int k = 1 + pick(2); k > 0; --k) extra.Add(Str(2 + pick(kRoles)) + "," + id);
      }
      for (int k = pick(4); k > 0; --k) {
        int c = 1 + pick(kColumns);
        grants.Add(Str(column_sys[c]) + "," + Str(c) + "," + id + "," + Str(1 + pick(4)));
      }
      for (int k = 25; k > 0; --k) {
        int c = 1 + pick(kColumns);
        computed.Add(id + "," + Str(column_sys[c]) + "," + Str(c) + "," + Str(1 + pick(4)));
      }
    }
    // The measured user.
    users.Add("'bench'," + Str(deep[0]) + ",'Bench',1,1");
    for (int k = 0; k < 4; ++k)
      extra.Add(Str(deepish[deepish.size() - 1 - k * 7 % deepish.size()]) + ",'bench'");
    for (int c : {7, 70, 700}) grants.Add(Str(column_sys[c]) + "," + Str(c) + ",'bench',3");
  }
  tx.Commit();
}

}  // namespace

const AccessData& GetAccessData() {
  static AccessData data = [] {
    AccessData d;
    std::string url;
    if (const char* env = std::getenv("PTOLIX_ACCESS_DB"); env && *env) {
      url = env;
    } else {
      std::filesystem::create_directories("var/bench");
      url = "sqlite:var/bench/access.db";
    }
    d.conn = ptolix::Connect(url);
    schema::CreateSchema(*d.conn);
    if (d.conn->Execute("select count(*) from tPtlx_User where Usr_ID = 'bench'")
            ->Field(0)
            .AsInt64() == 0) {
      Generate(*d.conn);
    }
    return d;
  }();
  return data;
}

std::string HandWrittenRebuild(const std::string& u) {
  return "insert into tTemp_UsrAccess (Usr_ID,Sys_ID,Column_ID,AccessType_ID) "
         "with recursive held(Role_ID) as ("
         "select Role_ID from tPtlx_User where Usr_ID = " +
         u +
         " and Role_ID is not null "
         "union select Role_ID from tPtlx_Usr2Role where Usr_ID = " +
         u +
         " and Role_ID is not null), "
         "chain(Role_ID) as (select Role_ID from held union "
         "select r.Role_Father from tPtlx_Role r join chain on r.Role_ID = chain.Role_ID "
         "where r.Role_Father is not null), "
         "granted(Sys_ID,Column_ID,AccessType_ID) as (select Sys_ID,Column_ID,max(AccessType_ID) "
         "from ("
         "select Sys_ID,Column_ID,AccessType_ID from tPtlx_UsrAccess where Usr_ID = " +
         u +
         " union all "
         "select a.Sys_ID,a.Column_ID,a.AccessType_ID from tPtlx_RoleAccess a join chain on "
         "a.Role_ID = chain.Role_ID"
         ") g group by Sys_ID,Column_ID), "
         "ancestor(Sys_ID,Column_ID) as ("
         "select c.Sys_ID,c.Column_Father from tPtlx_Column c join granted g "
         "on c.Sys_ID = g.Sys_ID and c.Column_ID = g.Column_ID where c.Column_Father is not null "
         "union "
         "select c.Sys_ID,c.Column_Father from tPtlx_Column c join ancestor a "
         "on c.Sys_ID = a.Sys_ID and c.Column_ID = a.Column_ID where c.Column_Father is not null) "
         "select " +
         u +
         ",Sys_ID,Column_ID,AccessType_ID from granted union all "
         "select " +
         u +
         ",Sys_ID,Column_ID,1 from ancestor a "
         "where not exists (select 1 from granted g where g.Column_ID = a.Column_ID)";
}

}  // namespace ptolix::bench
