#pragma once

#include <string>

namespace ptolix::schema {

// The condition on an item's state that holds while it is published (states
// 4, 5 and 6 of tPtlx_InfoState): the lists, the counts and the partial
// indexes that serve them all use this one text.
inline const std::string kPublishedStates = "InfState_ID in (4,5,6)";

}  // namespace ptolix::schema
