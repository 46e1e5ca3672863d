// SQL text and value conversions, the class registry and late binding, and
// the shared frame through System: parameters, paging, Errors.

#include "ptolix/frame/system.h"

#include <fmt/format.h>

#include <regex>
#include <tuple>

#include "fixture.h"
#include "ptolix/connect.h"
#include "value/failure.h"
#include "value/sql_text.h"

namespace ptolix::test {
namespace {

// What the frame takes from callers as identifiers, dates and numbers (the
// refusals' messages are checked through the classes' calls). Numbers round
// half to even; #13: not a number, #6: out of range. Errors lines carry the
// time they were added.
TEST(SqlText, ArgumentsDatesNumbersAndErrorLines) {
  for (const char* ok : {"", "12", "-3", "+4", " 5 "}) EXPECT_EQ(Bare(ok, "pID"), ok) << ok;
  for (const char* bad : {"1 or 1=1", "abc", "-", "1.5", "0x10"})
    EXPECT_THROW(Bare(bad, "pID"), Failure) << bad;
  EXPECT_EQ(BareList("1,2, 3", "pIDs"), "1,2, 3");
  for (const char* bad : {"1,,2", "1,", "1,2) or (1=1"})
    EXPECT_THROW(BareList(bad, "pIDs"), Failure) << bad;
  const std::pair<const char*, const char*> dates[] = {{"2002/8/2", "2002-08-02 00:00:00"},
                                                       {"2002-8-2 9:05", "2002-08-02 09:05:00"},
                                                       {"2004-02-29", "2004-02-29 00:00:00"},
                                                       {"", ""}};
  for (auto [in, out] : dates) EXPECT_EQ(CallerDate(in, "pDate"), out) << in;
  for (const char* bad :
       {"2003-02-29", "2002-13-01", "2002-08-02 25:00", "02-08-2002", "2002-08-02'"})
    EXPECT_THROW(CallerDate(bad, "pDate"), Failure) << bad;
  auto parsed = [](const char* text) {
    try {
      return std::to_string(ParseLong(text));
    } catch (const Failure& f) {
      return "#" + std::to_string(f.number());
    }
  };
  std::string numbers;
  for (const char* text : {" 7 ", "+4", "2.5", "3.5", "-2.5", "2.51", ".5", "-2147483648", "", "1a",
                           "1e3", "--1", ".", "2147483648", "99999999999999999999"})
    numbers += parsed(text) + " ";
  EXPECT_EQ(numbers, "7 4 2 4 -2 3 0 -2147483648 #13 #13 #13 #13 #13 #6 #6 ");
  EXPECT_THROW(ParseInteger("32768"), Failure);
  EXPECT_EQ(Variant(3.5).ToLong(), 4);
  EXPECT_EQ(Variant(true).ToText(), "True");
  EXPECT_THROW(Variant::Null().ToText(), Failure);

  std::string errors;
  SetError(errors, "x");
  SetError(errors, "");  // an empty message adds nothing
  AppendFailure(errors, 13, "Type mismatch");
  DateTime stamp;
  EXPECT_TRUE(DateTime::Parse(errors.substr(0, 19), &stamp)) << errors;
  EXPECT_EQ(errors.substr(19, 15) + errors.substr(53),
            " - [Ptolix] x\r\n - [13] Type mismatch\r\n");
}

TEST(Registry, CreatesByProgramIdentifierAndCallsWithoutConnectionFail) {
  const auto& classes = GlobalRegistry().Classes();
  EXPECT_EQ(classes.size(), 12u);
  for (const auto& cls : classes) {
    auto obj = GlobalRegistry().CreateObject("corvane_ptolix." + cls->name);  // case ignored
    EXPECT_EQ(obj->info().name, cls->name);
    // Every class but About has the shared frame: a connection, and paging
    // except for Encode.
    bool frame = cls->name != "About";
    EXPECT_EQ(obj->info().set_connection != nullptr, frame) << cls->name;
    EXPECT_EQ(obj->info().FindProperty("PageSize") != nullptr, frame && cls->name != "Encode")
        << cls->name;
  }
  EXPECT_THROW(GlobalRegistry().CreateObject("Corvane_Ptolix.Nothing"), HostError);
  EXPECT_THROW(GlobalRegistry().CreateObject("Role"), HostError);
  EXPECT_THROW(GlobalRegistry().CreateObject("Corvane_Ptolix.About")->Get("Errors"), HostError);
  // A call on an object whose Connection was never set fails with one Errors
  // line and returns nothing.
  const std::tuple<const char*, const char*, Args> cases[] = {
      {"Information", "AppendInfo", {"1", "1", "u", "1", "t", "", "", "", "", "1"}},
      {"Information", "GetInfoList", {"1", "1", "1", "All"}},
      {"Encode", "GetAccessTypeList", {}},
      {"Link", "AppendLink", {"3", "t", "", "", "", "", "", ""}},
      {"Page", "CreateAspCode", {"1", "1", "index.asp"}},
  };
  for (const auto& [cls, method, args] : cases) {
    SCOPED_TRACE(std::string(cls) + "." + method);
    auto obj = GlobalRegistry().CreateObject(std::string("Corvane_Ptolix.") + cls);
    Variant result = obj->Call(method, args);
    // An unallocated array, empty, or empty text.
    EXPECT_TRUE(result.kind() == Variant::Kind::kArray ? !result.AsArray().allocated()
                                                       : result.ToText().empty());
    EXPECT_EQ(ErrorsOf(*obj), Lines{"[91] Object variable or With block variable not set"});
  }
}

class SystemTest : public DbTest {};

TEST_P(SystemTest, ParametersAndSystemsWithExactSqlAndFailures) {
  auto sys = New("System");
  sys->Call("AppendParameter", {"SITE_PHYSICAL_ROOT", "/srv/www", ""});
  sys->Call("ModifyParameter", {"SITE_PHYSICAL_ROOT", "SITE_ROOT", "/srv/it's", "站点根"});
  sys->Call("DeleteParameter", {"NO_SUCH"});  // matches nothing: no error
  EXPECT_EQ(
      Trace(),
      (Lines{"insert into tPtlx_SystemParameter (Para_Name,Para_Value,Para_Description) values "
             "('SITE_PHYSICAL_ROOT','/srv/www',null)",
             "update tPtlx_SystemParameter set Para_Name = 'SITE_ROOT',Para_Value = '/srv/it''s',"
             "Para_Description = '站点根' where Para_Name = 'SITE_PHYSICAL_ROOT'",
             "delete from tPtlx_SystemParameter where Para_Name = 'NO_SUCH'"}));
  EXPECT_EQ(sys->Call("GetParameter", {"SITE_ROOT"}).AsArray().ToString(),
            "Para_Name|Para_Value|Para_Description\nSITE_ROOT|/srv/it's|站点根\n");

  EXPECT_FALSE(sys->Call("GetParameter", {"SITE_PHYSICAL_ROOT"}).AsArray().allocated());
  EXPECT_EQ(ErrorsOf(*sys), Lines{"[Ptolix] 不存在系统参数'SITE_PHYSICAL_ROOT'。"});

  auto native = Make<System>();
  native->AppendSystem("新闻", "");
  native->AppendSystem("产品", "catalogue");
  native->ModifySystem(2, "Products", "");
  EXPECT_EQ(native->GetSystem("2").ToString(),
            "Sys_ID|Sys_Name|Sys_Description\n2|Products|Null\n");
  EXPECT_EQ(native->GetSystemList().ToString(),
            "Sys_ID|Sys_Name|Sys_Description\n1|新闻|Null\n2|Products|Null\n");
  // An identifier without a row is a failure, not a message.
  EXPECT_FALSE(native->GetSystem("99").allocated());
  EXPECT_EQ(ErrorLines(native->Errors()),
            (Lines{"[3021] Either BOF or EOF is True, or the current record has "
                   "been deleted. Requested operation requires a current record."}));
  native->DeleteSystem("1");
  EXPECT_EQ(Rows("select Sys_ID from tPtlx_System"), "Sys_ID\n2\n");
}

TEST_P(SystemTest, PagingOfListQueriesFullAndEmpty) {
  auto sys = Make<System>();
  for (int i = 1; i <= 25; ++i)
    sys->AppendParameter(fmt::format("P{:02}", i), std::to_string(i), "");
  // The first and last values of a page and their number, then RecordCount
  // and PageCount.
  auto page = [&](int32_t size, int32_t number) {
    sys->SetPageSize(size);
    ResultArray a = sys->GetParameterList(number);
    return fmt::format("{}-{} {} {}/{}", ToDisplay(a.Get(1, "Para_Value")),
                       ToDisplay(a.Get(a.DataRows(), "Para_Value")), a.DataRows(),
                       sys->RecordCount(), sys->PageCount());
  };
  // Unpaged: every row, counts untouched; a page past either end: the
  // nearest one.
  const std::tuple<int32_t, int32_t, const char*> cases[] = {
      {0, 1, "1-25 25 0/0"},   {10, 1, "1-10 10 25/3"}, {10, 2, "11-20 10 25/3"},
      {10, 3, "21-25 5 25/3"}, {10, 4, "21-25 5 25/3"}, {10, 99, "21-25 5 25/3"},
      {10, 0, "1-10 10 25/3"}, {10, -1, "1-10 10 25/3"}};
  for (auto [size, number, shown] : cases) EXPECT_EQ(page(size, number), shown) << number;
  // 20 rows: page 2 is full; fewer rows than a page: all of them whatever
  // the page; the largest page size: no overflow in the page arithmetic.
  Exec("delete from tPtlx_SystemParameter where Para_Value in ('21','22','23','24','25')");
  EXPECT_EQ(page(10, 2), "11-20 10 20/2");
  EXPECT_EQ(page(50, 7), "1-20 20 20/1");
  EXPECT_EQ(page(2147483647, 1), "1-20 20 20/1");
  EXPECT_EQ(page(2147483647, 2147483647), "1-20 20 20/1");
  EXPECT_EQ(sys->Errors(), "");
  // An empty paged list: row 0 only, no counts, and the message.
  auto empty = New("System");
  empty->Put("PageSize", 10);
  EXPECT_EQ(empty->Call("GetSystemList", {}).AsArray().ToString(),
            "Sys_ID|Sys_Name|Sys_Description\n");
  EXPECT_EQ(empty->Get("RecordCount"), Variant(int32_t{0}));
  EXPECT_EQ(empty->Get("PageCount"), Variant(int32_t{0}));
  EXPECT_EQ(ErrorsOf(*empty), Lines{"[Ptolix] 没有记录。"});
  // Unpaged and empty: row 0 only, nothing added to Errors.
  auto other = New("System");
  EXPECT_EQ(other->Call("GetSystemList", {}).AsArray().DataRows(), 0);
  EXPECT_EQ(other->Get("Errors"), Variant(""));
}

// Errors and paging belong to each object; the registry tests cover a call
// without a connection.
TEST_P(SystemTest, FrameStateIsPerObjectAndLateBinding) {
  auto a = New("System");
  auto b = GlobalRegistry().CreateObject("Corvane_Ptolix.System");
  b->Call("GetSystemList", {});
  EXPECT_EQ(a->Get("Errors"), Variant(""));
  a->Put("PageSize", 5);
  EXPECT_EQ(b->Get("PageSize"), Variant(int32_t{0}));
  // Replacing the connection does not close the first one.
  b->PutConnection(conn);
  auto second = ptolix::Connect("sqlite::memory:");
  b->PutConnection(second);
  b.reset();
  EXPECT_EQ(Rows("select count(*) n from tPtlx_Role"), "n\n1\n");

  std::string id1 = a->Call("GetID", {}).AsString(), id2 = a->Call("GetID", {}).AsString();
  EXPECT_NE(id1, id2);
  EXPECT_TRUE(std::regex_match(id1 + id2, std::regex("[0-9A-F]{64}"))) << id1 << " " << id2;

  auto sys = New("System");
  // Values that do not convert are host errors (wrong counts, unknown
  // members and the like are checked through the binding and the host).
  EXPECT_THROW(sys->Call("GetSystemList", {Variant(int64_t{1} << 40)}), HostError);
  EXPECT_THROW(sys->Get("Connection"), HostError);
  // Names ignore letter case; optional arguments may be left off; text
  // converts to numbers and numbers to text.
  EXPECT_NO_THROW(sys->Call("getsystemlist", {}));
  sys->Put("pagesize", "3");
  EXPECT_EQ(sys->Get("PAGESIZE"), Variant(int32_t{3}));
  sys->Call("AppendSystem", {12, 3.5});
  EXPECT_EQ(sys->Call("GetSystem", {1}).AsArray().ToString(),
            "Sys_ID|Sys_Name|Sys_Description\n1|12|3.5\n");
  EXPECT_EQ(sys->Get("Errors"), Variant(""));
}

PTOLIX_BACKENDS(SystemTest);

}  // namespace
}  // namespace ptolix::test
