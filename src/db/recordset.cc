#include "ptolix/db/recordset.h"

#include "ptolix/value/errors.h"
#include "ptolix/value/text_case.h"
#include "value/failure.h"

namespace ptolix::db {

const Variant& Recordset::Field(std::string_view name) const {
  const auto& names = FieldNames();
  for (size_t i = 0; i < names.size(); ++i) {
    if (SameIgnoringCase(names[i], name)) {
      return Field(static_cast<int32_t>(i));
    }
  }
  throw Failure(err::kItemNotFound,
                "Item cannot be found in the collection corresponding to the requested name "
                "or ordinal: " +
                    std::string(name));
}

void Recordset::MovePrevious() { throw InvalidCall("a forward cursor cannot move back"); }
void Recordset::MoveFirst() { throw InvalidCall("a forward cursor cannot move back"); }
void Recordset::MoveLast() { throw InvalidCall("a forward cursor cannot move to its end"); }
int32_t Recordset::RecordCount() { return -1; }
void Recordset::SetAbsolutePage(int32_t) { throw InvalidCall("a forward cursor has no pages"); }

int32_t Recordset::PageCount() {
  int32_t count = RecordCount();
  if (count <= 0 || page_size_ <= 0) return 0;
  // 64-bit: a page size near the 32-bit limit must not overflow.
  return static_cast<int32_t>((int64_t{count} + page_size_ - 1) / page_size_);
}

}  // namespace ptolix::db
