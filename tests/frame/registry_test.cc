#include <gtest/gtest.h>

#include "fixture.h"

namespace ptolix {
namespace {

TEST(Registry, EveryClassIsCreatableWithItsIdentifiers) {
  struct Case {
    const char* name;
    const char* clsid;
    const char* iid;
  } cases[] = {
      {"About", "{AB75EEF3-1D70-4945-B2AF-C8FF380ED666}", "{84234E34-9688-4384-92B7-9B030116D617}"},
      {"System", "{FA935CB8-A7AC-47BB-A2C2-50C61FF2241E}", "{2EACF78A-446B-4CE2-A5C8-6D9A68264BB5}"},
      {"Role", "{E3AE6F39-90FC-4BC4-80C0-9451D02F1D08}", "{0C2AA785-F442-4DF8-AA7B-7C5777270E03}"},
      {"User", "{EA209D65-1FBD-44BF-A98A-E202A761D077}", "{CA408C29-FEA7-4B41-B195-B871EAC918B3}"},
      {"Column", "{BB10C2A5-2068-42E0-952D-959BB9E359A1}", "{D9F4EFE8-7979-4AAF-ACF1-CF59331E6C52}"},
      {"Information", "{7D1BB9A1-6FBD-462B-A73A-39411A16AC1E}", "{75233EB2-CA8F-4325-9FF8-1A8761259F2C}"},
      {"Encode", "{226BD58F-03DC-45D9-90A7-D9D36DD63C05}", "{C1C27B6D-253F-46CE-A732-661E783C66D9}"},
      {"Style", "{5BA397F7-A907-4B22-A617-069CA5DC86A6}", "{542DED67-D91B-41CB-AD2B-A88044508C42}"},
      {"Page", "{0B468A51-D34B-42A7-B8DB-ED0E1AFA7166}", "{EC7EE28F-296D-4706-8FF3-E93FDA8B9959}"},
      {"WebSite", "{A13E9473-C502-4FDA-9345-3BB4002AC0F1}", "{CF6FE128-E661-4CD6-865E-C1747D5E9D5D}"},
      {"upload", "{DC222464-B569-4D5A-86B6-C5E8F049EC81}", "{78FB7A5A-6AE8-4180-8B49-E9CACD7C9199}"},
      {"Link", "{CDD0AC11-1A96-4093-A836-61389859A103}", "{C51B8C3A-10AE-4AE3-A0D7-80F32D5BE838}"},
  };
  EXPECT_EQ(GlobalRegistry().Classes().size(), 12u);
  for (const auto& c : cases) {
    auto obj = GlobalRegistry().CreateObject(std::string("Corvane_Ptolix.") + c.name);
    EXPECT_EQ(obj->info().clsid, c.clsid);
    EXPECT_EQ(obj->info().iid, c.iid);
    bool has_frame = std::string(c.name) != "About";
    EXPECT_EQ(obj->info().set_connection != nullptr, has_frame) << c.name;
    EXPECT_EQ(obj->info().FindProperty("PageSize") != nullptr, has_frame && std::string(c.name) != "Encode")
        << c.name;
  }
  EXPECT_THROW(GlobalRegistry().CreateObject("Corvane_Ptolix.Nothing"), HostError);
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
  EXPECT_EQ(sys->Call("GetSystem", {1}).AsArray().ToString(), "Sys_ID|Sys_Name|Sys_Description\n1|12|3.5\n");
  EXPECT_EQ(sys->Get("Errors"), Variant(""));
}

TEST(About, ProductInformation) {
  auto a = GlobalRegistry().CreateObject("Corvane_Ptolix.About");
  auto b = GlobalRegistry().CreateObject("Corvane_Ptolix.About");
  EXPECT_EQ(a->Get("Title"), Variant("CorvanePtolix"));
  EXPECT_EQ(a->Get("Version"), Variant("2.0"));
  EXPECT_EQ(a->Get("CreateDate"), Variant(DateTime{2002, 8, 2, 0, 0, 0}));
  Variant dates = a->Get("ModifiedDate");
  ASSERT_EQ(dates.AsList().size(), 4u);
  EXPECT_EQ(dates.AsList()[3], Variant(DateTime{2002, 12, 27, 0, 0, 0}));
  for (const char* p : {"Title", "Copyright", "Author", "Version", "CreateDate", "ModifiedDate"}) {
    EXPECT_EQ(a->Get(p), b->Get(p)) << p;
  }
  EXPECT_THROW(a->Get("Errors"), HostError);
}

}  // namespace
}  // namespace ptolix
