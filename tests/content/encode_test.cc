#include "ptolix/content/encode.h"

#include <gtest/gtest.h>

#include "fixture.h"

namespace ptolix {
namespace {

using test::ErrorsOf;
using test::Lines;

class EncodeTest : public test::DbTest {
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
  EXPECT_EQ(Trace(), (Lines{"select * from tPtlx_InfoState where InfState_ID = 5",
                            "select * from tPtlx_WebSiteType where WebSiteType_ID = 3"}));
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
}  // namespace ptolix
