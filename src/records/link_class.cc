#include "frame/class_builder.h"
#include "ptolix/records/link.h"
#include "records/class_tables.h"

namespace ptolix {

ClassInfo LinkClass() {
  return ClassBuilder<Link>("Link", "{CDD0AC11-1A96-4093-A836-61389859A103}",
                            "{C51B8C3A-10AE-4AE3-A0D7-80F32D5BE838}")
      .Frame()
      .Method("AppendLinkClass", &Link::AppendLinkClass, {"pNameCh", "pNameEn"})
      .Method("ModifyLinkClass", &Link::ModifyLinkClass, {"pID", "pNameCh", "pNameEn"})
      .Method("DeleteLinkClass", &Link::DeleteLinkClass, {"pID"})
      .Method("GetLinkClass", &Link::GetLinkClass, {"pID"})
      .Method("GetLinkClassList", &Link::GetLinkClassList)
      .Method(
          "AppendLink", &Link::AppendLink,
          {"pClassID", "pTitle", "pDescription", "pUrl", "pImage", "pWidth", "pHeight", "pEndDate"})
      .Method("ModifyLink", &Link::ModifyLink,
              {"pClassID", "pID", "pTitle", "pDescription", "pUrl", "pImage", "pWidth", "pHeight",
               "pEndDate"})
      .Method("DeleteLink", &Link::DeleteLink, {"pClassID", "pID"})
      .Method("GetLink", &Link::GetLink, {"pClassID", "pID"})
      .Method("GetClassLinkList", &Link::GetClassLinkList, {"pClassID", "pCurPage?"})
      .Method("GetLinkList", &Link::GetLinkList, {"pCurPage?"})
      .Build();
}

}  // namespace ptolix
