#include "frame/class_builder.h"
#include "frame/class_tables.h"
#include "ptolix/content/information.h"

namespace ptolix {

ClassInfo InformationClass() {
  using I = Information;
  return ClassBuilder<Information>("Information", "{7D1BB9A1-6FBD-462B-A73A-39411A16AC1E}",
                                   "{75233EB2-CA8F-4325-9FF8-1A8761259F2C}")
      .Frame()
      .Method("AppendInfo", &I::AppendInfo,
              {"pSysID", "pColumnID", "pUsr", "pInfoType", "pTitle", "pContent", "pPubDate",
               "pEndDate", "pUrl", "pWebSite", "pFather?"})
      .Method("ModifyInfo", &I::ModifyInfo,
              {"pID", "pInfoType", "pTitle", "pContent", "pPubDate", "pEndDate", "pUrl"})
      .Method("DeleteInfo", &I::DeleteInfo, {"pID"})
      .Method("AssessInfo", &I::AssessInfo, {"pUsr", "pID", "pInfoState"})
      .Method("GetInfo", &I::GetInfo, {"pID"})
      .Method("AppendInfoAttach", &I::AppendInfoAttach, {"pID", "pTitle", "pFileName"})
      .Method("DeleteInfoAttach", &I::DeleteInfoAttach, {"pInfoID", "pAttachID"})
      .Method("GetInfoAttachList", &I::GetInfoAttachList, {"pID"})
      .Method("MoveInfo", &I::MoveInfo, {"pID", "pSysID", "pColumnID"})
      .Method("AddInfo2Column", &I::AddInfo2Column, {"pID", "pSysID", "pColumnID"})
      .Method("RemoveFromColumn", &I::RemoveFromColumn, {"pID", "pSysID", "pColumnID"})
      .Method("MoveUpInfo", &I::MoveUpInfo, {"pWebSite", "pSysID", "pColumnID", "pMode", "pID"})
      .Method("MoveDownInfo", &I::MoveDownInfo, {"pWebSite", "pSysID", "pColumnID", "pMode", "pID"})
      .Method("GetInfoList", &I::GetInfoList,
              {"pWebSite", "pSysID", "pColumnID", "pMode", "pCurPage?"})
      .Method("SearchInfoList", &I::SearchInfoList,
              {"pWebSite", "pSysID", "pColumnID", "pMode", "pTitle", "pContent", "pType",
               "pStartDate", "pEndDate", "pCurPage?"})
      .Method("GetInfoList1", &I::GetInfoList1,
              {"pSysID", "pColumnID", "pSysID1", "pColumnID1", "pCurPage?"})
      .Method("GetPublishedInfoList", &I::GetPublishedInfoList,
              {"pWebSite", "pSysID", "pColumnID", "pCurPage?"})
      .Method("GetTopNPublishedInfoList", &I::GetTopNPublishedInfoList,
              {"pWebSite", "pSysID", "pColumnID", "pNum"})
      .Method("GetTopNPictureInfoList", &I::GetTopNPictureInfoList, {"pWebSite", "pSysID", "pNum"})
      .Method("SearchPublishedInfoList", &I::SearchPublishedInfoList,
              {"pWebSite", "pSysID", "pColumnID", "pText", "pHidden", "pCurPage?"})
      .Method("SearchAccessInfoList", &I::SearchAccessInfoList,
              {"pUsrID", "pWebSite", "pSysID", "pMode", "pText", "pType", "pStartDate", "pEndDate",
               "pCurPage?"})
      .Build();
}

}  // namespace ptolix
