#include "ptolix/site/page.h"

#include <gtest/gtest.h>

#include "fixture.h"

namespace ptolix {
namespace {

using test::ErrorLines;
using Lines = std::vector<std::string>;

class PageTest : public test::DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    page_.SetConnection(conn);
  }
  // Tag codes of a list, sorted, for comparisons that do not depend on the
  // database's order.
  static std::string Codes(const ResultArray& a) {
    std::vector<std::string> codes;
    for (int32_t r = 1; r <= a.DataRows(); ++r) {
      codes.push_back(ToDisplay(a.Get(r, "Page_File")) + ":" + ToDisplay(a.Get(r, "Tag_Code")));
    }
    std::sort(codes.begin(), codes.end());
    std::string out;
    for (const auto& c : codes) out += c + " ";
    return out;
  }
  Page page_;
};

TEST_P(PageTest, PagesAndTags) {
  page_.AppendPage("1", "index.asp", "Home");
  page_.ModifyPage("1", "index.asp", "home.asp", "");
  EXPECT_EQ(page_.GetPage("1", "home.asp").ToString(),
            "Sys_ID|Page_File|Page_Description\n1|home.asp|Null\n");
  page_.AppendTag("1", "index.asp", "news", "Response.Write 'x'", "");
  page_.ModifyTag("1", "index.asp", "news", "news", "ShowNews [data]", "news list");
  page_.DeleteTag("1", "index.asp", "none");
  page_.DeletePage("1", "home.asp");
  // The renamed and deleted page left its tag under the old name.
  EXPECT_EQ(page_.GetTag("1", "index.asp", "news").ToString(),
            "Sys_ID|Page_File|Tag_Code|Tag_Program|Tag_Description\n1|index.asp|news|ShowNews "
            "[data]|news list\n");
  EXPECT_EQ(page_.GetPrivateTagList("1", "home.asp").DataRows(), 0);
  EXPECT_EQ(page_.GetPageList("1").DataRows(), 0);
  EXPECT_EQ(page_.Errors(), "");
  EXPECT_FALSE(page_.GetPage("1", "home.asp").allocated());
  EXPECT_FALSE(page_.GetTag("1", "index.asp", "old").allocated());
  EXPECT_EQ(ErrorLines(page_.Errors()).size(), 2u);
}

TEST_P(PageTest, TagListJoinsThePublicPage) {
  Exec("insert into tPtlx_SystemParameter values ('ABSTRACT_PUBLIC_PAGE','public.asp',null)");
  for (const char* code : {"a", "b"}) page_.AppendTag("1", "index.asp", code, "P", "");
  for (const char* code : {"a", "c", "d"}) page_.AppendTag("1", "public.asp", code, "P", "");
  page_.AppendTag("2", "public.asp", "e", "P", "");
  EXPECT_EQ(Codes(page_.GetTagList("1", "index.asp")),
            "index.asp:a index.asp:b public.asp:a public.asp:c public.asp:d ");
  EXPECT_EQ(Codes(page_.GetPrivateTagList("1", "index.asp")), "index.asp:a index.asp:b ");
  EXPECT_EQ(Codes(page_.GetTagList("1", "public.asp")), "public.asp:a public.asp:c public.asp:d ");
  page_.SetPageSize(2);
  EXPECT_EQ(page_.GetTagList("1", "index.asp", "3").DataRows(), 1);
  EXPECT_EQ(page_.RecordCount(), 5);

  Exec("delete from tPtlx_SystemParameter");
  EXPECT_FALSE(page_.GetTagList("1", "index.asp").allocated());
  EXPECT_EQ(ErrorLines(page_.Errors()).at(0).substr(0, 6), "[3021]");
}

PTOLIX_BACKENDS(PageTest);

}  // namespace
}  // namespace ptolix
