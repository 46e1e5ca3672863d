#include "db/catalog.h"

#include <cctype>

namespace ptolix::db {

namespace {

std::string Folded(std::string_view name) {
  std::string out(name);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

bool Catalog::IsTextColumn(std::string_view name) const {
  return text_columns.count(Folded(name)) > 0;
}

bool Catalog::IsOrderCodeColumn(std::string_view name) const {
  return order_code_columns.count(Folded(name)) > 0;
}

std::string Catalog::Spelling(std::string_view name) const {
  auto it = spelling.find(Folded(name));
  return it == spelling.end() ? std::string(name) : it->second;
}

std::string Catalog::KeyOf(std::string_view table) const {
  auto it = keys.find(Folded(table));
  return it == keys.end() ? std::string() : it->second;
}

}  // namespace ptolix::db
