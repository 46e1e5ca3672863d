#include "schema/tables.h"

#include "schema/states.h"

namespace ptolix::schema {

namespace {

using K = db::ColumnType;

ColumnDef Id(std::string n) { return {std::move(n), K::kIdentity, "", true}; }
ColumnDef Int(std::string n) { return {std::move(n), K::kInteger, ""}; }
ColumnDef Text(std::string n) { return {std::move(n), K::kText, ""}; }
ColumnDef Long(std::string n) { return {std::move(n), K::kLongText, ""}; }
ColumnDef Date(std::string n) { return {std::move(n), K::kDateTime, ""}; }
ColumnDef Flag(std::string n) { return {std::move(n), K::kFlag, "'0'"}; }
ColumnDef Code(std::string n) { return {std::move(n), K::kOrderCode, ""}; }
ColumnDef KeyText(std::string n) { return {std::move(n), K::kText, "", true}; }
ColumnDef KeyInt(std::string n) { return {std::move(n), K::kInteger, "", true}; }

}  // namespace

const std::vector<TableDef>& Tables() {
  static const std::vector<TableDef> tables = {
      {"tPtlx_SystemParameter",
       {KeyText("Para_Name"), Text("Para_Value"), Text("Para_Description")},
       {"Para_Name"}},
      {"tPtlx_System", {Id("Sys_ID"), Text("Sys_Name"), Text("Sys_Description")}, {}},
      {"tPtlx_WebSiteType",
       {KeyInt("WebSiteType_ID"), Text("WebSiteType_Name")},
       {"WebSiteType_ID"}},
      {"tPtlx_WebSite",
       {Id("WebSite_ID"), Text("WebSite_Name"), Text("WebSite_Title"), Text("WebSite_Description"),
        Int("WebSiteType_ID"), Code("WebSite_Order"), Text("WebSite_Logo"), Int("Sys_ID"),
        Int("Style_ID")},
       {}},
      {"tPtlx_Role",
       {Id("Role_ID"), Text("Role_Name"), Text("Role_Description"), Code("Role_Order"),
        Int("Role_Father"), Int("WebSite_ID")},
       {}},
      {"tPtlx_User",
       {KeyText("Usr_ID"), Int("Role_ID"), Text("Usr_Name"), Text("Usr_Password"),
        Text("Usr_Email"), Int("WebSite_ID"), Int("Org_ID")},
       {"Usr_ID"}},
      {"tPtlx_Usr2Role", {Int("Role_ID"), Text("Usr_ID")}, {}},
      {"tPtlx_Online",
       {Text("Usr_ID"), Date("UsrOnline_LoginTime"), Date("UsrOnline_RefreshTime")},
       {}},
      {"tPtlx_AccessType",
       {Id("AccessType_ID"), Text("AccessType_Name"), Text("AccessType_Description")},
       {}},
      {"tPtlx_Column",
       {Id("Column_ID"), Int("Sys_ID"), Int("Column_Father"), Text("Column_Name"),
        Text("Column_Description"), Code("Column_Order"), Text("Column_Url"), Text("Column_Target"),
        Text("Column_Icon"), Text("Column_SpecialIcon"), Int("WebSite_ID"),
        Flag("Column_IsDeleted")},
       {}},
      {"tPtlx_RoleAccess",
       {Int("Sys_ID"), Int("Column_ID"), Int("Role_ID"), Int("AccessType_ID")},
       {}},
      {"tPtlx_UsrAccess",
       {Int("Sys_ID"), Int("Column_ID"), Text("Usr_ID"), Int("AccessType_ID")},
       {}},
      {"tTemp_UsrAccess",
       {Text("Usr_ID"), Int("Sys_ID"), Int("Column_ID"), Int("AccessType_ID")},
       {}},
      {"tPtlx_InfoState",
       {Id("InfState_ID"), Text("InfState_Name"), Text("InfState_Description")},
       {}},
      {"tPtlx_InfoType", {Id("InfType_ID"), Text("InfType_Name"), Text("InfType_Description")}, {}},
      {"tPtlx_Information",
       {Id("Info_ID"),
        {"InfState_ID", K::kInteger, "1"},
        Int("InfType_ID"),
        Int("Sys_ID"),
        Int("Column_ID"),
        Int("Info_Father"),
        Text("Info_PublicUsr"),
        Text("Info_AssessUsr"),
        Text("Info_Title"),
        Long("Info_Content"),
        Int("Info_ImageCount"),
        Text("Info_Url"),
        Date("Info_PublicDate"),
        Date("Info_EndDate"),
        {"Info_SystemTime", K::kDateTime, "getdate()"},
        Date("Info_AssessTime"),
        Code("Info_Order"),
        Flag("Info_IsDeleted"),
        Int("WebSite_ID")},
       {}},
      {"tPtlx_Attach",
       {Id("Attach_ID"), Int("Info_ID"), Text("Attach_Title"), Text("Attach_FileName")},
       {}},
      {"tPtlx_Info2Colu", {Int("Sys_ID"), Int("Column_ID"), Int("Info_ID")}, {}},
      {"tPtlx_Style",
       {Id("Style_ID"), Int("Sys_ID"), Text("Style_Name"), Text("Style_Description"),
        Flag("Style_IsDeleted")},
       {}},
      {"tPtlx_Page", {Int("Sys_ID"), Text("Page_File"), Text("Page_Description")}, {}},
      {"tPtlx_Templet",
       {Int("Sys_ID"), Int("Style_ID"), Text("Page_File"), Text("Tmpl_File"),
        Text("Tmpl_Description")},
       {}},
      {"tPtlx_Tag",
       {Int("Sys_ID"), Text("Page_File"), Text("Tag_Code"), Long("Tag_Program"),
        Text("Tag_Description")},
       {}},
      {"tPtlx_Upload",
       {Id("UploadFile_ID"), Text("Usr_ID"), Text("UploadFile_UseFor"), Text("UploadFile_Name")},
       {}},
      {"tLink_Class",
       {Id("LinkClass_ID"), Text("LinkClass_ChineseName"), Text("LinkClass_EnglishName")},
       {}},
      {"tLink_Detail",
       {Int("LinkClass_ID"), Int("Link_ID"), Text("Link_Title"), Text("Link_Description"),
        Text("Link_Url"), Text("Link_Image"), Int("Link_ImageWidth"), Int("Link_ImageHeight"),
        Date("Link_EndDate"), Code("Link_Order")},
       {}},
      {"tEncode_Manager",
       {Text("tEncode_Table"), Text("tEncode_Column"), Int("tEncode_Identify"),
        Int("tEncode_Counter")},
       {"tEncode_Table", "tEncode_Column", "tEncode_Identify"}},
  };
  return tables;
}

const std::vector<IndexDef>& Indexes() {
  static const std::vector<IndexDef> indexes = {
      {"ix_Role_Order", "tPtlx_Role", "Role_Order", ""},
      {"ix_Role_Father", "tPtlx_Role", "Role_Father", ""},
      // A role's users; with Usr_ID, a page's keys come from the index alone.
      {"ix_User_RoleUsr", "tPtlx_User", "Role_ID, Usr_ID", ""},
      {"ix_Usr2Role_Usr", "tPtlx_Usr2Role", "Usr_ID, Role_ID", ""},
      {"ix_Usr2Role_Role", "tPtlx_Usr2Role", "Role_ID", ""},
      {"ix_Online_Usr", "tPtlx_Online", "Usr_ID", ""},
      {"ix_Column_Order", "tPtlx_Column", "Column_Order", ""},
      {"ix_Column_Father", "tPtlx_Column", "Column_Father", ""},
      {"ix_Column_Sys", "tPtlx_Column", "Sys_ID, Column_Order", ""},
      {"ix_RoleAccess", "tPtlx_RoleAccess", "Sys_ID, Column_ID, Role_ID", ""},
      {"ix_RoleAccess_Role", "tPtlx_RoleAccess", "Role_ID", ""},
      {"ix_UsrAccess", "tPtlx_UsrAccess", "Sys_ID, Column_ID, Usr_ID", ""},
      {"ix_UsrAccess_Usr", "tPtlx_UsrAccess", "Usr_ID", ""},
      {"ix_TempUsrAccess", "tTemp_UsrAccess", "Usr_ID, Sys_ID, Column_ID", ""},
      // Item codes: prefix rewrites of moves, subtree searches.
      {"ix_Info_Order", "tPtlx_Information", "Info_Order", ""},
      // A column's list in order, its filters answered from the index.
      {"ix_Info_ColumnList", "tPtlx_Information",
       "Column_ID, Info_Order, InfState_ID, Info_IsDeleted, WebSite_ID, Sys_ID", ""},
      {"ix_Info_Father", "tPtlx_Information", "Info_Father", ""},
      // Published lists of a site in order.
      {"ix_Info_Published", "tPtlx_Information", "WebSite_ID, Sys_ID, Info_Order, Column_ID",
       kPublishedStates + " and Info_IsDeleted = '0'"},
      // A column's list of one website and system in each mode: the rows of
      // the mode are one range of the index, in Info_Order order, so page 1
      // reads 20 entries and the count reads the range alone, however big
      // the column is. Info_ID lets PostgreSQL read a page's keys from the
      // index without visiting the rows skipped before it. The state and
      // deletion flag, though fixed by the condition, are there because
      // SQLite counts from an index only when it holds every column named.
      {"ix_Info_ColumnPublished", "tPtlx_Information",
       "Column_ID, WebSite_ID, Sys_ID, Info_Order, Info_ID, InfState_ID, Info_IsDeleted",
       kPublishedStates + " and Info_IsDeleted = '0'"},
      {"ix_Info_ColumnEditor", "tPtlx_Information",
       "Column_ID, WebSite_ID, Sys_ID, Info_Order, Info_ID, InfState_ID, Info_IsDeleted",
       "InfState_ID in (1,2) and Info_IsDeleted = '0'"},
      {"ix_Info_ColumnState", "tPtlx_Information",
       "Column_ID, WebSite_ID, Sys_ID, InfState_ID, Info_Order, Info_ID, Info_IsDeleted",
       "Info_IsDeleted = '0'"},
      {"ix_Info_ColumnLive", "tPtlx_Information",
       "Column_ID, WebSite_ID, Sys_ID, Info_Order, Info_ID, Info_IsDeleted",
       "Info_IsDeleted = '0'"},
      // Cross-posted items checked for being published without reading rows.
      {"ix_Info_PublishedId", "tPtlx_Information",
       "Info_ID, Column_ID, WebSite_ID, Sys_ID, InfState_ID, Info_IsDeleted",
       kPublishedStates + " and Info_IsDeleted = '0'"},
      {"ix_Attach_Info", "tPtlx_Attach", "Info_ID", ""},
      {"ix_Info2Colu", "tPtlx_Info2Colu", "Sys_ID, Column_ID, Info_ID", ""},
      {"ix_Info2Colu_Info", "tPtlx_Info2Colu", "Info_ID", ""},
      {"ix_Style_Sys", "tPtlx_Style", "Sys_ID", ""},
      {"ix_Page", "tPtlx_Page", "Sys_ID, Page_File", ""},
      {"ix_Templet", "tPtlx_Templet", "Sys_ID, Style_ID, Page_File", ""},
      {"ix_Tag", "tPtlx_Tag", "Sys_ID, Page_File, Tag_Code", ""},
      {"ix_Link_Detail", "tLink_Detail", "LinkClass_ID, Link_ID", ""},
      {"ix_Link_Order", "tLink_Detail", "LinkClass_ID, Link_Order", ""},
      {"ix_WebSite_Order", "tPtlx_WebSite", "WebSite_Order", ""},
  };
  return indexes;
}

const std::vector<std::string>& RetiredIndexes() {
  // ix_Info_PublishedColumn, without Info_Order, made a busy column's
  // published list sort all its rows for every page; ix_User_Role lacked
  // Usr_ID.
  static const std::vector<std::string> names = {"ix_Info_PublishedColumn", "ix_User_Role"};
  return names;
}

}  // namespace ptolix::schema
