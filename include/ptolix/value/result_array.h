#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ptolix/value/variant.h"

namespace ptolix {

// The two-dimensional result of a query method: row 0 holds the field names,
// rows 1..DataRows() the values in the order the query delivered them.
// A default-constructed array is unallocated (no elements, not even row 0):
// the result of a method that failed before its conversion finished.
class ResultArray {
 public:
  ResultArray() = default;
  explicit ResultArray(std::vector<std::string> field_names);

  bool allocated() const { return allocated_; }
  // Upper bound of the first dimension: the number of data rows.
  // REQUIRES: allocated().
  int32_t DataRows() const;
  int32_t Columns() const { return static_cast<int32_t>(names_.size()); }
  const std::vector<std::string>& FieldNames() const { return names_; }

  // Element (row, column); row 0 gives the field name as a string Variant.
  Variant At(int32_t row, int32_t column) const;
  // Data row r (1-based), by field name (letter case ignored); Empty when
  // the field does not exist.
  Variant Get(int32_t row, std::string_view field) const;

  void AddRow(std::vector<Variant> values);  // REQUIRES: values.size() == Columns()

  // "Name|Value\n1|abc\n" style rendering for tests and the tool; Null shows
  // as "Null". Unallocated renders as "(unallocated)".
  std::string ToString() const;

  friend bool operator==(const ResultArray&, const ResultArray&) = default;

 private:
  bool allocated_ = false;
  std::vector<std::string> names_;
  std::vector<Variant> cells_;  // row-major, data rows only
};

}  // namespace ptolix
