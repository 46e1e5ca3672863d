#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db/backend.h"
#include "db/rewriter.h"
#include "ptolix/db/connection.h"
#include "ptolix/db/recordset.h"

namespace ptolix::db {

// Reads a backend cursor once, forward.
class ForwardRecordset : public Recordset {
 public:
  // `cursor` null gives an empty recordset without fields (a statement that
  // returns no rows).
  explicit ForwardRecordset(std::unique_ptr<BackendCursor> cursor);
  bool IsEof() const override { return eof_; }
  bool IsBof() const override { return false; }
  const std::vector<std::string>& FieldNames() const override;
  const Variant& Field(int32_t i) const override;
  using Recordset::Field;
  const std::vector<Variant>& Row() const override;
  void MoveNext() override;

 private:
  std::unique_ptr<BackendCursor> cursor_;
  std::vector<Variant> row_;
  bool eof_ = true;
};

// The window [start, start + n) of `statement` (in PostgreSQL's dialect)
// with the window's keys read first:
//   select COLS from T where KEY in
//     (select KEY from T where COND order by ORDER limit n offset start) order by ORDER
// It selects the same rows as the statement with the window appended (KEY is
// unique in T, so "KEY in" takes each row of the window once and no other
// row), and PostgreSQL can read the inner select from an index alone instead
// of visiting every row the offset skips. Empty when the statement is not a
// plain select of listed columns from one table with a one-column key.
std::string KeyedWindow(const Rewritten& statement, const Catalog& catalog, int64_t start,
                        int64_t n);

// Counts the rows of a statement, then fetches windows of it with
// limit/offset around the current position; never reads the whole result.
class KeysetRecordset : public Recordset {
 public:
  // With `keys_first`, every page is read keys first on PostgreSQL, not
  // only those far down. `rows`, when not negative, is the statement's
  // number of rows as the caller has just counted them.
  KeysetRecordset(Connection& conn, Rewritten statement, bool keys_first = false,
                  int64_t rows = -1);
  bool IsEof() const override;
  bool IsBof() const override { return pos_ < 0; }
  const std::vector<std::string>& FieldNames() const override;
  const Variant& Field(int32_t i) const override;
  using Recordset::Field;
  const std::vector<Variant>& Row() const override;
  void MoveNext() override;
  void MovePrevious() override;
  void MoveFirst() override { pos_ = 0; }
  void MoveLast() override;
  int32_t RecordCount() override;
  void SetAbsolutePage(int32_t page) override;

 private:
  int64_t Count() const;
  // Makes rows [start, start + n) the window.
  void Fetch(int64_t start, int64_t n) const;
  const std::vector<Variant>& Current() const;

  Connection& conn_;
  Rewritten statement_;
  bool keys_first_;
  mutable int64_t count_ = -1;
  int64_t pos_ = 0;   // -1 before the first row, count_ after the last
  int64_t step_ = 1;  // direction of the last move, to place the next window
  mutable bool names_known_ = false;
  mutable std::vector<std::string> names_;
  mutable int64_t window_start_ = 0;
  mutable std::vector<std::vector<Variant>> window_;
};

}  // namespace ptolix::db
