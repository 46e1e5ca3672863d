#pragma once

#include <cstdint>
#include <string_view>

#include "ptolix/site/templets.h"

namespace ptolix {

// Styles: named looks of a system's site. For each page a style may name a
// template file (the template methods of TempletMethods). Deleting a style
// only marks it ('1' in Style_IsDeleted): it leaves the style lists but its
// row and templates stay findable. PhysicalDeleteStyle removes both.
class Style : public TempletMethods {
 public:
  void AppendStyle(std::string_view pSysID, std::string_view pName,
                   std::string_view pDescription) noexcept;
  void ModifyStyle(std::string_view pSysID, std::string_view pID, std::string_view pName,
                   std::string_view pDescription) noexcept;
  // Marks the style deleted.
  void DeleteStyle(std::string_view pSysID, std::string_view pID) noexcept;
  // Removes the style's templates, then the style, in one transaction.
  void PhysicalDeleteStyle(std::string_view pSysID, std::string_view pID) noexcept;
  // The system's styles not marked deleted, in the database's order.
  ResultArray GetStyleList(std::string_view pSysID, std::string_view pCurPage = {}) noexcept;
  // The style's row, marked deleted or not; no row is a failure (3021).
  ResultArray GetStyle(std::string_view pSysID, std::string_view pID) noexcept;
  // The style's templates, each with its page's Page_Description; templates
  // whose page has no tPtlx_Page row are left out.
  ResultArray GetTempletList(std::string_view pSysID, std::string_view pStyleID,
                             std::string_view pCurPage = {}) noexcept;
};

}  // namespace ptolix
