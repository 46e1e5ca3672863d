#include "schema/catalog.h"

#include "frame/text_case.h"
#include "ptolix/schema/schema.h"

namespace ptolix::schema {

db::Catalog BuildCatalog() {
  db::Catalog catalog;
  std::unordered_set<std::string> text, other;
  for (const auto& t : Tables()) {
    std::string key = t.key.size() == 1 ? t.key[0] : std::string();
    for (const auto& c : t.columns) {
      if (c.kind == ColumnKind::kIdentity) key = c.name;
      std::string n = FoldCase(c.name);
      bool is_text = c.kind == ColumnKind::kText || c.kind == ColumnKind::kLongText ||
                     c.kind == ColumnKind::kFlag || c.kind == ColumnKind::kOrderCode;
      (is_text ? text : other).insert(n);
      if (c.kind == ColumnKind::kOrderCode) catalog.order_code_columns.insert(n);
      catalog.spelling.emplace(n, c.name);
    }
    if (!key.empty()) catalog.keys.emplace(FoldCase(t.name), key);
  }
  for (const auto& n : text) {
    if (!other.count(n)) catalog.text_columns.insert(n);
  }
  return catalog;
}

}  // namespace ptolix::schema
