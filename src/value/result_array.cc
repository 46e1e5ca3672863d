#include "ptolix/value/result_array.h"

#include <stdexcept>

#include "ptolix/value/text_case.h"

namespace ptolix {

ResultArray::ResultArray(std::vector<std::string> field_names)
    : allocated_(true), names_(std::move(field_names)) {}

int32_t ResultArray::DataRows() const {
  if (names_.empty()) return 0;
  return static_cast<int32_t>(cells_.size() / names_.size());
}

Variant ResultArray::At(int32_t row, int32_t column) const {
  if (!allocated_ || row < 0 || row > DataRows() || column < 0 || column >= Columns()) {
    throw std::out_of_range("Subscript out of range");
  }
  if (row == 0) return Variant(names_[column]);
  return cells_[(row - 1) * names_.size() + column];
}

Variant ResultArray::Get(int32_t row, std::string_view field) const {
  for (int32_t c = 0; c < Columns(); ++c) {
    if (SameIgnoringCase(names_[c], field)) {
      return At(row, c);
    }
  }
  return Variant();
}

void ResultArray::AddRow(std::vector<Variant> values) {
  if (values.size() != names_.size()) throw std::logic_error("row width differs from the header");
  for (auto& v : values) cells_.push_back(std::move(v));
}

std::string ResultArray::ToString() const {
  if (!allocated_) return "(unallocated)";
  std::string out;
  for (int32_t r = 0; r <= DataRows(); ++r) {
    for (int32_t c = 0; c < Columns(); ++c) {
      if (c) out += '|';
      out += ToDisplay(At(r, c));
    }
    out += '\n';
  }
  return out;
}

}  // namespace ptolix
