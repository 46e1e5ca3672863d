// Arguments are checked before anything runs, where the frame turns them into
// SQL text: an identifier, list or number that is not one, a date that is
// no date, a text holding a NUL character (which every engine would cut the
// statement at) and a number outside the 32 bits of the identifier and flag
// columns are refused with one Errors line, naming the argument where the
// class checks it by name.

#include <map>
#include <tuple>

#include "fixture.h"

namespace ptolix::test {
namespace {

class ArgumentChecks : public DbTest {};

TEST_P(ArgumentChecks, RefusedArgumentsRunNothingAndSayWhich) {
  // Each method's class and arguments it accepts; each case replaces one.
  const std::map<std::string, std::pair<std::string, Args>> calls = {
      {"AppendUser", {"User", {"u1", "2", "N", "pw", "", "", ""}}},
      {"GetRoleUserList", {"User", {"2"}}},
      {"AppendRole", {"Role", {"n", "", "", ""}}},
      {"ModifyRole", {"Role", {"2", "N", "", "", "", ""}}},
      {"DeleteRole", {"Role", {"9", ""}}},
      {"AppendColumn", {"Column", {"1", "n", "", "", "", "", "", "", ""}}},
      {"AddRoleAccess", {"Column", {"1", "1", "2", "1"}}},
      {"AppendInfo", {"Information", {"1", "10", "u", "1", "t", "", "", "", "", "1", ""}}},
      {"ModifyInfo", {"Information", {"1", "1", "T", "", "", "", ""}}},
      {"DeleteInfo", {"Information", {"1"}}},
      {"AssessInfo", {"Information", {"u", "1", "4"}}},
      {"GetInfo", {"Information", {"1"}}},
      {"AddInfo2Column", {"Information", {"1", "2", "40"}}},
      {"SearchInfoList", {"Information", {"1", "1", "1", "All", "", "", "", "", ""}}},
      {"SearchPublishedInfoList", {"Information", {"1", "1", "", "", ""}}},
      {"SearchAccessInfoList", {"Information", {"ann", "1", "1", "All", "", "", "", ""}}},
      {"AppendLink", {"Link", {"3", "t", "", "", "", "", "", ""}}},
      {"RecordUploadFileName", {"upload", {"1", "x.jpg"}}},
      {"PhysicalDeleteStyle", {"Style", {"1", "2"}}},
      {"AppendWebSite", {"WebSite", {"n", "", "", ""}}},
      {"DeleteWebSite", {"WebSite", {"1"}}},
      {"SetWebSiteStyle", {"WebSite", {"1", "1", ""}}},
      {"DeleteSystem", {"System", {"1"}}}};
  const std::string huge = "99999999999999999999", nul = std::string("T\0'x", 4);
  const std::string mismatch = "[13] Type mismatch: ", has_nul = " holds a NUL character";
  // method, the argument replaced and its value, the Errors line
  const std::tuple<std::string, size_t, std::string, std::string> cases[] = {
      {"AppendUser", 1, huge, "[6] Overflow: pRoleID '" + huge + "'"},
      {"AppendUser", 1, "1;", mismatch + "pRoleID '1;'"},
      {"AppendUser", 2, nul, mismatch + "pName" + has_nul},
      {"AppendUser", 6, "-2147483649", "[6] Overflow: pOrgID '-2147483649'"},
      {"GetRoleUserList", 0, "2 or 1=1", mismatch + "pRoleID '2 or 1=1'"},
      {"AppendRole", 0, nul, mismatch + "pName" + has_nul},
      {"AppendRole", 2, "x", mismatch + "pFather 'x'"},
      {"AppendRole", 2, "99999999999", "[6] Overflow: pFather '99999999999'"},
      {"AppendRole", 3, "2;drop", mismatch + "pWebSite '2;drop'"},
      {"ModifyRole", 0, "2147483648", "[6] Overflow: pID '2147483648'"},
      {"ModifyRole", 2, nul, mismatch + "pDescription" + has_nul},
      {"DeleteRole", 1, "1 or 1=1", mismatch + "pWebSiteID '1 or 1=1'"},
      {"AppendColumn", 0, "x", mismatch + "number 'x'"},
      {"AppendColumn", 8, "1;drop", mismatch + "number '1;drop'"},
      {"AppendColumn", 7, "99999999999", "[6] Overflow"},
      {"AddRoleAccess", 2, "2 or 1=1", mismatch + "pRoleID '2 or 1=1'"},
      {"AppendInfo", 0, "x", mismatch + "pSysID 'x'"},
      {"AppendInfo", 1, "", mismatch + "number ''"},
      {"AppendInfo", 1, "4294967297", "[6] Overflow: pColumnID '4294967297'"},
      {"AppendInfo", 4, nul, mismatch + "pTitle" + has_nul},
      {"AppendInfo", 6, "soon", mismatch + "pPubDate 'soon'"},
      {"AppendInfo", 9, "99999999999", "[6] Overflow: pWebSite '99999999999'"},
      {"AppendInfo", 10, "1;drop", mismatch + "pFather '1;drop'"},
      {"ModifyInfo", 0, "1," + huge, "[6] Overflow: pID '1," + huge + "'"},
      {"DeleteInfo", 0, "1) or (1=1", mismatch + "pID '1) or (1=1'"},
      {"AssessInfo", 2, "4 or 1=1", mismatch + "pInfoState '4 or 1=1'"},
      {"GetInfo", 0, "1 or 1=1", mismatch + "pID '1 or 1=1'"},
      {"AddInfo2Column", 0, "1 or 1=1", mismatch + "pID '1 or 1=1'"},
      {"SearchInfoList", 2, huge, "[6] Overflow: pColumnID '" + huge + "'"},
      {"SearchInfoList", 4, nul, mismatch + "pTitle" + has_nul},
      {"SearchInfoList", 6, "1 or 1=1", mismatch + "pType '1 or 1=1'"},
      {"SearchInfoList", 7, "yesterday", mismatch + "pStartDate 'yesterday'"},
      {"SearchPublishedInfoList", 2, "1 or 1=1", mismatch + "pColumnID '1 or 1=1'"},
      {"SearchPublishedInfoList", 4, "7) or (1=1", mismatch + "pHidden '7) or (1=1'"},
      {"SearchAccessInfoList", 5, "1 or 1=1", mismatch + "pType '1 or 1=1'"},
      {"SearchAccessInfoList", 6, "yesterday", mismatch + "pStartDate 'yesterday'"},
      {"AppendLink", 0, "", mismatch + "the counter's scope is empty"},
      {"AppendLink", 0, "1 or 1=1", mismatch + "pClassID '1 or 1=1'"},
      {"AppendLink", 5, "wide", mismatch + "pWidth 'wide'"},
      {"AppendLink", 7, "31.01.2005", mismatch + "pEndDate '31.01.2005'"},
      {"RecordUploadFileName", 0, "1 or 1=1", mismatch + "sID '1 or 1=1'"},
      {"PhysicalDeleteStyle", 1, "2;drop", mismatch + "pID '2;drop'"},
      {"AppendWebSite", 3, "1'", mismatch + "pType '1''"},
      {"DeleteWebSite", 0, "1 or 1=1", mismatch + "pID '1 or 1=1'"},
      {"SetWebSiteStyle", 1, "x", mismatch + "pSysID 'x'"},
      {"DeleteSystem", 0, "1 or 1=1", mismatch + "pID '1 or 1=1'"},
  };
  for (const auto& [method, at, value, line] : cases) {
    SCOPED_TRACE(method + ": " + line);
    const std::string cls = calls.at(method).first;
    Args args = calls.at(method).second;
    args.at(at) = value;
    auto obj = New(cls);
    // A copy: clang before 16 lets no lambda capture a structured binding.
    const std::string name = method;
    EXPECT_TRUE(RunsNothing([&] { obj->Call(name, args); }));
    EXPECT_EQ(ErrorsOf(*obj), Lines{line});
  }
  // The edges of the range pass.
  auto user = New("User");
  user->Call("AppendUser", {"u2", "2147483647", "N", "pw", "", "", "-2147483648"});
  EXPECT_EQ(user->Get("Errors"), Variant(""));
  EXPECT_EQ(Rows("select Role_ID, Org_ID from tPtlx_User where Usr_ID = 'u2'"),
            "Role_ID|Org_ID\n2147483647|-2147483648\n");
}

PTOLIX_BACKENDS(ArgumentChecks);

}  // namespace
}  // namespace ptolix::test
