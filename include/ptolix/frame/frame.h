#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ptolix/db/connection.h"
#include "ptolix/value/errors.h"
#include "ptolix/value/result_array.h"

namespace ptolix {

// The page a paged list shows for the page text `page_text` among
// `page_count` pages: empty text is page 1, a number (blanks around ignored,
// a fraction rounded half to even) is kept within 1..page_count (1 when
// there are no pages). Text that
// is no number throws Type mismatch, one outside 32 bits Overflow.
int32_t PageNumber(std::string_view page_text, int32_t page_count);

// Base of every object the registry creates.
class Dispatchable {
 public:
  virtual ~Dispatchable() = default;
};

// The state every business object shares: the caller's connection (a counted
// reference, never closed) and the error text, one line per failure, never
// cleared. The Encode class has only this much.
class ConnectedObject : public Dispatchable {
 public:
  // Replaces any earlier connection; the caller keeps ownership.
  void SetConnection(std::shared_ptr<db::Connection> connection) {
    connection_ = std::move(connection);
  }
  const std::string& Errors() const { return errors_; }

 protected:
  // The connection; throws Failure 91 when none was set.
  db::Connection& conn() const;
  const std::shared_ptr<db::Connection>& connection() const { return connection_; }
  std::string& errors() { return errors_; }

  // Runs a business method body: any exception becomes a form-2 error line
  // and the method returns R{} (an unallocated array, 0, false, ""). Defined
  // in the library (frame/guard.h).
  template <class R = void, class F>
  R Guard(F&& body) noexcept;

  // The three method patterns. Each throws; call them inside Guard.
  //
  // Command: runs the statement; a change that matches no row is no failure.
  void Command(std::string_view sql);
  // Single-row query without a not-found message: the current row as a
  // two-row array; no row is a failure (3021).
  ResultArray SingleRow(std::string_view sql);
  // Single-row query with a not-found message: no row records the message
  // (form 1) and returns an unallocated array.
  ResultArray SingleRow(std::string_view sql, std::string_view not_found);
  // Every row, unpaged; leaves the paging counts alone.
  ResultArray UnpagedList(std::string_view sql);

 private:
  std::shared_ptr<db::Connection> connection_;
  std::string errors_;
};

// The full frame: connection, errors and paging of list methods.
class FrameObject : public ConnectedObject {
 public:
  int32_t PageSize() const { return page_size_; }
  void SetPageSize(int32_t page_size) { page_size_ = page_size; }
  int32_t RecordCount() const { return record_count_; }
  int32_t PageCount() const { return page_count_; }

 protected:
  // List query: with PageSize above 0 one page (the counts are updated and
  // an empty result records "没有记录。"), otherwise every row. `page_text`
  // is the caller's page as text; empty means page 1.
  ResultArray ListQuery(std::string_view sql, std::string_view page_text);
  ResultArray ListQuery(std::string_view sql, int32_t page);
  // The same with the way pages are read (db::Connection::Paging): keys
  // first for a list filtered by a sub-query.
  ResultArray ListQuery(std::string_view sql, std::string_view page_text,
                        db::Connection::Paging paging);
  // The same for a list whose `rows` the caller has already counted.
  ResultArray ListQuery(std::string_view sql, int64_t rows, std::string_view page_text,
                        db::Connection::Paging paging = db::Connection::Paging::kPlain);

 private:
  int32_t page_size_ = 0;
  int32_t record_count_ = 0;
  int32_t page_count_ = 0;
};

}  // namespace ptolix
