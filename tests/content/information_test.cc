// Information items: writing, review, attachments.

#include "ptolix/content/information.h"

#include <gtest/gtest.h>

#include "fixture.h"

namespace ptolix::test {
namespace {

class InformationTest : public DbTest {
 protected:
  // Adds an item through the late-bound object, as a page script would.
  std::string Add(const std::string& title, const std::string& content = "",
                  const std::string& father = "") {
    return ToDisplay(info->Call(
        "AppendInfo", {"1", "10", "alice", "2", title, content, "", "", "", "1", father}));
  }
  std::string ErrorsText() { return info->Get("Errors").AsString(); }

  void SetUp() override {
    DbTest::SetUp();
    info = New("Information");
  }
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
  struct Case {
    Args args;
    const char* error;
  } cases[] = {
      {{"x", "10", "u", "1", "t", "", "", "", "", "1"}, "[13] Type mismatch: pSysID 'x'"},
      {{"1", "", "u", "1", "t", "", "", "", "", "1"}, "[13] Type mismatch"},
      {{"1", "10", "u", "1", "t", "", "", "", "", "1", "1;drop"},
       "[13] Type mismatch: pFather '1;drop'"},
      {{"1", "10", "u", "1", "t", "", "soon", "", "", "1"}, "[13] Type mismatch: pPubDate 'soon'"},
      {{"1", "10", "u", "1", "t", "", "", "", "", "99999999999"}, "[6] Overflow"},
  };
  for (auto& c : cases) {
    auto obj = New("Information");
    EXPECT_EQ("", ToDisplay(obj->Call("AppendInfo", c.args)));
    auto lines = ErrorsOf(*obj);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(0u, lines[0].find(c.error)) << lines[0];
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

PTOLIX_BACKENDS(InformationTest);

}  // namespace
}  // namespace ptolix::test
