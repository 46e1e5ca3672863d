#include "fixture.h"

namespace ptolix {
namespace {

class SchemaTest : public test::DbTest {};

TEST_P(SchemaTest, ColumnsDefaultsStandardRowsAndIdempotence) {
  // Field names come back in the schema's own spelling on every engine.
  const std::pair<const char*, const char*> tables[] = {
      {"tPtlx_Role", "Role_ID|Role_Name|Role_Description|Role_Order|Role_Father|WebSite_ID\n"},
      {"tPtlx_UsrAccess", "Sys_ID|Column_ID|Usr_ID|AccessType_ID\n"},
      {"tPtlx_WebSite",
       "WebSite_ID|WebSite_Name|WebSite_Title|WebSite_Description|WebSiteType_ID|WebSite_Order|"
       "WebSite_Logo|Sys_ID|Style_ID\n"}};
  for (auto [table, fields] : tables)
    EXPECT_EQ(Rows(std::string("select * from ") + table + " where 1 = 0"), fields) << table;

  ExecAll({"insert into tPtlx_Column (Column_Name) values ('c')",
           "insert into tPtlx_Style (Style_Name) values ('s')",
           "insert into tPtlx_Information (Info_Title) values ('i')"});
  EXPECT_EQ(Rows("select Column_IsDeleted, Style_IsDeleted, InfState_ID, Info_IsDeleted from "
                 "tPtlx_Column, tPtlx_Style, tPtlx_Information"),
            "Column_IsDeleted|Style_IsDeleted|InfState_ID|Info_IsDeleted\n0|0|1|0\n");
  // The insertion time is found by a search that covers the moment.
  EXPECT_EQ(
      Rows("select count(*) n from tPtlx_Information where Info_SystemTime >= '2000-01-01' and "
           "Info_SystemTime <= getdate()"),
      "n\n1\n");

  schema::CreateSchema(*conn);  // a second run changes nothing
  EXPECT_EQ(Rows("select count(*) n from tPtlx_AccessType"), "n\n4\n");
  EXPECT_EQ(Rows("select count(*) n from tPtlx_InfoState"), "n\n6\n");
  EXPECT_EQ(Rows("select Role_ID, Role_Order, Role_Father, WebSite_ID from tPtlx_Role"),
            "Role_ID|Role_Order|Role_Father|WebSite_ID\n1|FFEF|Null|Null\n");
  // New rows take identities after the standard ones and after rows
  // inserted with their own; deleting the highest does not give its number
  // out again, nor does creating the schema a second time.
  auto add_role = [&] {
    return conn->Insert("insert into tPtlx_Role (Role_Name) values ('r')", "Role_ID");
  };
  EXPECT_EQ(add_role(), 2);
  Exec("insert into tPtlx_Role (Role_ID, Role_Name) values (40, 'explicit')");
  EXPECT_EQ(add_role(), 41);
  Exec("delete from tPtlx_Role where Role_ID >= 40");
  schema::CreateSchema(*conn);
  EXPECT_EQ(add_role(), 42);
  EXPECT_EQ(
      conn->Insert("insert into tPtlx_AccessType (AccessType_Name) values ('x')", "AccessType_ID"),
      5);
  // A batch reports the rows its last statement changed.
  EXPECT_EQ(conn->ExecuteCommand("update tPtlx_Role set Role_Name = 'x'; update tPtlx_Role set "
                                 "Role_Name = 'y' where Role_ID > 1"),
            2);
  // Keys where rows are addressed by them.
  EXPECT_THROW(Exec("insert into tPtlx_User (Usr_ID) values ('u'); insert into tPtlx_User (Usr_ID) "
                    "values ('u')"),
               db::Error);
}

PTOLIX_BACKENDS(SchemaTest);

}  // namespace
}  // namespace ptolix
