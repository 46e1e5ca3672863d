#include "db/engine.h"

#include <cctype>

#include "ptolix/value/text_case.h"

namespace ptolix::db {

bool FirstWordIs(std::string_view sql, std::initializer_list<std::string_view> words) {
  size_t i = 0;
  while (i < sql.size() && (std::isspace(static_cast<unsigned char>(sql[i])) || sql[i] == '(')) ++i;
  size_t j = i;
  while (j < sql.size() && std::isalnum(static_cast<unsigned char>(sql[j]))) ++j;
  std::string_view first = sql.substr(i, j - i);
  for (std::string_view word : words) {
    if (SameIgnoringCase(first, word)) return true;
  }
  return false;
}

}  // namespace ptolix::db
