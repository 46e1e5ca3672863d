#include "ptolix/org/user.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

#include "fixture.h"
#include "ptolix/org/password.h"
#include "ptolix/org/role.h"

namespace ptolix {
namespace {

using test::ErrorLines;
using Lines = std::vector<std::string>;

constexpr const char* kNoUser = "[Ptolix] 用户不存在。";
constexpr const char* kWrongPassword = "[Ptolix] 密码不正确。";

class UserTest : public test::DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    user.SetConnection(conn);
  }
  std::string Stored(const std::string& id) {
    auto rs = conn->Execute("select Usr_Password from tPtlx_User where Usr_ID = " + SqlQuote(id));
    return rs->IsEof() ? "(no row)" : rs->Field(0).IsNull() ? "(null)" : rs->Field(0).ToText();
  }
  // A field of the data rows, sorted, space separated.
  static std::string Sorted(const ResultArray& a, const char* field) {
    if (!a.allocated()) return "(unallocated)";
    std::vector<std::string> v;
    for (int r = 1; r <= a.DataRows(); ++r) v.push_back(ToDisplay(a.Get(r, field)));
    std::sort(v.begin(), v.end());
    std::string out;
    for (const auto& x : v) out += x + " ";
    return out;
  }
  static std::string InOrder(const ResultArray& a, const char* field) {
    if (!a.allocated()) return "(unallocated)";
    std::string out;
    for (int r = 1; r <= a.DataRows(); ++r) out += ToDisplay(a.Get(r, field)) + " ";
    return out;
  }
  User user;
};

TEST_P(UserTest, PasswordsAreStoredAsHashes) {
  user.AppendUser("ann", "1", "Ann", "S3cret", "ann@example.com", "1", "5");
  user.AppendUser("bob", "1", "Bob", "", "", "1", "");
  EXPECT_TRUE(IsPasswordHash(Stored("ann")));
  EXPECT_EQ(Stored("bob"), "(null)");
  EXPECT_EQ(user.Errors(), "");

  // An edit form writes back what GetUser gave: the hash stays as it is.
  ResultArray row = user.GetUser("ann");
  std::string hash = row.Get(1, "Usr_Password").AsString();
  user.ModifyUser("ann", "ann", "1", "Ann A.", hash, "");
  EXPECT_EQ(Stored("ann"), hash);
  EXPECT_EQ(Rows("select Usr_Name,Usr_Email,Org_ID from tPtlx_User where Usr_ID = 'ann'"),
            "Usr_Name|Usr_Email|Org_ID\nAnn A.|Null|5\n");
  EXPECT_TRUE(user.LoginVertify("ann", "S3cret"));
  // A new password is hashed again; the identifier can change too.
  user.ModifyUser("ann", "anna", "1", "Ann", "n3w", "a@example.com");
  EXPECT_NE(Stored("anna"), hash);
  EXPECT_TRUE(user.LoginVertify("anna", "n3w"));
  EXPECT_FALSE(user.LoginVertify("anna", "S3cret"));
  EXPECT_EQ(ErrorLines(user.Errors()), Lines{kWrongPassword});

  // Unit rules of the password module.
  bool upgrade = true;
  EXPECT_TRUE(PasswordMatches("", true, "", &upgrade));
  EXPECT_FALSE(upgrade);
  EXPECT_FALSE(PasswordMatches("", true, "x", &upgrade));
  EXPECT_FALSE(PasswordMatches(hash, false, hash, &upgrade));  // the hash is no password
  EXPECT_FALSE(IsPasswordHash("$argon2id$v=19$garbage"));
  EXPECT_EQ(StoredPassword(""), "");
}

TEST_P(UserTest, SignIn) {
  Exec(
      "insert into tPtlx_User (Usr_ID,Role_ID,Usr_Name,Usr_Password,Usr_Email,WebSite_ID,Org_ID) "
      "values "
      "('ann',1,'Ann',null,'ann@example.com',3,12)");
  user.ModifyUser("ann", "ann", "1", "Ann", "Pa55", "ann@example.com");
  user.AppendUser("bob", "1", "Bob", "bob", "", "4", "");                   // null org and e-mail
  user.AppendUser("nosite", "1", "Nobody", "pw", "n@example.com", "", "");  // null website
  Exec(
      "insert into tPtlx_User (Usr_ID,Role_ID,Usr_Name,Usr_Password,WebSite_ID) values "
      "('noname',1,null,'pw',9)");

  struct Case {
    const char* id;
    const char* password;
    bool result;
    const char* error;       // empty: none
    const char* properties;  // WebSite|Name|OrgID|Email after the call
  } cases[] = {
      {"ann", "Pa55", true, "", "3|Ann|12|ann@example.com"},
      {"ann", "pa55", false, kWrongPassword, "0|||"},
      {"ann", "", false, kWrongPassword, "0|||"},
      {"nobody", "Pa55", false, kNoUser, "0|||"},
      {"ANN", "Pa55", false, kNoUser, "0|||"},
      {"bob", "bob", true, "", "4|Bob||"},
      {"nosite", "pw", false, "[13] Type mismatch: WebSite_ID is null", "0|||"},
      {"noname", "pw", false, "[13] Type mismatch: Usr_Name is null", "9|||"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.id) + "/" + c.password);
    auto late = New("User");
    EXPECT_EQ(late->Call("LoginVertify", {c.id, c.password}), Variant(c.result));
    EXPECT_EQ(ErrorLines(late->Get("Errors").AsString()), *c.error ? Lines{c.error} : Lines{});
    EXPECT_EQ(ToDisplay(late->Get("WebSite")) + "|" + ToDisplay(late->Get("Name")) + "|" +
                  ToDisplay(late->Get("OrgID")) + "|" + ToDisplay(late->Get("Email")),
              c.properties);
  }
  EXPECT_EQ(Rows("select Usr_ID,count(*) n from tPtlx_Online group by Usr_ID order by Usr_ID"),
            "Usr_ID|n\nann|1\nbob|1\n");

  // A failed sign-in keeps what the last success filled in, up to the
  // property that failed.
  auto props = [&] {
    return std::to_string(user.WebSite()) + "|" + user.Name() + "|" + user.OrgID() + "|" +
           user.Email();
  };
  ASSERT_TRUE(user.LoginVertify("ann", "Pa55"));
  EXPECT_FALSE(user.LoginVertify("ann", "x"));
  EXPECT_FALSE(user.LoginVertify("nosite", "pw"));
  EXPECT_EQ(props(), "3|Ann|12|ann@example.com");
  EXPECT_FALSE(user.LoginVertify("noname", "pw"));
  EXPECT_EQ(props(), "9|Ann|12|ann@example.com");
  EXPECT_TRUE(user.LoginVertify("bob", "bob"));
  EXPECT_EQ(props(), "4|Bob||");
}

TEST_P(UserTest, SignInWritesTheOnlineRowWithDatabaseTime) {
  user.AppendUser("o'neil", "1", "O'Neil", "pw", "", "1", "");
  Trace();
  ASSERT_TRUE(user.LoginVertify("o'neil", "pw"));
  EXPECT_EQ(
      Trace(),
      (Lines{"select Usr_Name,Usr_Password,WebSite_ID,Org_ID,Usr_Email from tPtlx_User where "
             "Usr_ID = 'o''neil'",
             "insert into tPtlx_Online (Usr_ID,UsrOnline_LoginTime,UsrOnline_RefreshTime) values "
             "('o''neil',getdate(),getdate())"}));
  auto rs =
      conn->Execute("select UsrOnline_LoginTime,UsrOnline_RefreshTime,getdate() from tPtlx_Online");
  ASSERT_FALSE(rs->IsEof());
  ASSERT_EQ(rs->Field(0).kind(), Variant::Kind::kDate);
  EXPECT_EQ(rs->Field(0), rs->Field(1));
  auto seconds = [](const Variant& v) {
    DateTime d;
    EXPECT_TRUE(DateTime::Parse(v.ToText(), &d)) << v.ToText();
    std::tm t{};
    t.tm_year = d.year - 1900, t.tm_mon = d.month - 1, t.tm_mday = d.day;
    t.tm_hour = d.hour, t.tm_min = d.minute, t.tm_sec = d.second;
    return static_cast<long>(timegm(&t));
  };
  long diff = seconds(rs->Field(2)) - seconds(rs->Field(0));
  EXPECT_GE(diff, 0);
  EXPECT_LE(diff, 5);
  rs->MoveNext();
  EXPECT_TRUE(rs->IsEof());

  // Nothing else signs in or writes: Refresh does nothing at all.
  Trace();
  user.Refresh("o'neil");
  EXPECT_TRUE(Trace().empty());
}

TEST_P(UserTest, PlainPasswordsOfOlderRowsAreUpgradedAtSignIn) {
  Exec(
      "insert into tPtlx_User (Usr_ID,Role_ID,Usr_Name,Usr_Password,WebSite_ID) values "
      "('old',1,'Old','Secret',1)");
  Exec(
      "insert into tPtlx_User (Usr_ID,Role_ID,Usr_Name,Usr_Password,WebSite_ID) values "
      "('void',1,'Void',null,1)");
  EXPECT_FALSE(user.LoginVertify("old", "secret"));
  EXPECT_EQ(Stored("old"), "Secret");
  Trace();
  EXPECT_TRUE(user.LoginVertify("old", "Secret"));
  Lines trace = Trace();
  ASSERT_EQ(trace.size(), 3u);
  EXPECT_EQ(trace[2].substr(0, 51), "update tPtlx_User set Usr_Password = '$argon2id$v=1");
  EXPECT_TRUE(IsPasswordHash(Stored("old")));
  EXPECT_TRUE(user.LoginVertify("old", "Secret"));
  EXPECT_FALSE(user.LoginVertify("old", "Secret "));

  // A null password matches only an empty one, and stays null.
  EXPECT_FALSE(user.LoginVertify("void", "anything"));
  EXPECT_TRUE(user.LoginVertify("void", ""));
  EXPECT_EQ(Stored("void"), "(null)");
  EXPECT_EQ(ErrorLines(user.Errors()), (Lines{kWrongPassword, kWrongPassword, kWrongPassword}));
}

TEST_P(UserTest, RecordsAndListsWithExactSql) {
  user.AppendUser("ann", "1", "Ann", "", "it's@example.com", "3", "");
  user.AppendUser("ann", "1", "Again", "", "", "3", "");  // the key exists
  user.ModifyUser("none", "x", "1", "", "", "");          // matches nothing
  user.DeleteUser("none");
  user.AppendUser("bad", "1;", "", "", "", "", "");
  Lines trace = Trace();
  EXPECT_EQ(
      trace,
      (Lines{"insert into tPtlx_User (Usr_ID,Role_ID,Usr_Name,Usr_Password,Usr_Email,WebSite_ID,"
             "Org_ID) values ('ann',1,'Ann',null,'it''s@example.com',3,null)",
             "insert into tPtlx_User (Usr_ID,Role_ID,Usr_Name,Usr_Password,Usr_Email,WebSite_ID,"
             "Org_ID) values ('ann',1,'Again',null,null,3,null)",
             "update tPtlx_User set Usr_ID = 'x',Role_ID = 1,Usr_Name = null,Usr_Password = null,"
             "Usr_Email = null where Usr_ID = 'none'",
             "delete from tPtlx_User where Usr_ID = 'none'"}));
  Lines errors = ErrorLines(user.Errors());
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].substr(0, 14), "[-2147217900] ");
  EXPECT_EQ(errors[1], "[13] Type mismatch: pRoleID '1;'");

  EXPECT_EQ(user.GetUser("ann").ToString(),
            "Usr_ID|Role_ID|Usr_Name|Usr_Password|Usr_Email|WebSite_ID|Org_ID\n"
            "ann|1|Ann|Null|it's@example.com|3|Null\n");
  User other;
  other.SetConnection(conn);
  EXPECT_FALSE(other.GetUser("o'neil").allocated());
  EXPECT_EQ(ErrorLines(other.Errors()), Lines{"[Ptolix] 不存在用户'o'neil'"});

  for (int i = 0; i < 4; ++i)
    user.AppendUser("u" + std::to_string(i), "1", "", "", "", i < 3 ? "3" : "4", "");
  user.DeleteUser("u0");
  EXPECT_EQ(Sorted(user.GetSiteUserList("3"), "Usr_ID"), "ann u1 u2 ");
  EXPECT_EQ(Sorted(user.GetUserList(), "Usr_ID"), "ann u1 u2 u3 ");
  other.SetPageSize(3);
  EXPECT_EQ(other.GetUserList(2).DataRows(), 1);
  EXPECT_EQ(other.RecordCount(), 4);
  EXPECT_EQ(other.GetSiteUserList("3", 5).DataRows(), 3);
  EXPECT_EQ(other.PageCount(), 1);
  Trace();
  user.GetSiteUserList("3");
  user.GetUserList();
  EXPECT_EQ(Trace(),
            (Lines{"select * from tPtlx_User where WebSite_ID = 3", "select * from tPtlx_User"}));
}

TEST_P(UserTest, RolesOfAUserAndUsersOfARole) {
  Role role;
  role.SetConnection(conn);
  role.AppendRole("A", "", "1");  // 2, FFEFFFDF
  role.AppendRole("B", "", "2");  // 3, FFEFFFDFFFCF
  role.AppendRole("T", "", "");   // 4, FFBF
  user.AppendUser("ann", "3", "Ann", "", "", "7", "");
  user.AppendUser("bob", "2", "Bob", "", "", "8", "");
  user.AppendUser("cat", "4", "Cat", "", "", "7", "");
  user.AppendUser("dan", "", "Dan", "", "", "7", "");

  user.AddToRole("ann", "4");
  user.AddToRole("bob", "3");
  user.AddToRole("ann", "2");  // primary role 3 lies below 2
  EXPECT_EQ(ErrorLines(user.Errors()),
            Lines{"[Ptolix] 用户已经拥有该角色的身份，加入到角色失败。"});
  EXPECT_EQ(Rows("select Role_ID,Usr_ID from tPtlx_Usr2Role order by Usr_ID"),
            "Role_ID|Usr_ID\n4|ann\n3|bob\n");

  // Grandchild primary role plus an additional top role: the chain and the
  // top role, each once, in tree order.
  EXPECT_EQ(InOrder(user.GetRoleList("ann"), "Role_ID"), "4 1 2 3 ");
  EXPECT_EQ(InOrder(user.GetRoleList("bob"), "Role_ID"), "1 2 3 ");
  Trace();
  user.GetRoleList("cat");
  EXPECT_EQ(
      Trace(),
      (Lines{
          "select Role_Order from tPtlx_Role where Role_ID = (select Role_ID from tPtlx_User "
          "where Usr_ID = 'cat') or Role_ID in (select Role_ID from tPtlx_Usr2Role where Usr_ID = "
          "'cat') ",
          "select * from tPtlx_Role where Role_Order in ('FFBF','FF') order by Role_Order"}));
  User fresh;
  fresh.SetConnection(conn);
  EXPECT_FALSE(fresh.GetRoleList("dan").allocated());
  EXPECT_EQ(ErrorLines(fresh.Errors()),
            Lines{"[5] Invalid procedure call or argument: no order code to look for"});

  // bob holds 2 and 3, both under 2: listed once.
  EXPECT_EQ(Sorted(user.GetRoleUserList("2"), "Usr_ID"), "ann bob ");
  EXPECT_EQ(Sorted(user.GetRoleUserList("4"), "Usr_ID"), "ann cat ");
  EXPECT_EQ(Sorted(user.GetSiteRoleUserList("7", "2"), "Usr_ID"), "ann ");
  EXPECT_EQ(Sorted(user.GetSiteRoleUserList("8", "1"), "Usr_ID"), "bob ");
  Trace();
  user.GetSiteRoleUserList("7", "3");
  user.GetRoleUserList("3");
  std::string under3 =
      "Role_ID in (select Role_ID from tPtlx_Role where Role_Order like (select Role_Order from "
      "tPtlx_Role where "
      "Role_ID = 3) + '%') or Usr_ID in (select Usr_ID from tPtlx_Usr2Role where Role_ID in "
      "(select Role_ID from "
      "tPtlx_Role where Role_Order like (select Role_Order from tPtlx_Role where Role_ID = 3) + "
      "'%'))";
  EXPECT_EQ(Trace(), (Lines{"select * from tPtlx_User where (" + under3 + ") and WebSite_ID = 7",
                            "select * from tPtlx_User where (" + under3 + ")"}));
  Trace();
  fresh.SetPageSize(1);
  EXPECT_EQ(Sorted(fresh.GetRoleUserList("2", "2"), "Usr_ID").size(), 4u);
  EXPECT_EQ(fresh.RecordCount(), 2);
  Trace();
  user.GetRoleUserList("2 or 1=1");
  EXPECT_TRUE(Trace().empty());
}

TEST_P(UserTest, RegisteredWithTheAccessMethods) {
  auto late = New("User");
  const auto& info = late->info();
  Lines names;
  for (const auto& m : info.methods) names.push_back(m.name);
  for (const char* name : {"UpdateUsrAccess", "ClearUsrAccess", "GetColumnAccess",
                           "GetAccessColumnList", "LoginVertify", "AddToRole"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  }
  EXPECT_EQ(late->Get("WebSite"), Variant(int32_t{0}));
  EXPECT_EQ(late->Get("Name"), Variant(""));
  late->Call("AppendUser", {"ann", "1", "Ann", "pw", "", "2", "3"});
  EXPECT_EQ(late->Call("LoginVertify", {"ann", "pw"}), Variant(true));
  EXPECT_EQ(late->Get("OrgID"), Variant("3"));
  EXPECT_EQ(late->Get("websitE"), Variant(int32_t{2}));
}

PTOLIX_BACKENDS(UserTest);

}  // namespace
}  // namespace ptolix
