// Pages, tags and the code made from them; websites, styles and their
// templates.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>
#include <set>
#include <tuple>

#include "fixture.h"
#include "ptolix/site/page.h"
#include "ptolix/site/style.h"
#include "ptolix/site/website.h"
#include "ptolix/value/errors.h"
#include "site/page_code.h"
#include "value/order_code.h"

namespace ptolix::test {
namespace {

namespace fs = std::filesystem;

TEST(PageCodeText, ScriptSegmentsAndMarkersOfOneTag) {
  const std::pair<const char*, const char*> cases[] = {
      {"<a href=\"x\">", "Response.Write \"<a href=\"\"x\"\">\""},
      {"a\nb\rc", "Response.Write \"a\nb\rc\""},  // a lone LF or CR stays in the string
      {"<%x=\"q\"%>", "Response.Write \"\"\r\nx=\"q\"\r\n"},
      {"<%a%><%b%>", "Response.Write \"\"\r\na\r\nResponse.Write \"\"\r\nb\r\n"},
      {"<%a%>z", "Response.Write \"\"\r\na\r\nResponse.Write \"z\""},
      {"t<%a", "Response.Write \"t\"\r\na\r\n"},  // no "%>": the rest is script
      {"t%>u", "Response.Write \"t%>u\""},        // "%>" outside a block is text
  };
  for (auto [source, script] : cases) EXPECT_EQ(ToExecuteCode(source), script) << source;

  const std::tuple<const char*, const char*, const char*> markers[] = {
      {"<p>no markers</p><!--other-->", "P", "<p>no markers</p><!--other-->"},
      {"a<!--t-->b<!--t-->c<!--t-->", "P", "a<%P%>b<%P%>c<%P%>"},
      {"<!--T--><!--tt--><!--t-->", "P", "<!--T--><!--tt--><%P%>"},  // exact code only
      {"<!--t a=1&b=x y-->", "Show", "<%a=\"1\"\r\nb=\"x y\"\r\nShow%>"},
      {"<!--t q=a=b-->", "P", "<%q=\"a=\"b\"\r\nP%>"},  // nothing is escaped
      {"<!--t-->Hi<!--/t-->!", "If x Then[data]End If", "<%If x Then%>Hi<%End If%>!"},
      {"<!--t-->A<!--/t-->|<!--t-->B<!--/t-->", "[data]!", "<%%>A<%!%>|<%%>B<%!%>"},
      {"<!--t k=v-->A<!--/t-->", "[data]", "<%k=\"v\"\r\n%>A<%%>"},
      {"<!--t-->dropped<!--/t-->", "P", "<%P%>"},  // a program without [data] drops the body
      {"<!--t-->", "x[data]y", "<%x[data]y%>"},    // no closing marker: no body
      // Markers with attributes go first; the plain one then finds no closing left.
      {"<!--t-->|<!--t a=1-->B<!--/t-->", "[data]", "<%[data]%>|<%a=\"1\"\r\n%>B<%%>"},
      // A program holding its own marker is inserted once.
      {"<!--t-->", "X<!--t-->", "<%X<!--t-->%>"},
      {"<!--t a=1--><!--t a=1-->", "<!--t a=1-->",
       "<%a=\"1\"\r\n<!--t a=1-->%><%a=\"1\"\r\n<!--t a=1-->%>"},
      // Malformed: no "-->" leaves the text; blank attribute text adds no lines.
      {"<!--t a=1", "P", "<!--t a=1"},
      {"<!--t -->", "P", "<%P%>"},
      // A closing marker inside attribute text closes nothing.
      {"<!--t <!--/t-->", "P", "<%<!--/t\"\r\nP%>"},
      {"<!--t <!--/t-->A<!--/t--><!--t -->", "[data]", "<%<!--/t\"\r\n%>A<%%><%[data]%>"},
  };
  for (auto [text, program, expected] : markers)
    EXPECT_EQ(ReplaceTag(text, "t", program), expected) << text;
  EXPECT_EQ(ReplaceTag("<!-- comment -->", "", "P"), "<!-- comment -->");
}

// The one-pass replacement gives exactly what the pass per tag gives,
// whenever it gives anything, on random templates of plain, attribute and
// bodied markers of three tags, stray closing markers, comments, and
// programs with and without "[data]" or markers of their own.
TEST(ReplaceTags, OnePassAgreesWithThePassPerTag) {
  const char* const pieces[] = {"<!--a-->",  "<!--b-->",         "<!--c -->",    "<!--/a-->",
                                "<!--/b-->", "<!--a x=1&y=2-->", "<!--b k=v-->", "<!-- n -->",
                                "<!--a q",   "\"q\" ",           "\r\n"};
  const char* const programs[] = {"P",           "[data]", "S[data]E[data]",
                                  "X<!--a-->",   "",       "Z<!--c k=v-->",
                                  "W<!--/b-->V", "U<!--c", "T<!--b--><!--c-->"};
  std::mt19937 random(20261206);
  int one_pass = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (int i = 1 + random() % 8; i > 0; --i) text += pieces[random() % std::size(pieces)];
    std::vector<TagProgram> tags;
    for (const char* code : {"a", "b", "c", "a"}) {
      if (random() % 4) tags.push_back({code, programs[random() % std::size(programs)]});
    }
    if (std::optional<std::string> fast = ReplaceTagsInOnePass(text, tags)) {
      ++one_pass;
      EXPECT_EQ(*fast, ReplaceTagsInTurn(text, tags)) << text;  // a failure throws
    }
  }
  EXPECT_GT(one_pass, 300);
  EXPECT_LT(one_pass, 2700);  // templates it declines occur too
  // The first row of a code applies to the template, a later row to what an
  // earlier program inserted.
  EXPECT_EQ(ReplaceTags("<!--a-->|<!--b-->", {{"b", "B1"}, {"a", "A<!--b-->"}, {"b", "B2"}}),
            "<%A<%B2%>%>|<%B1%>");
}

// Generation through a Page object: a site root with a template folder, the
// parameters, style 1 of system 1 and the template of "index.asp".
class PageCodeTest : public DbTest {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("ptolix_site_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "templates");
    Reset();
  }
  // The parameters and the template row as every test starts with them.
  void Reset() {
    Exec("delete from tPtlx_SystemParameter");
    Exec("delete from tPtlx_Templet");
    Exec("insert into tPtlx_SystemParameter values ('SITE_PHYSICAL_ROOT','" + root_.string() +
         "',null),('TEMPLET_PATH','templates',null),('ABSTRACT_PUBLIC_PAGE','public.asp',null)");
    Exec("insert into tPtlx_Templet values (1,1,'index.asp','index.htm',null)");
  }
  ~PageCodeTest() override { fs::remove_all(root_); }
  void Write(const fs::path& relative, const std::string& content) {
    std::ofstream(root_ / relative, std::ios::binary) << content;
  }
  std::string Asp() { return page_->CreateAspCode("1", "1", "index.asp"); }
  // Tag codes of a list as "page:code", sorted.
  static std::string Codes(const ResultArray& a) {
    std::multiset<std::string> codes;
    for (int32_t r = 1; r <= a.DataRows(); ++r)
      codes.insert(ToDisplay(a.Get(r, "Page_File")) + ":" + ToDisplay(a.Get(r, "Tag_Code")) + " ");
    return std::accumulate(codes.begin(), codes.end(), std::string());
  }

  fs::path root_;
  std::unique_ptr<Page> page_ = Make<Page>();
};

TEST_P(PageCodeTest, CodeFromTemplatesAndTagsFilesBelowTheSiteRootAndFailures) {
  Write("templates/index.htm", "<b>Hi</b>\r\n<!--list n=3-->");
  page_->AppendTag("1", "index.asp", "list", "ShowList n", "");
  EXPECT_EQ(Asp(), "<b>Hi</b>\r\n<%n=\"3\"\r\nShowList n%>");
  EXPECT_EQ(
      page_->CreateExecuteCode("1", "1", "index.asp"),
      "Response.Write \"<b>Hi</b>\" & vbCrLf\r\nResponse.Write \"\"\r\nn=\"3\"\r\nShowList n\r\n");

  Write("templates/index.htm", "<!--title--> <!--menu--> <!--foot-->");
  page_->AppendTag("1", "public.asp", "title", "PublicTitle", "");
  page_->AppendTag("1", "public.asp", "foot", "Foot", "");
  page_->AppendTag("1", "index.asp", "title", "OwnTitle", "");
  page_->AppendTag("1", "index.asp", "menu", "Menu <!--foot-->", "");
  page_->AppendTag("1", "other.asp", "foot", "NotMine", "");
  // The page's own tag wins over the public one with the same code; the
  // public tags come later and replace the markers the page's programs bring.
  EXPECT_EQ(Asp(), "<%OwnTitle%> <%Menu <%Foot%>%> <%Foot%>");
  EXPECT_EQ(page_->Errors(), "");
  // With PageSize set only the first page of tags is applied.
  page_->SetPageSize(1);
  EXPECT_THAT(Asp(), HasSubstr("<!--"));
  EXPECT_EQ(page_->RecordCount(), 5);  // with the first template's tag
  // Files are read from below the site root only.
  Write("templates/index.htm", "main");
  Write("templates/sub.htm", "");
  Write("secret.txt", "inside the root");
  std::string errors;
  EXPECT_EQ(ReadSiteFile("templates\\index.htm", conn, errors), "main");
  EXPECT_EQ(ReadSiteFile("/templates/index.htm", conn, errors), "main");
  EXPECT_EQ(ReadSiteFile("templates/../secret.txt", conn, errors), "inside the root");
  EXPECT_EQ(ReadSiteFile("templates/sub.htm", conn, errors), "");  // an empty file is empty text
  EXPECT_EQ(errors, "");
  // A link inside the root that leads outside it is refused too.
  fs::create_directory_symlink("/etc", root_ / "templates" / "etc");
  for (const char* path :
       {"../escape.txt", "templates/none.htm", "templates", "templates/etc/hostname"}) {
    errors.clear();
    EXPECT_EQ(ReadSiteFile(path, conn, errors), "") << path;
    EXPECT_EQ(ErrorLines(errors), Lines{std::string("[53] File not found: ") + path});
  }

  Write("templates/index.htm", "<!--/t--><!--t-->");
  page_->AppendTag("1", "index.asp", "t", "P", "");
  const std::string no_record =
      "[3021] Either BOF or EOF is True, or the current record has been "
      "deleted. Requested operation requires a current record.";
  const std::string para = "delete from tPtlx_SystemParameter where Para_Name = ";
  // A statement run before the call, and the Errors lines.
  const std::pair<std::string, Lines> cases[] = {
      {"", {"[5] Invalid procedure call or argument: closing marker <!--/t--> before its opening"}},
      {"update tPtlx_Templet set Tmpl_File = 'missing.htm'",
       {"[53] File not found: templates/missing.htm"}},
      {"update tPtlx_Templet set Tmpl_File = '..\\..\\x.htm'",
       {"[53] File not found: templates/../../x.htm"}},
      {"delete from tPtlx_Templet", {no_record, "[Ptolix] 模板不存在。"}},
      {para + "'ABSTRACT_PUBLIC_PAGE'", {no_record}},
      {para + "'SITE_PHYSICAL_ROOT'", {"[Ptolix] 取系统参数'SITE_PHYSICAL_ROOT'错。"}},
      {para + "'TEMPLET_PATH'", {"[Ptolix] 系统参数\"TEMPLET_PATH\"不存在。"}}};
  for (const auto& [setup, errors] : cases) {
    Reset();
    if (!setup.empty()) Exec(setup);
    auto page = Make<Page>();
    EXPECT_EQ(page->CreateAspCode("1", "1", "index.asp"), "") << setup;
    EXPECT_EQ(ErrorLines(page->Errors()), errors) << setup;
    // A failed page source converts as the empty text.
    EXPECT_EQ(page->CreateExecuteCode("1", "1", "index.asp"), "Response.Write \"\"") << setup;
  }
}

TEST_P(PageCodeTest, PagesTagsAndTheTagListJoiningThePublicPage) {
  page_->AppendPage("1", "index.asp", "Home");
  page_->ModifyPage("1", "index.asp", "home.asp", "");
  EXPECT_EQ(page_->GetPage("1", "home.asp").ToString(),
            "Sys_ID|Page_File|Page_Description\n1|home.asp|Null\n");
  page_->AppendTag("1", "index.asp", "news", "Response.Write 'x'", "");
  page_->ModifyTag("1", "index.asp", "news", "news", "ShowNews [data]", "news list");
  page_->DeleteTag("1", "index.asp", "none");
  page_->DeletePage("1", "home.asp");
  // The renamed and deleted page left its tag under the old name.
  EXPECT_EQ(page_->GetTag("1", "index.asp", "news").ToString(),
            "Sys_ID|Page_File|Tag_Code|Tag_Program|Tag_Description\n1|index.asp|news|ShowNews "
            "[data]|news list\n");
  EXPECT_EQ(page_->GetPrivateTagList("1", "home.asp").DataRows(), 0);
  EXPECT_EQ(page_->GetPageList("1").DataRows(), 0);
  EXPECT_FALSE(page_->GetPage("1", "home.asp").allocated());
  EXPECT_FALSE(page_->GetTag("1", "index.asp", "old").allocated());
  EXPECT_EQ(ErrorLines(page_->Errors()).size(), 2u);
  // The tag list joins the public page.
  for (const char* code : {"a", "b"}) page_->AppendTag("1", "index.asp", code, "P", "");
  for (const char* code : {"a", "c", "d"}) page_->AppendTag("1", "public.asp", code, "P", "");
  page_->AppendTag("2", "public.asp", "e", "P", "");
  EXPECT_EQ(Codes(page_->GetTagList("1", "index.asp")),
            "index.asp:a index.asp:b index.asp:news public.asp:a public.asp:c public.asp:d ");
  EXPECT_EQ(Codes(page_->GetPrivateTagList("1", "index.asp")),
            "index.asp:a index.asp:b index.asp:news ");
  EXPECT_EQ(Codes(page_->GetTagList("1", "public.asp")), "public.asp:a public.asp:c public.asp:d ");
  page_->SetPageSize(2);
  EXPECT_EQ(page_->GetTagList("1", "index.asp", "3").DataRows(), 2);
  EXPECT_EQ(page_->RecordCount(), 6);

  Exec("delete from tPtlx_SystemParameter");
  EXPECT_FALSE(page_->GetTagList("1", "index.asp").allocated());
  EXPECT_THAT(ErrorLines(page_->Errors()).back(), StartsWith("[3021]"));
}

PTOLIX_BACKENDS(PageCodeTest);

class WebSiteTest : public DbTest {
 protected:
  static std::string Ids(const ResultArray& a) { return FieldValues(a, "WebSite_ID"); }
  std::unique_ptr<WebSite> site_ = Make<WebSite>();
};

TEST_P(WebSiteTest, SitesAndStylesAddedChangedReadAndDeleted) {
  site_->AppendWebSite("Main", "Main site", "", "1");
  site_->AppendWebSite("Shop", "", "It's ours", "");
  EXPECT_EQ(
      Rows("select WebSite_ID,WebSite_Description,WebSiteType_ID,WebSite_Order from tPtlx_WebSite "
           "order by WebSite_ID"),
      "WebSite_ID|WebSite_Description|WebSiteType_ID|WebSite_Order\n1|Null|1|FFEF\n2|It's "
      "ours|Null|FFDF\n");
  EXPECT_EQ(Ids(site_->GetWebSiteList()), "2 1 ");
  // A site without a type is never listed by type.
  EXPECT_EQ(Ids(site_->GetWebSiteListByType("1")), "1 ");
  site_->SetPageSize(1);
  EXPECT_EQ(Ids(site_->GetWebSiteList(2)), "1 ");
  EXPECT_EQ(site_->PageCount(), 2);

  site_->ModifyWebSite("1", "Main2", "T", "D", "A0", "3");
  site_->SetWebSiteLogo("1", "logo.gif");
  site_->SetWebSiteStyle("1", "2", "5");
  EXPECT_EQ(
      site_->GetWebSite("1").ToString(),
      "WebSite_ID|WebSite_Name|WebSite_Title|WebSite_Description|WebSiteType_ID|WebSite_Order|"
      "WebSite_Logo|Sys_ID|Style_ID\n1|Main2|T|D|3|A0|logo.gif|2|5\n");
  site_->SetWebSiteStyle("1", "", "");
  EXPECT_EQ(Rows("select Sys_ID,Style_ID from tPtlx_WebSite where WebSite_ID = 1"),
            "Sys_ID|Style_ID\nNull|Null\n");
  site_->DeleteWebSite("1");
  EXPECT_FALSE(site_->GetWebSite("1").allocated());
  EXPECT_EQ(ErrorLines(site_->Errors()), Lines{"[Ptolix] 该站点不存在。"});

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
  // The list pages; identifiers are checked before anything runs.
  auto styles = Make<Style>();
  for (int i = 0; i < 5; ++i) styles->AppendStyle("1", "S" + std::to_string(i), "");
  styles->SetPageSize(2);
  EXPECT_EQ(styles->GetStyleList("1", "3").DataRows(), 1);
  EXPECT_EQ(styles->RecordCount(), 5);
  EXPECT_EQ(styles->PageCount(), 3);
}

TEST(WebSiteOrderCode, KeepsFallingBeyondFourCharacters) {
  EXPECT_EQ(WebSiteOrderCode(3839), "100F");
  const int64_t ids[] = {1, 2, 3838, 3839, 3840, 4095, 4096, 65536, 268435455};
  for (size_t i = 1; i < std::size(ids); ++i)
    EXPECT_GT(WebSiteOrderCode(ids[i - 1]), WebSiteOrderCode(ids[i])) << ids[i];
}

TEST_P(WebSiteTest, AFailedStepLeavesNothing) {
  auto site = New("WebSite");
  site->Call("DeleteWebSite", {""});  // an empty identifier makes an invalid statement
  EXPECT_THAT(ErrorsOf(*site), ElementsAre(StartsWith("[-2147217900]")));
  // Adding is atomic: when the second step (the order code) is refused, the
  // first does not stay.
  ExecAll(engine().RefusingTrigger("no_order", "tPtlx_WebSite", "update"));
  site_->AppendWebSite("Main", "", "", "");
  EXPECT_EQ(Rows("select count(*) n from tPtlx_WebSite"), "n\n0\n");
  EXPECT_EQ(ErrorLines(site_->Errors()).size(), 1u);
}

// Style and Page run the same template statements; each has its own list.
TEST_P(WebSiteTest, TemplatesThroughStyleAndPage) {
  Exec("insert into tPtlx_Style (Sys_ID,Style_Name) values (1,'Blue')");
  Exec("insert into tPtlx_Page values (1,'index.asp','Home')");
  // The list joins the page's description for Style, the style's name for Page.
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"Style", "1", "Page_Description\n1|1|index.asp|b.htm|it's new|Home\n"},
      {"Page", "index.asp", "Style_Name\n1|1|index.asp|b.htm|it's new|Blue\n"}};
  for (const auto& [cls, list_arg, list] : cases) {
    auto obj = New(cls);
    obj->Call("AppendTemplet", {"1", "1", "index.asp", "a.htm", ""});
    obj->Call("AppendTemplet", {"1", "1", "gone.asp", "g.htm", ""});   // no page row
    obj->Call("AppendTemplet", {"1", "9", "index.asp", "n.htm", ""});  // no style row
    obj->Call("ModifyTemplet", {"1", "1", "index.asp", "b.htm", "it's new"});
    EXPECT_EQ(
        obj->Call("GetTemplet", {"1", "1", "index.asp"}).AsArray().ToString(),
        "Sys_ID|Style_ID|Page_File|Tmpl_File|Tmpl_Description\n1|1|index.asp|b.htm|it's new\n")
        << cls;
    EXPECT_EQ(obj->Call("GetTempletList", {"1", list_arg}).AsArray().ToString(),
              std::string("Sys_ID|Style_ID|Page_File|Tmpl_File|Tmpl_Description|") + list);
    for (auto [style, page] :
         {std::pair{"1", "index.asp"}, {"1", "gone.asp"}, {"9", "index.asp"}}) {
      obj->Call("DeleteTemplet", {"1", style, page});
    }
    EXPECT_EQ(Rows("select count(*) n from tPtlx_Templet"), "n\n0\n");
    // A pair without a template is a failure of the lookup.
    EXPECT_FALSE(obj->Call("GetTemplet", {"1", "1", "index.asp"}).AsArray().allocated());
    EXPECT_THAT(ErrorsOf(*obj), ElementsAre(StartsWith("[3021]")));
  }
}

PTOLIX_BACKENDS(WebSiteTest);

}  // namespace
}  // namespace ptolix::test
