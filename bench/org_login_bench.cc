// Sign-in: User::LoginVertify (read the user row, verify the argon2id hash,
// fill the properties, write the online row) beside the hand-written
// statements and the same hash check, on the same SQLite file, in the same
// run. Argument 0 signs in a user whose hash was made at the production
// (interactive) cost, argument 1 one made at the minimum cost, which shows
// what the library adds around the hash.
//
//   ./build/ptolix_bench --benchmark_filter=Org
//
// The data set is made once in var/bench/org.db: 500 roles and 10,000 users.

#include <benchmark/benchmark.h>
#include <sodium.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "db/atomic.h"
#include "db/backend.h"
#include "ptolix/org/password.h"
#include "ptolix/org/user.h"
#include "ptolix/ptolix.h"
#include "value/order_code.h"
#include "value/sql_text.h"

namespace {

using namespace ptolix;

constexpr int kRoles = 500;
constexpr int kUsers = 10'000;
constexpr const char* kPassword = "correct horse battery staple";

// The user that signs in for each cost: "u1" holds an interactive hash,
// "u2" a minimum one; the others share the interactive hash.
std::string UserFor(int64_t cost) { return cost == 0 ? "u1" : "u2"; }

std::shared_ptr<db::Connection> OrgDb() {
  static std::shared_ptr<db::Connection> conn = [] {
    std::filesystem::create_directories("var/bench");
    auto c = ptolix::Connect("sqlite:var/bench/org.db");
    schema::CreateSchema(*c);
    auto rs = c->Execute("select count(*) from tPtlx_User");
    if (rs->Field(0).AsInt64() != kUsers) {
      db::Transaction tx(*c);
      db::BackendOf(*c).Execute("delete from tPtlx_User");
      db::BackendOf(*c).Execute("delete from tPtlx_Role where Role_ID > 1");
      // Roles 2..501 directly under the root: code FFEF + the 4-digit segment.
      db::BackendOf(*c).Execute(
          "insert into tPtlx_Role (Role_ID,Role_Name,Role_Order,Role_Father) "
          "with recursive n(i) as (select 2 union all select i + 1 from n where i < " +
          std::to_string(kRoles + 1) +
          ") select i, 'role ' || i, 'FFEF' || printf('%03X', 4095 - i) || 'F', 1 from n");
      SetPasswordHashCost(PasswordHashCost::kInteractive);
      std::string hash = HashPassword(kPassword);
      db::BackendOf(*c).Execute(
          "insert into tPtlx_User "
          "(Usr_ID,Role_ID,Usr_Name,Usr_Password,Usr_Email,WebSite_ID,Org_ID) "
          "with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
          std::to_string(kUsers) + ") select 'u' || i, 2 + i % " + std::to_string(kRoles) +
          ", 'user ' || i, " + SqlQuote(hash) +
          ", 'u' || i || '@example.com', 1 + i % 3, i % 17 from n");
      SetPasswordHashCost(PasswordHashCost::kMinimum);
      db::BackendOf(*c).Execute("update tPtlx_User set Usr_Password = " +
                                SqlQuote(HashPassword(kPassword)) + " where Usr_ID = 'u2'");
      tx.Commit();
    }
    db::BackendOf(*c).Execute("delete from tPtlx_Online");
    return c;
  }();
  return conn;
}

void BM_Org_LoginVertify_Library(benchmark::State& state) {
  User user;
  user.SetConnection(OrgDb());
  std::string id = UserFor(state.range(0));
  for (auto _ : state) {
    if (!user.LoginVertify(id, kPassword)) state.SkipWithError(user.Errors().c_str());
  }
}

void BM_Org_LoginVertify_HandWritten(benchmark::State& state) {
  auto conn = OrgDb();
  db::Backend& b = db::BackendOf(*conn);
  std::string id = UserFor(state.range(0));
  std::vector<Variant> row;
  for (auto _ : state) {
    auto cursor = b.Query(
        "select Usr_Name,Usr_Password,WebSite_ID,Org_ID,Usr_Email from tPtlx_User where Usr_ID = "
        "'" +
        id + "'");
    if (!cursor->Fetch(&row)) state.SkipWithError("no user");
    std::string hash = row[1].AsString();
    if (crypto_pwhash_str_verify(hash.c_str(), kPassword, std::strlen(kPassword)) != 0) {
      state.SkipWithError("wrong password");
    }
    benchmark::DoNotOptimize(row[2].AsInt64());
    b.Execute(
        "insert into tPtlx_Online (Usr_ID,UsrOnline_LoginTime,UsrOnline_RefreshTime) values ('" +
        id +
        "',strftime('%Y-%m-%d %H:%M:%S','now','localtime'),strftime('%Y-%m-%d "
        "%H:%M:%S','now','localtime'))");
  }
}

BENCHMARK(BM_Org_LoginVertify_Library)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Org_LoginVertify_HandWritten)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
