#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ptolix/db/recordset.h"
#include "ptolix/value/result_array.h"

namespace ptolix {

// The current row as rows 0 (names) and 1 (values). Throws 3021 when the
// recordset has no current row.
ResultArray RecordToArray(const db::Recordset& rs);
// Every row from the current one to the end.
ResultArray RecordsetToArray(db::Recordset& rs);
// One page of a keyset recordset. Stores the record and page counts into
// `record_count` and `page_count` first, then converts `page_text` (empty is
// page 1; not a number throws Type mismatch), clamps it to 1..page count,
// and returns that page's rows. No rows records "没有记录。" in `errors`.
ResultArray PageToArray(db::Recordset& rs, std::string_view page_text, int32_t page_size,
                        int32_t& record_count, int32_t& page_count, std::string& errors);

}  // namespace ptolix
