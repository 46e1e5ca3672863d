#pragma once

#include "db/substring_index.h"

namespace ptolix::schema {

// The index of item titles and contents that title and content searches
// look words up in before they match them.
const db::SubstringIndexDef& InfoTextIndex();

}  // namespace ptolix::schema
