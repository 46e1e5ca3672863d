// Arguments are checked before anything runs, once, where the frame turns
// them into SQL text: a text holding a NUL character (which every engine
// would cut the statement at) and a number outside the 32 bits of the
// identifier and flag columns are refused, naming the argument.

#include "fixture.h"

namespace ptolix {
namespace {

using test::ErrorLines;
using test::Lines;

class ArgumentChecks : public test::DbTest {};

std::string WithNul(const char* before, const char* after) {
  return std::string(before) + '\0' + after;
}

TEST_P(ArgumentChecks, NulTextAndHugeNumbersRunNothing) {
  auto role = New("Role");
  auto user = New("User");
  auto info = New("Information");
  role->Call("AppendRole", {"Editors", "", "", ""});
  info->Call("AppendInfo", {"1", "1", "u", "1", "Title", "", "", "", "", "1", ""});
  const std::string snapshot_sql =
      "select (select count(*) from tPtlx_User), (select max(Role_Name) from tPtlx_Role), "
      "(select count(*) from tPtlx_Role), (select count(*) from tPtlx_Information), "
      "(select max(Info_Title) from tPtlx_Information)";
  const std::string before = Rows(snapshot_sql);

  const std::string huge = "99999999999999999999";
  // Each refused call runs nothing and adds the one line.
  auto refuses = [&](Object& obj, const char* method, const Args& args, const std::string& line) {
    SCOPED_TRACE(line);
    std::string errors = obj.Get("Errors").AsString();
    EXPECT_TRUE(RunsNothing([&] { obj.Call(method, args); }));
    EXPECT_EQ(ErrorLines(obj.Get("Errors").AsString().substr(errors.size())), Lines{line});
  };
  const std::string nul = "holds a NUL character";
  refuses(*user, "AppendUser", {"u1", huge, "N", "pw", "", "", ""},
          "[6] Overflow: pRoleID '" + huge + "'");
  refuses(*user, "AppendUser", {"u1", "2", WithNul("N", "x"), "pw", "", "", ""},
          "[13] Type mismatch: pName " + nul);
  refuses(*user, "AppendUser", {"u1", "2", "N", "pw", "", "", "-2147483649"},
          "[6] Overflow: pOrgID '-2147483649'");
  refuses(*role, "AppendRole", {WithNul("", "Admins"), "", "", ""},
          "[13] Type mismatch: pName " + nul);
  refuses(*role, "ModifyRole", {"2147483648", "N", "", "", "", ""},
          "[6] Overflow: pID '2147483648'");
  refuses(*role, "ModifyRole", {"2", "N", WithNul("a", "b"), "", "", ""},
          "[13] Type mismatch: pDescription " + nul);
  refuses(*info, "AppendInfo", {"1", "1", "u", "1", WithNul("T", "'x"), "", "", "", "", "1", ""},
          "[13] Type mismatch: pTitle " + nul);
  refuses(*info, "AppendInfo", {"1", "4294967297", "u", "1", "T", "", "", "", "", "1", ""},
          "[6] Overflow: pColumnID '4294967297'");
  refuses(*info, "SearchInfoList", {"1", "1", "1", "", WithNul("Ti", ""), "", "", "", ""},
          "[13] Type mismatch: pTitle " + nul);
  refuses(*info, "SearchInfoList", {"1", "1", huge, "", "Ti", "", "", "", ""},
          "[6] Overflow: pColumnID '" + huge + "'");
  refuses(*info, "ModifyInfo", {"1," + huge, "1", "T", "", "", "", ""},
          "[6] Overflow: pID '1," + huge + "'");
  EXPECT_EQ(Rows(snapshot_sql), before);

  // The edges of the range pass.
  user->Call("AppendUser", {"u2", "2147483647", "N", "pw", "", "", "-2147483648"});
  EXPECT_EQ(user->Get("Errors").AsString().find("u2"), std::string::npos);
  EXPECT_EQ(Rows("select Role_ID, Org_ID from tPtlx_User where Usr_ID = 'u2'"),
            "Role_ID|Org_ID\n2147483647|-2147483648\n");
}

PTOLIX_BACKENDS(ArgumentChecks);

}  // namespace
}  // namespace ptolix
