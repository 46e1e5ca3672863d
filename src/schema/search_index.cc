#include "schema/search_index.h"

namespace ptolix::schema {

// The copies are the columns a column's search filters on that no review
// changes (the state is left out: AssessInfo would then have to note every
// row it reviews), so that a search in one column counts its matches from
// the index.
const db::SubstringIndexDef& InfoTextIndex() {
  static const db::SubstringIndexDef index{"tPtlx_InfoText",
                                           "tPtlx_Information",
                                           "Info_ID",
                                           {"Info_Title", "Info_Content"},
                                           "Column_ID",
                                           {{"WebSite_ID", true},
                                            {"Sys_ID", true},
                                            {"Column_ID", true},
                                            {"InfType_ID", true},
                                            {"Info_SystemTime", false},
                                            {"Info_IsDeleted", false}}};
  return index;
}

}  // namespace ptolix::schema
