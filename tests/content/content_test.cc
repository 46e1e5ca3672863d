// Columns and their grants, the code dictionaries, and information items:
// writing, review, attachments, home column, cross-posting, order among
// siblings, and the list queries.

#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <tuple>

#include "fixture.h"
#include "ptolix/content/column.h"
#include "ptolix/content/encode.h"
#include "ptolix/content/information.h"
#include "value/order_code.h"

namespace ptolix::test {
namespace {

class ColumnTest : public DbTest {
 protected:
  std::string Add(const std::string& name, const std::string& father = "",
                  const std::string& site = "") {
    return std::to_string(col->AppendColumn("1", name, "", "", "", "", "", site, father));
  }
  std::string Tree() {
    return Rows("select Column_Name,Column_Order from tPtlx_Column order by Column_Order");
  }
  static std::string Names(const ResultArray& a) { return FieldValues(a, "Column_Name"); }

  std::unique_ptr<Column> col = Make<Column>();
};

TEST_P(ColumnTest, AppendBuildsCodesGrantsRoleOneAndRefusesTheRest) {
  auto obj = New("Column");
  Variant top = obj->Call("AppendColumn", {"1", "News", "d", "u", "t", "i", "s", ""});
  obj->Call("AppendColumn", {"1", "Local", "", "", "", "", "", "3", top.ToText()});
  obj->Call("AppendColumn", {"1", "World", "", "", "", "", "", "", top.ToText()});
  EXPECT_EQ(ToDisplay(obj->Get("Errors")), "");
  EXPECT_EQ(
      Rows("select Column_ID,Column_Father,Column_Order,WebSite_ID,Column_IsDeleted,Column_Url "
           "from tPtlx_Column order by Column_Order"),
      "Column_ID|Column_Father|Column_Order|WebSite_ID|Column_IsDeleted|Column_Url\n"
      "1|Null|FFFFFFEF|Null|0|u\n"
      "3|1|FFFFFFEFFFFFFFCF|Null|0|Null\n"  // the newer sibling first; empty text stored as null
      "2|1|FFFFFFEFFFFFFFDF|3|0|Null\n");
  EXPECT_EQ(Rows("select * from tPtlx_RoleAccess order by Column_ID"),
            "Sys_ID|Column_ID|Role_ID|AccessType_ID\n1|1|1|4\n1|2|1|4\n1|3|1|4\n");
  // The last identifier an 8-character segment holds, then one beyond it.
  Exec("insert into tPtlx_Column (Column_ID,Sys_ID,Column_Name) values (268435454,1,'last')");
  ExecAll(engine().RestartIdentity("tPtlx_Column", "Column_ID", 268435455));
  EXPECT_EQ(col->AppendColumn("1", "fits", "", "", "", "", "", ""), 268435455);
  EXPECT_EQ(col->AppendColumn("1", "too far", "", "", "", "", "", ""), 0);
  EXPECT_THAT(ErrorLines(col->Errors()), ElementsAre(StartsWith("[6] Overflow")));
  EXPECT_EQ(Rows("select Column_ID,Column_Order from tPtlx_Column where Column_ID > 268435454"),
            "Column_ID|Column_Order\n268435455|0000000F\n");
}

TEST_P(ColumnTest, ListsFollowWebsiteAndDeletion) {
  std::string a = Add("A");            // no website
  std::string a1 = Add("A1", a, "5");  // website 5
  Add("A2", a, "6");
  std::string a11 = Add("A11", a1, "5");
  Add("B", "", "5");
  Exec("insert into tPtlx_Column (Sys_ID,Column_Name,Column_Order) values (2,'other','FFFFFF0F')");
  // website, its columns, the children and the descendants of A
  const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
      {"", "A ", "", ""}, {"5", "B A A1 A11 ", "A1 ", "A1 A11 "}, {"6", "A A2 ", "A2 ", "A2 "}};
  for (auto [site, list, children, descendants] : cases) {
    EXPECT_EQ(Names(col->GetColumnList("1", site)), list) << site;
    EXPECT_EQ(Names(col->GetChildColumnList("1", site, a)), children) << site;
    EXPECT_EQ(Names(col->GetChildrenColumnList("1", site, a)), descendants) << site;
  }
  EXPECT_EQ(Names(col->GetChildColumnList("1", "5", "")), "B A ");

  col->DeleteColumn("1", a1, "5");
  EXPECT_EQ(Names(col->GetColumnList("1", "5")), "B A ");
  EXPECT_EQ(Names(col->GetFatherColumnList("1", a11)), "A A1 A11 ");  // deleted ones too
  EXPECT_EQ(ToDisplay(col->GetFatherColumn("1", a11).Get(1, "Column_Name")), "A1");
  EXPECT_EQ(ToDisplay(col->GetColumn("1", a11).Get(1, "Column_IsDeleted")), "1");
  col->SetPageSize(1);
  EXPECT_EQ(Names(col->GetColumnList("1", "5", "2")), "A ");
  EXPECT_EQ(col->RecordCount(), 2);
  EXPECT_FALSE(col->GetColumn("1", "404").allocated());
  EXPECT_FALSE(col->GetFatherColumn("1", a).allocated());
  EXPECT_FALSE(col->GetColumnList("1", "5 or 1=1").allocated());
  EXPECT_FALSE(col->GetColumnList("1", "5", "x").allocated());  // a page that is no number
  EXPECT_THAT(ErrorLines(col->Errors()),
              ElementsAre(StartsWith("[3021]"), StartsWith("[3021]"),
                          StartsWith("[13] Type mismatch"), "[13] Type mismatch: number 'x'"));
}

TEST_P(ColumnTest, ModifyAndDeleteWebsiteClause) {
  std::string shared = Add("shared");
  std::string own = Add("own", "", "7");
  std::string shared_child = Add("shared child", shared, "7");
  // A change reaches a column of no website, or of the website given.
  std::string changed;
  for (auto [id, site] :
       {std::pair{shared, "1"}, {shared, "7"}, {own, "7"}, {own, "1"}, {own, ""}}) {
    col->ModifyColumn("1", id, "", "renamed", "", id == shared ? "FFFFFFEF" : "FFFFFFDF", "", "",
                      "", "", site);
    changed +=
        std::to_string(Count("select count(*) from tPtlx_Column where Column_Name = 'renamed'"));
    Exec("update tPtlx_Column set Column_Name = 'x' where Column_Name = 'renamed'");
  }
  EXPECT_EQ(changed, "10100");
  col->DeleteColumn("1", shared, "1");
  // Only the rows of no website in the subtree.
  EXPECT_EQ(
      Rows("select Column_ID,Column_IsDeleted from tPtlx_Column order by Column_ID"),
      "Column_ID|Column_IsDeleted\n" + shared + "|1\n" + own + "|0\n" + shared_child + "|0\n");
  col->DeleteColumn("1", shared, "7");
  EXPECT_EQ(Count("select count(*) from tPtlx_Column where Column_IsDeleted = '1'"), 2);
  EXPECT_EQ(col->Errors(), "");
}

TEST_P(ColumnTest, MoveCarriesSubtreeBeforeTarget) {
  std::string a = Add("A");
  std::string b1 = Add("B1", Add("B"));
  std::string b11 = Add("B11", b1);
  std::string b111 = Add("B111", b11);
  col->MoveColumn("1", b1, a);  // one level up, before A
  EXPECT_EQ(Tree(),
            "Column_Name|Column_Order\nB|FFFFFFDF\nB1|FFFFFFE7\nB11|FFFFFFE7FFFFFFBF\n"
            "B111|FFFFFFE7FFFFFFBFFFFFFFAF\nA|FFFFFFEF\n");
  EXPECT_EQ(Rows("select Column_Father from tPtlx_Column where Column_ID = " + b1),
            "Column_Father\nNull\n");
  // Missing target or column, or a move into its own subtree: a message or a
  // failure, nothing changes.
  std::string before = Tree();
  col->MoveColumn("1", b1, "404");
  col->MoveColumn("2", b1, a);
  col->MoveColumn("1", "404", a);
  col->MoveColumn("1", b1, b111);
  col->MoveColumn("1", b1, b1);  // before itself: already there
  EXPECT_EQ(Tree(), before);
  EXPECT_THAT(ErrorLines(col->Errors()),
              ElementsAre("[Ptolix] 目标栏目不存在。", "[Ptolix] 目标栏目不存在。",
                          StartsWith("[3021]"), "[Ptolix] 不能将栏目移到其下级栏目处。"));
  // Down into another branch, before a deeper target.
  col->MoveColumn("1", a, b111);
  EXPECT_EQ(Names(col->GetColumnList("1", "")), "B B1 B11 A B111 ");
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
  for (const auto& m : movers) col->MoveColumn("1", m, t);
  EXPECT_EQ(col->Errors(), "");
  // Each mover lands directly before T, its child behind it, every code
  // unique, and every child still under its parent by code.
  EXPECT_EQ(Names(col->GetChildrenColumnList("1", "", p)),
            "S M0 M0child M1 M1child M2 M2child M3 M3child M4 M4child M5 M5child T ");
  EXPECT_EQ(Count("select count(*) - count(distinct Column_Order) from tPtlx_Column"), 0);
  EXPECT_EQ(Count("select count(*) from tPtlx_Column c, tPtlx_Column f where c.Column_Father = "
                  "f.Column_ID and (length(c.Column_Order) <> length(f.Column_Order) + 8 or "
                  "substr(c.Column_Order, 1, length(f.Column_Order)) <> f.Column_Order)"),
            0);
  // The subtree statements still see one subtree each.
  col->DeleteColumn("1", movers[2], "1");
  EXPECT_EQ(Names(col->GetChildrenColumnList("1", "", p)),
            "S M0 M0child M1 M1child M3 M3child M4 M4child M5 M5child T ");
}

// A target whose code ends in 0 leaves no digit below it: its sibling group is
// renumbered first.
TEST_P(ColumnTest, TargetEndingInZeroIsRespaced) {
  std::string a = Add("A"), b = Add("B");
  Exec("update tPtlx_Column set Column_Order = 'FFFFFF00' where Column_ID = " + a);
  Exec("insert into tPtlx_Column (Sys_ID,Column_Name,Column_Order) values (2,'other','FFFFFF10')");
  col->MoveColumn("1", b, a);
  EXPECT_EQ(col->Errors(), "");
  EXPECT_EQ(Tree(), "Column_Name|Column_Order\nB|40000007\nA|4000000F\nother|8000000F\n");
}

TEST_P(ColumnTest, GrantsAndTheirLists) {
  // Roles: 1 (standard), 2 under 1, 3 under 2, 4 alone.
  Exec(
      "insert into tPtlx_Role (Role_ID,Role_Name,Role_Order,Role_Father) values "
      "(2,'editors','FFEFFFDF',1),(3,'juniors','FFEFFFDFFFCF',2),(4,'guests','FFBF',null)");
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
  obj->Call("DeleteRoleAccess", {"1", child, "2"});  // no grants below: no roles
  EXPECT_EQ(obj->Call("GetAllRoleList", {"1", parent}).AsArray().DataRows(), 0);
  EXPECT_EQ(ErrorsOf(*obj), Lines{});
}

PTOLIX_BACKENDS(ColumnTest);

class EncodeTest : public DbTest {};

// Every dictionary round trips through the late-bound path: empty list
// (row 0 only, no message), two appends, a change, a delete, the list; a
// row read, and a missing one with its message.
TEST_P(EncodeTest, DictionariesRoundTrip) {
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
  // the noun of its methods, its list method, its field prefix, its missing one's message
  const std::tuple<std::string, std::string, std::string, std::string> dictionaries[] = {
      {"InfoState", "GetInfStateList", "InfState", "信息状态"},
      {"InfoType", "GetInfTypeList", "InfType", ""},
      {"AccessType", "GetAccessTypeList", "AccessType", ""},
      {"WebSiteType", "GetWebSiteTypeList", "WebSiteType", "网站类型"}};
  for (const auto& [noun, list, prefix, missing] : dictionaries) {
    SCOPED_TRACE(noun);
    // Website types take the caller's identifier, and may change it.
    bool typed = noun == "WebSiteType";
    std::string names =
        prefix + "_ID|" + prefix + "_Name" + (typed ? "\n" : "|" + prefix + "_Description\n");
    auto enc = New("Encode");
    EXPECT_EQ(enc->Call(list, {}).AsArray().ToString(), names);
    enc->Call("Append" + noun, typed ? Args{"2", "门户"} : Args{"草稿", ""});
    enc->Call("Append" + noun, typed ? Args{"3", "博客"} : Args{"发布", ""});
    enc->Call("Modify" + noun, typed ? Args{"2", "5", "门户网站"} : Args{"1", "待审", "it's 等待"});
    enc->Call("Delete" + noun, {typed ? "3" : "2"});
    enc->Call("Delete" + noun, {"77"});  // matches nothing: no error
    enc->Call("Append" + noun, typed ? Args{"6", "退回"} : Args{"退回", ""});
    std::string first = typed ? "5|门户网站\n" : "1|待审|it's 等待\n";
    EXPECT_EQ(enc->Call(list, {}).AsArray().ToString(),
              names + first + (typed ? "6|退回\n" : "3|退回|Null\n"));
    Lines errors = {"[13] Type mismatch: pID '1; drop table x'"};
    if (!missing.empty()) {
      EXPECT_EQ(enc->Call("Get" + noun, {typed ? "5" : "1"}).AsArray().ToString(), names + first);
      EXPECT_FALSE(enc->Call("Get" + noun, {typed ? "3" : "2"}).AsArray().allocated());
      errors.insert(errors.begin(), "[Ptolix] " + missing + "不存在。");
    }
    enc->Call("Modify" + noun, {"1; drop table x", "7", "x"});
    EXPECT_EQ(ErrorsOf(*enc), errors);
  }
  // A website type keeps an identifier: empty or non-numeric ones run
  // nothing, and a duplicate is the database's refusal.
  auto enc = New("Encode");
  EXPECT_TRUE(RunsNothing([&] {
    enc->Call("AppendWebSiteType", {"", "无编号"});
    enc->Call("ModifyWebSiteType", {"5", "", "x"});
    enc->Call("AppendWebSiteType", {"x'", "x"});
  }));
  enc->Call("AppendWebSiteType", {"5", "重复"});
  const std::string empty = "[5] Invalid procedure call or argument: ";
  EXPECT_THAT(ErrorsOf(*enc),
              ElementsAre(empty + "pID is empty: a website type needs an identifier",
                          StartsWith(empty + "pNewID is empty"), "[13] Type mismatch: pID 'x''",
                          StartsWith("[-2147217900] ")));
  EXPECT_EQ(Rows("select * from tPtlx_WebSiteType"),
            "WebSiteType_ID|WebSiteType_Name\n5|门户网站\n6|退回\n");
}

PTOLIX_BACKENDS(EncodeTest);

class InformationTest : public DbTest {
 protected:
  // Adds an item through the late-bound object, as a page script would.
  std::string Add(const std::string& title, const std::string& content = "",
                  const std::string& father = "", const std::string& column = "10") {
    return ToDisplay(info->Call(
        "AppendInfo", {"1", column, "alice", "2", title, content, "", "", "", "1", father}));
  }
  // An item of site 1, system 1, column 10 unless told otherwise.
  void Item(int id, const std::string& code, int state = 4, int column = 10,
            const std::string& father = "null") {
    Exec(fmt::format(
        "insert into tPtlx_Information (Info_ID,InfState_ID,Sys_ID,Column_ID,WebSite_ID,"
        "Info_Father,Info_Order) values ({},{},1,{},1,{},'{}')",
        id, state, column, father, code));
  }
  void Move(const char* method, int id) {
    info->Call(method, {"1", "1", "10", "All", std::to_string(id)});
  }
  // Identifiers of column 10 (live items) in list order, and their codes.
  std::string Order() {
    const char* sql =
        "select Info_ID from tPtlx_Information where Column_ID = 10 and "
        "Info_IsDeleted = '0' order by Info_Order,Info_ID";
    std::string out = FieldValues(conn->RunQuery(sql), "Info_ID");
    return out.substr(0, out.size() - 1);
  }
  std::string Code(int id) {
    std::string sql = "select Info_Order from tPtlx_Information where Info_ID = ";
    return conn->RunQuery(sql + std::to_string(id)).At(1, 0).ToText();
  }

  std::unique_ptr<Object> info = New("Information");
};

TEST_P(InformationTest, AppendStoresWhatWasGivenWithCodesUnderTheFatherAndRefusesTheRest) {
  EXPECT_EQ("1", ToDisplay(info->Call("AppendInfo", {"1", "10", "bob", "3", "It's new",
                                                     "<img a><IMG b><img/><img c>", "2024/3/5",
                                                     "2024-04-01 08:30", "http://x", "2"})));
  EXPECT_EQ("2", Add("child", "", "1"));
  EXPECT_EQ("3", Add("orphan", "", "99"));  // no such father: one segment, father kept
  EXPECT_EQ(
      "Info_ID|Info_Father|Info_Order|InfState_ID|Info_PublicUsr|Info_Content|Info_ImageCount\n"
      "1|Null|FFFFFFEF|1|bob|<img a><IMG b><img/><img c>|2\n"  // "<img " counted, case-sensitive
      "2|1|FFFFFFEFFFFFFFDF|1|alice|Null|Null\n3|99|FFFFFFCF|1|alice|Null|Null\n",
      Rows("select Info_ID,Info_Father,Info_Order,InfState_ID,Info_PublicUsr,Info_Content,"
           "Info_ImageCount from tPtlx_Information order by Info_ID"));
  EXPECT_EQ(
      "InfType_ID|Info_Title|Info_Url|Info_PublicDate|Info_EndDate|WebSite_ID\n"
      "3|It's new|http://x|2024-03-05 00:00:00|2024-04-01 08:30:00|2\n",
      Rows("select InfType_ID,Info_Title,Info_Url,Info_PublicDate,Info_EndDate,WebSite_ID from "
           "tPtlx_Information where Info_ID = 1"));
  // An identifier above 268435455 has no 8-character segment.
  Exec("insert into tPtlx_Information (Info_ID,Info_Title) values (268435455,'last')");
  EXPECT_EQ("", Add("too far"));
  EXPECT_THAT(ErrorsOf(*info), ElementsAre(StartsWith("[6] Overflow")));
  EXPECT_EQ("n\n4\n", Rows("select count(*) as n from tPtlx_Information"));
}

TEST_P(InformationTest, ModifyDeleteAndAssessActOnEveryListedItem) {
  for (int i = 0; i < 4; ++i) Add("t");
  info->Call("ModifyInfo", {"1,2, 3", "5", "New", "<img\tx><img y>", "", "2025-1-2", ""});
  info->Call("AssessInfo", {"rev", "2,3", "4"});
  info->Call("DeleteInfo", {"3"});
  info->Call("ModifyInfo", {"", "5", "none", "", "", "", ""});  // in (null): nothing
  EXPECT_EQ(
      "Info_ID|InfType_ID|Info_Title|Info_ImageCount|Info_EndDate|InfState_ID|Info_AssessUsr|"
      "Info_IsDeleted|a\n1|5|New|2|2025-01-02 00:00:00|1|Null|0|0\n"
      "2|5|New|2|2025-01-02 00:00:00|4|rev|0|1\n3|5|New|2|2025-01-02 00:00:00|4|rev|1|1\n"
      "4|2|t|Null|Null|1|Null|0|0\n",
      Rows("select Info_ID,InfType_ID,Info_Title,Info_ImageCount,Info_EndDate,InfState_ID,"
           "Info_AssessUsr,Info_IsDeleted,case when Info_AssessTime is null then 0 else 1 end as a "
           "from tPtlx_Information order by Info_ID"));
  EXPECT_TRUE(ErrorsOf(*info).empty());
}

TEST_P(InformationTest, DeletedItemsAreReadWithTheirAttachments) {
  Add("kept", "body");
  info->Call("DeleteInfo", {"1"});
  Variant row = info->Call("GetInfo", {"1"});
  EXPECT_EQ("body|1", ToDisplay(row.AsArray().Get(1, "Info_Content")) + "|" +
                          ToDisplay(row.AsArray().Get(1, "Info_IsDeleted")));
  EXPECT_FALSE(info->Call("GetInfo", {"7"}).AsArray().allocated());
  EXPECT_THAT(ErrorsOf(*info), ElementsAre(StartsWith("[3021]")));
  // Attachments live apart from their item: the deleted item keeps them.
  info->Call("AppendInfoAttach", {"1", "Plan", "plan.pdf"});
  info->Call("AppendInfoAttach", {"1", "O'Brien", "ob.doc"});
  info->Call("AppendInfoAttach", {"2", "Other", "o.txt"});
  info->Call("DeleteInfoAttach", {"2", "2"});  // not item 2's attachment: nothing
  info->Call("DeleteInfoAttach", {"1", "1"});
  EXPECT_EQ("Attach_ID|Info_ID|Attach_Title|Attach_FileName\n2|1|O'Brien|ob.doc\n",
            info->Call("GetInfoAttachList", {"1"}).AsArray().ToString());
  EXPECT_EQ("Attach_ID|Info_ID|Attach_Title|Attach_FileName\n",
            info->Call("GetInfoAttachList", {"5"}).AsArray().ToString());
  EXPECT_EQ(1u, ErrorsOf(*info).size());  // no more than above
}

// Moves among the items of column 10. Items: "id:code", then "^father" for
// the item it is filed under, "@column" for another column, "#state", and
// "*" when it is also cross-posted into column 10. Moves: "+id" up, "-id"
// down, a trailing "p" in the Published mode. Afterwards: column 10's live
// items in list order, then "id:code" of each item whose code changed.
TEST_P(InformationTest, MovesTakeTheNeighboursCodesAndLeaveOthersAlone) {
  const char* const three = "1:FFFFFFEF 2:FFFFFFDF 3:FFFFFFCF";
  const char* const filed =
      "1:FFFFFFEF 2:FFFFFFDF 3:FFFFFFDFFFFFFFCF^2 4:FFFFFFDFFFFFFFCFFFFFFFBF^3@20";
  const char* const siblings = "1:FFFFFFEF 2:FFFFFFDF 5:FFFFFFDFFFFFFF5F^2 6:FFFFFFDFFFFFFFAF^2";
  // items, moves, the list and changed codes afterwards, the Errors lines
  // (each the start of one, "\n" between them)
  const std::tuple<std::string, const char*, const char*, const char*> cases[] = {
      // A segment apart: halfway between the neighbours, or 8 past the edge;
      // past an end, a message and no change.
      {three, "+1", "3 1 2 | 1:FFFFFFD7", ""},
      {three, "+2", "2 3 1 | 2:FFFFFFC7", ""},
      {three, "-2", "3 1 2 | 2:FFFFFFF7", ""},
      {three, "-3", "2 3 1 | 3:FFFFFFE7", ""},
      {three, "+3 -1", "3 2 1 |",
       "[Ptolix] 信息位置已经在列表最前面，向前移动失败。\n"
       "[Ptolix] 信息位置已经在列表最后面，向后移动失败。"},
      // The items filed under the moved one follow it, however deep and in
      // whatever column; rows that only share its code prefix keep theirs.
      {filed + std::string(" 7:FFFFFFDF@20 8:FFFFFFDFFFFFFFAF^7@20"), "-2",
       "1 2 3 | 2:FFFFFFF7 3:FFFFFFF7FFFFFFCF 4:FFFFFFF7FFFFFFCFFFFFFFBF", ""},
      {filed, "-2 +2", "2 3 1 | 2:FFFFFFE7 3:FFFFFFE7FFFFFFCF 4:FFFFFFE7FFFFFFCFFFFFFFBF", ""},
      // Siblings are the neighbours, not the father or the items filed under.
      {siblings, "+6", "2 6 5 1 | 6:FFFFFFDFFFFFFF57", ""},
      {siblings, "+6 +6 +1", "1 2 6 5 | 1:FFFFFFD7 6:FFFFFFDFFFFFFF57",
       "[Ptolix] 信息位置已经在列表最前面"},
      // Items only cross-posted, hidden by the mode or missing are failures;
      // the mode narrows the neighbours.
      {"1:FFFFFFEF 2:FFFFFFDF@20* 3:FFFFFFCF#1", "+2 +3p +9 +x", "3 1 |",
       "[3021]\n[3021]\n[3021]\n[13] Type mismatch: pID 'x'"},
      {"1:FFFFFFEF 3:FFFFFFCF#1 4:FFFFFFBF", "-4p", "3 1 4 | 4:FFFFFFF7", ""},
      // A gap with no room left is respaced first, its filed items along; so
      // is a last item at the top code.
      {"1:FFFFFF10 2:FFFFFF11 3:FFFFFF12 4:FFFFFF11FFFFFFEF^2 7:FFFFFF50@20", "+3",
       "1 3 2 4 | 1:FFFFFEF0 2:FFFFFF10 3:FFFFFF00 4:FFFFFF10FFFFFFEF", ""},
      {"1:FFFFFF10 3:FFFFFF11 2:FFFFFFFC", "-3", "1 2 3 | 1:FFFFFF1B 2:FFFFFFB1 3:FFFFFFB9", ""},
      // A code an item of another column holds gives way to the nearest free
      // one in the same gap.
      {"1:00001000 2:00002000 3:00003000 8:00001800@20 9:00001BF0@20", "+3", "1 3 2 | 3:00001801",
       ""},
  };
  for (const auto& [items, moves, after, errors] : cases) {
    SCOPED_TRACE(items + " / " + moves);
    Exec("delete from tPtlx_Information");
    Exec("delete from tPtlx_Info2Colu");
    info = New("Information");
    std::map<int, std::string> before;
    std::istringstream item_list(items), move_list(moves), error_list(errors);
    for (std::string s; item_list >> s;) {
      auto part = [&](char mark, const char* none) {
        size_t at = s.find(mark);
        return at == std::string::npos ? none
                                       : s.substr(at + 1, s.find_first_of("^@#*", at + 1) - at - 1);
      };
      int id = std::stoi(s);
      before[id] = part(':', "");
      Item(id, before[id], std::stoi(part('#', "4")), std::stoi(part('@', "10")),
           part('^', "null"));
      if (s.back() == '*') Exec(fmt::format("insert into tPtlx_Info2Colu values (1,10,{})", id));
    }
    for (std::string s; move_list >> s;) {
      bool published = s.back() == 'p';
      info->Call(
          s[0] == '+' ? "MoveUpInfo" : "MoveDownInfo",
          {"1", "1", "10", published ? "Published" : "All", s.substr(1, s.size() - 1 - published)});
    }
    std::string got = Order() + " |";
    for (const auto& [id, code] : before) {
      if (Code(id) != code) got += " " + std::to_string(id) + ":" + Code(id);
    }
    EXPECT_EQ(after, got);
    Lines reported = ErrorsOf(*info), wanted;
    for (std::string line; std::getline(error_list, line);) wanted.push_back(line);
    for (size_t i = 0; i < reported.size() && i < wanted.size(); ++i)
      reported[i].resize(std::min(reported[i].size(), wanted[i].size()));
    EXPECT_EQ(wanted, reported);
  }
}

TEST_P(InformationTest, ManyMovesAlwaysMoveOnePlace) {
  std::vector<int> expected;
  for (int id = 1; id <= 6; ++id) {
    Item(id, "FFFFFF" + std::string(1, "0123456789ABCDEF"[16 - 2 * id]) + "F");
    expected.insert(expected.begin(), id);
  }
  uint32_t seed = 7;
  for (int step = 0; step < 300; ++step) {
    seed = seed * 1103515245 + 12345;
    int id = 1 + static_cast<int>((seed >> 16) % 6);
    bool up = (seed >> 8) % 3 != 0;  // mostly up, so gaps near the front wear out
    Move(up ? "MoveUpInfo" : "MoveDownInfo", id);
    auto at = std::find(expected.begin(), expected.end(), id);
    if (up && at != expected.begin()) std::iter_swap(at, at - 1);
    if (!up && at + 1 != expected.end()) std::iter_swap(at, at + 1);
    std::string want;
    for (int e : expected) want += (want.empty() ? "" : " ") + std::to_string(e);
    ASSERT_EQ(want, Order()) << "step " << step;
  }
  EXPECT_THAT(ErrorsOf(*info), ::testing::Each(StartsWith("[Ptolix]")));
}

TEST_P(InformationTest, HomeColumnAndCrossPosting) {
  Item(1, "FFFFFFEF");
  info->Call("MoveInfo", {"1", "2", "30"});
  for (const char* column : {"40", "40", "41"}) info->Call("AddInfo2Column", {"1", "2", column});
  EXPECT_EQ("n\n3\n", Rows("select count(*) as n from tPtlx_Info2Colu"));
  info->Call("RemoveFromColumn", {"1", "2", "40"});
  EXPECT_EQ("Sys_ID|Column_ID|Info_ID\n2|41|1\n", Rows("select * from tPtlx_Info2Colu"));
  EXPECT_EQ("Sys_ID|Column_ID|WebSite_ID|Info_Order\n2|30|1|FFFFFFEF\n",
            Rows("select Sys_ID,Column_ID,WebSite_ID,Info_Order from tPtlx_Information"));
  EXPECT_TRUE(ErrorsOf(*info).empty());
}

// A code a move gave away is never handed to a new item, and a later move
// of the item that has it leaves the new item alone.
TEST_P(InformationTest, NewItemsNeverTakeACodeAMoveGave) {
  for (const char* id : {"1", "2", "3"}) EXPECT_EQ(id, Add("t"));
  Move("MoveUpInfo", 2);
  Move("MoveUpInfo", 3);
  EXPECT_EQ("FFFFFFBF", Code(3));  // the code item 4 would be made from
  EXPECT_EQ("4", Add("t", "", "", "20"));
  EXPECT_EQ("5", Add("t", "", "4", "20"));
  EXPECT_NE("FFFFFFBF", Code(4));
  EXPECT_EQ(Code(4) + "FFFFFFAF", Code(5));  // filed under its father as usual
  // Still first in its column: before item 6's own code too.
  EXPECT_EQ("6", Add("t", "", "", "20"));
  EXPECT_LT(Code(6), Code(4));
  std::string code4 = Code(4), code5 = Code(5);
  Move("MoveDownInfo", 3);
  EXPECT_EQ(code4, Code(4));
  EXPECT_EQ(code5, Code(5));
  EXPECT_EQ(0, Count("select count(*) from tPtlx_Information a, tPtlx_Information b "
                     "where a.Info_ID < b.Info_ID and a.Info_Order = b.Info_Order"));
  EXPECT_TRUE(ErrorsOf(*info).empty());
}

PTOLIX_BACKENDS(InformationTest);

}  // namespace
}  // namespace ptolix::test
