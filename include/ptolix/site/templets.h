#pragma once

#include <string_view>

#include "ptolix/frame/frame.h"

namespace ptolix {

// The template methods that Style and Page share. A template row names, for
// one (system, style, page), the template file the page is generated from;
// the file name is relative to the TEMPLET_PATH folder below the site root.
// Each class adds its own GetTempletList (a style's templates with their
// pages' descriptions, or a page's templates with their styles' names).
class TempletMethods : public FrameObject {
 public:
  void AppendTemplet(std::string_view pSysID, std::string_view pStyleID, std::string_view pPage,
                     std::string_view pTemplet, std::string_view pDescription) noexcept;
  // Replaces the file name and description of the template of (pSysID,
  // pStyleID, pPage); no row matching is no failure.
  void ModifyTemplet(std::string_view pSysID, std::string_view pStyleID, std::string_view pPage,
                     std::string_view pTemplet, std::string_view pDescription) noexcept;
  void DeleteTemplet(std::string_view pSysID, std::string_view pStyleID,
                     std::string_view pPage) noexcept;
  // The template row (Tmpl_File in column 3). A (style, page) pair without a
  // template is a failure (3021): an unallocated array and one error line.
  // Templates of styles marked deleted are still found.
  ResultArray GetTemplet(std::string_view pSysID, std::string_view pStyle,
                         std::string_view pPage) noexcept;
};

}  // namespace ptolix
