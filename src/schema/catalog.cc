#include "schema/catalog.h"

#include "ptolix/value/text_case.h"
#include "schema/tables.h"

namespace ptolix::schema {

db::Catalog BuildCatalog() {
  db::Catalog catalog;
  std::unordered_set<std::string> text, other;
  for (const auto& t : Tables()) {
    std::string key = t.key.size() == 1 ? t.key[0] : std::string();
    for (const auto& c : t.columns) {
      if (c.kind == db::ColumnType::kIdentity) key = c.name;
      std::string n = FoldCase(c.name);
      bool is_text = c.kind == db::ColumnType::kText || c.kind == db::ColumnType::kLongText ||
                     c.kind == db::ColumnType::kFlag || c.kind == db::ColumnType::kOrderCode;
      (is_text ? text : other).insert(n);
      if (c.kind == db::ColumnType::kOrderCode) catalog.order_code_columns.insert(n);
      catalog.spelling.emplace(n, c.name);
    }
    if (!key.empty()) catalog.keys.emplace(FoldCase(t.name), key);
  }
  for (const auto& n : text) {
    if (!other.count(n)) catalog.text_columns.insert(n);
  }
  // What readers search: titles and contents match without letter case.
  catalog.case_free_columns = {"info_title", "info_content"};
  return catalog;
}

std::shared_ptr<const db::Catalog> LibraryCatalog() {
  static const auto catalog = std::make_shared<const db::Catalog>(BuildCatalog());
  return catalog;
}

}  // namespace ptolix::schema
