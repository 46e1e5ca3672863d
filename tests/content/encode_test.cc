#include "ptolix/content/encode.h"

#include <gtest/gtest.h>

#include "fixture.h"

namespace ptolix {
namespace {

using test::ErrorLines;
using Lines = std::vector<std::string>;

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
      if (IsPostgres()) {
        Exec(std::string("alter table ") + table + " alter column " + id + " restart with 1");
      } else {
        Exec(std::string("delete from sqlite_sequence where name = '") + table + "'");
      }
    }
    Exec("delete from tPtlx_WebSiteType");
    Trace();
  }
};

// The three numbered dictionaries behave alike; each is driven through the
// late-bound path by its own method names.
TEST_P(EncodeTest, NumberedDictionaries) {
  struct Dictionary {
    const char* noun;  // InfoState, InfoType, AccessType
    const char* list;  // the list method
    const char* table;
    const char* prefix;
  } dictionaries[] = {
      {"InfoState", "GetInfStateList", "tPtlx_InfoState", "InfState"},
      {"InfoType", "GetInfTypeList", "tPtlx_InfoType", "InfType"},
      {"AccessType", "GetAccessTypeList", "tPtlx_AccessType", "AccessType"},
  };
  for (const Dictionary& d : dictionaries) {
    SCOPED_TRACE(d.noun);
    std::string noun = d.noun, table = d.table, p = d.prefix;
    auto enc = New("Encode");
    EXPECT_EQ(enc->Call(d.list, {}).AsArray().ToString(),
              p + "_ID|" + p + "_Name|" + p + "_Description\n");  // empty: row 0 only, no message
    Trace();
    enc->Call("Append" + noun, {"草稿", ""});
    enc->Call("Append" + noun, {"发布", "it's out"});
    enc->Call("Modify" + noun, {"1", "待审", "等待审核"});
    enc->Call("Delete" + noun, {"2"});
    enc->Call("Delete" + noun, {"77"});  // matches nothing: no error
    EXPECT_EQ(Trace(), (Lines{
                           "insert into " + table + " (" + p + "_Name," + p +
                               "_Description) values ('草稿',null)",
                           "insert into " + table + " (" + p + "_Name," + p +
                               "_Description) values ('发布','it''s out')",
                           "update " + table + " set " + p + "_Name = '待审'," + p +
                               "_Description = '等待审核' where " + p + "_ID = 1",
                           "delete from " + table + " where " + p + "_ID = 2",
                           "delete from " + table + " where " + p + "_ID = 77",
                       }));
    enc->Call("Append" + noun, {"退回", ""});
    EXPECT_EQ(enc->Call(d.list, {}).AsArray().ToString(),
              p + "_ID|" + p + "_Name|" + p + "_Description\n1|待审|等待审核\n3|退回|Null\n");
    EXPECT_EQ(enc->Get("Errors"), Variant(""));

    enc->Call("Modify" + noun, {"1; drop table " + table, "x", ""});
    EXPECT_EQ(ErrorLines(enc->Get("Errors").AsString()),
              Lines{"[13] Type mismatch: pID '1; drop table " + table + "'"});
  }
}

TEST_P(EncodeTest, InfoStateReadAndNotFound) {
  Encode enc;
  enc.SetConnection(conn);
  enc.AppendInfoState("待审", "");
  EXPECT_EQ(enc.GetInfoState("1").ToString(),
            "InfState_ID|InfState_Name|InfState_Description\n1|待审|Null\n");
  EXPECT_FALSE(enc.GetInfoState("5").allocated());
  EXPECT_EQ(ErrorLines(enc.Errors()), Lines{"[Ptolix] 信息状态不存在。"});
  EXPECT_EQ(Trace().back(), "select * from tPtlx_InfoState where InfState_ID = 5");
}

TEST_P(EncodeTest, WebSiteTypesTakeTheCallersIdentifier) {
  auto enc = New("Encode");
  EXPECT_EQ(enc->Call("GetWebSiteTypeList", {}).AsArray().ToString(),
            "WebSiteType_ID|WebSiteType_Name\n");
  Trace();
  enc->Call("AppendWebSiteType", {"2", "门户"});
  enc->Call("AppendWebSiteType", {"3", "博客"});
  enc->Call("ModifyWebSiteType", {"2", "5", "门户网站"});
  EXPECT_EQ(
      Trace(),
      (Lines{"insert into tPtlx_WebSiteType (WebSiteType_ID,WebSiteType_Name) values ('2','门户')",
             "insert into tPtlx_WebSiteType (WebSiteType_ID,WebSiteType_Name) values ('3','博客')",
             "update tPtlx_WebSiteType set WebSiteType_ID = '5',WebSiteType_Name = '门户网站' "
             "where WebSiteType_ID = 2"}));
  EXPECT_EQ(Rows("select * from tPtlx_WebSiteType order by WebSiteType_ID"),
            "WebSiteType_ID|WebSiteType_Name\n3|博客\n5|门户网站\n");
  EXPECT_EQ(enc->Call("GetWebSiteType", {"5"}).AsArray().ToString(),
            "WebSiteType_ID|WebSiteType_Name\n5|门户网站\n");
  enc->Call("DeleteWebSiteType", {"3"});
  EXPECT_EQ(enc->Get("Errors"), Variant(""));

  // A type keeps an identifier: empty or non-numeric ones run nothing, and a
  // duplicate is the database's refusal.
  Trace();
  EXPECT_FALSE(enc->Call("GetWebSiteType", {"3"}).AsArray().allocated());
  enc->Call("AppendWebSiteType", {"", "无编号"});
  enc->Call("ModifyWebSiteType", {"5", "", "x"});
  enc->Call("AppendWebSiteType", {"x'", "x"});
  EXPECT_EQ(Trace(), Lines{"select * from tPtlx_WebSiteType where WebSiteType_ID = 3"});
  enc->Call("AppendWebSiteType", {"5", "重复"});
  Lines lines = ErrorLines(enc->Get("Errors").AsString());
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + 4),
            (Lines{"[Ptolix] 网站类型不存在。",
                   "[5] Invalid procedure call or argument: pID is empty: a website type needs an "
                   "identifier",
                   "[5] Invalid procedure call or argument: pNewID is empty: a website type needs "
                   "an identifier",
                   "[13] Type mismatch: pID 'x''"}));
  EXPECT_EQ(lines[4].rfind("[-2147217900] ", 0), 0u) << lines[4];
  EXPECT_EQ(Rows("select * from tPtlx_WebSiteType"),
            "WebSiteType_ID|WebSiteType_Name\n5|门户网站\n");
}

TEST_P(EncodeTest, FreshObjectWithoutConnection) {
  Encode enc;
  EXPECT_FALSE(enc.GetAccessTypeList().allocated());
  enc.AppendInfoType("x", "");
  EXPECT_EQ(ErrorLines(enc.Errors()).size(), 2u);
  // Encode has no paging properties at all.
  auto obj = GlobalRegistry().CreateObject("Corvane_Ptolix.Encode");
  EXPECT_THROW(obj->Get("PageSize"), HostError);
}

PTOLIX_BACKENDS(EncodeTest);

}  // namespace
}  // namespace ptolix
