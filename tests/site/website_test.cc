// Websites, styles and their templates.

#include "ptolix/site/website.h"

#include <gtest/gtest.h>

#include "fixture.h"
#include "frame/order_code.h"
#include "ptolix/site/page.h"
#include "ptolix/site/style.h"

namespace ptolix {
namespace {

using test::ErrorLines;
using test::Lines;

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

TEST_P(WebSiteTest, SoftAndPhysicalDeletion) {
  auto style = New("Style");
  style->Call("AppendStyle", {"1", "Blue", ""});
  style->Call("AppendTemplet", {"1", "1", "index.asp", "blue/index.htm", ""});
  style->Call("AppendStyle", {"1", "Red", "warm"});
  style->Call("AppendStyle", {"2", "Other", ""});
  style->Call("AppendTemplet", {"1", "2", "index.asp", "red/index.htm", ""});
  style->Call("ModifyStyle", {"1", "1", "Navy", "cool"});
  style->Call("DeleteStyle", {"1", "1"});
  style->Call("PhysicalDeleteStyle", {"1", "2"});
  // The marked style leaves the list but it and its template stay findable.
  EXPECT_EQ(style->Call("GetStyleList", {"1"}).AsArray().DataRows(), 0);
  EXPECT_EQ(style->Call("GetStyle", {"1", "1"}).AsArray().ToString(),
            "Style_ID|Sys_ID|Style_Name|Style_Description|Style_IsDeleted\n1|1|Navy|cool|1\n");
  EXPECT_EQ(style->Call("GetTemplet", {"1", "1", "index.asp"}).AsArray().At(1, 3),
            Variant("blue/index.htm"));
  EXPECT_EQ(Rows("select Style_ID from tPtlx_Style order by Style_ID"), "Style_ID\n1\n3\n");
  EXPECT_EQ(Rows("select Style_ID from tPtlx_Templet"), "Style_ID\n1\n");
  EXPECT_EQ(style->Get("Errors"), Variant(""));
}

// Style and Page run the same template statements; each has its own list.
TEST_P(WebSiteTest, TemplatesThroughStyleAndPage) {
  Exec("insert into tPtlx_Style (Sys_ID,Style_Name) values (1,'Blue')");
  Exec("insert into tPtlx_Page values (1,'index.asp','Home')");
  // The list joins the page's description for Style, the style's name for Page.
  const struct {
    const char *cls, *list_arg, *list;
  } cases[] = {{"Style", "1", "Page_Description\n1|1|index.asp|b.htm|it's new|Home\n"},
               {"Page", "index.asp", "Style_Name\n1|1|index.asp|b.htm|it's new|Blue\n"}};
  for (const auto& c : cases) {
    auto obj = New(c.cls);
    obj->Call("AppendTemplet", {"1", "1", "index.asp", "a.htm", ""});
    obj->Call("AppendTemplet", {"1", "1", "gone.asp", "g.htm", ""});   // no page row
    obj->Call("AppendTemplet", {"1", "9", "index.asp", "n.htm", ""});  // no style row
    obj->Call("ModifyTemplet", {"1", "1", "index.asp", "b.htm", "it's new"});
    EXPECT_EQ(
        obj->Call("GetTemplet", {"1", "1", "index.asp"}).AsArray().ToString(),
        "Sys_ID|Style_ID|Page_File|Tmpl_File|Tmpl_Description\n1|1|index.asp|b.htm|it's new\n")
        << c.cls;
    EXPECT_EQ(obj->Call("GetTempletList", {"1", c.list_arg}).AsArray().ToString(),
              std::string("Sys_ID|Style_ID|Page_File|Tmpl_File|Tmpl_Description|") + c.list);
    for (auto [style, page] :
         {std::pair{"1", "index.asp"}, {"1", "gone.asp"}, {"9", "index.asp"}}) {
      obj->Call("DeleteTemplet", {"1", style, page});
    }
    EXPECT_EQ(Rows("select count(*) n from tPtlx_Templet"), "n\n0\n");
    // A pair without a template is a failure of the lookup.
    EXPECT_FALSE(obj->Call("GetTemplet", {"1", "1", "index.asp"}).AsArray().allocated());
    EXPECT_EQ(test::ErrorsOf(*obj).at(0).substr(0, 6), "[3021]");
  }
}

TEST_P(WebSiteTest, ListsPageAndCheckIdentifiers) {
  Style style;
  style.SetConnection(conn);
  for (int i = 0; i < 5; ++i) style.AppendStyle("1", "S" + std::to_string(i), "");
  style.SetPageSize(2);
  EXPECT_EQ(style.GetStyleList("1", "3").DataRows(), 1);
  EXPECT_EQ(style.RecordCount(), 5);
  EXPECT_EQ(style.PageCount(), 3);
  Trace();
  style.PhysicalDeleteStyle("1", "2;drop table tPtlx_Style");
  EXPECT_TRUE(Trace().empty());
  EXPECT_EQ(ErrorLines(style.Errors()),
            Lines{"[13] Type mismatch: pID '2;drop table tPtlx_Style'"});
}

PTOLIX_BACKENDS(WebSiteTest);

}  // namespace
}  // namespace ptolix
