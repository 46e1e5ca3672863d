// Links, their classes, and upload records.

#include "ptolix/records/link.h"

#include "fixture.h"
#include "ptolix/records/upload.h"

namespace ptolix::test {
namespace {

class LinkTest : public DbTest {
 protected:
  // Adds `count` links titled "<class>-<n>" to the class.
  void AddLinks(const std::string& id, int count) {
    for (int i = 1; i <= count; ++i)
      link->AppendLink(id, id + "-" + std::to_string(i), "", "http://x/", "", "", "", "");
  }
  static std::string Numbers(const ResultArray& a) { return FieldValues(a, "Link_ID"); }
  std::unique_ptr<Link> link = Make<Link>();
};

TEST_P(LinkTest, LinkClasses) {
  auto obj = New("Link");
  obj->Call("AppendLinkClass", {"友情链接", "Friends"});
  obj->Call("AppendLinkClass", {"合作伙伴", ""});
  obj->Call("ModifyLinkClass", {"2", "O'Brien 合作", "Partners"});
  obj->Call("DeleteLinkClass", {"9"});  // matches nothing: no error
  EXPECT_EQ(obj->Call("GetLinkClass", {"2"}).AsArray().ToString(),
            "LinkClass_ID|LinkClass_ChineseName|LinkClass_EnglishName\n2|O'Brien 合作|Partners\n");
  // The class list is never paged and leaves the counts of the last paged list.
  AddLinks("1", 3);
  obj->Put("PageSize", Variant(2));
  obj->Call("GetClassLinkList", {"1", "2"});
  obj->Call("AppendLinkClass", {"第三", "Third"});
  EXPECT_EQ(obj->Call("GetLinkClassList", {}).AsArray().DataRows(), 3);
  EXPECT_EQ(obj->Get("RecordCount").ToText() + "/" + obj->Get("PageCount").ToText(), "3/2");

  EXPECT_FALSE(obj->Call("GetLinkClass", {"7"}).AsArray().allocated());
  obj->Call("DeleteLinkClass", {"1"});
  EXPECT_EQ(ErrorLines(obj->Get("Errors").AsString()), Lines{"[Ptolix] 链接分类不存在。"});
  // Deleting a class leaves its links and its counter.
  EXPECT_EQ(Rows("select count(*) n from tLink_Detail where LinkClass_ID = 1"), "n\n3\n");
  EXPECT_EQ(Rows("select tEncode_Counter from tEncode_Manager"), "tEncode_Counter\n3\n");
}

TEST_P(LinkTest, LinksAreNumberedPerClassNewestFirst) {
  link->AppendLink("2", "Ptolix", "首页", "http://ptolix.example/", "logo.gif", "88", "31",
                   "2005-01-31");
  AddLinks("2", 2);
  AddLinks("5", 1);
  EXPECT_EQ(link->Errors(), "");
  EXPECT_EQ(Rows("select LinkClass_ID, Link_ID, Link_Order from tLink_Detail order by "
                 "LinkClass_ID, Link_ID"),
            "LinkClass_ID|Link_ID|Link_Order\n2|1|FFFFEF\n2|2|FFFFDF\n2|3|FFFFCF\n5|1|FFFFEF\n");
  EXPECT_EQ(Numbers(link->GetClassLinkList("2")), "3 2 1 ");
  EXPECT_EQ(Numbers(link->GetLinkList()), "1 2 3 1 ");
  EXPECT_EQ(link->GetLink("2", "1").ToString(),
            "LinkClass_ID|Link_ID|Link_Title|Link_Description|Link_Url|Link_Image|Link_ImageWidth|"
            "Link_ImageHeight|Link_EndDate|Link_Order\n"
            "2|1|Ptolix|首页|http://ptolix.example/|logo.gif|88|31|2005-01-31 00:00:00|FFFFEF\n");
  EXPECT_EQ(Numbers(link->GetClassLinkList("5", "")), "1 ");
  // Paged: a class's page newest first (page clamping is the frame's), and
  // all links counted together.
  AddLinks("4", 25);
  auto obj = New("Link");
  obj->Put("PageSize", Variant(10));
  EXPECT_EQ(Numbers(obj->Call("GetClassLinkList", {"4", "2"}).AsArray()),
            "15 14 13 12 11 10 9 8 7 6 ");
  EXPECT_EQ(obj->Get("RecordCount").ToText() + "/" + obj->Get("PageCount").ToText(), "25/3");
  EXPECT_EQ(obj->Call("GetLinkList", {3}).AsArray().DataRows(), 9);
  EXPECT_EQ(obj->Get("RecordCount"), Variant(29));
  EXPECT_EQ(obj->Get("Errors"), Variant(""));
}

TEST_P(LinkTest, ModifyDeleteAndTheMissingLinkMessage) {
  link->AppendLink("2", "Old", "d", "http://old/", "a.gif", "88", "31", "2004-12-01");
  link->ModifyLink("2", "1", "New", "", "http://new/", "", "", "40", "2005-01-31");
  EXPECT_EQ(Rows("select Link_Title, Link_ImageWidth, Link_EndDate, Link_Order from tLink_Detail"),
            "Link_Title|Link_ImageWidth|Link_EndDate|Link_Order\n"
            "New|Null|2005-01-31 00:00:00|FFFFEF\n");

  EXPECT_FALSE(link->GetLink("2", "9").allocated());
  link->DeleteLink("2", "1");
  link->DeleteLink("2", "1");  // nothing left to delete: no error
  EXPECT_FALSE(link->GetLink("2", "1").allocated());
  EXPECT_EQ(ErrorLines(link->Errors()), (Lines{"[Ptolix] 链接分类'2'下不存在链接'9'。",
                                               "[Ptolix] 链接分类'2'下不存在链接'1'。"}));
  EXPECT_EQ(Rows("select count(*) n from tLink_Detail"), "n\n0\n");
}

// A link that cannot be stored takes no number. (Arguments that cannot make
// a link run nothing: see the argument checks.)
TEST_P(LinkTest, RefusedLinksTakeNoNumberAndUploadRecords) {
  // Past the last 6-character code the class is full.
  Exec("insert into tEncode_Manager values ('tLink_Detail','Link_ID',8,983038)");
  AddLinks("8", 2);
  EXPECT_EQ(Rows("select Link_ID, Link_Order from tLink_Detail"),
            "Link_ID|Link_Order\n983039|10000F\n");
  EXPECT_EQ(ErrorLines(link->Errors()),
            Lines{"[6] Overflow: link number 983040 does not fit a 6-character order code"});
  EXPECT_EQ(Rows("select tEncode_Counter from tEncode_Manager"), "tEncode_Counter\n983039\n");
  Exec("delete from tLink_Detail");
  // A link the database refuses gives its number back.
  ExecAll(engine().RefusingTrigger("no_links", "tLink_Detail", "insert"));
  link->AppendLink("3", "t", "", "", "", "", "", "");
  EXPECT_EQ(ErrorLines(link->Errors()).size(), 2u);
  Exec(engine().DropTrigger("no_links", "tLink_Detail"));
  AddLinks("3", 1);
  EXPECT_EQ(Rows("select Link_ID from tLink_Detail"), "Link_ID\n1\n");
  // Upload records get increasing identifiers and their names.
  auto up = New("upload");
  std::string first = up->Call("RecordUploadFile", {"alice", "logo"}).AsString();
  std::string second = up->Call("RecordUploadFile", {"bob", ""}).AsString();
  std::string third = up->Call("RecordUploadFile", {"", ""}).AsString();
  ASSERT_FALSE(first.empty());
  EXPECT_LT(std::stol(first), std::stol(second));
  EXPECT_LT(std::stol(second), std::stol(third));

  up->Call("RecordUploadFileName", {first, "it's a.jpg"});
  up->Call("RecordUploadFileName", {second, "b.jpg"});
  up->Call("RecordUploadFileName", {second, ""});      // an empty name stores null
  up->Call("RecordUploadFileName", {"", "lost.jpg"});  // null identifier: nothing changes
  up->Call("RecordUploadFileName", {"999", "lost.jpg"});
  EXPECT_EQ(Rows("select * from tPtlx_Upload order by UploadFile_ID"),
            "UploadFile_ID|Usr_ID|UploadFile_UseFor|UploadFile_Name\n" + first +
                "|alice|logo|it's a.jpg\n" + second + "|bob|Null|Null\n" + third +
                "|Null|Null|Null\n");
  EXPECT_EQ(up->Get("Errors"), Variant(""));
}

PTOLIX_BACKENDS(LinkTest);

}  // namespace
}  // namespace ptolix::test
