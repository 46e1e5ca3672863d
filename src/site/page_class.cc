#include "frame/class_builder.h"
#include "ptolix/site/page.h"
#include "site/class_tables.h"
#include "site/site_members.h"

namespace ptolix {

ClassInfo PageClass() {
  return ClassBuilder<Page>("Page", "{0B468A51-D34B-42A7-B8DB-ED0E1AFA7166}",
                            "{EC7EE28F-296D-4706-8FF3-E93FDA8B9959}")
      .Frame()
      .Method("AppendPage", &Page::AppendPage, {"pSysID", "pPage", "pDescription"})
      .Method("ModifyPage", &Page::ModifyPage, {"pSysID", "pPage", "pNewPage", "pDescription"})
      .Method("DeletePage", &Page::DeletePage, {"pSysID", "pPage"})
      .Method("GetPageList", &Page::GetPageList, {"pSysID", "pCurPage?"})
      .Method("GetPage", &Page::GetPage, {"pSysID", "pPage"})
      .Method("AppendTag", &Page::AppendTag,
              {"pSysID", "pPage", "pCode", "pProgram", "pDescription"})
      .Method("ModifyTag", &Page::ModifyTag,
              {"pSysID", "pPage", "pCode", "pNewCode", "pProgram", "pDescription"})
      .Method("DeleteTag", &Page::DeleteTag, {"pSysID", "pPage", "pCode"})
      .Method("GetPrivateTagList", &Page::GetPrivateTagList, {"pSysID", "pPage", "pCurPage?"})
      .Method("GetTagList", &Page::GetTagList, {"pSysID", "pPage", "pCurPage?"})
      .Method("GetTag", &Page::GetTag, {"pSysID", "pPage", "pCode"})
      .Method("AppendTemplet", Inherited<Page>(&Page::AppendTemplet),
              {"pSysID", "pStyleID", "pPage", "pTemplet", "pDescription"})
      .Method("ModifyTemplet", Inherited<Page>(&Page::ModifyTemplet),
              {"pSysID", "pStyleID", "pPage", "pTemplet", "pDescription"})
      .Method("DeleteTemplet", Inherited<Page>(&Page::DeleteTemplet),
              {"pSysID", "pStyleID", "pPage"})
      .Method("GetTempletList", &Page::GetTempletList, {"pSysID", "pPage", "pCurPage?"})
      .Method("GetTemplet", Inherited<Page>(&Page::GetTemplet), {"pSysID", "pStyle", "pPage"})
      .Method("CreateAspCode", &Page::CreateAspCode, {"pSysID", "pStyle", "pPage"})
      .Method("CreateExecuteCode", &Page::CreateExecuteCode, {"pSysID", "pStyle", "pPage"})
      .Build();
}

}  // namespace ptolix
