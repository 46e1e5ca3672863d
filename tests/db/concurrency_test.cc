// Several page requests adding rows at the same time, each on its own
// connection to one shared database: every identifier, link number and order
// code they get must be distinct, every tree intact and every kept count
// exact. Runs on an SQLite file (WAL) and, when PTOLIX_TEST_PG is set, on
// PostgreSQL.

#include <barrier>
#include <functional>
#include <numeric>
#include <random>
#include <thread>

#include "db/atomic.h"
#include "db/backend.h"
#include "fixture.h"
#include "frame/counters.h"

namespace ptolix::test {
namespace {

constexpr int kThreads = 4;

class ConcurrencyTest : public DbTest {
 protected:
  ConcurrencyTest() : DbTest(true) {}
  void SetUp() override {
    Exec("insert into tPtlx_System (Sys_Name) values ('main')");
    Exec("insert into tPtlx_Column (Sys_ID,Column_Name,Column_Order) values (1,'news','FFFFFFFE')");
    Exec("insert into tLink_Class (LinkClass_ChineseName) values ('友情链接')");
  }
  // Races: `threads` threads, each with its own connection and object of
  // `class_name`, call `call` at one instant (a barrier) in each of `rounds`
  // rounds. `setup` runs on the main connection before each round and
  // `check` after it. Returns what the threads' objects reported, then
  // "wrong: N" when `check` found N rounds wrong.
  using Call = std::function<void(Object&, db::Connection&, int, int)>;
  std::string Race(const std::string& class_name, int threads, int rounds,
                   const std::function<void(int)>& setup, const Call& call,
                   const std::function<bool(int)>& check = nullptr) {
    std::barrier sync(threads + 1);
    std::vector<std::string> errors(threads + 1);
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
      pool.emplace_back([&, t] {
        std::shared_ptr<db::Connection> own = Open();
        auto obj = GlobalRegistry().CreateObject("Corvane_Ptolix." + class_name);
        obj->PutConnection(own);
        for (int r = 0; r < rounds; ++r) {
          sync.arrive_and_wait();  // the round is set up
          try {
            call(*obj, *own, t, r);
          } catch (const std::exception& e) {
            errors[t] += e.what();
          }
          sync.arrive_and_wait();  // every call of the round is done
        }
        errors[t] += obj->Get("Errors").ToText();
      });
    }
    int wrong = 0;
    for (int r = 0; r < rounds; ++r) {
      if (setup) setup(r);
      sync.arrive_and_wait();
      sync.arrive_and_wait();
      wrong += check && !check(r);
    }
    for (auto& th : pool) th.join();
    if (wrong) errors.back() = "wrong: " + std::to_string(wrong);
    return std::accumulate(errors.begin(), errors.end(), std::string());
  }
  // Rounds of a race: fewer on PostgreSQL, whose round trips are slower.
  int Rounds(int sqlite_rounds) const {
    return pg_schema_.empty() ? sqlite_rounds : sqlite_rounds / 2;
  }
};

// Two columns moved before one target at the same instant take two codes.
TEST_P(ConcurrencyTest, ColumnMovesBeforeOneTarget) {
  auto column = New("Column");
  std::vector<std::string> target, moved[2];
  auto add = [&](const std::string& father) {
    return column->Call("AppendColumn", {"1", "c", "", "", "", "", "", "", father}).ToText();
  };
  auto setup = [&](int) {
    std::string father = add("");
    for (auto* list : {&target, &moved[0], &moved[1]}) list->push_back(add(father));
  };
  auto move = [&](Object& c, db::Connection&, int t, int r) {
    c.Call("MoveColumn", {"1", moved[t][r], target[r]});
  };
  auto check = [&](int r) {
    std::string a = Rows("select Column_Order from tPtlx_Column where Column_ID = " + moved[0][r]),
                b = Rows("select Column_Order from tPtlx_Column where Column_ID = " + moved[1][r]),
                c = Rows("select Column_Order from tPtlx_Column where Column_ID = " + target[r]);
    return a != b && a < c && b < c;
  };
  EXPECT_EQ(Race("Column", 2, Rounds(60), setup, move, check), "");
  EXPECT_EQ(Count("select count(*) - count(distinct Column_Order) from tPtlx_Column"), 0);
}

// The last item moved up and the first moved down, both into the gap between
// the middle two, at the same instant: four codes.
TEST_P(ConcurrencyTest, ItemMovesIntoOneGap) {
  auto info = New("Information");
  std::vector<std::vector<std::string>> items;  // per round, in list order
  auto column = [](int r) { return std::to_string(100 + r); };
  auto setup = [&](int r) {
    items.emplace_back();
    for (int i = 0; i < 4; ++i) {
      Args args = {"1", column(r), "u", "1", "t", "", "", "", "", "1"};
      items[r].insert(items[r].begin(), info->Call("AppendInfo", args).ToText());
    }
  };
  auto move = [&](Object& o, db::Connection&, int t, int r) {
    o.Call(t ? "MoveDownInfo" : "MoveUpInfo", {"1", "1", column(r), "All", items[r][t ? 0 : 3]});
  };
  auto check = [&](int r) {
    return Count("select count(distinct Info_Order) from tPtlx_Information where Column_ID = " +
                 column(r)) == 4;
  };
  EXPECT_EQ(Race("Information", 2, Rounds(60), setup, move, check), "");
}

// Two rebuilds of one user's effective access at the same instant leave one
// row per column.
TEST_P(ConcurrencyTest, AccessRebuildsOfOneUser) {
  Exec(
      "insert into tPtlx_Column (Sys_ID,Column_Name,Column_Father,Column_Order) values "
      "(1,'sub',1,'FFFFFFFEFFFFFFEF')");
  Exec("insert into tPtlx_User (Usr_ID,Role_ID,Usr_Name) values ('amy',1,'Amy')");
  Exec("insert into tPtlx_UsrAccess values (1,2,'amy',3)");
  Exec("insert into tPtlx_RoleAccess values (1,2,1,2)");
  auto rebuild = [](Object& u, db::Connection&, int, int) { u.Call("UpdateUsrAccess", {"amy"}); };
  auto check = [&](int) {
    return Rows(
               "select count(*) n, max(AccessType_ID) m from tTemp_UsrAccess where Usr_ID = "
               "'amy' and Column_ID = 2") == "n|m\n1|3\n" &&
           Count("select count(*) from tTemp_UsrAccess where Usr_ID = 'amy'") == 2;
  };
  EXPECT_EQ(
      Race(
          "User", 3, Rounds(60), [&](int) { Exec("delete from tTemp_UsrAccess"); }, rebuild, check),
      "");
}

// Roles, columns, items, links and counter values added at one instant by
// four connections are all distinct, and every child's code is its father's
// followed by one segment.
TEST_P(ConcurrencyTest, AddsAtOneInstant) {
  // class, method, arguments ("#" becomes a text of the call's own)
  const std::tuple<std::string, std::string, Args> cases[] = {
      {"Role", "AppendRole", {"#", "", "1", ""}},
      {"Column", "AppendColumn", {"1", "c", "", "", "", "", "", "", "1"}},
      {"Information", "AppendInfo", {"1", "1", "u", "1", "t", "", "", "", "", "1"}},
      {"Link", "AppendLink", {"1", "#", "", "http://x/", "", "", "", ""}}};
  const int rounds = Rounds(20);
  for (const auto& [class_name, method, args] : cases) {
    const std::string name = method;  // no lambda captures a structured binding before clang 16
    const Args given = args;
    auto add = [&](Object& o, db::Connection&, int t, int r) {
      Args own = given;
      for (auto& a : own) a = a.ToText() == "#" ? Variant(std::to_string(t * 1000 + r)) : a;
      o.Call(name, own);
    };
    EXPECT_EQ(Race(class_name, kThreads, rounds, nullptr, add), "") << class_name;
  }
  auto counter = [](Object&, db::Connection& conn, int, int r) {
    std::string errors;  // the counter of a scope each round uses for the first time
    NextEncodeValue("tLink_Detail", "Link_ID", std::to_string(100 + r), &conn, errors);
    if (!errors.empty()) throw std::runtime_error(errors);
  };
  EXPECT_EQ(Race("Role", kThreads, rounds, nullptr, counter), "");
  // n roles, columns and items each with its own code; four values of each
  // round's counter.
  const std::string n = std::to_string(kThreads * rounds);
  EXPECT_EQ(
      Rows("select (select count(distinct Role_Order) from tPtlx_Role where Role_Father = 1) r,"
           "(select count(distinct Column_Order) from tPtlx_Column where Column_Father = 1) c,"
           "(select count(distinct Info_Order) from tPtlx_Information) i, (select count(*) "
           "from tEncode_Manager where tEncode_Counter = 4) e"),
      "r|c|i|e\n" + n + "|" + n + "|" + n + "|" + std::to_string(rounds) + "\n");
  EXPECT_EQ(
      Count("select count(*) from tPtlx_Role c, tPtlx_Role f where c.Role_Father = f.Role_ID and "
            "(c.Role_Order is null or c.Role_Order not like f.Role_Order + '%' or "
            "len(c.Role_Order) <> len(f.Role_Order) + 4)"),
      0);
  // Link numbers 1 to n in class 1, each once, each with its own code.
  EXPECT_EQ(Rows("select count(distinct Link_ID) a, count(distinct Link_Order) b, min(Link_ID) c, "
                 "max(Link_ID) d, max(tEncode_Counter) e from tLink_Detail, tEncode_Manager where "
                 "LinkClass_ID = 1 and tEncode_Identify = 1"),
            "a|b|c|d|e\n" + n + "|" + n + "|1|" + n + "|" + n + "\n");
}

// Moves and adds (some filed under other items) in two columns by four
// connections: no two items ever share a code, and every filed item's code
// is its father's followed by one segment.
TEST_P(ConcurrencyTest, MixedMovesAndAdds) {
  auto info = New("Information");
  for (int i = 0; i < 6; ++i)
    info->Call("AppendInfo", {"1", std::to_string(1 + i % 2), "u", "1", "t", "", "", "", "", "1"});
  auto step = [&](Object& o, db::Connection& conn, int t, int r) {
    std::mt19937 random(t * 7919 + r);
    std::string column = std::to_string(1 + (t + r) % 2);
    ResultArray ids =
        conn.RunQuery("select Info_ID from tPtlx_Information where Column_ID = " + column);
    std::string some = ids.At(1 + random() % ids.DataRows(), 0).ToText();
    int kind = static_cast<int>(random() % 4);
    Args add = {"1", column, "u", "1", "t", "", "", "", "", "1"};
    if (kind == 1) add.push_back(some);  // filed under another item
    if (kind < 2) o.Call("AppendInfo", add);
    if (kind >= 2)
      o.Call(kind == 2 ? "MoveUpInfo" : "MoveDownInfo", {"1", "1", column, "All", some});
  };
  std::string errors = Race("Information", kThreads, Rounds(40), nullptr, step);
  // Reaching an end of the list is the only refusal.
  std::string other;
  for (const std::string& line : ErrorLines(errors)) {
    if (line.find("移动失败") == std::string::npos) other += line + "\n";
  }
  EXPECT_EQ(other, "");
  EXPECT_EQ(Count("select count(*) - count(distinct Info_Order) from tPtlx_Information"), 0);
  EXPECT_EQ(Count("select count(*) from tPtlx_Information c, tPtlx_Information f where "
                  "c.Info_Father = f.Info_ID and (c.Info_Order not like f.Info_Order + '%' or "
                  "len(c.Info_Order) <> len(f.Info_Order) + 8)"),
            0);
}

// Writers meeting on the same few columns and states: appends, moves,
// reviews, deletions and cross-posts through the library and plain
// statements at once. No kept count may lose a change.
TEST_P(ConcurrencyTest, KeptCountsLoseNoChange) {
  Exec(
      "insert into tPtlx_Column (Sys_ID,Column_Father,Column_Order) values "
      "(1,1,'FFFFFFFEFFFFFFEF'),(1,null,'FFFFFFDF')");
  std::vector<std::string> mine[kThreads];
  auto write = [&](Object& info, db::Connection& conn, int t, int r) {
    std::mt19937 rnd(t * 1000 + r);
    std::string col = std::to_string(1 + rnd() % 3);
    mine[t].push_back(
        info.Call("AppendInfo", {"1", col, "u", "1", "t", "c", "", "", "", "1"}).ToText());
    std::string some = mine[t][rnd() % mine[t].size()], other = std::to_string(1 + rnd() % 3);
    int kind = static_cast<int>(rnd() % 6);
    if (kind == 0) info.Call("AssessInfo", {"a", some, std::to_string(4 + rnd() % 3)});
    if (kind == 1) info.Call("MoveInfo", {some, "1", other});
    if (kind == 2) info.Call("AddInfo2Column", {some, "1", other});
    if (kind == 3) info.Call("DeleteInfo", {some});
    if (kind == 4)
      conn.ExecuteCommand("update tPtlx_Information set InfState_ID = 4, Column_ID = " + col +
                          " where Info_ID = " + some);
    if (kind == 5) conn.ExecuteCommand("delete from tPtlx_Info2Colu where Info_ID = " + some);
  };
  EXPECT_EQ(Race("Information", kThreads, 30, nullptr, write), "");
  EXPECT_EQ(Count("select count(*) from tPtlx_Information"), kThreads * 30);
  for (const auto& d : schema::CheckKeptCounts(*conn, false))
    ADD_FAILURE() << d.table << " " << d.key << ": kept " << d.kept << ", counted " << d.real;
}

// Counts of paged lists are kept between calls while the data stays the
// same: every commit, by this connection or another, and every row this
// connection writes must show in the next count.
TEST_P(ConcurrencyTest, CountsFollowEveryChange) {
  auto other = Open();
  db::KeepCountsFrom(*conn, std::chrono::microseconds(0));
  const std::string list = "select Sys_ID from tPtlx_System order by Sys_ID";
  auto count = [&] { return conn->OpenKeyset(list)->RecordCount(); };
  // The kept count of the list, then a count of the table.
  auto both = [&] {
    std::string kept = std::to_string(count()) + "/";
    return kept + std::to_string(conn->Count("select count(*) from tPtlx_System"));
  };
  auto add = [](db::Connection& conn, const char* name) {
    conn.ExecuteCommand(std::string("insert into tPtlx_System (Sys_Name) values ('") + name + "')");
  };
  EXPECT_EQ(count(), 1);
  EXPECT_EQ(count(), 1);
  add(*other, "b");
  EXPECT_EQ(both(), "2/2");
  add(*conn, "c");
  EXPECT_EQ(count(), 3);
  conn->RunStatement("delete from tPtlx_System where Sys_Name = 'b'");
  EXPECT_EQ(both(), "2/2");
  {
    // Inside a transaction its own rows count; once rolled back, they do not.
    db::Transaction tx(*conn);
    add(*conn, "d");
    EXPECT_EQ(count(), 3);
  }
  EXPECT_EQ(count(), 2);
  {
    // Another connection's rows count from its commit on.
    db::Transaction tx(*other);
    add(*other, "e");
    EXPECT_EQ(count(), 2);
    tx.Commit();
  }
  EXPECT_EQ(both(), "3/3");
}

PTOLIX_BACKENDS(ConcurrencyTest);

}  // namespace
}  // namespace ptolix::test
