// Roles and users: order codes, sign-in, memberships, and the effective
// access built from grants.

#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <tuple>

#include "db/backend.h"
#include "fixture.h"
#include "ptolix/org/password.h"
#include "ptolix/org/role.h"
#include "ptolix/org/user.h"
#include "ptolix/org/user_access.h"
#include "value/sql_text.h"

namespace ptolix::test {
namespace {

constexpr const char* kHeld = "[Ptolix] 用户已经拥有该角色的身份，加入到角色失败。";
constexpr const char* kNoUser = "[Ptolix] 用户不存在。";
constexpr const char* kWrongPassword = "[Ptolix] 密码不正确。";
constexpr const char* kNoCode = "[5] Invalid procedure call or argument: no order code to look for";

class OrgTest : public test::DbTest {
 protected:
  static std::string Ids(const ResultArray& a, const char* field = "Role_ID", bool sort = false) {
    return test::FieldValues(a, field, sort);
  }
  std::string Stored(const std::string& id) {
    auto rs = conn->Execute("select Usr_Password from tPtlx_User where Usr_ID = " + SqlQuote(id));
    return rs->IsEof() ? "(no row)" : rs->Field(0).IsNull() ? "(null)" : rs->Field(0).ToText();
  }
  std::unique_ptr<Role> role = Make<Role>();
  std::unique_ptr<User> user = Make<User>();
};

// Role 1 (FFEF) is the administrators' root that every database starts with.
TEST_P(OrgTest, OrderCodesAlongAThreeLevelTreeAndWhatCannotBeStored) {
  EXPECT_EQ(role->AppendRole("编辑", "", "1"), 2);
  EXPECT_EQ(role->AppendRole("实习编辑", "under 2", "2"), 3);
  EXPECT_EQ(role->AppendRole("记者", "", "1", "7"), 4);
  EXPECT_EQ(role->AppendRole("", "", ""), 5);
  EXPECT_EQ(role->Errors(), "");
  EXPECT_EQ(Rows("select Role_ID,Role_Name,Role_Order,Role_Father,WebSite_ID from tPtlx_Role "
                 "order by Role_Order"),
            "Role_ID|Role_Name|Role_Order|Role_Father|WebSite_ID\n"
            "5|Null|FFAF|Null|Null\n"
            "1|系统管理员|FFEF|Null|Null\n"
            "4|记者|FFEFFFBF|1|7\n"
            "2|编辑|FFEFFFDF|1|Null\n"
            "3|实习编辑|FFEFFFDFFFCF|2|Null\n");
  // A father that names no role is kept, and the role starts a new top code.
  EXPECT_EQ(role->AppendRole("孤儿", "", "99"), 6);
  // Identities continue after the highest one used, so this sets the next
  // role to 4095, the last one with a 4-character segment.
  Exec("insert into tPtlx_Role (Role_ID,Role_Name) values (4094,'high')");
  ExecAll(engine().RestartIdentity("tPtlx_Role", "Role_ID", 4095));
  EXPECT_EQ(role->AppendRole("last", "", "1"), 4095);
  auto next = Make<Role>();
  EXPECT_EQ(next->AppendRole("next", "", "1", ""), 0);
  EXPECT_EQ(ErrorLines(next->Errors()),
            Lines{"[6] Overflow: identifier 4096 does not fit a 4-character order code segment"});
  EXPECT_EQ(Rows("select Role_ID,Role_Order,Role_Father from tPtlx_Role where Role_ID > 5 "
                 "order by Role_ID"),
            "Role_ID|Role_Order|Role_Father\n6|FF9F|99\n4094|Null|Null\n4095|FFEF000F|1\n");
}

TEST_P(OrgTest, ReadingRolesTheirListsAndTheWebsiteRule) {
  role->AppendRole("A", "", "1");       // 2
  role->AppendRole("B", "", "2", "7");  // 3
  EXPECT_EQ(Ids(role->GetRole("3"), "Role_Name"), "B ");
  EXPECT_EQ(Ids(role->GetFatherRole("3")), "2 ");
  EXPECT_EQ(Ids(role->GetFatherRoleList("1")), "1 ");
  EXPECT_EQ(Ids(role->GetFatherRoleList("3")), "1 2 3 ");
  // Missing rows: two messages, and a failure for an ancestor list of nothing.
  auto missing = Make<Role>();
  for (const ResultArray& a :
       {missing->GetRole("42"), missing->GetFatherRole("1"), missing->GetFatherRole("42"),
        missing->GetFatherRoleList("42"), missing->GetRole("1 or 1=1")})
    EXPECT_FALSE(a.allocated());
  EXPECT_EQ(ErrorLines(missing->Errors()),
            (Lines{"[Ptolix] 该角色不存在。", "[Ptolix] 该角色没有父角色。",
                   "[Ptolix] 该角色没有父角色。", kNoCode, "[13] Type mismatch: pID '1 or 1=1'"}));
  // Children in code order, and the roles of a website or of none; paged.
  role->AppendRole("C", "", "1", "8");  // 4
  role->AppendRole("D", "", "", "7");   // 5
  EXPECT_EQ(Ids(role->GetChildrenRoleList("1")), "4 2 3 ");
  EXPECT_EQ(Ids(role->GetRoleList("7")), "5 1 2 3 ");
  EXPECT_EQ(Ids(role->GetRoleList("")), "1 2 ");

  role->SetPageSize(3);
  EXPECT_EQ(Ids(role->GetRoleList("7", 2)), "3 ");
  role->SetPageSize(2);
  EXPECT_EQ(Ids(role->GetChildrenRoleList("1", "9")), "3 ");  // past the last page: the last
  EXPECT_EQ(Ids(role->GetChildrenRoleList("3")), "");         // a leaf
  EXPECT_EQ(role->RecordCount(), 0);
  // Changes and deletions honour the website rule.
  const std::pair<const char*, bool> cases[] = {
      {"1", true}, {"7", true}, {"8", false}, {"", false}};
  for (auto [web_site_arg, changes] : cases) {
    SCOPED_TRACE(web_site_arg);
    Exec("delete from tPtlx_Role where Role_ID > 1");
    std::string id = std::to_string(role->AppendRole("old", "", "", "7"));
    std::string query = "select Role_Name,Role_Order,Role_Father from tPtlx_Role where Role_ID = ";
    std::string before = Rows(query + id);
    role->ModifyRole(id, "new", "it's", "ABCF", "1", web_site_arg);
    EXPECT_EQ(Rows(query + id),
              changes ? "Role_Name|Role_Order|Role_Father\nnew|ABCF|1\n" : before);
    role->DeleteRole(id, web_site_arg);
    EXPECT_EQ(Count("select count(*) from tPtlx_Role where Role_ID = " + id), changes ? 0 : 1);
  }
  EXPECT_EQ(ErrorLines(role->Errors()), Lines{"[Ptolix] 没有记录。"});  // the leaf's empty page
}

// Primary and additional roles, seen from the role and from the user; the
// columns a role reaches through its own and its fathers' grants.
TEST_P(OrgTest, MembershipsBothWaysAndColumnsReached) {
  role->AppendRole("A", "", "1");  // 2, FFEFFFDF
  role->AppendRole("B", "", "2");  // 3, FFEFFFDFFFCF
  role->AppendRole("T", "", "");   // 4, FFBF
  Exec(
      "insert into tPtlx_User (Usr_ID,Role_ID,WebSite_ID) values ('ann',3,7),('bob',2,8),"
      "('cat',4,7),('dan',null,7)");
  // ann's primary role lies below; bob holds only a role above, then the
  // added one; cat's additional role 2 lies below 1. Empty: the row is added.
  const std::tuple<const char*, const char*, const char*> cases[] = {{"2", "ann", kHeld},
                                                                     {"3", "bob", ""},
                                                                     {"3", "bob", kHeld},
                                                                     {"2", "cat", ""},
                                                                     {"1", "cat", kHeld}};
  for (auto [role_id, user_id, error] : cases) {
    SCOPED_TRACE(std::string(role_id) + " " + user_id);
    auto r = Make<Role>();
    r->AddUser(role_id, user_id);
    EXPECT_EQ(ErrorLines(r->Errors()), *error ? Lines{error} : Lines{});
  }
  user->AddToRole("ann", "4");
  role->AddUser("2", "o'neil");
  EXPECT_EQ(Rows("select Role_ID,Usr_ID from tPtlx_Usr2Role order by Usr_ID,Role_ID"),
            "Role_ID|Usr_ID\n4|ann\n3|bob\n2|cat\n2|o'neil\n");
  // bob: primary 2 and additional 3, both under 2: listed once. The
  // membership of a user without a row lists nobody.
  EXPECT_EQ(Ids(role->GetUserList("2"), "Usr_ID", true), "ann bob cat ");
  EXPECT_EQ(Ids(role->GetUserList("3"), "Usr_ID", true), "ann bob ");
  EXPECT_EQ(Ids(role->GetDirectUserList("2"), "Usr_ID"), "bob ");
  EXPECT_EQ(Ids(user->GetRoleUserList("2"), "Usr_ID", true), "ann bob cat ");
  // bob's site is 8.
  EXPECT_EQ(Ids(user->GetSiteRoleUserList("7", "2"), "Usr_ID", true), "ann cat ");
  // A primary role's chain plus additional roles, each once, in tree order.
  EXPECT_EQ(Ids(user->GetRoleList("ann")), "4 1 2 3 ");
  EXPECT_EQ(Ids(user->GetRoleList("bob")), "1 2 3 ");
  EXPECT_EQ(Ids(user->GetRoleList("cat")), "4 1 2 ");
  EXPECT_FALSE(user->GetRoleList("dan").allocated());
  EXPECT_EQ(ErrorLines(user->Errors()), Lines{kNoCode});
  // Columns of system 1: 10 > 11 > 12, and 20 (deleted); one column of
  // system 2. Grants: role 2 on 12, role 1 on 20, role 3 on 30.
  Exec(
      "insert into tPtlx_Column (Column_ID,Sys_ID,Column_Order,Column_IsDeleted) values "
      "(10,1,'FFFFFF5F','0'),(11,1,'FFFFFF5FFFFFFF4F','0'),(12,1,'FFFFFF5FFFFFFF4FFFFFFF3F','0'),"
      "(20,1,'FFFFFEBF','1'),(30,2,'FFFFFE1F','0')");
  Exec(
      "insert into tPtlx_RoleAccess (Sys_ID,Column_ID,Role_ID,AccessType_ID) values "
      "(1,12,2,3),(1,20,1,4),(2,30,3,4)");
  // Role 3 inherits the grants of 2 and 1; deleted columns are included.
  EXPECT_EQ(Ids(role->GetColumnList("3", "1"), "Column_ID"), "20 10 11 12 ");
  EXPECT_EQ(Ids(role->GetColumnList("3", "2"), "Column_ID"), "30 ");
  EXPECT_EQ(Ids(role->GetColumnList("1", "1"), "Column_ID"), "20 ");

  EXPECT_FALSE(role->GetColumnList("2", "2").allocated());  // no grant of 2 or 1 in system 2
  EXPECT_EQ(ErrorLines(role->Errors()), Lines{kNoCode});
}

TEST_P(OrgTest, PasswordsAreStoredAsHashes) {
  user->AppendUser("ann", "1", "Ann", "S3cret", "ann@example.com", "1", "5");
  user->AppendUser("bob", "1", "Bob", "", "", "1", "");
  EXPECT_TRUE(IsPasswordHash(Stored("ann")));
  EXPECT_EQ(Stored("bob"), "(null)");
  // An edit form writes back what GetUser gave: the hash stays as it is.
  std::string hash = user->GetUser("ann").Get(1, "Usr_Password").AsString();
  user->ModifyUser("ann", "ann", "1", "Ann A.", hash, "");
  EXPECT_EQ(Stored("ann"), hash);
  EXPECT_TRUE(user->LoginVertify("ann", "S3cret"));
  // A new password is hashed again; the identifier can change too.
  user->ModifyUser("ann", "anna", "1", "Ann", "n3w", "a@example.com");
  EXPECT_NE(Stored("anna"), hash);
  EXPECT_TRUE(user->LoginVertify("anna", "n3w"));
  EXPECT_FALSE(user->LoginVertify("anna", "S3cret"));
  // The hash itself is no password.
  EXPECT_FALSE(user->LoginVertify("anna", hash));
  EXPECT_FALSE(IsPasswordHash("$argon2id$v=19$garbage"));
  // A hash asking for more work than the moderate limits is no hash: as a
  // new password it is hashed like any text, and stored by someone else it
  // matches nothing (a sign-in never spends gigabytes on it).
  const std::string costly =
      "$argon2id$v=19$m=4194304,t=100,p=1$c29tZXNhbHRzb21lc2FsdA$"
      "9sTbSlTio3Biev89thdrlKKiCaYsjjYVJxGAL3swxpQ";
  EXPECT_FALSE(IsPasswordHash(costly));
  user->AppendUser("cat", "1", "Cat", costly, "", "1", "");
  EXPECT_NE(Stored("cat"), costly);
  EXPECT_TRUE(user->LoginVertify("cat", costly));
  Exec("update tPtlx_User set Usr_Password = " + SqlQuote(costly) + " where Usr_ID = 'cat'");
  EXPECT_FALSE(user->LoginVertify("cat", costly));
  // Plain passwords of older rows are upgraded at sign-in.
  Exec(
      "insert into tPtlx_User (Usr_ID,Role_ID,Usr_Name,Usr_Password,WebSite_ID) values "
      "('old',1,'Old','Secret',1),('void',1,'Void',null,1)");
  EXPECT_FALSE(user->LoginVertify("old", "secret"));
  EXPECT_EQ(Stored("old"), "Secret");
  EXPECT_TRUE(user->LoginVertify("old", "Secret"));
  EXPECT_EQ(Stored("old").substr(0, 10), "$argon2id$");
  EXPECT_TRUE(user->LoginVertify("old", "Secret"));
  EXPECT_FALSE(user->LoginVertify("old", "Secret "));
  // A null password matches only an empty one, and stays null.
  EXPECT_FALSE(user->LoginVertify("void", "anything"));
  EXPECT_TRUE(user->LoginVertify("void", ""));
  EXPECT_EQ(Stored("void"), "(null)");
  EXPECT_EQ(ErrorLines(user->Errors()), Lines(6, kWrongPassword));
}

TEST_P(OrgTest, SignIn) {
  const std::string start = conn->RunQuery("select getdate()").At(1, 0).ToText();
  user->AppendUser("ann", "1", "Ann", "Pa55", "ann@example.com", "3", "12");
  user->AppendUser("bob", "1", "Bob", "bob", "", "4", "");                   // null org and e-mail
  user->AppendUser("nosite", "1", "Nobody", "pw", "n@example.com", "", "");  // null website
  Exec(
      "insert into tPtlx_User (Usr_ID,Role_ID,Usr_Name,Usr_Password,WebSite_ID) values "
      "('noname',1,null,'pw',9),('old',1,'Old','pw',1),('void',1,'Void',null,1)");
  // id, password, result, the error line (empty: none), WebSite|Name|OrgID|Email after the call
  const std::tuple<const char*, const char*, bool, const char*, const char*> cases[] = {
      {"ann", "Pa55", true, "", "3|Ann|12|ann@example.com"},
      {"ann", "pa55", false, kWrongPassword, "0|||"},
      {"ann", "", false, kWrongPassword, "0|||"},
      {"nobody", "Pa55", false, kNoUser, "0|||"},
      {"ANN", "Pa55", false, kNoUser, "0|||"},
      {"bob", "bob", true, "", "4|Bob||"},
      {"nosite", "pw", false, "[13] Type mismatch: WebSite_ID is null", "0|||"},
      {"noname", "pw", false, "[13] Type mismatch: Usr_Name is null", "9|||"},
      {"old", "wrong", false, kWrongPassword, "0|||"},  // a plain password of an older row
      {"void", "x", false, kWrongPassword, "0|||"},     // none at all
      {"", "", false, kNoUser, "0|||"}};
  for (auto [id, password, result, error, properties] : cases) {
    SCOPED_TRACE(std::string(id) + "/" + password);
    auto late = New("User");
    // Every sign-in costs one hash verification, whether the user exists or
    // not, so timing does not tell which user names exist.
    unsigned long long before = PasswordVerifications();
    EXPECT_EQ(late->Call("LoginVertify", {id, password}), Variant(result));
    EXPECT_EQ(PasswordVerifications() - before, 1u);
    EXPECT_EQ(test::ErrorsOf(*late), *error ? Lines{error} : Lines{});
    EXPECT_EQ(ToDisplay(late->Get("WebSite")) + "|" + ToDisplay(late->Get("Name")) + "|" +
                  ToDisplay(late->Get("OrgID")) + "|" + ToDisplay(late->Get("Email")),
              properties);
  }
  EXPECT_EQ(Rows("select Usr_ID,count(*) n from tPtlx_Online group by Usr_ID order by Usr_ID"),
            "Usr_ID|n\nann|1\nbob|1\n");
  // A failed sign-in keeps what the last success filled in, up to the
  // property that failed.
  auto props = [&] {
    return std::to_string(user->WebSite()) + "|" + user->Name() + "|" + user->OrgID() + "|" +
           user->Email();
  };
  ASSERT_TRUE(user->LoginVertify("ann", "Pa55"));
  EXPECT_FALSE(user->LoginVertify("ann", "x"));
  EXPECT_FALSE(user->LoginVertify("nosite", "pw"));
  EXPECT_EQ(props(), "3|Ann|12|ann@example.com");
  EXPECT_FALSE(user->LoginVertify("noname", "pw"));
  EXPECT_EQ(props(), "9|Ann|12|ann@example.com");
  EXPECT_TRUE(user->LoginVertify("bob", "bob"));
  EXPECT_EQ(props(), "4|Bob||");
  // The online rows hold the database's time of the sign-in, the same twice.
  EXPECT_EQ(Count("select count(*) from tPtlx_Online where UsrOnline_LoginTime = "
                  "UsrOnline_RefreshTime and UsrOnline_LoginTime >= '" +
                  start + "' and UsrOnline_LoginTime <= getdate()"),
            4);  // every row
  // Nothing else signs in or writes: Refresh does nothing at all.
  EXPECT_TRUE(RunsNothing([&] { user->Refresh("ann"); }));
}

TEST_P(OrgTest, RecordsAndLists) {
  user->AppendUser("ann", "1", "Ann", "", "it's@example.com", "3", "");
  user->AppendUser("ann", "1", "Again", "", "o'k@x", "3", "");  // the key exists
  user->ModifyUser("none", "x", "1", "", "", "");               // matches nothing
  user->DeleteUser("none");
  EXPECT_EQ(Rows("select Usr_ID,Usr_Name from tPtlx_User"), "Usr_ID|Usr_Name\nann|Ann\n");
  EXPECT_THAT(ErrorLines(user->Errors()), ElementsAre(StartsWith("[-2147217900] ")));

  EXPECT_EQ(Ids(user->GetUser("ann"), "Usr_Email", true), "it's@example.com ");
  auto other = Make<User>();
  EXPECT_FALSE(other->GetUser("o'neil").allocated());
  EXPECT_EQ(ErrorLines(other->Errors()), Lines{"[Ptolix] 不存在用户'o'neil'"});

  for (int i = 0; i < 4; ++i)
    user->AppendUser("u" + std::to_string(i), "1", "", "", "", i < 3 ? "3" : "4", "");
  user->DeleteUser("u0");
  EXPECT_EQ(Ids(user->GetSiteUserList("3"), "Usr_ID", true), "ann u1 u2 ");
  EXPECT_EQ(Ids(user->GetUserList(), "Usr_ID", true), "ann u1 u2 u3 ");
  other->SetPageSize(3);
  EXPECT_EQ(other->GetUserList(2).DataRows(), 1);
  EXPECT_EQ(other->RecordCount(), 4);
}

PTOLIX_BACKENDS(OrgTest);

class UserAccessTest : public DbTest {
 protected:
  static std::string OrNull(const std::string& v) { return v.empty() ? "null" : v; }
  void Role(int id, const std::string& father) {
    Exec(fmt::format("insert into tPtlx_Role (Role_ID,Role_Father) values ({},{})", id,
                     OrNull(father)));
  }
  void Column(int id, int sys, const std::string& father, const std::string& site = "null") {
    Exec(
        fmt::format("insert into tPtlx_Column (Column_ID,Sys_ID,Column_Father,Column_Order,"
                    "WebSite_ID,Column_IsDeleted) values ({0},{1},{2},'X{0}',{3},'0')",
                    id, sys, OrNull(father), site));
  }
  void User(const std::string& id, const std::string& role) {
    Exec("insert into tPtlx_User (Usr_ID,Role_ID) values ('" + id + "'," + OrNull(role) + ")");
  }
  // A grant to a role (who: its number) or to a user (who: 'id', quoted).
  void Grant(const std::string& who, int column, int level, int sys = 1) {
    Exec(fmt::format("insert into {},Sys_ID,Column_ID,AccessType_ID) values ({},{},{},{})",
                     who[0] == '\'' ? "tPtlx_UsrAccess (Usr_ID" : "tPtlx_RoleAccess (Role_ID", who,
                     sys, column, level));
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

  std::unique_ptr<UserAccess> access = Make<UserAccess>();
};

// Columns of system 1: 10 > 11 > 12 > 13 (a chain), 20 > 21, and 30
// (deleted) > 31, and 40 of system 2. Roles: 2 > 3 > 4, and 5 alone.
TEST_P(UserAccessTest, ReadingTheRowsFailuresAndLoops) {
  for (int id : {10, 11, 12, 13, 20, 21, 30, 31}) {
    const char* site = id == 20 ? "7" : (id == 21 ? "8" : "null");
    Column(id, 1, id % 10 ? std::to_string(id - 1) : "", site);
  }
  Column(40, 2, "");
  Exec("update tPtlx_Column set Column_IsDeleted = '1' where Column_ID = 30");
  for (auto [id, father] : {std::pair{2, ""}, {3, "2"}, {4, "3"}, {5, ""}}) Role(id, father);
  User("u", "2");
  Grant("2", 13, 3);
  Grant("2", 21, 2);
  Grant("2", 31, 4);  // under a deleted column
  Grant("2", 40, 2, 2);
  EXPECT_EQ(access->GetColumnAccess("u", "1", "13"), -1);  // before any rebuild
  access->UpdateUsrAccess("u");
  const std::tuple<const char*, const char*, int16_t> checks[] = {
      {"1", "13", 3},  {"1", "10", 1},  {"1", "20", 1}, {"1", "31", 4},
      {"1", "99", -1}, {"2", "13", -1}, {"2", "40", 2}, {"1", "x", 0}};
  for (auto [sys, column, level] : checks)
    EXPECT_EQ(access->GetColumnAccess("u", sys, column), level) << column;
  EXPECT_EQ(ErrorLines(access->Errors()).size(), 1u);
  // Tree order; deleted columns never; an empty website lists the shared
  // columns only. The rows are the columns' with the level added.
  auto listed = [&](const std::string& site) {
    ResultArray a = access->GetAccessColumnList("u", "1", site);
    std::string out = a.FieldNames().back() + " ";
    for (int32_t r = 1; r <= a.DataRows(); ++r)
      out += ToDisplay(a.Get(r, "Column_ID")) + ":" + ToDisplay(a.Get(r, "AccessType_ID")) + " ";
    return out;
  };
  EXPECT_EQ(listed(""), "AccessType_ID 10:1 11:1 12:1 13:3 31:4 ");
  EXPECT_EQ(listed("7"), "AccessType_ID 10:1 11:1 12:1 13:3 20:1 31:4 ");
  EXPECT_EQ(listed("8"), "AccessType_ID 10:1 11:1 12:1 13:3 21:2 31:4 ");
  access->SetPageSize(2);
  EXPECT_EQ(access->GetAccessColumnList("u", "1", "", "3").DataRows(), 1);
  EXPECT_EQ(access->RecordCount(), 5);
  access->ClearUsrAccess("u");
  EXPECT_EQ(access->GetColumnAccess("u", "1", "13"), -1);
  auto rebuild = [&](const std::string& user) {
    auto fresh = Make<UserAccess>();
    fresh->UpdateUsrAccess(user);
    std::vector<std::string> lines = ErrorLines(fresh->Errors());
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

// The rebuild against its rule, computed here, on random trees and grants:
// per column the greatest level granted to the user or to a role it holds
// (primary or additional) or to that role's fathers, and level 1 on every
// other ancestor of a granted column. Columns of odd number are system 2's.
TEST_P(UserAccessTest, MatchesTheRuleOnRandomData) {
  std::mt19937 rng(20261206);
  auto pick = [&](int n) { return static_cast<int>(rng() % n); };
  auto text = [](int n) { return n ? std::to_string(n) : std::string(); };
  int role_father[26] = {}, column_father[81] = {};
  for (int r = 2; r <= 25; ++r)
    Role(r, text(role_father[r] = r > 3 && pick(4) ? 2 + pick(r - 2) : 0));
  for (int c = 1; c <= 80; ++c) {
    column_father[c] = c > 2 && pick(5) ? c - 2 * (1 + pick((c - 1) / 2)) : 0;
    Column(c, 1 + c % 2, text(column_father[c]), pick(3) ? "null" : "5");
  }
  std::map<std::pair<std::string, int>, int> grant;  // (role or 'user', column) -> level
  auto add_grant = [&](const std::string& who) {
    int c = 1 + pick(80), level = 1 + pick(4);
    if (grant.emplace(std::make_pair(who, c), level).second) Grant(who, c, level, 1 + c % 2);
  };
  for (int i = 0; i < 120; ++i) add_grant(std::to_string(2 + pick(24)));
  size_t rows = 0;
  for (int u = 0; u < 15; ++u) {
    const std::string id = "user" + std::to_string(u);
    std::vector<int> held = {pick(5) ? 2 + pick(24) : 0};
    User(id, text(held[0]));
    for (int k = pick(3); k > 0; --k) {
      held.push_back(2 + pick(24));
      Exec("insert into tPtlx_Usr2Role values (" + text(held.back()) + ",'" + id + "')");
    }
    for (int k = pick(4); k > 0; --k) add_grant("'" + id + "'");
    std::set<std::string> holders = {"'" + id + "'"};
    for (int r : held)
      while (r && holders.insert(std::to_string(r)).second) r = role_father[r];
    std::map<int, int> level;
    for (const auto& [key, l] : grant) {
      for (int c = holders.count(key.first) ? key.second : 0, v = l; c; c = column_father[c], v = 1)
        level[c] = std::max(level[c], v);
    }
    std::string expected;
    for (int odd : {0, 1}) {
      for (const auto& [c, l] : level)
        expected += c % 2 == odd ? std::to_string(c) + ":" + std::to_string(l) + " " : "";
    }
    access->ClearUsrAccess(id);
    access->UpdateUsrAccess(id);
    EXPECT_EQ(Levels(id), expected) << id;
    access->UpdateUsrAccess(id);  // again without clearing: the same rows
    EXPECT_EQ(Levels(id), expected) << id;
    rows += level.size();
  }
  EXPECT_GT(rows, 150u);  // the data reach far enough to mean something
  EXPECT_EQ(access->Errors(), "");
}

PTOLIX_BACKENDS(UserAccessTest);

}  // namespace
}  // namespace ptolix::test
