#include "schema/search_index.h"

namespace ptolix::schema {

const db::SubstringIndexDef& InfoTextIndex() {
  static const db::SubstringIndexDef index{
      "tPtlx_InfoText", "tPtlx_Information", "Info_ID", {"Info_Title", "Info_Content"}};
  return index;
}

}  // namespace ptolix::schema
