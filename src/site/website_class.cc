#include "frame/class_builder.h"
#include "ptolix/site/website.h"
#include "site/class_tables.h"

namespace ptolix {

ClassInfo WebSiteClass() {
  return ClassBuilder<WebSite>("WebSite", "{A13E9473-C502-4FDA-9345-3BB4002AC0F1}",
                               "{CF6FE128-E661-4CD6-865E-C1747D5E9D5D}")
      .Frame()
      .Method("AppendWebSite", &WebSite::AppendWebSite,
              {"pName", "pTitle", "pDescription", "pType"})
      .Method("ModifyWebSite", &WebSite::ModifyWebSite,
              {"pID", "pName", "pTitle", "pDescription", "pOrder", "pType"})
      .Method("DeleteWebSite", &WebSite::DeleteWebSite, {"pID"})
      .Method("SetWebSiteLogo", &WebSite::SetWebSiteLogo, {"pID", "pLogo"})
      .Method("SetWebSiteStyle", &WebSite::SetWebSiteStyle, {"pID", "pSysID", "pStyleID"})
      .Method("GetWebSite", &WebSite::GetWebSite, {"pID"})
      .Method("GetWebSiteListByType", &WebSite::GetWebSiteListByType, {"pType", "pCurPage?"})
      .Method("GetWebSiteList", &WebSite::GetWebSiteList, {"pCurPage?"})
      .Build();
}

}  // namespace ptolix
