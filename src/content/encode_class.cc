#include "content/class_tables.h"
#include "frame/class_builder.h"
#include "ptolix/content/encode.h"

namespace ptolix {

ClassInfo EncodeClass() {
  return ClassBuilder<Encode>("Encode", "{226BD58F-03DC-45D9-90A7-D9D36DD63C05}",
                              "{C1C27B6D-253F-46CE-A732-661E783C66D9}")
      .Connected()
      .Method("AppendInfoState", &Encode::AppendInfoState, {"pName", "pDescription"})
      .Method("ModifyInfoState", &Encode::ModifyInfoState, {"pID", "pName", "pDescription"})
      .Method("DeleteInfoState", &Encode::DeleteInfoState, {"pID"})
      .Method("GetInfoState", &Encode::GetInfoState, {"pID"})
      .Method("GetInfStateList", &Encode::GetInfStateList)
      .Method("AppendInfoType", &Encode::AppendInfoType, {"pName", "pDescription"})
      .Method("ModifyInfoType", &Encode::ModifyInfoType, {"pID", "pName", "pDescription"})
      .Method("DeleteInfoType", &Encode::DeleteInfoType, {"pID"})
      .Method("GetInfTypeList", &Encode::GetInfTypeList)
      .Method("AppendAccessType", &Encode::AppendAccessType, {"pName", "pDescription"})
      .Method("ModifyAccessType", &Encode::ModifyAccessType, {"pID", "pName", "pDescription"})
      .Method("DeleteAccessType", &Encode::DeleteAccessType, {"pID"})
      .Method("GetAccessTypeList", &Encode::GetAccessTypeList)
      .Method("AppendWebSiteType", &Encode::AppendWebSiteType, {"pID", "pName"})
      .Method("ModifyWebSiteType", &Encode::ModifyWebSiteType, {"pID", "pNewID", "pName"})
      .Method("DeleteWebSiteType", &Encode::DeleteWebSiteType, {"pID"})
      .Method("GetWebSiteType", &Encode::GetWebSiteType, {"pID"})
      .Method("GetWebSiteTypeList", &Encode::GetWebSiteTypeList)
      .Build();
}

}  // namespace ptolix
