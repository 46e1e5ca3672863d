#pragma once

#include <cstdint>
#include <string_view>

#include "ptolix/frame/frame.h"

namespace ptolix {

// A user's effective access on columns, computed into tTemp_UsrAccess from
// direct grants, role grants along the role tree and ancestor columns. The
// User class carries these methods.
class UserAccess : public FrameObject {
 public:
  // Rebuilds the user's rows (replacing any there are).
  void UpdateUsrAccess(std::string_view pID) noexcept;
  void ClearUsrAccess(std::string_view pID) noexcept;
  // The user's level on the column; -1 without a row; 0 on failure.
  int16_t GetColumnAccess(std::string_view pUsrID, std::string_view pSysID, std::string_view pColumnID) noexcept;
  // The reachable, live columns of the system for the website, with levels,
  // in tree order; paged.
  ResultArray GetAccessColumnList(std::string_view pUsrID, std::string_view pSysID, std::string_view pWebSite,
                                  std::string_view pCurPage = "") noexcept;
};

}  // namespace ptolix
