#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ptolix/value/variant.h"

namespace ptolix::db {

class Connection;
class BackendCursor;

// A cursor over the rows of one query.
//
// Forward cursors (Connection::Execute) read the rows once, in order, and
// know no count. Keyset cursors (Connection::OpenKeyset) know the exact
// RecordCount, page by AbsolutePage and move both ways; they never read the
// whole result: they count, then fetch windows of rows around the position.
//
// A new cursor stands on its first row (IsEof() when there is none).
class Recordset {
 public:
  virtual ~Recordset() = default;

  virtual bool IsEof() const = 0;
  virtual bool IsBof() const = 0;
  virtual const std::vector<std::string>& FieldNames() const = 0;
  int32_t FieldCount() const { return static_cast<int32_t>(FieldNames().size()); }
  // Value of field i of the current row. Throws 3021 without a current row.
  virtual const Variant& Field(int32_t i) const = 0;
  // By name, letter case ignored; throws Failure 3265-style Type mismatch for
  // an unknown name.
  const Variant& Field(std::string_view name) const;
  // The current row. Throws 3021 without one.
  virtual const std::vector<Variant>& Row() const = 0;

  virtual void MoveNext() = 0;
  // Keyset cursors only (forward cursors throw InvalidCall).
  virtual void MovePrevious();
  virtual void MoveFirst();
  virtual void MoveLast();
  virtual int32_t RecordCount();  // exact; -1 on forward cursors
  void SetPageSize(int32_t page_size) { page_size_ = page_size; }
  int32_t PageSize() const { return page_size_; }
  int32_t PageCount();  // RecordCount rounded up to pages; 0 rows give 0
  // Makes the first row of page `page` (1-based) current.
  virtual void SetAbsolutePage(int32_t page);

 protected:
  int32_t page_size_ = 10;
};

}  // namespace ptolix::db
