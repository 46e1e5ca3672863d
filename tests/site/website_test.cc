#include "ptolix/site/website.h"

#include <gtest/gtest.h>

#include "fixture.h"
#include "frame/order_code.h"
#include "ptolix/site/website.h"

namespace ptolix {
namespace {

using test::ErrorLines;
using Lines = std::vector<std::string>;

class WebSiteTest : public test::DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    site_.SetConnection(conn);
  }
  static std::string Ids(const ResultArray& a) { return test::FieldValues(a, "WebSite_ID"); }
  WebSite site_;
};

TEST_P(WebSiteTest, AppendGivesNewestFirstOrderCodes) {
  site_.AppendWebSite("Main", "Main site", "", "1");
  site_.AppendWebSite("Shop", "", "It's ours", "");
  EXPECT_EQ(
      Rows("select WebSite_ID,WebSite_Description,WebSiteType_ID,WebSite_Order from tPtlx_WebSite "
           "order by WebSite_ID"),
      "WebSite_ID|WebSite_Description|WebSiteType_ID|WebSite_Order\n1|Null|1|FFEF\n2|It's "
      "ours|Null|FFDF\n");
  EXPECT_EQ(Ids(site_.GetWebSiteList()), "2 1 ");
  // A site without a type is never listed by type.
  EXPECT_EQ(Ids(site_.GetWebSiteListByType("1")), "1 ");
  site_.SetPageSize(1);
  EXPECT_EQ(Ids(site_.GetWebSiteList(2)), "1 ");
  EXPECT_EQ(site_.PageCount(), 2);
  EXPECT_EQ(site_.Errors(), "");
}

TEST(WebSiteOrderCode, KeepsFallingBeyondFourCharacters) {
  EXPECT_EQ(WebSiteOrderCode(3839), "100F");
  const int64_t ids[] = {1, 2, 3838, 3839, 3840, 4095, 4096, 65536, 268435455};
  for (size_t i = 1; i < std::size(ids); ++i) {
    EXPECT_GT(WebSiteOrderCode(ids[i - 1]), WebSiteOrderCode(ids[i])) << ids[i];
  }
}

TEST_P(WebSiteTest, ChangesAndReads) {
  site_.AppendWebSite("Main", "", "", "");
  site_.ModifyWebSite("1", "Main2", "T", "D", "A0", "3");
  site_.SetWebSiteLogo("1", "logo.gif");
  site_.SetWebSiteStyle("1", "2", "5");
  EXPECT_EQ(site_.GetWebSite("1").ToString(),
            "WebSite_ID|WebSite_Name|WebSite_Title|WebSite_Description|WebSiteType_ID|WebSite_"
            "Order|WebSite_Logo|"
            "Sys_ID|Style_ID\n1|Main2|T|D|3|A0|logo.gif|2|5\n");
  site_.SetWebSiteStyle("1", "", "");
  EXPECT_EQ(Rows("select Sys_ID,Style_ID from tPtlx_WebSite"), "Sys_ID|Style_ID\nNull|Null\n");

  site_.DeleteWebSite("1");
  EXPECT_FALSE(site_.GetWebSite("1").allocated());
  EXPECT_EQ(ErrorLines(site_.Errors()), Lines{"[Ptolix] 该站点不存在。"});
}

TEST_P(WebSiteTest, BadArgumentsRunNothing) {
  auto site = New("WebSite");
  site->Call("AppendWebSite", {"x", "", "", "1'"});
  site->Call("DeleteWebSite", {"1 or 1=1"});
  site->Call("SetWebSiteStyle", {"1", "x", ""});
  EXPECT_TRUE(Trace().empty());
  site->Call("DeleteWebSite", {""});  // an empty identifier makes an invalid statement
  EXPECT_FALSE(site->Call("GetWebSite", {"7"}).AsArray().allocated());
  Lines lines = ErrorLines(site->Get("Errors").AsString());
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[3].substr(0, 13), "[-2147217900]");  // the database's own message follows
  lines.erase(lines.begin() + 3);
  EXPECT_EQ(lines, (Lines{"[13] Type mismatch: pType '1''", "[13] Type mismatch: pID '1 or 1=1'",
                          "[13] Type mismatch: pSysID 'x'", "[Ptolix] 该站点不存在。"}));
}

TEST_P(WebSiteTest, AppendIsAtomic) {
  // The second step (the order code) is refused: the first must not stay.
  ExecAll(engine().RefusingTrigger("no_order", "tPtlx_WebSite", "update"));
  site_.AppendWebSite("Main", "", "", "");
  EXPECT_EQ(Rows("select count(*) n from tPtlx_WebSite"), "n\n0\n");
  EXPECT_EQ(ErrorLines(site_.Errors()).size(), 1u);
}

PTOLIX_BACKENDS(WebSiteTest);

}  // namespace
}  // namespace ptolix
