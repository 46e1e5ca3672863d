#include <fmt/format.h>

#include <cctype>

#include "db/atomic.h"
#include "db/backend.h"
#include "db/ddl.h"
#include "ptolix/schema/schema.h"
#include "schema/kept_counts.h"
#include "schema/search_index.h"
#include "schema/tables.h"
#include "value/order_code.h"

namespace ptolix::schema {

namespace {

std::string DefaultOf(const ColumnDef& c, const db::Ddl& ddl) {
  return c.default_value == "getdate()" ? ddl.InsertTime() : c.default_value;
}

std::string CreateTable(const TableDef& t, const db::Ddl& ddl) {
  std::string sql = "create table if not exists " + t.name + " (";
  for (size_t i = 0; i < t.columns.size(); ++i) {
    const ColumnDef& c = t.columns[i];
    if (i) sql += ", ";
    sql += c.name + " " + ddl.Type(c.kind);
    if (c.not_null && c.kind != db::ColumnType::kIdentity) sql += " not null";
    std::string def = DefaultOf(c, ddl);
    if (!def.empty()) sql += " default " + def;
  }
  if (!t.key.empty()) {
    std::string cols;
    for (const auto& k : t.key) cols += (cols.empty() ? "" : ", ") + k;
    // A key on nullable columns is a unique constraint; on the caller's
    // chosen key columns, a primary key.
    bool all_not_null = true;
    for (const auto& k : t.key) {
      for (const auto& c : t.columns) {
        if (c.name == k && !c.not_null) all_not_null = false;
      }
    }
    sql += all_not_null ? ", primary key (" + cols + ")" : ", unique (" + cols + ")";
  }
  return sql + ")";
}

struct StandardRow {
  const char* table;
  const char* id_column;
  int id;
  std::string insert;  // columns and values after the table name
};

std::vector<StandardRow> StandardRows() {
  std::vector<StandardRow> rows;
  const char* access[][2] = {{"浏览", "能看到栏目：因下级栏目可访问而得到的访问级别"},
                             {"编辑", "能在栏目中撰写和修改信息"},
                             {"审核", "能审核栏目中的信息"},
                             {"管理", "能管理栏目及其授权"}};
  for (int i = 0; i < 4; ++i) {
    rows.push_back(
        {"tPtlx_AccessType", "AccessType_ID", i + 1,
         fmt::format("(AccessType_ID,AccessType_Name,AccessType_Description) select {},'{}','{}'",
                     i + 1, access[i][0], access[i][1])});
  }
  const char* states[][2] = {{"待审核", "新写的信息，等待审核"},
                             {"退回修改", "审核未通过，退回作者修改"},
                             {"已取消", "不再发布"},
                             {"已发布", "审核通过并发布"},
                             {"已发布（推荐）", "审核通过并作为推荐信息发布"},
                             {"已发布（头条）", "审核通过并作为头条信息发布"}};
  for (int i = 0; i < 6; ++i) {
    rows.push_back(
        {"tPtlx_InfoState", "InfState_ID", i + 1,
         fmt::format("(InfState_ID,InfState_Name,InfState_Description) select {},'{}','{}'", i + 1,
                     states[i][0], states[i][1])});
  }
  rows.push_back(
      {"tPtlx_Role", "Role_ID", 1,
       fmt::format("(Role_ID,Role_Name,Role_Description,Role_Order,Role_Father,WebSite_ID) "
                   "select 1,'系统管理员','所有栏目的管理者：每个新栏目都授权给它','{}',null,null",
                   PaddedOrderCode(1, kRoleCodeWidth))});
  return rows;
}

// What keeps a table's identity ahead of its rows, where the engine needs
// a statement for it.
std::string FollowIdentity(const TableDef& t, const db::Ddl& ddl) {
  for (const auto& c : t.columns) {
    if (c.kind == db::ColumnType::kIdentity) return ddl.FollowIdentity(t.name, c.name);
  }
  return "";
}

}  // namespace

std::vector<std::string> CreateStatements(const db::Engine& engine) {
  const db::Ddl& ddl = engine.ddl();
  std::vector<std::string> out = engine.HelperFunctionStatements();
  for (const auto& t : Tables()) {
    out.push_back(CreateTable(t, ddl));
    if (std::string follow = FollowIdentity(t, ddl); !follow.empty()) out.push_back(follow);
  }
  for (const auto& name : RetiredIndexes()) out.push_back("drop index if exists " + name);
  for (const auto& ix : Indexes()) {
    std::string sql =
        "create index if not exists " + ix.name + " on " + ix.table + " (" + ix.columns + ")";
    if (!ix.where.empty()) sql += " where " + ix.where;
    out.push_back(sql);
  }
  // A column's items all belong to one website and system. Without knowing
  // that, a planner that multiplies the three selectivities expects a few
  // rows where a column holds thousands, and sorts a bitmap scan instead of
  // walking the ordered index.
  if (std::string stats = ddl.ColumnDependencies("st_info_column", "tPtlx_Information",
                                                 "Column_ID, WebSite_ID, Sys_ID");
      !stats.empty())
    out.push_back(stats);
  for (auto& sql : engine.SubstringIndexStatements(InfoTextIndex())) out.push_back(std::move(sql));
  for (auto& sql : KeptCountStatements(engine)) out.push_back(std::move(sql));
  return out;
}

void CreateSchema(db::Connection& connection) {
  db::Transaction tx(connection);
  auto& backend = db::BackendOf(connection);
  for (const auto& sql : CreateStatements(db::EngineOf(connection))) backend.Execute(sql);
  // On PostgreSQL the identity trigger moves each sequence past these rows.
  for (const auto& row : StandardRows()) {
    backend.Execute(
        fmt::format("insert into {} {} where not exists (select 1 from {} where {} = {})",
                    row.table, row.insert, row.table, row.id_column, row.id));
  }
  tx.Commit();
}

}  // namespace ptolix::schema
