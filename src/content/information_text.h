#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/substring_index.h"
#include "ptolix/db/connection.h"

// Text helpers of the information item methods.
namespace ptolix {

// Non-overlapping occurrences of `pattern` in `text`, letter case exact.
// An empty pattern counts 0.
int32_t CountOccurrences(std::string_view text, std::string_view pattern);

// The condition a pMode keyword adds to a list statement (" and InfState_ID
// in (4,5,6)" for "Published"); empty for "All" and unknown keywords.
std::string ModeFilter(std::string_view pMode);

// Lists of at least this many rows count their text searches through the
// text index; smaller ones only when the index gives fewer rows.
inline constexpr int kIndexedSearchFrom = 20000;

// The rows of a list of `count` rows, `page_size` to a page, up to the end
// of the page `pCurPage` asks for (clamped as the list clamps it).
int64_t LastRowOfPage(int64_t count, int32_t page_size, std::string_view pCurPage);

// The condition that narrows a title or content search to the items the
// text index gives for the search's terms (columns Info_Title, Info_Content
// or either), in its column (the index's cluster) and meeting its
// condition where those are given; empty where the index cannot narrow it
// (words too short). The search's own conditions stay beside it: they
// decide which of those items match.
std::string TextIndexCondition(db::Connection& conn, const db::SubstringSearch& search);
// How the text index counts the items that meet the search's condition
// (db::SubstringTally); empty where it cannot count them.
db::SubstringTally TextIndexCount(db::Connection& conn, const db::SubstringSearch& search);

}  // namespace ptolix
