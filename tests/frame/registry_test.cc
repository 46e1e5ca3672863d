#include <gtest/gtest.h>

#include "fixture.h"

namespace ptolix {
namespace {

TEST(Registry, CreatesByProgramIdentifierIgnoringCase) {
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
}

TEST(Registry, LateBindingConvertsAndChecksArguments) {
  auto sys = GlobalRegistry().CreateObject("Corvane_Ptolix.System");
  auto conn = db::Connect("sqlite::memory:");
  schema::CreateSchema(*conn);
  sys->PutConnection(conn);
  // Wrong counts, unknown members and unconvertible values are host errors.
  EXPECT_THROW(sys->Call("GetParameter", {}), HostError);
  EXPECT_THROW(sys->Call("GetParameter", {"a", "b"}), HostError);
  EXPECT_THROW(sys->Call("NoSuchMethod", {}), HostError);
  EXPECT_THROW(sys->Call("GetSystemList", {"abc"}), HostError);
  EXPECT_THROW(sys->Call("GetSystemList", {Variant(int64_t{1} << 40)}), HostError);
  EXPECT_THROW(sys->Call("GetParameter", {Variant::Null()}), HostError);
  EXPECT_THROW(sys->Put("RecordCount", 3), HostError);
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

// A call on an object whose Connection was never set fails with one Errors
// line and returns nothing.
TEST(Registry, CallsWithoutConnectionFail) {
  const struct {
    const char* cls;
    const char* method;
    Args args;
  } cases[] = {
      {"Information", "AppendInfo", {"1", "1", "u", "1", "t", "", "", "", "", "1"}},
      {"Information", "GetInfoList", {"1", "1", "1", "All"}},
      {"Information", "MoveUpInfo", {"1", "1", "1", "All", "1"}},
      {"Encode", "GetAccessTypeList", {}},
      {"Encode", "AppendInfoType", {"x", ""}},
      {"Link", "AppendLink", {"3", "t", "", "", "", "", "", ""}},
      {"Link", "GetLinkClassList", {}},
      {"upload", "RecordUploadFile", {"alice", "logo"}},
      {"Page", "CreateAspCode", {"1", "1", "index.asp"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.cls) + "." + c.method);
    auto obj = GlobalRegistry().CreateObject(std::string("Corvane_Ptolix.") + c.cls);
    Variant result = obj->Call(c.method, c.args);
    if (result.kind() == Variant::Kind::kArray) {
      EXPECT_FALSE(result.AsArray().allocated());
    } else {
      EXPECT_EQ(result.ToText(), "");  // empty, or empty text
    }
    EXPECT_EQ(test::ErrorLines(obj->Get("Errors").AsString()),
              std::vector<std::string>{"[91] Object variable or With block variable not set"});
  }
}

}  // namespace
}  // namespace ptolix
