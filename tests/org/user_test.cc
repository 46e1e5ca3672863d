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
  // A field of the data rows, space separated; sorted for lists without an
  // order by.
  static std::string List(const ResultArray& a, const char* field, bool sort = true) {
    return test::FieldValues(a, field, sort);
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
  std::string hash = user.GetUser("ann").Get(1, "Usr_Password").AsString();
  user.ModifyUser("ann", "ann", "1", "Ann A.", hash, "");
  EXPECT_EQ(Stored("ann"), hash);
  EXPECT_TRUE(user.LoginVertify("ann", "S3cret"));
  // A new password is hashed again; the identifier can change too.
  user.ModifyUser("ann", "anna", "1", "Ann", "n3w", "a@example.com");
  EXPECT_NE(Stored("anna"), hash);
  EXPECT_TRUE(user.LoginVertify("anna", "n3w"));
  EXPECT_FALSE(user.LoginVertify("anna", "S3cret"));

  // The hash itself is no password.
  EXPECT_FALSE(user.LoginVertify("anna", hash));
  EXPECT_FALSE(IsPasswordHash("$argon2id$v=19$garbage"));

  // A hash asking for more work than the moderate limits is no hash: as a
  // new password it is hashed like any text, and stored by someone else it
  // matches nothing (a sign-in never spends gigabytes on it).
  const std::string costly =
      "$argon2id$v=19$m=4194304,t=100,p=1$c29tZXNhbHRzb21lc2FsdA$"
      "9sTbSlTio3Biev89thdrlKKiCaYsjjYVJxGAL3swxpQ";
  EXPECT_FALSE(IsPasswordHash(costly));
  user.AppendUser("cat", "1", "Cat", costly, "", "1", "");
  EXPECT_NE(Stored("cat"), costly);
  EXPECT_TRUE(user.LoginVertify("cat", costly));
  Exec("update tPtlx_User set Usr_Password = " + SqlQuote(costly) + " where Usr_ID = 'cat'");
  EXPECT_FALSE(user.LoginVertify("cat", costly));

  // Plain passwords of older rows are upgraded at sign-in.
  Exec(
      "insert into tPtlx_User (Usr_ID,Role_ID,Usr_Name,Usr_Password,WebSite_ID) values "
      "('old',1,'Old','Secret',1)");
  Exec("insert into tPtlx_User (Usr_ID,Role_ID,Usr_Name,WebSite_ID) values ('void',1,'Void',1)");
  EXPECT_FALSE(user.LoginVertify("old", "secret"));
  EXPECT_EQ(Stored("old"), "Secret");
  EXPECT_TRUE(user.LoginVertify("old", "Secret"));
  EXPECT_EQ(Stored("old").substr(0, 10), "$argon2id$");
  EXPECT_TRUE(user.LoginVertify("old", "Secret"));
  EXPECT_FALSE(user.LoginVertify("old", "Secret "));

  // A null password matches only an empty one, and stays null.
  EXPECT_FALSE(user.LoginVertify("void", "anything"));
  EXPECT_TRUE(user.LoginVertify("void", ""));
  EXPECT_EQ(Stored("void"), "(null)");
  EXPECT_EQ(ErrorLines(user.Errors()), Lines(6, kWrongPassword));
}

TEST_P(UserTest, SignIn) {
  user.AppendUser("ann", "1", "Ann", "Pa55", "ann@example.com", "3", "12");
  user.AppendUser("bob", "1", "Bob", "bob", "", "4", "");                   // null org and e-mail
  user.AppendUser("nosite", "1", "Nobody", "pw", "n@example.com", "", "");  // null website
  Exec(
      "insert into tPtlx_User (Usr_ID,Role_ID,Usr_Name,Usr_Password,WebSite_ID) values "
      "('noname',1,null,'pw',9),('old',1,'Old','pw',1),('void',1,'Void',null,1)");

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
      {"old", "wrong", false, kWrongPassword, "0|||"},
      {"void", "x", false, kWrongPassword, "0|||"},
      {"", "", false, kNoUser, "0|||"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.id) + "/" + c.password);
    auto late = New("User");
    // Every sign-in costs one hash verification, whether the user exists or
    // not, so timing does not tell which user names exist.
    unsigned long long before = PasswordVerifications();
    EXPECT_EQ(late->Call("LoginVertify", {c.id, c.password}), Variant(c.result));
    EXPECT_EQ(PasswordVerifications() - before, 1u);
    EXPECT_EQ(test::ErrorsOf(*late), *c.error ? Lines{c.error} : Lines{});
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

  // The online row holds the database's time, the same twice.
  auto rs =
      conn->Execute("select UsrOnline_LoginTime,UsrOnline_RefreshTime,getdate() from tPtlx_Online");
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
  EXPECT_TRUE(diff >= 0 && diff <= 5) << diff;

  // Nothing else signs in or writes: Refresh does nothing at all.
  Trace();
  user.Refresh("ann");
  EXPECT_TRUE(Trace().empty());
}

TEST_P(UserTest, RecordsAndLists) {
  user.AppendUser("ann", "1", "Ann", "", "it's@example.com", "3", "");
  user.AppendUser("ann", "1", "Again", "", "o'k@x", "3", "");  // the key exists
  user.ModifyUser("none", "x", "1", "", "", "");               // matches nothing
  user.DeleteUser("none");
  user.AppendUser("bad", "1;", "", "", "", "", "");
  EXPECT_EQ(Rows("select Usr_ID,Usr_Name from tPtlx_User"), "Usr_ID|Usr_Name\nann|Ann\n");
  Lines errors = ErrorLines(user.Errors());
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].substr(0, 14), "[-2147217900] ");
  EXPECT_EQ(errors[1], "[13] Type mismatch: pRoleID '1;'");

  EXPECT_EQ(List(user.GetUser("ann"), "Usr_Email"), "it's@example.com ");
  User other;
  other.SetConnection(conn);
  EXPECT_FALSE(other.GetUser("o'neil").allocated());
  EXPECT_EQ(ErrorLines(other.Errors()), Lines{"[Ptolix] 不存在用户'o'neil'"});

  for (int i = 0; i < 4; ++i)
    user.AppendUser("u" + std::to_string(i), "1", "", "", "", i < 3 ? "3" : "4", "");
  user.DeleteUser("u0");
  EXPECT_EQ(List(user.GetSiteUserList("3"), "Usr_ID"), "ann u1 u2 ");
  EXPECT_EQ(List(user.GetUserList(), "Usr_ID"), "ann u1 u2 u3 ");
  other.SetPageSize(3);
  EXPECT_EQ(other.GetUserList(2).DataRows(), 1);
  EXPECT_EQ(other.RecordCount(), 4);
}

TEST_P(UserTest, RolesOfAUserAndUsersOfARole) {
  Role role;
  role.SetConnection(conn);
  role.AppendRole("A", "", "1");  // 2, FFEFFFDF
  role.AppendRole("B", "", "2");  // 3, FFEFFFDFFFCF
  role.AppendRole("T", "", "");   // 4, FFBF
  Exec(
      "insert into tPtlx_User (Usr_ID,Role_ID,WebSite_ID) values ('ann',3,7),('bob',2,8),"
      "('cat',4,7),('dan',null,7)");

  user.AddToRole("ann", "4");
  user.AddToRole("bob", "3");
  EXPECT_EQ(user.Errors(), "");

  // Grandchild primary role plus an additional top role: the chain and the
  // top role, each once, in tree order.
  EXPECT_EQ(List(user.GetRoleList("ann"), "Role_ID", false), "4 1 2 3 ");
  EXPECT_EQ(List(user.GetRoleList("bob"), "Role_ID", false), "1 2 3 ");
  EXPECT_EQ(List(user.GetRoleList("cat"), "Role_ID", false), "4 ");
  User fresh;
  fresh.SetConnection(conn);
  EXPECT_FALSE(fresh.GetRoleList("dan").allocated());
  EXPECT_EQ(ErrorLines(fresh.Errors()),
            Lines{"[5] Invalid procedure call or argument: no order code to look for"});

  // bob holds 2 and 3, both under 2: listed once; bob's website is 8.
  EXPECT_EQ(List(user.GetRoleUserList("2"), "Usr_ID"), "ann bob ");
  EXPECT_EQ(List(user.GetSiteRoleUserList("7", "2"), "Usr_ID"), "ann ");
  Trace();
  user.GetRoleUserList("2 or 1=1");
  EXPECT_TRUE(Trace().empty());
}

PTOLIX_BACKENDS(UserTest);

}  // namespace
}  // namespace ptolix
