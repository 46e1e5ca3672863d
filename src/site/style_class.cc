#include "frame/class_builder.h"
#include "ptolix/site/style.h"
#include "site/class_tables.h"
#include "site/site_members.h"

namespace ptolix {

ClassInfo StyleClass() {
  return ClassBuilder<Style>("Style", "{5BA397F7-A907-4B22-A617-069CA5DC86A6}",
                             "{542DED67-D91B-41CB-AD2B-A88044508C42}")
      .Frame()
      .Method("AppendStyle", &Style::AppendStyle, {"pSysID", "pName", "pDescription"})
      .Method("ModifyStyle", &Style::ModifyStyle, {"pSysID", "pID", "pName", "pDescription"})
      .Method("DeleteStyle", &Style::DeleteStyle, {"pSysID", "pID"})
      .Method("PhysicalDeleteStyle", &Style::PhysicalDeleteStyle, {"pSysID", "pID"})
      .Method("GetStyleList", &Style::GetStyleList, {"pSysID", "pCurPage?"})
      .Method("GetStyle", &Style::GetStyle, {"pSysID", "pID"})
      .Method("AppendTemplet", Inherited<Style>(&Style::AppendTemplet),
              {"pSysID", "pStyleID", "pPage", "pTemplet", "pDescription"})
      .Method("ModifyTemplet", Inherited<Style>(&Style::ModifyTemplet),
              {"pSysID", "pStyleID", "pPage", "pTemplet", "pDescription"})
      .Method("DeleteTemplet", Inherited<Style>(&Style::DeleteTemplet),
              {"pSysID", "pStyleID", "pPage"})
      .Method("GetTempletList", &Style::GetTempletList, {"pSysID", "pStyleID", "pCurPage?"})
      .Method("GetTemplet", Inherited<Style>(&Style::GetTemplet), {"pSysID", "pStyle", "pPage"})
      .Build();
}

}  // namespace ptolix
