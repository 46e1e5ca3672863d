#pragma once

#include <cstdint>
#include <string_view>

#include "ptolix/frame/frame.h"

namespace ptolix {

// The websites the service publishes: name, title, description, type code,
// display order, logo and the style (within a system) a site is rendered
// with. Identifiers are spliced bare and checked first: a `pID` that is not
// a number runs nothing and records a Type mismatch line.
class WebSite : public FrameObject {
 public:
  // Adds a site and gives it its order code, both in one transaction: the
  // 4-character segment of its WebSite_ID (1 gives "FFEF", 2 "FFDF"), so
  // newer sites list first. Identifiers above 3839 have no 4-character
  // segment; they get "0" followed by the 8-character segment, which still
  // sorts before every older site. An empty argument leaves its column null.
  void AppendWebSite(std::string_view pName, std::string_view pTitle, std::string_view pDescription,
                     std::string_view pType) noexcept;
  // Overwrites all five columns; an empty argument writes null.
  void ModifyWebSite(std::string_view pID, std::string_view pName, std::string_view pTitle,
                     std::string_view pDescription, std::string_view pOrder,
                     std::string_view pType) noexcept;
  // Removes the row; no other table is touched.
  void DeleteWebSite(std::string_view pID) noexcept;
  void SetWebSiteLogo(std::string_view pID, std::string_view pLogo) noexcept;
  // Empty pSysID and pStyleID clear the site's style.
  void SetWebSiteStyle(std::string_view pID, std::string_view pSysID,
                       std::string_view pStyleID) noexcept;
  // The site's row; an identifier without a row records "该站点不存在。" and
  // returns an unallocated array.
  ResultArray GetWebSite(std::string_view pID) noexcept;
  // Sites of one type code, in WebSite_Order order (sites without a type are
  // never listed here).
  ResultArray GetWebSiteListByType(std::string_view pType, std::string_view pCurPage = {}) noexcept;
  ResultArray GetWebSiteList(int32_t pCurPage = 0) noexcept;
};

}  // namespace ptolix
