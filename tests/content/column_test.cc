// Columns, their grants, and the code dictionaries.

#include "ptolix/content/column.h"

#include <string>
#include <tuple>
#include <vector>

#include "fixture.h"
#include "ptolix/content/encode.h"

namespace ptolix::test {
namespace {

class ColumnTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    col.SetConnection(conn);
  }

  // Adds a column of system 1 and returns its identifier as text.
  std::string Add(const std::string& name, const std::string& father = "",
                  const std::string& site = "") {
    return std::to_string(col.AppendColumn("1", name, "", "", "", "", "", site, father));
  }
  // The tree as "name:code" lines in code order.
  std::string Tree() {
    return Rows("select Column_Name,Column_Order from tPtlx_Column order by Column_Order");
  }
  static std::string Names(const ResultArray& a) { return FieldValues(a, "Column_Name"); }

  Column col;
};

TEST_P(ColumnTest, AppendBuildsCodesAndGrantsRoleOne) {
  auto obj = New("Column");
  Variant top = obj->Call("AppendColumn", {"1", "News", "d", "u", "t", "i", "s", ""});
  obj->Call("AppendColumn", {"1", "Local", "", "", "", "", "", "3", top.ToText()});
  obj->Call("AppendColumn", {"1", "World", "", "", "", "", "", "", top.ToText()});
  EXPECT_EQ(ToDisplay(obj->Get("Errors")), "");
  EXPECT_EQ(top.ToLong(), 1);
  EXPECT_EQ(
      Rows("select Column_ID,Column_Father,Column_Order,WebSite_ID,Column_IsDeleted,Column_Url "
           "from tPtlx_Column order by Column_Order"),
      "Column_ID|Column_Father|Column_Order|WebSite_ID|Column_IsDeleted|Column_Url\n"
      "1|Null|FFFFFFEF|Null|0|u\n"
      "3|1|FFFFFFEFFFFFFFCF|Null|0|Null\n"  // the newer sibling first; empty text stored as null
      "2|1|FFFFFFEFFFFFFFDF|3|0|Null\n");
  EXPECT_EQ(
      Rows(
          "select Sys_ID,Column_ID,Role_ID,AccessType_ID from tPtlx_RoleAccess order by Column_ID"),
      "Sys_ID|Column_ID|Role_ID|AccessType_ID\n1|1|1|4\n1|2|1|4\n1|3|1|4\n");
}

TEST_P(ColumnTest, AppendFailuresLeaveNoRow) {
  // system, father, website, the start of the error line
  const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
      {"x", "", "", "[13] Type mismatch"},
      {"1", "1;drop", "", "[13] Type mismatch"},
      {"1", "", "99999999999", "[6] Overflow"}};
  for (auto [sys, father, site, error] : cases) {
    Column fresh;
    fresh.SetConnection(conn);
    EXPECT_EQ(fresh.AppendColumn(sys, "n", "", "", "", "", "", site, father), 0) << sys;
    ASSERT_EQ(ErrorLines(fresh.Errors()).size(), 1u);
    EXPECT_EQ(ErrorLines(fresh.Errors())[0].rfind(error, 0), 0u) << fresh.Errors();
  }
  // The last identifier an 8-character segment holds, then one beyond it.
  Exec("insert into tPtlx_Column (Column_ID,Sys_ID,Column_Name) values (268435454,1,'last')");
  ExecAll(engine().RestartIdentity("tPtlx_Column", "Column_ID", 268435455));
  EXPECT_EQ(col.AppendColumn("1", "fits", "", "", "", "", "", ""), 268435455);
  EXPECT_EQ(col.AppendColumn("1", "too far", "", "", "", "", "", ""), 0);
  EXPECT_EQ(ErrorLines(col.Errors()).at(0).rfind("[6] Overflow", 0), 0u);
  EXPECT_EQ(Rows("select Column_ID,Column_Order from tPtlx_Column where Column_Name <> 'last'"),
            "Column_ID|Column_Order\n268435455|0000000F\n");
}

TEST_P(ColumnTest, ListsFollowWebsiteAndDeletion) {
  std::string a = Add("A");            // no website
  std::string a1 = Add("A1", a, "5");  // website 5
  Add("A2", a, "6");
  std::string a11 = Add("A11", a1, "5");
  Add("B", "", "5");
  Exec(
      "insert into tPtlx_Column (Sys_ID,Column_Name,Column_Order) values (2,'other "
      "system','FFFFFF0F')");
  struct Case {
    std::string site, list, children_of_a, descendants_of_a;
  } cases[] = {
      {"", "A ", "", ""}, {"5", "B A A1 A11 ", "A1 ", "A1 A11 "}, {"6", "A A2 ", "A2 ", "A2 "}};
  for (const auto& c : cases) {
    EXPECT_EQ(Names(col.GetColumnList("1", c.site)), c.list) << c.site;
    EXPECT_EQ(Names(col.GetChildColumnList("1", c.site, a)), c.children_of_a) << c.site;
    EXPECT_EQ(Names(col.GetChildrenColumnList("1", c.site, a)), c.descendants_of_a) << c.site;
  }
  EXPECT_EQ(Names(col.GetChildColumnList("1", "5", "")), "B A ");

  col.DeleteColumn("1", a1, "5");
  EXPECT_EQ(Names(col.GetColumnList("1", "5")), "B A ");
  EXPECT_EQ(Names(col.GetFatherColumnList("1", a11)), "A A1 A11 ");  // deleted ones too
  EXPECT_EQ(ToDisplay(col.GetFatherColumn("1", a11).Get(1, "Column_Name")), "A1");
  EXPECT_EQ(ToDisplay(col.GetColumn("1", a11).Get(1, "Column_IsDeleted")), "1");
  EXPECT_EQ(col.Errors(), "");

  // Paging and the read failures.
  col.SetPageSize(1);
  EXPECT_EQ(Names(col.GetColumnList("1", "5", "2")), "A ");
  EXPECT_EQ(col.RecordCount(), 2);
  EXPECT_FALSE(col.GetColumn("1", "404").allocated());
  EXPECT_FALSE(col.GetFatherColumn("1", a).allocated());
  EXPECT_FALSE(col.GetColumnList("1", "5 or 1=1").allocated());
  EXPECT_FALSE(col.GetColumnList("1", "5", "x").allocated());  // a page that is no number
  auto lines = ErrorLines(col.Errors());
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].rfind("[3021]", 0), 0u);
  EXPECT_EQ(lines[2].rfind("[13] Type mismatch", 0), 0u);
  EXPECT_EQ(lines[3], "[13] Type mismatch: number 'x'");
}

TEST_P(ColumnTest, ModifyAndDeleteWebsiteClause) {
  std::string shared = Add("shared");
  std::string own = Add("own", "", "7");
  std::string shared_child = Add("shared child", shared, "7");
  // A change reaches a column of no website, or of the website given.
  const std::tuple<std::string, const char*, const char*> cases[] = {{shared, "FFFFFFEF", "1"},
                                                                     {shared, "FFFFFFEF", "7"},
                                                                     {own, "FFFFFFDF", "7"},
                                                                     {own, "FFFFFFDF", "1"},
                                                                     {own, "FFFFFFDF", ""}};
  std::string changed;
  for (const auto& [id, code, site] : cases) {
    col.ModifyColumn("1", id, "", "renamed", "", code, "", "", "", "", site);
    changed +=
        std::to_string(Count("select count(*) from tPtlx_Column where Column_Name = 'renamed'"));
    Exec("update tPtlx_Column set Column_Name = 'x' where Column_Name = 'renamed'");
  }
  EXPECT_EQ(changed, "10100");
  col.DeleteColumn("1", shared, "1");
  // Only the rows of no website in the subtree.
  EXPECT_EQ(
      Rows("select Column_ID,Column_IsDeleted from tPtlx_Column order by Column_ID"),
      "Column_ID|Column_IsDeleted\n" + shared + "|1\n" + own + "|0\n" + shared_child + "|0\n");
  col.DeleteColumn("1", shared, "7");
  EXPECT_EQ(Count("select count(*) from tPtlx_Column where Column_IsDeleted = '1'"), 2);
  EXPECT_EQ(col.Errors(), "");
}

TEST_P(ColumnTest, MoveCarriesSubtreeBeforeTarget) {
  std::string a = Add("A");
  std::string b1 = Add("B1", Add("B"));
  std::string b11 = Add("B11", b1);
  std::string b111 = Add("B111", b11);
  col.MoveColumn("1", b1, a);  // one level up, before A
  EXPECT_EQ(col.Errors(), "");
  EXPECT_EQ(Tree(),
            "Column_Name|Column_Order\nB|FFFFFFDF\nB1|FFFFFFE7\nB11|FFFFFFE7FFFFFFBF\n"
            "B111|FFFFFFE7FFFFFFBFFFFFFFAF\nA|FFFFFFEF\n");
  EXPECT_EQ(Rows("select Column_Father from tPtlx_Column where Column_ID = " + b1),
            "Column_Father\nNull\n");

  // Missing target or column, or a move into its own subtree: a message or a
  // failure, nothing changes.
  std::string before = Tree();
  col.MoveColumn("1", b1, "404");
  col.MoveColumn("2", b1, a);
  col.MoveColumn("1", "404", a);
  col.MoveColumn("1", b1, b111);
  col.MoveColumn("1", b1, b1);  // before itself: already there
  EXPECT_EQ(Tree(), before);
  auto lines = ErrorLines(col.Errors());
  ASSERT_EQ(lines.size(), 4u);
  lines[2] = lines[2].substr(0, 6);
  EXPECT_EQ(lines, (Lines{"[Ptolix] 目标栏目不存在。", "[Ptolix] 目标栏目不存在。", "[3021]",
                          "[Ptolix] 不能将栏目移到其下级栏目处。"}));

  // Down into another branch, before a deeper target.
  col.MoveColumn("1", a, b111);
  EXPECT_EQ(Names(col.GetColumnList("1", "")), "B B1 B11 A B111 ");
  EXPECT_EQ(Rows("select Column_Father from tPtlx_Column where Column_ID = " + a),
            "Column_Father\n" + b11 + "\n");
}

// Moving columns one after another before the same target reuses the same
// digit; the siblings are spaced out instead of sharing a code.
TEST_P(ColumnTest, RepeatedMovesKeepCodesUnique) {
  std::string p = Add("P");
  std::string t = Add("T", p);
  std::vector<std::string> movers;
  for (int i = 0; i < 6; ++i) {
    movers.push_back(Add("M" + std::to_string(i)));
    Add("M" + std::to_string(i) + "child", movers.back());
  }
  Add("S", p);  // a sibling sorting before T
  for (const auto& m : movers) col.MoveColumn("1", m, t);
  EXPECT_EQ(col.Errors(), "");
  // Each mover lands directly before T, its child behind it, every code
  // unique, and every child still under its parent by code.
  EXPECT_EQ(Names(col.GetChildrenColumnList("1", "", p)),
            "S M0 M0child M1 M1child M2 M2child M3 M3child M4 M4child M5 M5child T ");
  EXPECT_EQ(
      Count("select count(*) from (select Column_Order from tPtlx_Column group by Column_Order "
            "having count(*) > 1) Dup"),
      0);
  EXPECT_EQ(Count("select count(*) from tPtlx_Column c, tPtlx_Column f where c.Column_Father = "
                  "f.Column_ID and "
                  "(length(c.Column_Order) <> length(f.Column_Order) + 8 or "
                  "substr(c.Column_Order, 1, length(f.Column_Order)) <> f.Column_Order)"),
            0);
  // The subtree statements still see one subtree each.
  col.DeleteColumn("1", movers[2], "1");
  EXPECT_EQ(Names(col.GetChildrenColumnList("1", "", p)),
            "S M0 M0child M1 M1child M3 M3child M4 M4child M5 M5child T ");
}

// A target whose code ends in 0 leaves no digit below it: its sibling group is
// renumbered first.
TEST_P(ColumnTest, TargetEndingInZeroIsRespaced) {
  std::string a = Add("A"), b = Add("B");
  Exec("update tPtlx_Column set Column_Order = 'FFFFFF00' where Column_ID = " + a);
  Exec(
      "insert into tPtlx_Column (Sys_ID,Column_Name,Column_Order) values (2,'other "
      "system','FFFFFF10')");
  col.MoveColumn("1", b, a);
  EXPECT_EQ(col.Errors(), "");
  EXPECT_EQ(Tree(), "Column_Name|Column_Order\nB|40000007\nA|4000000F\nother system|8000000F\n");
}

TEST_P(ColumnTest, GrantsAndTheirLists) {
  // Roles: 1 (standard), 2 under 1, 3 under 2, 4 alone.
  Exec(
      "insert into tPtlx_Role (Role_ID,Role_Name,Role_Order,Role_Father) values "
      "(2,'editors','FFEFFFDF',1),"
      "(3,'juniors','FFEFFFDFFFCF',2),(4,'guests','FFBF',null)");
  Exec("insert into tPtlx_User (Usr_ID,Usr_Name) values ('ann','Ann'),('o''neil','O''Neil')");
  std::string parent = Add("parent");
  std::string child = Add("child", parent);
  Exec("delete from tPtlx_RoleAccess");
  auto obj = New("Column");
  obj->Call("AddRoleAccess", {"1", child, "2", "2"});
  obj->Call("AddRoleAccess", {"1", parent, "4", "3"});
  obj->Call("AddUsrAccess", {"1", child, "ann", "2"});
  obj->Call("AddUsrAccess", {"1", child, "o'neil", "1"});
  obj->Call("ModifyUsrAccess", {"1", child, "o'neil", "3"});
  obj->Call("ModifyUsrAccess", {"1", parent, "ann", "4"});  // no grant there: nothing
  EXPECT_EQ(obj->Call("GetDirectRoleList", {"1", child}).AsArray().ToString(),
            "Role_ID|Role_Name|AccessType_ID\n2|editors|2\n");
  auto roles = [&](const std::string& column) {
    return FieldValues(obj->Call("GetAllRoleList", {"1", column}).AsArray(), "Role_Name", true);
  };
  EXPECT_EQ(roles(child), "editors juniors ");
  EXPECT_EQ(roles(parent), "editors guests juniors ");  // the child's grant too
  EXPECT_EQ(obj->Call("GetDirectUserList", {"1", child}).AsArray().DataRows(), 2);
  EXPECT_EQ(Rows("select Usr_ID,AccessType_ID from tPtlx_UsrAccess order by Usr_ID"),
            "Usr_ID|AccessType_ID\nann|2\no'neil|3\n");

  obj->Call("ModifyRoleAccess", {"1", child, "2", "4"});
  obj->Call("DeleteRoleAccess", {"1", parent, "4"});
  obj->Call("DeleteUsrAccess", {"1", child, "ann"});
  EXPECT_EQ(Rows("select Column_ID,Role_ID,AccessType_ID from tPtlx_RoleAccess"),
            "Column_ID|Role_ID|AccessType_ID\n" + child + "|2|4\n");
  EXPECT_EQ(Rows("select Usr_ID from tPtlx_UsrAccess"), "Usr_ID\no'neil\n");
  EXPECT_EQ(ToDisplay(obj->Get("Errors")), "");

  // A column without grants below it: no roles, and with paging the empty
  // page message. A bare argument that is not a number runs nothing.
  obj->Call("DeleteRoleAccess", {"1", child, "2"});
  obj->Put("PageSize", Variant(10));
  EXPECT_EQ(obj->Call("GetAllRoleList", {"1", parent}).AsArray().DataRows(), 0);
  obj->Call("AddRoleAccess", {"1", child, "2 or 1=1", "1"});
  auto lines = ErrorLines(ToDisplay(obj->Get("Errors")));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "[Ptolix] 没有记录。");
  EXPECT_EQ(lines[1].rfind("[13] Type mismatch", 0), 0u);
  EXPECT_EQ(Count("select count(*) from tPtlx_RoleAccess"), 0);
}

PTOLIX_BACKENDS(ColumnTest);

class EncodeTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    // Start from empty dictionaries numbering from 1: the schema installs
    // standard rows.
    const char* tables[][2] = {{"tPtlx_InfoState", "InfState_ID"},
                               {"tPtlx_InfoType", "InfType_ID"},
                               {"tPtlx_AccessType", "AccessType_ID"}};
    for (const auto& [table, id] : tables) {
      Exec(std::string("delete from ") + table);
      ExecAll(engine().RestartIdentity(table, id, 1));
    }
    Exec("delete from tPtlx_WebSiteType");
    Trace();
  }
};

// Every dictionary round trips through the late-bound path: empty list
// (row 0 only, no message), two appends, a change, a delete, the list.
TEST_P(EncodeTest, DictionariesRoundTrip) {
  struct Dictionary {
    std::string noun, list, prefix;
  } dictionaries[] = {{"InfoState", "GetInfStateList", "InfState"},
                      {"InfoType", "GetInfTypeList", "InfType"},
                      {"AccessType", "GetAccessTypeList", "AccessType"},
                      {"WebSiteType", "GetWebSiteTypeList", "WebSiteType"}};
  for (const Dictionary& d : dictionaries) {
    SCOPED_TRACE(d.noun);
    // Website types take the caller's identifier, and may change it.
    bool typed = d.noun == "WebSiteType";
    std::string names =
        d.prefix + "_ID|" + d.prefix + "_Name" + (typed ? "\n" : "|" + d.prefix + "_Description\n");
    auto enc = New("Encode");
    EXPECT_EQ(enc->Call(d.list, {}).AsArray().ToString(), names);
    enc->Call("Append" + d.noun, typed ? Args{"2", "门户"} : Args{"草稿", ""});
    enc->Call("Append" + d.noun, typed ? Args{"3", "博客"} : Args{"发布", ""});
    enc->Call("Modify" + d.noun,
              typed ? Args{"2", "5", "门户网站"} : Args{"1", "待审", "it's 等待"});
    enc->Call("Delete" + d.noun, {typed ? "3" : "2"});
    enc->Call("Delete" + d.noun, {"77"});  // matches nothing: no error
    enc->Call("Append" + d.noun, typed ? Args{"6", "退回"} : Args{"退回", ""});
    EXPECT_EQ(enc->Call(d.list, {}).AsArray().ToString(),
              names + (typed ? "5|门户网站\n6|退回\n" : "1|待审|it's 等待\n3|退回|Null\n"));
    EXPECT_EQ(enc->Get("Errors"), Variant(""));
    enc->Call("Modify" + d.noun, {"1; drop table x", "7", "x"});
    EXPECT_EQ(ErrorsOf(*enc), Lines{"[13] Type mismatch: pID '1; drop table x'"});
  }
}

TEST_P(EncodeTest, NotFoundAndMissingIdentifiers) {
  auto enc = New("Encode");
  enc->Call("AppendInfoState", {"待审", ""});
  enc->Call("AppendWebSiteType", {"5", "门户网站"});
  EXPECT_EQ(enc->Call("GetInfoState", {"1"}).AsArray().ToString(),
            "InfState_ID|InfState_Name|InfState_Description\n1|待审|Null\n");
  EXPECT_EQ(enc->Call("GetWebSiteType", {"5"}).AsArray().ToString(),
            "WebSiteType_ID|WebSiteType_Name\n5|门户网站\n");
  Trace();
  EXPECT_FALSE(enc->Call("GetInfoState", {"5"}).AsArray().allocated());
  EXPECT_FALSE(enc->Call("GetWebSiteType", {"3"}).AsArray().allocated());
  // A website type keeps an identifier: empty or non-numeric ones run
  // nothing, and a duplicate is the database's refusal.
  enc->Call("AppendWebSiteType", {"", "无编号"});
  enc->Call("ModifyWebSiteType", {"5", "", "x"});
  enc->Call("AppendWebSiteType", {"x'", "x"});
  EXPECT_EQ(Trace().size(), 2u);  // the two reads; the refused changes ran nothing
  enc->Call("AppendWebSiteType", {"5", "重复"});
  Lines lines = ErrorsOf(*enc);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + 5),
            (Lines{"[Ptolix] 信息状态不存在。", "[Ptolix] 网站类型不存在。",
                   "[5] Invalid procedure call or argument: pID is empty: a website type needs an "
                   "identifier",
                   "[5] Invalid procedure call or argument: pNewID is empty: a website type needs "
                   "an identifier",
                   "[13] Type mismatch: pID 'x''"}));
  EXPECT_EQ(lines[5].rfind("[-2147217900] ", 0), 0u) << lines[5];
  EXPECT_EQ(Rows("select * from tPtlx_WebSiteType"),
            "WebSiteType_ID|WebSiteType_Name\n5|门户网站\n");
}

PTOLIX_BACKENDS(EncodeTest);

}  // namespace
}  // namespace ptolix::test
