#include "ptolix/site/style.h"

#include <gtest/gtest.h>

#include "fixture.h"
#include "ptolix/site/page.h"

namespace ptolix {
namespace {

using test::ErrorLines;
using test::Lines;

class StyleTest : public test::DbTest {};

TEST_P(StyleTest, SoftAndPhysicalDeletion) {
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
TEST_P(StyleTest, TemplatesThroughStyleAndPage) {
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

TEST_P(StyleTest, ListsPageAndCheckIdentifiers) {
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

PTOLIX_BACKENDS(StyleTest);

}  // namespace
}  // namespace ptolix
