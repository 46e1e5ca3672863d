// Information items: writing, review, attachments, home column,
// cross-posting, order among siblings, and the list queries.

#include "ptolix/content/information.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "content/information_sql.h"
#include "fixture.h"
#include "frame/order_code.h"

namespace ptolix::test {
namespace {

constexpr char kFirst[] = "[Ptolix] 信息位置已经在列表最前面，向前移动失败。";
constexpr char kLast[] = "[Ptolix] 信息位置已经在列表最后面，向后移动失败。";

class InformationTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    info = New("Information");
  }
  // Adds an item through the late-bound object, as a page script would.
  std::string Add(const std::string& title, const std::string& content = "",
                  const std::string& father = "") {
    return ToDisplay(info->Call(
        "AppendInfo", {"1", "10", "alice", "2", title, content, "", "", "", "1", father}));
  }
  std::string ErrorsText() { return info->Get("Errors").AsString(); }
  // An item of site 1, system 1, column 10 unless told otherwise.
  void Item(int id, const std::string& code, int state = 4, int column = 10,
            const std::string& father = "null") {
    Exec(
        "insert into tPtlx_Information "
        "(Info_ID,InfState_ID,Sys_ID,Column_ID,WebSite_ID,Info_Father,Info_Order) "
        "values (" +
        std::to_string(id) + "," + std::to_string(state) + ",1," + std::to_string(column) + ",1," +
        father + ",'" + code + "')");
  }
  void Move(const char* method, int id, const std::string& mode = "All") {
    info->Call(method, {"1", "1", "10", mode, std::to_string(id)});
  }
  // Identifiers of column 10 (live items) in list order, and their codes.
  std::string Order() {
    std::string out =
        FieldValues(conn->RunQuery("select Info_ID from tPtlx_Information where Column_ID = 10 and "
                                   "Info_IsDeleted = '0' order by Info_Order,Info_ID"),
                    "Info_ID");
    return out.substr(0, out.size() - 1);
  }
  std::string Code(int id) {
    return ToDisplay(conn->RunQuery("select Info_Order from tPtlx_Information where Info_ID = " +
                                    std::to_string(id))
                         .At(1, 0));
  }
  std::vector<std::string> Lines() { return ErrorsOf(*info); }

  std::unique_ptr<Object> info;
};

TEST_P(InformationTest, AppendStoresWhatWasGivenWithCodesUnderTheFather) {
  EXPECT_EQ("1", ToDisplay(info->Call("AppendInfo", {"1", "10", "bob", "3", "It's new",
                                                     "<img a><IMG b><img/><img c>", "2024/3/5",
                                                     "2024-04-01 08:30", "http://x", "2"})));
  EXPECT_EQ("2", Add("child", "", "1"));
  EXPECT_EQ("3", Add("orphan", "", "99"));  // no such father: one segment, father kept
  EXPECT_EQ(
      "Info_ID|Info_Father|Info_Order|InfState_ID|Info_IsDeleted|Info_PublicUsr|Info_Content|Info_"
      "ImageCount\n"
      "1|Null|FFFFFFEF|1|0|bob|<img a><IMG b><img/><img c>|2\n"  // "<img " counted, case-sensitive
      "2|1|FFFFFFEFFFFFFFDF|1|0|alice|Null|Null\n"
      "3|99|FFFFFFCF|1|0|alice|Null|Null\n",
      Rows("select "
           "Info_ID,Info_Father,Info_Order,InfState_ID,Info_IsDeleted,Info_PublicUsr,Info_Content,"
           "Info_ImageCount from tPtlx_Information order by Info_ID"));
  EXPECT_EQ(
      "InfType_ID|Info_Title|Info_Url|Info_PublicDate|Info_EndDate|WebSite_ID\n"
      "3|It's new|http://x|2024-03-05 00:00:00|2024-04-01 08:30:00|2\n",
      Rows("select InfType_ID,Info_Title,Info_Url,Info_PublicDate,Info_EndDate,WebSite_ID from "
           "tPtlx_Information where Info_ID = 1"));
  EXPECT_EQ("", ErrorsText());
}

TEST_P(InformationTest, AppendWithBadArgumentsStoresNothing) {
  const std::pair<Args, const char*> cases[] = {
      {{"x", "10", "u", "1", "t", "", "", "", "", "1"}, "[13] Type mismatch: pSysID 'x'"},
      {{"1", "", "u", "1", "t", "", "", "", "", "1"}, "[13] Type mismatch"},
      {{"1", "10", "u", "1", "t", "", "", "", "", "1", "1;drop"},
       "[13] Type mismatch: pFather '1;drop'"},
      {{"1", "10", "u", "1", "t", "", "soon", "", "", "1"}, "[13] Type mismatch: pPubDate 'soon'"},
      {{"1", "10", "u", "1", "t", "", "", "", "", "99999999999"}, "[6] Overflow"}};
  for (const auto& [args, error] : cases) {
    auto obj = New("Information");
    EXPECT_EQ("", ToDisplay(obj->Call("AppendInfo", args)));
    auto lines = ErrorsOf(*obj);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(0u, lines[0].find(error)) << lines[0];
  }
  // An identifier above 268435455 has no 8-character segment.
  Exec("insert into tPtlx_Information (Info_ID,Info_Title) values (268435455,'last')");
  EXPECT_EQ("", Add("too far"));
  EXPECT_EQ(0u, ErrorLines(ErrorsText()).at(0).find("[6] Overflow"));
  EXPECT_EQ("n\n1\n", Rows("select count(*) as n from tPtlx_Information"));
}

TEST_P(InformationTest, ModifyDeleteAndAssessActOnEveryListedItem) {
  for (int i = 0; i < 4; ++i) Add("t");
  info->Call("ModifyInfo", {"1,2, 3", "5", "New", "<img\tx><img y>", "", "2025-1-2", ""});
  info->Call("AssessInfo", {"rev", "2,3", "4"});
  info->Call("DeleteInfo", {"3"});
  info->Call("ModifyInfo", {"", "5", "none", "", "", "", ""});  // in (null): nothing
  EXPECT_EQ(
      "Info_ID|InfType_ID|Info_Title|Info_ImageCount|Info_EndDate|InfState_ID|Info_AssessUsr|Info_"
      "IsDeleted|a\n"
      "1|5|New|2|2025-01-02 00:00:00|1|Null|0|0\n"
      "2|5|New|2|2025-01-02 00:00:00|4|rev|0|1\n"
      "3|5|New|2|2025-01-02 00:00:00|4|rev|1|1\n"
      "4|2|t|Null|Null|1|Null|0|0\n",
      Rows("select "
           "Info_ID,InfType_ID,Info_Title,Info_ImageCount,Info_EndDate,InfState_ID,Info_AssessUsr,"
           "Info_IsDeleted,case when Info_AssessTime is null then 0 else 1 end as a from "
           "tPtlx_Information "
           "order by Info_ID"));
  EXPECT_EQ("", ErrorsText());
}

TEST_P(InformationTest, GetInfoReadsDeletedItemsAndIdentifierListsAreChecked) {
  Add("kept", "body");
  info->Call("DeleteInfo", {"1"});
  Variant row = info->Call("GetInfo", {"1"});
  EXPECT_EQ("body|1", ToDisplay(row.AsArray().Get(1, "Info_Content")) + "|" +
                          ToDisplay(row.AsArray().Get(1, "Info_IsDeleted")));
  EXPECT_FALSE(info->Call("GetInfo", {"7"}).AsArray().allocated());
  Trace();
  info->Call("DeleteInfo", {"1) or (1=1"});
  info->Call("AssessInfo", {"u", "1", "4 or 1=1"});
  info->Call("GetInfo", {"1 or 1=1"});
  EXPECT_TRUE(Trace().empty());  // refused before anything runs
  auto lines = ErrorLines(ErrorsText());
  ASSERT_EQ(4u, lines.size());
  EXPECT_EQ(0u, lines[0].find("[3021]"));
  EXPECT_EQ((std::vector<std::string>{"[13] Type mismatch: pID '1) or (1=1'",
                                      "[13] Type mismatch: pInfoState '4 or 1=1'",
                                      "[13] Type mismatch: pID '1 or 1=1'"}),
            std::vector<std::string>(lines.begin() + 1, lines.end()));
}

TEST_P(InformationTest, AttachmentsLiveApartFromTheirItem) {
  Add("t");
  info->Call("AppendInfoAttach", {"1", "Plan", "plan.pdf"});
  info->Call("AppendInfoAttach", {"1", "O'Brien", "ob.doc"});
  info->Call("AppendInfoAttach", {"2", "Other", "o.txt"});
  info->Call("DeleteInfo", {"1"});
  info->Call("DeleteInfoAttach", {"2", "2"});  // not item 2's attachment: nothing
  info->Call("DeleteInfoAttach", {"1", "1"});
  EXPECT_EQ("Attach_ID|Info_ID|Attach_Title|Attach_FileName\n2|1|O'Brien|ob.doc\n",
            info->Call("GetInfoAttachList", {"1"}).AsArray().ToString());
  EXPECT_EQ("Attach_ID|Info_ID|Attach_Title|Attach_FileName\n",
            info->Call("GetInfoAttachList", {"5"}).AsArray().ToString());
  EXPECT_EQ("", ErrorsText());
}

// Three items a segment apart: a move lands halfway between the neighbours,
// or 8 below the first and 8 above the last; a move past an end reports and
// changes nothing.
TEST_P(InformationTest, MovesLandHalfwayOrEightPastTheEdge) {
  const std::tuple<const char*, int, const char*, const char*> cases[] = {
      {"MoveUpInfo", 1, "FFFFFFD7", "3 1 2"},   {"MoveUpInfo", 2, "FFFFFFC7", "2 3 1"},
      {"MoveDownInfo", 2, "FFFFFFF7", "3 1 2"}, {"MoveDownInfo", 3, "FFFFFFE7", "2 3 1"},
      {"MoveUpInfo", 3, "FFFFFFCF", "3 2 1"},   {"MoveDownInfo", 1, "FFFFFFEF", "3 2 1"}};
  for (auto [method, id, code, order] : cases) {
    Exec("delete from tPtlx_Information");
    Item(1, "FFFFFFEF");
    Item(2, "FFFFFFDF");
    Item(3, "FFFFFFCF");
    Move(method, id);
    EXPECT_EQ(std::string(code) + " " + order, Code(id) + " " + Order()) << method << " " << id;
  }
  EXPECT_EQ((std::vector<std::string>{kFirst, kLast}), Lines());
}

// The items filed under the moved one follow it, however deep and in
// whatever column; rows that only share its code prefix (written by another
// program) keep their codes.
TEST_P(InformationTest, MoveRewritesOnlyTheItemsFiledUnderIt) {
  Item(1, "FFFFFFEF");
  Item(2, "FFFFFFDF");
  Item(3, "FFFFFFDFFFFFFFCF", 4, 10, "2");
  Item(4, "FFFFFFDFFFFFFFCFFFFFFFBF", 4, 20, "3");  // filed deeper, in another column
  Item(7, "FFFFFFDF", 4, 20);                       // same code, another column
  Item(8, "FFFFFFDFFFFFFFAF", 4, 20, "7");          // filed under item 7
  Move("MoveDownInfo", 2);
  EXPECT_EQ(
      "Info_ID|Info_Order\n1|FFFFFFEF\n2|FFFFFFF7\n3|FFFFFFF7FFFFFFCF\n4|FFFFFFF7FFFFFFCFFFFFFFBF\n"
      "7|FFFFFFDF\n8|FFFFFFDFFFFFFFAF\n",
      Rows("select Info_ID,Info_Order from tPtlx_Information order by Info_ID"));
  Move("MoveUpInfo", 2);  // back up, its filed items along
  EXPECT_EQ("2 3 1", Order());
  EXPECT_TRUE(Lines().empty());
}

TEST_P(InformationTest, ItemsOutsideTheListAreFailures) {
  Item(1, "FFFFFFEF");
  Item(2, "FFFFFFDF", 4, 20);
  Exec("insert into tPtlx_Info2Colu (Sys_ID,Column_ID,Info_ID) values (1,10,2)");
  Item(3, "FFFFFFCF", 1);
  Move("MoveUpInfo", 2);               // cross-posted only
  Move("MoveUpInfo", 3, "Published");  // hidden by the mode
  Move("MoveUpInfo", 9);               // no such item
  info->Call("MoveUpInfo", {"1", "1", "10", "All", "x"});
  auto lines = Lines();
  ASSERT_EQ(4u, lines.size());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(0u, lines[i].find("[3021]")) << lines[i];
  EXPECT_EQ("[13] Type mismatch: pID 'x'", lines[3]);
  EXPECT_EQ("FFFFFFDF", Code(2));
  // The mode narrows the neighbours: past item 1, the next published one.
  Item(4, "FFFFFFBF");
  Move("MoveDownInfo", 4, "Published");
  EXPECT_EQ("FFFFFFF7", Code(4));
  EXPECT_EQ("3 1 4", Order());
}

TEST_P(InformationTest, SiblingsAreTheNeighboursNotFathersOrFiledItems) {
  // Father 2 with two filed items; top items 1 and 2.
  Item(1, "FFFFFFEF");
  Item(2, "FFFFFFDF");
  Item(5, "FFFFFFDFFFFFFF5F", 4, 10, "2");
  Item(6, "FFFFFFDFFFFFFFAF", 4, 10, "2");
  Move("MoveUpInfo", 6);  // before its sibling 5, not halfway to its father
  EXPECT_EQ("FFFFFFDFFFFFFF57", Code(6));
  EXPECT_EQ("2 6 5 1", Order());
  Move("MoveUpInfo", 6);  // first among its siblings
  EXPECT_EQ((std::vector<std::string>{kFirst}), Lines());
  Move("MoveUpInfo", 1);  // past item 2 and everything filed under it
  EXPECT_EQ("1 2 6 5", Order());
  EXPECT_EQ("FFFFFFD7", Code(1));
}

TEST_P(InformationTest, ExhaustedGapsAreRespacedFirst) {
  Item(1, "FFFFFF10");
  Item(2, "FFFFFF11");
  Item(3, "FFFFFF12");
  Item(4, "FFFFFF11FFFFFFEF", 4, 10, "2");
  Item(7, "FFFFFF50", 4, 20);  // another column, untouched
  Move("MoveUpInfo", 3);
  EXPECT_EQ("1 3 2 4", Order());
  EXPECT_TRUE(Lines().empty());
  EXPECT_EQ(
      Rows("select Info_Order from tPtlx_Information where Column_ID = 10 order by Info_Order"),
      Rows("select distinct Info_Order from tPtlx_Information where Column_ID = 10 order by "
           "Info_Order"));
  EXPECT_EQ("FFFFFF50", Code(7));
  EXPECT_EQ(Code(2) + "FFFFFFEF", Code(4));
  // A last item at the top of the segment range has no room after it.
  Exec("delete from tPtlx_Information where Info_ID = 4");
  Exec("update tPtlx_Information set Info_Order = 'FFFFFFFC' where Info_ID = 2");
  Move("MoveDownInfo", 3);
  EXPECT_EQ("1 2 3", Order());
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
  for (const auto& line : Lines()) EXPECT_EQ(0u, line.find("[Ptolix]")) << line;
}

TEST_P(InformationTest, HomeColumnAndCrossPosting) {
  Item(1, "FFFFFFEF");
  info->Call("MoveInfo", {"1", "2", "30"});
  info->Call("AddInfo2Column", {"1", "2", "40"});
  info->Call("AddInfo2Column", {"1", "2", "40"});
  info->Call("AddInfo2Column", {"1", "2", "41"});
  EXPECT_EQ("n\n3\n", Rows("select count(*) as n from tPtlx_Info2Colu"));
  info->Call("RemoveFromColumn", {"1", "2", "40"});
  EXPECT_EQ("Sys_ID|Column_ID|Info_ID\n2|41|1\n", Rows("select * from tPtlx_Info2Colu"));
  EXPECT_EQ("Sys_ID|Column_ID|WebSite_ID|Info_Order\n2|30|1|FFFFFFEF\n",
            Rows("select Sys_ID,Column_ID,WebSite_ID,Info_Order from tPtlx_Information"));
  info->Call("AddInfo2Column", {"1 or 1=1", "2", "40"});
  EXPECT_EQ((std::vector<std::string>{"[13] Type mismatch: pID '1 or 1=1'"}), Lines());
}

// A code a move gave away is never handed to a new item, and a later move
// of the item that has it leaves the new item alone.
TEST_P(InformationTest, NewItemsNeverTakeACodeAMoveGave) {
  auto add = [&](const std::string& column, const std::string& father = "") {
    return ToDisplay(
        info->Call("AppendInfo", {"1", column, "u", "1", "t", "", "", "", "", "1", father}));
  };
  EXPECT_EQ("1", add("10"));
  EXPECT_EQ("2", add("10"));
  EXPECT_EQ("3", add("10"));
  Move("MoveUpInfo", 2);
  Move("MoveUpInfo", 3);
  EXPECT_EQ("FFFFFFBF", Code(3));  // the code item 4 would be made from
  EXPECT_EQ("4", add("20"));
  EXPECT_EQ("5", add("20", "4"));
  EXPECT_NE("FFFFFFBF", Code(4));
  EXPECT_EQ(Code(4) + "FFFFFFAF", Code(5));  // filed under its father as usual
  // Still first in its column: before item 6's own code too.
  EXPECT_EQ("6", add("20"));
  EXPECT_LT(Code(6), Code(4));
  std::string code4 = Code(4), code5 = Code(5);
  Move("MoveDownInfo", 3);
  EXPECT_EQ(code4, Code(4));
  EXPECT_EQ(code5, Code(5));
  EXPECT_EQ(0, Count("select count(*) from tPtlx_Information a, tPtlx_Information b "
                     "where a.Info_ID < b.Info_ID and a.Info_Order = b.Info_Order"));
  EXPECT_TRUE(Lines().empty());
}

// A preferred code that an item of another column holds gives way to the
// nearest free code in the same gap; the move is never refused while the gap
// has room.
TEST_P(InformationTest, TakenCodesGiveWayToTheNearestFreeOne) {
  Item(1, "00001000");
  Item(2, "00002000");
  Item(3, "00003000");
  Item(8, "00001800", 4, 20);  // the midpoint of items 1 and 2
  Item(9, "00001BF0", 4, 20);  // the midpoint after spacing column 10 out
  Move("MoveUpInfo", 3);
  EXPECT_TRUE(Lines().empty());
  EXPECT_EQ("1 3 2", Order());
  EXPECT_EQ("00001801", Code(3));
}

PTOLIX_BACKENDS(InformationTest);

// The list queries. Column tree of system 1: 1 > 2 > 3 (deleted) > 4, and a
// second top column 5; column 6 belongs to system 2.
class QueriesTest : public InformationTest {
 protected:
  void SetUp() override {
    InformationTest::SetUp();
    Exec(
        "insert into tPtlx_Column (Column_ID,Sys_ID,Column_Order,Column_IsDeleted) values "
        "(1,1,'FFFFFFEF','0'),"
        "(2,1,'FFFFFFEFFFFFFFDF','0'),(3,1,'FFFFFFEFFFFFFFDFFFFFFFCF','1'),"
        "(4,1,'FFFFFFEFFFFFFFDFFFFFFFCFFFFFFFBF','0'),(5,1,'FFFFFFAF','0'),(6,2,'FFFFFF9F','0')");
  }
  struct ItemRow {
    int id, state = 4, column = 1, site = 1, sys = 1;
    std::string title = "t", content = "";
    int images = 0;
    std::string deleted = "0", time = "2024-01-01 00:00:00";
    int type = 1;
  };
  void Item(const ItemRow& r) {
    Exec(
        "insert into tPtlx_Information "
        "(Info_ID,InfState_ID,InfType_ID,Sys_ID,Column_ID,WebSite_ID,Info_Title,"
        "Info_Content,Info_ImageCount,Info_IsDeleted,Info_SystemTime,Info_Order) values (" +
        std::to_string(r.id) + "," + std::to_string(r.state) + "," + std::to_string(r.type) + "," +
        std::to_string(r.sys) + "," + std::to_string(r.column) + "," + std::to_string(r.site) +
        ",'" + r.title + "','" + r.content + "'," + std::to_string(r.images) + ",'" + r.deleted +
        "','" + r.time + "','" + PaddedOrderCode(r.id, 8) + "')");
  }
  // Identifiers of a result, in order.
  static std::string Ids(const Variant& v) {
    if (v.kind() != Variant::Kind::kArray || !v.AsArray().allocated()) return "(none)";
    std::string out;
    for (int r = 1; r <= v.AsArray().DataRows(); ++r)
      out += (r > 1 ? " " : "") + ToDisplay(v.AsArray().At(r, 0));
    return out;
  }
};

TEST_P(QueriesTest, ModeKeywordsFilterStatesExactly) {
  for (int state = 1; state <= 6; ++state) Item({.id = state, .state = state});
  Item({.id = 7, .deleted = "1"});
  Item({.id = 8, .column = 2});
  Item({.id = 9, .site = 2});
  struct Case {
    const char *mode, *ids;
  } cases[] = {{"All", "6 5 4 3 2 1"},       {"Published", "6 5 4"}, {"WaitAssess", "1"},
               {"NeedReedit", "2"},          {"Canceled", "3"},      {"Editor", "2 1"},
               {"published", "6 5 4 3 2 1"}, {"", "6 5 4 3 2 1"}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.ids, Ids(info->Call("GetInfoList", {"1", "1", "1", c.mode}))) << c.mode;
  }
  // The list's tenth field is the content's placeholder.
  EXPECT_EQ("[Content]",
            ToDisplay(info->Call("GetInfoList", {"1", "1", "1", "Published"}).AsArray().At(1, 9)));

  // Items cross-posted into column 5 from column 1 of the same system: any
  // state, but not deleted.
  Exec(
      "insert into tPtlx_Info2Colu (Sys_ID,Column_ID,Info_ID) values "
      "(1,5,1),(1,5,3),(1,5,7),(2,5,4)");
  EXPECT_EQ("3 1", Ids(info->Call("GetInfoList1", {"1", "1", "1", "5"})));

  // Paging.
  info->Put("PageSize", Variant(4));
  struct Page {
    const char *page, *ids;
  } pages[] = {{"2", "2 1"}, {"9", "2 1"}, {"", "6 5 4 3"}, {"0", "6 5 4 3"}};
  for (const auto& p : pages) {
    EXPECT_EQ(p.ids, Ids(info->Call("GetInfoList", {"1", "1", "1", "All", p.page}))) << p.page;
    EXPECT_EQ(6, info->Get("RecordCount").AsInt64());
    EXPECT_EQ(2, info->Get("PageCount").AsInt64());
  }
  EXPECT_EQ("8 6 5 4", Ids(info->Call("GetPublishedInfoList", {"1", "1", "1", "1"})));
  EXPECT_EQ("", Ids(info->Call("GetInfoList", {"1", "1", "5", "All"})));
  EXPECT_EQ((std::vector<std::string>{"[Ptolix] 没有记录。"}), Lines());
}

TEST_P(QueriesTest, SearchMatchesLiterallyInAnyCaseAndBoundsInclusively) {
  Item({.id = 1, .title = "Annual REPORT", .time = "2024-01-01 00:00:00"});
  Item({.id = 2,
        .title = "100% growth",
        .content = "a_b",
        .time = "2024-01-15 12:00:00",
        .type = 2});
  Item({.id = 3, .title = "100 percent", .content = "axb", .time = "2024-01-31 00:00:00"});
  Item({.id = 4, .title = "it''s [new]", .time = "2024-02-01 00:00:00"});
  // Letter case is ignored in every script.
  Item({.id = 5, .title = "CAFÉ ΩMEGA", .content = "Ärger über ÖL", .time = "2023-06-01 00:00:00"});
  Item({.id = 6, .title = "ａｂｃ corp", .content = "ПРИВЕТ мир", .time = "2023-06-01 00:00:00"});
  Item({.id = 7, .title = "plain", .content = "ΑΘΗΝΑ", .time = "2023-06-01 00:00:00"});
  auto search = [&](const char* title, const char* content, const char* type, const char* start,
                    const char* end) {
    return Ids(
        info->Call("SearchInfoList", {"1", "1", "1", "All", title, content, type, start, end}));
  };
  // title, content, the items found
  const std::tuple<const char*, const char*, const char*> texts[] = {
      {"café ω", "", "5"},     {"CAFÉ Ω", "", "5"},     {"ＡＢＣ", "", "6"}, {"ABC", "", ""},
      {"", "ärger ÜBER", "5"}, {"", "привет МИР", "6"}, {"", "αθηνα", "7"},  {"Ｃ", "РИВ", "6"},
      {"report", "", "1"},     {"100%", "", "2"},       {"", "a_b", "2"},    {"it's", "", "4"},
      {"[new]", "", "4"}};
  for (auto [title, content, ids] : texts) EXPECT_EQ(ids, search(title, content, "", "", ""));
  EXPECT_EQ("2", search("", "", "2", "", ""));
  EXPECT_EQ("3 2 1", search("", "", "", "2024-01-01", "2024-01-31"));
  EXPECT_EQ("3 2", search("", "", "", "2024/1/15 12:00", "2024-01-31"));
  EXPECT_EQ("2", search("100", "", "", "2024-01-01", "2024-01-20"));
  EXPECT_EQ("7 6 5 4 3 2 1", search("", "", "", "2024-01-02", ""));  // one bound: no condition
  EXPECT_TRUE(Lines().empty());
  Trace();
  info->Call("SearchInfoList", {"1", "1", "1", "All", "", "", "1 or 1=1", "", ""});
  info->Call("SearchInfoList", {"1", "1", "1", "All", "", "", "", "yesterday", "today"});
  EXPECT_TRUE(Trace().empty());
  EXPECT_EQ(2u, Lines().size());
}

// Published items of column 1's subtree: homed in 1, 2 or 4 (3 is deleted),
// or cross-posted into them from the same system and website.
TEST_P(QueriesTest, PublishedListsTakeTheSubtreeAndCrossPostings) {
  Item({.id = 1, .column = 1, .images = 2});
  Item({.id = 2, .column = 2});
  Item({.id = 3, .column = 3});               // deleted column
  Item({.id = 4, .column = 4, .images = 1});  // below the deleted column
  Item({.id = 5, .state = 1, .column = 1});   // not published
  Item({.id = 6, .column = 1, .site = 2});    // other site
  Item({.id = 7, .column = 2, .deleted = "1"});
  Item({.id = 8, .column = 5, .images = 3});  // cross-posted into 2
  Item({.id = 9, .column = 5, .site = 2});    // cross-posted, other site
  Item({.id = 10, .column = 5});              // cross-post row of another system
  Item({.id = 11, .column = 6, .sys = 2});    // other system, cross-posted
  Item({.id = 12, .state = 6, .column = 5});  // cross-posted into 3 (deleted column)
  Item({.id = 13, .state = 5, .column = 2});  // homed and cross-posted: listed once
  Exec(
      "insert into tPtlx_Info2Colu (Sys_ID,Column_ID,Info_ID) values "
      "(1,2,8),(1,2,9),(2,2,10),(1,2,11),"
      "(1,3,12),(1,4,13),(1,2,13)");
  EXPECT_EQ("13 8 4 2 1", Ids(info->Call("GetPublishedInfoList", {"1", "1", "1"})));
  EXPECT_EQ("13 8 4 2", Ids(info->Call("GetPublishedInfoList", {"1", "1", "2"})));
  EXPECT_EQ("13 4", Ids(info->Call("GetPublishedInfoList",
                                   {"1", "1", "3"})));  // deleted column: its subtree
  EXPECT_EQ("13 8", Ids(info->Call("GetTopNPublishedInfoList", {"1", "1", "1", "2"})));
  EXPECT_EQ("13 8 4 2 1", Ids(info->Call("GetTopNPublishedInfoList", {"1", "1", "1", "50"})));
  EXPECT_EQ("8 4 1", Ids(info->Call("GetTopNPictureInfoList", {"1", "1", "5"})));
  EXPECT_EQ("8", Ids(info->Call("GetTopNPictureInfoList", {"1", "1", "1"})));
  EXPECT_TRUE(Lines().empty());

  info->Put("PageSize", Variant(2));  // the top-N lists are never paged
  EXPECT_EQ("13 8 4", Ids(info->Call("GetTopNPublishedInfoList", {"1", "1", "1", "3"})));
  EXPECT_EQ("(none)", Ids(info->Call("GetTopNPublishedInfoList", {"1", "1", "1", ""})));
  EXPECT_EQ("(none)", Ids(info->Call("GetTopNPictureInfoList", {"1", "1", "2;"})));
  EXPECT_EQ(2u, Lines().size());
}

TEST_P(QueriesTest, PublishedFormsSelectTheSameRowsOnVariedData) {
  // A random forest of 30 columns over two systems, some deleted, and 400
  // items in every state, site and system, some deleted, some without a
  // column, many cross-posted (some twice, some into deleted columns or
  // under another system).
  uint32_t seed = 12345;
  auto next = [&](uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  std::vector<std::string> code(37);
  for (int c = 7; c <= 36; ++c) {
    int father = c > 9 ? 7 + static_cast<int>(next(c - 7)) : 0;
    code[c] = (father ? code[father] : "") + PaddedOrderCode(c, 8);
    Exec("insert into tPtlx_Column (Column_ID,Sys_ID,Column_Order,Column_IsDeleted) values (" +
         std::to_string(c) + "," + std::to_string(1 + next(4) / 3) + ",'" + code[c] + "','" +
         (next(6) == 0 ? "1" : "0") + "')");
  }
  for (int id = 1; id <= 400; ++id) {
    std::string column = next(20) == 0 ? "null" : std::to_string(7 + next(30));
    Exec(
        "insert into tPtlx_Information "
        "(Info_ID,InfState_ID,Sys_ID,Column_ID,WebSite_ID,Info_IsDeleted,Info_Order) "
        "values (" +
        std::to_string(id) + "," + std::to_string(1 + next(6)) + "," +
        std::to_string(1 + next(5) / 4) + "," + column + "," + std::to_string(1 + next(3) / 2) +
        ",'" + (next(10) == 0 ? "1" : "0") + "','" +
        PaddedOrderCode(next(4) == 0 ? id / 2 : id, 8) + "')");  // some codes shared
    for (int k = static_cast<int>(next(3)); k > 0; --k) {
      Exec("insert into tPtlx_Info2Colu (Sys_ID,Column_ID,Info_ID) values (" +
           std::to_string(1 + next(5) / 4) + "," + std::to_string(7 + next(30)) + "," +
           std::to_string(id) + ")");
    }
  }
  // Ties in Info_Order are broken the same way by both forms only when the
  // order is total, so compare with the identifier as a tie-breaker.
  auto total = [](std::string sql) { return sql + ",Info_ID"; };
  int non_empty = 0;
  for (int c = 6; c <= 37; ++c) {
    for (const char* site : {"1", "2"}) {
      for (const char* sys : {"1", "2"}) {
        SCOPED_TRACE(std::string(sys) + " " + std::to_string(c) + " " + site);
        std::string col = std::to_string(c), reference;
        for (std::string_view top : {"", "3"}) {
          reference = Rows(total(info_sql::PublishedListReference(sys, col, site, top)));
          ASSERT_EQ(reference, Rows(total(info_sql::PublishedList(sys, col, site, top))));
          ASSERT_EQ(
              reference,
              Rows(total(info_sql::PublishedListByColumn(sys, col, site, top, engine().sqlite()))));
        }
        reference = Rows(total(info_sql::PublishedListReference(sys, col, site)));
        int rows = static_cast<int>(std::count(reference.begin(), reference.end(), '\n')) - 1;
        ASSERT_EQ(Rows("select (" + info_sql::PublishedCount(sys, col, site) + ") as n"),
                  "n\n" + std::to_string(rows) + "\n");
        non_empty += rows > 0;
      }
    }
  }
  EXPECT_GT(non_empty, 40);
}

PTOLIX_BACKENDS(QueriesTest);

}  // namespace
}  // namespace ptolix::test
