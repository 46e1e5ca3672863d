#include "ptolix/org/role.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "db/backend.h"
#include "fixture.h"

namespace ptolix {
namespace {

using test::ErrorLines;
using Lines = std::vector<std::string>;
constexpr const char* kHeld = "[Ptolix] 用户已经拥有该角色的身份，加入到角色失败。";

class RoleTest : public test::DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    role.SetConnection(conn);
  }
  // One field of the data rows, space separated; sorted for lists without
  // an order by.
  static std::string Ids(const ResultArray& a, const char* field = "Role_ID", bool sort = false) {
    return test::FieldValues(a, field, sort);
  }
  Role role;
};

// Role 1 (FFEF) is the administrators' root that every database starts with.
TEST_P(RoleTest, OrderCodesAlongAThreeLevelTree) {
  EXPECT_EQ(role.AppendRole("编辑", "", "1"), 2);
  EXPECT_EQ(role.AppendRole("实习编辑", "under 2", "2"), 3);
  EXPECT_EQ(role.AppendRole("记者", "", "1", "7"), 4);
  EXPECT_EQ(role.AppendRole("", "", ""), 5);
  EXPECT_EQ(role.Errors(), "");
  EXPECT_EQ(Rows("select Role_ID,Role_Name,Role_Order,Role_Father,WebSite_ID from tPtlx_Role "
                 "order by Role_Order"),
            "Role_ID|Role_Name|Role_Order|Role_Father|WebSite_ID\n"
            "5|Null|FFAF|Null|Null\n"
            "1|系统管理员|FFEF|Null|Null\n"
            "4|记者|FFEFFFBF|1|7\n"
            "2|编辑|FFEFFFDF|1|Null\n"
            "3|实习编辑|FFEFFFDFFFCF|2|Null\n");

  // A father that names no role is kept, and the role starts a new top code.
  EXPECT_EQ(role.AppendRole("孤儿", "", "99"), 6);
  EXPECT_EQ(Rows("select Role_Order,Role_Father from tPtlx_Role where Role_ID = 6"),
            "Role_Order|Role_Father\nFF9F|99\n");
}

TEST_P(RoleTest, AddingRefusesWhatCannotBeStored) {
  // Identities continue after the highest one used, so this sets the next
  // role to 4095, the last one with a 4-character segment.
  Exec("insert into tPtlx_Role (Role_ID,Role_Name) values (4094,'high')");
  ExecAll(engine().RestartIdentity("tPtlx_Role", "Role_ID", 4095));
  EXPECT_EQ(role.AppendRole("last", "", "1"), 4095);
  EXPECT_EQ(Rows("select Role_Order from tPtlx_Role where Role_ID = 4095"),
            "Role_Order\nFFEF000F\n");

  struct Case {
    const char* father;
    const char* web_site;
    const char* error;
  } cases[] = {
      {"1", "", "[6] Overflow: identifier 4096 does not fit a 4-character order code segment"},
      {"x", "", "[13] Type mismatch: pFather 'x'"},
      {"1", "2;drop", "[13] Type mismatch: pWebSite '2;drop'"},
      {"99999999999", "", "[6] Overflow"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    Role r;
    r.SetConnection(conn);
    EXPECT_EQ(r.AppendRole("next", "", c.father, c.web_site), 0);
    EXPECT_EQ(ErrorLines(r.Errors()), Lines{c.error});
  }
  EXPECT_EQ(Rows("select count(*) n from tPtlx_Role where Role_Order is null or Role_ID > 4095"),
            "n\n1\n");
}

TEST_P(RoleTest, ReadingRolesAndTheirLists) {
  role.AppendRole("A", "", "1");       // 2
  role.AppendRole("B", "", "2", "7");  // 3
  EXPECT_EQ(Ids(role.GetRole("3"), "Role_Name"), "B ");
  EXPECT_EQ(Ids(role.GetFatherRole("3")), "2 ");
  EXPECT_EQ(Ids(role.GetFatherRoleList("1")), "1 ");
  EXPECT_EQ(Ids(role.GetFatherRoleList("3")), "1 2 3 ");
  EXPECT_EQ(role.Errors(), "");

  // Missing rows: two messages, and a failure for an ancestor list of nothing.
  Role missing;
  missing.SetConnection(conn);
  for (const ResultArray& a :
       {missing.GetRole("42"), missing.GetFatherRole("1"), missing.GetFatherRole("42"),
        missing.GetFatherRoleList("42"), missing.GetRole("1 or 1=1")})
    EXPECT_FALSE(a.allocated());
  EXPECT_EQ(ErrorLines(missing.Errors()),
            (Lines{"[Ptolix] 该角色不存在。", "[Ptolix] 该角色没有父角色。",
                   "[Ptolix] 该角色没有父角色。",
                   "[5] Invalid procedure call or argument: no order code to look for",
                   "[13] Type mismatch: pID '1 or 1=1'"}));

  // Children in code order, and the roles of a website or of none; paged.
  role.AppendRole("C", "", "1", "8");  // 4
  role.AppendRole("D", "", "", "7");   // 5
  EXPECT_EQ(Ids(role.GetChildrenRoleList("1")), "4 2 3 ");
  EXPECT_EQ(Ids(role.GetRoleList("7")), "5 1 2 3 ");
  EXPECT_EQ(Ids(role.GetRoleList("")), "1 2 ");

  role.SetPageSize(3);
  EXPECT_EQ(Ids(role.GetRoleList("7", 2)), "3 ");
  EXPECT_EQ(role.RecordCount(), 4);
  EXPECT_EQ(role.PageCount(), 2);
  role.SetPageSize(2);
  EXPECT_EQ(Ids(role.GetChildrenRoleList("1", "9")), "3 ");
  EXPECT_EQ(role.PageCount(), 2);
  EXPECT_EQ(role.Errors(), "");
  // A leaf has no children: row 0 only, and the paged list says so.
  EXPECT_EQ(Ids(role.GetChildrenRoleList("3")), "");
  EXPECT_EQ(role.RecordCount(), 0);
  EXPECT_EQ(ErrorLines(role.Errors()), Lines{"[Ptolix] 没有记录。"});
}

TEST_P(RoleTest, ChangesHonourTheWebsiteRule) {
  struct Case {
    const char* web_site_arg;
    bool changes;
  } cases[] = {{"1", true}, {"7", true}, {"8", false}, {"", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.web_site_arg);
    Exec("delete from tPtlx_Role where Role_ID > 1");
    std::string id = std::to_string(role.AppendRole("old", "", "", "7"));
    std::string query = "select Role_Name,Role_Order,Role_Father from tPtlx_Role where Role_ID = ";
    std::string before = Rows(query + id);
    role.ModifyRole(id, "new", "it's", "ABCF", "1", c.web_site_arg);
    EXPECT_EQ(Rows(query + id),
              c.changes ? "Role_Name|Role_Order|Role_Father\nnew|ABCF|1\n" : before);
    role.DeleteRole(id, c.web_site_arg);
    EXPECT_EQ(Rows("select count(*) n from tPtlx_Role where Role_ID = " + id),
              c.changes ? "n\n0\n" : "n\n1\n");
  }
  EXPECT_EQ(role.Errors(), "");
  Trace();
  role.DeleteRole("9", "1 or 1=1");
  EXPECT_TRUE(Trace().empty());
}

TEST_P(RoleTest, UsersUnderARoleAndAdditionalRoles) {
  role.AppendRole("A", "", "1");  // 2
  role.AppendRole("B", "", "2");  // 3
  role.AppendRole("C", "", "");   // 4
  Exec("insert into tPtlx_User (Usr_ID,Role_ID) values ('ann',3),('bob',2),('cat',4)");

  struct Case {
    const char* role_id;
    const char* user;
    const char* error;  // empty: the row is added
  } cases[] = {
      // ann's primary role lies below; bob holds only a role above, then
      // the added one; cat's additional role 2 lies below 1.
      {"2", "ann", kHeld}, {"3", "bob", ""},    {"3", "bob", kHeld},
      {"2", "cat", ""},    {"1", "cat", kHeld},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.role_id) + " " + c.user);
    Role r;
    r.SetConnection(conn);
    r.AddUser(c.role_id, c.user);
    EXPECT_EQ(ErrorLines(r.Errors()), *c.error ? Lines{c.error} : Lines{});
  }
  EXPECT_EQ(Rows("select Role_ID,Usr_ID from tPtlx_Usr2Role order by Usr_ID,Role_ID"),
            "Role_ID|Usr_ID\n3|bob\n2|cat\n");
  role.AddUser("2", "o'neil");
  EXPECT_EQ(Rows("select Role_ID from tPtlx_Usr2Role where Usr_ID = 'o''neil'"), "Role_ID\n2\n");

  // bob: primary 2 and additional 3, both under 2: listed once. The
  // membership of a user without a row lists nobody.
  EXPECT_EQ(Ids(role.GetUserList("2"), "Usr_ID", true), "ann bob cat ");
  EXPECT_EQ(Ids(role.GetUserList("3"), "Usr_ID", true), "ann bob ");
  EXPECT_EQ(Ids(role.GetDirectUserList("2"), "Usr_ID"), "bob ");
}

TEST_P(RoleTest, ColumnsReachedThroughGrantsAndAncestors) {
  role.AppendRole("A", "", "1");  // 2
  role.AppendRole("B", "", "2");  // 3
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
  EXPECT_EQ(Ids(role.GetColumnList("3", "1"), "Column_ID"), "20 10 11 12 ");
  EXPECT_EQ(Ids(role.GetColumnList("3", "2"), "Column_ID"), "30 ");
  EXPECT_EQ(Ids(role.GetColumnList("1", "1"), "Column_ID"), "20 ");
  EXPECT_EQ(role.Errors(), "");

  EXPECT_FALSE(role.GetColumnList("2", "2").allocated());  // no grant of 2 or 1 in system 2
  EXPECT_EQ(ErrorLines(role.Errors()),
            Lines{"[5] Invalid procedure call or argument: no order code to look for"});
}

PTOLIX_BACKENDS(RoleTest);

}  // namespace
}  // namespace ptolix
