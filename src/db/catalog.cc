#include "db/catalog.h"

#include "ptolix/value/text_case.h"

namespace ptolix::db {

bool Catalog::IsTextColumn(std::string_view name) const {
  return text_columns.count(FoldCase(name)) > 0;
}

bool Catalog::IsOrderCodeColumn(std::string_view name) const {
  return order_code_columns.count(FoldCase(name)) > 0;
}

bool Catalog::IsCaseFreeColumn(std::string_view name) const {
  return case_free_columns.count(FoldCase(name)) > 0;
}

std::string Catalog::Spelling(std::string_view name) const {
  auto it = spelling.find(FoldCase(name));
  return it == spelling.end() ? std::string(name) : it->second;
}

std::string Catalog::KeyOf(std::string_view table) const {
  auto it = keys.find(FoldCase(table));
  return it == keys.end() ? std::string() : it->second;
}

}  // namespace ptolix::db
