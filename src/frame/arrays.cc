#include "frame/arrays.h"

#include "ptolix/frame/errors.h"
#include "ptolix/frame/sql_text.h"

namespace ptolix {

ResultArray RecordToArray(const db::Recordset& rs) {
  ResultArray out(rs.FieldNames());
  out.AddRow(rs.Row());  // throws 3021 without a current row
  return out;
}

ResultArray RecordsetToArray(db::Recordset& rs) {
  ResultArray out(rs.FieldNames());
  for (; !rs.IsEof(); rs.MoveNext()) out.AddRow(rs.Row());
  return out;
}

ResultArray PageToArray(db::Recordset& rs, std::string_view page_text, int32_t page_size,
                        int32_t& record_count, int32_t& page_count, std::string& errors) {
  rs.SetPageSize(page_size);
  record_count = rs.RecordCount();
  page_count = rs.PageCount();
  int32_t page = page_text.empty() ? 1 : ParseLong(page_text);
  if (page < 1) {
    page = 1;
  } else if (page > page_count) {
    page = page_count;
  }
  if (rs.IsEof()) {
    SetError(errors, kNoRecords);
    page = 1;
  } else {
    rs.SetAbsolutePage(page);
  }
  int32_t rows;
  if (record_count < page_size) {
    rows = record_count;
  } else if (page < page_count || record_count % page_size == 0) {
    rows = page_size;
  } else {
    rows = record_count % page_size;
  }
  ResultArray out(rs.FieldNames());
  for (int32_t r = 0; r < rows; ++r) {
    out.AddRow(rs.Row());
    rs.MoveNext();
  }
  return out;
}

}  // namespace ptolix
