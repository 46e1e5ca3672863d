// Searches over many columns: a website's published items for its readers
// (hidden subtrees left out) and the items a user may read on the desk.

#include <fmt/format.h>

#include <string>
#include <tuple>

#include "fixture.h"
#include "frame/order_code.h"

namespace ptolix::test {
namespace {

class SearchTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    info = New("Information");
    // 1 > 2 > 3 (deleted); 5 > 7; 6 belongs to system 2.
    Exec(
        "insert into tPtlx_Column (Column_ID,Sys_ID,Column_Order,Column_IsDeleted) values "
        "(1,1,'FFFFFFEF','0'),(2,1,'FFFFFFEFFFFFFFDF','0'),(3,1,'FFFFFFEFFFFFFFDFFFFFFFCF','1'),"
        "(5,1,'FFFFFFAF','0'),(6,2,'FFFFFF9F','0'),(7,1,'FFFFFFAFFFFFFF8F','0')");
  }
  struct ItemRow {
    int id, state = 4, column = 1, site = 1;
    std::string title = "t", content = "", deleted = "0", time = "2024-01-01 00:00:00";
    int type = 1;
  };
  void Item(const ItemRow& r) {
    Exec(fmt::format(
        "insert into tPtlx_Information (Info_ID,InfState_ID,InfType_ID,Sys_ID,Column_ID,WebSite_ID,"
        "Info_Title,Info_Content,Info_IsDeleted,Info_SystemTime,Info_Order) values "
        "({},{},{},1,{},{},'{}','{}','{}','{}','{}')",
        r.id, r.state, r.type, r.column, r.site, r.title, r.content, r.deleted, r.time,
        PaddedOrderCode(r.id, 8)));
  }
  static std::string Ids(const Variant& v) {
    if (v.kind() != Variant::Kind::kArray || !v.AsArray().allocated()) return "(none)";
    std::string out = FieldValues(v.AsArray(), v.AsArray().FieldNames()[0]);
    return out.substr(0, out.size() - 1);
  }

  std::unique_ptr<Object> info;
};

TEST_P(SearchTest, PublishedSearchTakesWordsInAnyCaseAndLeavesHiddenSubtreesOut) {
  Item({.id = 1, .title = "Annual REPORT"});
  Item({.id = 2, .column = 2, .content = "Café au lait"});
  Item({.id = 3, .column = 3, .title = "report"});  // deleted column
  Item({.id = 4, .column = 5, .title = "ＡＢＣ report"});
  Item({.id = 5, .column = 7, .title = "report secret"});  // column 7 hidden below
  Item({.id = 6, .state = 1, .title = "report"});          // not published
  Item({.id = 7, .site = 2, .title = "report"});
  Item({.id = 8, .column = 5, .content = "Weekly Report"});  // cross-posted into 2
  Item({.id = 9, .column = 7, .title = "report"});           // cross-posted into 2
  Item({.id = 10, .title = "report", .deleted = "1"});
  Item({.id = 11, .title = "100% sure", .content = "it''s [so]"});
  Exec("insert into tPtlx_Info2Colu (Sys_ID,Column_ID,Info_ID) values (1,2,8),(1,2,9)");
  auto search = [&](const char* column, const char* text, const char* hidden) {
    return Ids(info->Call("SearchPublishedInfoList", {"1", "1", column, text, hidden}));
  };
  // column, text, hidden columns, the items found
  const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
      {"", "", "", "11 9 8 5 4 2 1"},
      {"", "", "7", "11 8 4 2 1"},
      {"", "", "99", "11 9 8 5 4 2 1"},  // names no column
      {"", "", "5", "11 2 1"},           // 5 and 7 below it
      {"", "REPORT", "7", "8 4 1"},
      {"", "  report\tannual ", "", "1"},
      {"", "report\xE3\x80\x80weekly", "", "8"},  // ideographic space
      {"", "CAFÉ", "", "2"},
      {"", "ａｂｃ", "", "4"},
      {"", "abc", "", ""},
      {"", "100%", "", "11"},
      {"", "1_0", "", ""},
      {"", "it's [so]", "", "11"},
      {"1", "", "", "11 9 8 2 1"},
      {"1", "", "7", "11 8 2 1"},  // 9 is homed in the hidden column
      {"1", "report", "7", "8 1"},
      {"5", "", "", "9 8 5 4"},
      {"5", "", "7", "8 4"},
      {"7", "", "7", ""},
  };
  for (auto [column, text, hidden, ids] : cases)
    EXPECT_EQ(ids, search(column, text, hidden)) << column << "|" << text << "|" << hidden;

  info->Put("PageSize", Variant(2));
  EXPECT_EQ("4 2", Ids(info->Call("SearchPublishedInfoList", {"1", "1", "", "", "7", "2"})));
  EXPECT_EQ(5, info->Get("RecordCount").AsInt64());
  EXPECT_EQ(3, info->Get("PageCount").AsInt64());
  EXPECT_TRUE(ErrorsOf(*info).empty());
  EXPECT_TRUE(RunsNothing([&] {
    search("", "", "7) or (1=1");
    search("1 or 1=1", "", "");
  }));
  EXPECT_EQ(2u, ErrorsOf(*info).size());
}

TEST_P(SearchTest, DeskSearchTakesTheUsersReadableColumnsInEveryState) {
  Item({.id = 21, .state = 1, .column = 2, .title = "Draft budget"});
  Item({.id = 22, .column = 2, .title = "Budget passed", .time = "2024-01-15 12:00:00", .type = 2});
  Item({.id = 23, .state = 3, .column = 5, .title = "budget cut", .time = "2024-01-31 00:00:00"});
  Item({.id = 24, .state = 1, .title = "budget"});                   // column 1: ancestor only
  Item({.id = 25, .column = 3, .title = "budget"});                  // deleted column
  Item({.id = 26, .column = 2, .site = 2, .title = "budget"});       // other website
  Item({.id = 27, .column = 2, .title = "budget", .deleted = "1"});  // deleted item
  Exec(
      "insert into tTemp_UsrAccess (Usr_ID,Sys_ID,Column_ID,AccessType_ID) values "
      "('ann',1,1,1),('ann',1,2,2),('ann',1,5,3),('ann',1,3,2),('o''brien',1,1,4)");
  auto search = [&](const char* user, const char* mode, const char* text, const char* type,
                    const char* start, const char* end) {
    return Ids(info->Call("SearchAccessInfoList", {user, "1", "1", mode, text, type, start, end}));
  };
  // user, mode, text, type, from, to, the items found
  const std::tuple<const char*, const char*, const char*, const char*, const char*, const char*,
                   const char*>
      cases[] = {
          {"ann", "All", "", "", "", "", "23 22 21"},
          {"ann", "Published", "", "", "", "", "22"},
          {"ann", "Editor", "", "", "", "", "21"},
          {"ann", "Canceled", "", "", "", "", "23"},
          {"ann", "All", "BUDGET", "", "", "", "23 22 21"},
          {"ann", "All", "draft budget", "", "", "", "21"},
          {"ann", "All", "", "2", "", "", "22"},
          {"ann", "All", "", "", "2024-01-15", "", "23 22"},
          {"ann", "All", "", "", "", "2024/1/15 12:00", "22 21"},
          {"ann", "All", "", "", "2024-01-02", "2024-01-30", "22"},
          {"o'brien", "All", "", "", "", "", "24"},
          {"nobody", "All", "", "", "", "", ""},
          {"", "All", "", "", "", "", ""},
      };
  for (auto [user, mode, text, type, start, end, ids] : cases)
    EXPECT_EQ(ids, search(user, mode, text, type, start, end))
        << user << "|" << mode << "|" << text << "|" << start;
  Trace();
  search("ann", "WaitAssess", "a%", "1", "", "2024-01-31");
  EXPECT_EQ(
      "select Info_ID,InfState_ID,InfType_ID,Sys_ID,Info_Father,Column_ID,Info_PublicUsr,"
      "Info_AssessUsr,Info_Title,'[Content]',Info_PublicDate,Info_SystemTime,Info_EndDate,"
      "Info_AssessTime,Info_Url,Info_Order,Info_IsDeleted,WebSite_ID from tPtlx_Information "
      "where WebSite_ID = 1 and Sys_ID = 1 and Column_ID in (select Column_ID from "
      "tTemp_UsrAccess where Usr_ID = 'ann' and Sys_ID = 1 and AccessType_ID > 1) and Column_ID "
      "in (select Column_ID from tPtlx_Column where Sys_ID = 1 and Column_IsDeleted = '0') and "
      "InfState_ID = 1 and (Info_Title like '%a\\%%' escape '\\' or Info_Content like '%a\\%%' "
      "escape '\\') and InfType_ID = 1 and Info_SystemTime <= '2024-01-31 00:00:00' and "
      "Info_IsDeleted = '0' order by Info_Order",
      Trace().at(0));
  EXPECT_TRUE(ErrorsOf(*info).empty());
  EXPECT_TRUE(RunsNothing([&] {
    search("ann", "All", "", "1 or 1=1", "", "");
    search("ann", "All", "", "", "yesterday", "");
  }));
  EXPECT_EQ(2u, ErrorsOf(*info).size());
}

PTOLIX_BACKENDS(SearchTest);

}  // namespace
}  // namespace ptolix::test
