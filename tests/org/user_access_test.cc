#include "ptolix/org/user_access.h"

#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "fixture.h"

namespace ptolix::test {
namespace {

class UserAccessTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    access.SetConnection(conn);
  }
  static std::string OrNull(const std::string& v) { return v.empty() ? "null" : v; }
  void Role(int id, const std::string& father) {
    Exec("insert into tPtlx_Role (Role_ID,Role_Father) values (" + std::to_string(id) + "," +
         OrNull(father) + ")");
  }
  void Column(int id, int sys, const std::string& father, const std::string& site = "null") {
    Exec(
        "insert into tPtlx_Column "
        "(Column_ID,Sys_ID,Column_Father,Column_Order,WebSite_ID,Column_IsDeleted) values (" +
        std::to_string(id) + "," + std::to_string(sys) + "," + OrNull(father) + ",'X" +
        std::to_string(id) + "'," + site + ",'0')");
  }
  void User(const std::string& id, const std::string& role) {
    Exec("insert into tPtlx_User (Usr_ID,Role_ID) values ('" + id + "'," + OrNull(role) + ")");
  }
  // A grant to a role (who: its number) or to a user (who: 'id', quoted).
  void Grant(const std::string& who, int column, int level, int sys = 1) {
    Exec(std::string("insert into ") +
         (who[0] == '\'' ? "tPtlx_UsrAccess (Usr_ID" : "tPtlx_RoleAccess (Role_ID") +
         ",Sys_ID,Column_ID,AccessType_ID) values (" + who + "," + std::to_string(sys) + "," +
         std::to_string(column) + "," + std::to_string(level) + ")");
  }
  // The user's rows as "column:level " in column order.
  std::string Levels(const std::string& user) {
    std::string out;
    auto rs = conn->Execute("select Column_ID,AccessType_ID from tTemp_UsrAccess where Usr_ID = '" +
                            user + "' order by Sys_ID,Column_ID");
    for (; !rs->IsEof(); rs->MoveNext())
      out += rs->Field(0).ToText() + ":" + ToDisplay(rs->Field(1)) + " ";
    return out;
  }
  std::string Rebuild(const std::string& user) {
    access.ClearUsrAccess(user);
    access.UpdateUsrAccess(user);
    return Levels(user);
  }

  UserAccess access;
};

// Columns of system 1: 10 > 11 > 12 > 13 (a chain), 20 > 21, and 30
// (deleted) > 31. Roles: 2 > 3 > 4, and 5 alone.
class UserAccessScenarios : public UserAccessTest {
 protected:
  void SetUp() override {
    UserAccessTest::SetUp();
    for (int id : {10, 11, 12, 13, 20, 21, 30, 31})
      Column(id, 1, id % 10 ? std::to_string(id - 1) : "",
             id == 20   ? "7"
             : id == 21 ? "8"
                        : "null");
    Exec("update tPtlx_Column set Column_IsDeleted = '1' where Column_ID = 30");
    for (auto [id, father] : {std::pair{2, ""}, {3, "2"}, {4, "3"}, {5, ""}}) Role(id, father);
  }
};

TEST_P(UserAccessScenarios, ReadingTheRows) {
  User("u", "2");
  Grant("2", 13, 3);
  Grant("2", 21, 2);
  Grant("2", 31, 4);  // under a deleted column
  Grant("2", 40, 2, 2);
  Column(40, 2, "");
  EXPECT_EQ(access.GetColumnAccess("u", "1", "13"), -1);  // before any rebuild
  access.UpdateUsrAccess("u");
  const std::tuple<const char*, const char*, int16_t> checks[] = {
      {"1", "13", 3},  {"1", "10", 1},  {"1", "20", 1}, {"1", "31", 4},
      {"1", "99", -1}, {"2", "13", -1}, {"2", "40", 2}, {"1", "x", 0}};
  for (auto [sys, column, level] : checks)
    EXPECT_EQ(access.GetColumnAccess("u", sys, column), level) << column;
  EXPECT_EQ(ErrorLines(access.Errors()).size(), 1u);

  // Tree order; deleted columns never; an empty website lists the shared
  // columns only. The rows are the columns' with the level added.
  auto listed = [&](const std::string& site) {
    ResultArray a = access.GetAccessColumnList("u", "1", site);
    std::string out = a.FieldNames().back() + " ";
    for (int32_t r = 1; r <= a.DataRows(); ++r)
      out += ToDisplay(a.Get(r, "Column_ID")) + ":" + ToDisplay(a.Get(r, "AccessType_ID")) + " ";
    return out;
  };
  EXPECT_EQ(listed(""), "AccessType_ID 10:1 11:1 12:1 13:3 31:4 ");
  EXPECT_EQ(listed("7"), "AccessType_ID 10:1 11:1 12:1 13:3 20:1 31:4 ");
  EXPECT_EQ(listed("8"), "AccessType_ID 10:1 11:1 12:1 13:3 21:2 31:4 ");
  access.SetPageSize(2);
  EXPECT_EQ(access.GetAccessColumnList("u", "1", "", "3").DataRows(), 1);
  EXPECT_EQ(access.RecordCount(), 5);
  access.ClearUsrAccess("u");
  EXPECT_EQ(access.GetColumnAccess("u", "1", "13"), -1);
}

TEST_P(UserAccessScenarios, FailuresAndLoops) {
  // Each rebuild by a fresh object: its levels and its Errors lines.
  auto rebuild = [&](const std::string& user) {
    UserAccess fresh;
    fresh.SetConnection(conn);
    fresh.UpdateUsrAccess(user);
    std::vector<std::string> lines = ErrorLines(fresh.Errors());
    return Levels(user) + "| " + (lines.size() == 1 ? lines[0] : std::to_string(lines.size()));
  };
  // A user that does not exist: a failure, and rows left as they were.
  Exec(
      "insert into tTemp_UsrAccess (Usr_ID,Sys_ID,Column_ID,AccessType_ID) values "
      "('ghost',1,10,4)");
  Grant("'ghost'", 11, 2);
  EXPECT_EQ(rebuild("ghost").substr(0, 14), "10:4 | [3021] ");

  // A loop 6 > 7 > 8 > 6: the chain ends at the first role seen twice, the
  // grants of the roles seen count, and one line says where.
  for (auto [id, father] : {std::pair{6, "8"}, {7, "6"}, {8, "7"}}) Role(id, father);
  Grant("7", 13, 2);
  Grant("8", 21, 3);
  User("looper", "6");
  EXPECT_EQ(rebuild("looper"),
            "10:1 11:1 12:1 13:2 20:1 21:3 | [Ptolix] 角色6的上级角色形成循环，已在此处停止。");

  // A primary role that no longer exists: its grants still count, its
  // chain ends with a failure line; the rebuild finishes.
  Grant("9", 20, 2);
  User("orphan", "9");
  EXPECT_EQ(rebuild("orphan").substr(0, 14), "20:2 | [3021] ");

  // No connection: 0, not -1.
  UserAccess unset;
  EXPECT_EQ(unset.GetColumnAccess("u", "1", "10"), 0);
  EXPECT_FALSE(unset.GetAccessColumnList("u", "1", "").allocated());
  EXPECT_EQ(ErrorLines(unset.Errors()).size(), 2u);
}

// The rebuild against the rule it implements, computed here in memory, on
// random trees and grants: greatest level per granted column over the
// user's direct grants and the grants of every held role (primary or
// additional) and its fathers, and level 1 on every other ancestor column.
// Users without a primary role, grants on ancestors and other users' grants
// all occur.
TEST_P(UserAccessTest, MatchesTheRuleOnRandomData) {
  std::mt19937 rng(20261206);
  auto pick = [&](int n) { return static_cast<int>(rng() % n); };
  auto text = [](int n) { return n ? std::to_string(n) : std::string(); };
  std::map<int, int> role_father;             // 0: none
  std::map<int, std::pair<int, int>> column;  // id -> (sys, father)
  for (int r = 2; r <= 25; ++r)
    Role(r, text(role_father[r] = r > 3 && pick(4) ? 2 + pick(r - 2) : 0));
  for (int c = 1; c <= 80; ++c) {
    int sys = 1 + c % 2, father = c > 2 && pick(5) ? 1 + pick(c - 1) : 0;
    if (father && column[father].first != sys) father = 0;
    column[c] = {sys, father};
    Column(c, sys, text(father), pick(3) ? "null" : "5");
  }
  std::map<std::pair<std::string, int>, int> grant;  // (role number or 'user', column) -> level
  auto add_grant = [&](const std::string& who) {
    int c = 1 + pick(80), level = 1 + pick(4);
    if (grant.emplace(std::make_pair(who, c), level).second) Grant(who, c, level, column[c].first);
  };
  for (int i = 0; i < 120; ++i) add_grant(std::to_string(2 + pick(24)));
  std::map<std::string, std::vector<int>> held;
  for (int u = 0; u < 15; ++u) {
    std::string id = "user" + std::to_string(u);
    int primary = pick(5) ? 2 + pick(24) : 0;
    User(id, text(primary));
    if (primary) held[id].push_back(primary);
    for (int k = pick(3); k > 0; --k) {
      held[id].push_back(2 + pick(24));
      Exec("insert into tPtlx_Usr2Role (Role_ID,Usr_ID) values (" + text(held[id].back()) + ",'" +
           id + "')");
    }
    for (int k = pick(4); k > 0; --k) add_grant("'" + id + "'");
  }
  size_t rows = 0;
  for (int u = 0; u < 15; ++u) {
    std::string id = "user" + std::to_string(u);
    std::set<std::string> holders = {"'" + id + "'"};
    for (int r : held[id]) {
      for (; r && holders.insert(std::to_string(r)).second; r = role_father[r]) {
      }
    }
    std::map<int, int> level;
    for (const auto& [key, l] : grant) {
      if (holders.count(key.first)) level[key.second] = std::max(level[key.second], l);
    }
    std::map<int, int> all = level;
    for (const auto& [c, l] : level) {
      for (int f = column[c].second; f; f = column[f].second) all.emplace(f, 1);
    }
    std::string expected;
    for (int sys : {1, 2}) {
      for (const auto& [c, l] : all) {
        if (column[c].first == sys) expected += std::to_string(c) + ":" + std::to_string(l) + " ";
      }
    }
    EXPECT_EQ(Rebuild(id), expected) << id;
    access.UpdateUsrAccess(id);  // again without clearing: the same rows
    EXPECT_EQ(Levels(id), expected) << id;
    rows += all.size();
  }
  EXPECT_GT(rows, 150u);  // the data reach far enough to mean something
  EXPECT_EQ(access.Errors(), "");
}

PTOLIX_BACKENDS(UserAccessTest);
PTOLIX_BACKENDS(UserAccessScenarios);

}  // namespace
}  // namespace ptolix::test
