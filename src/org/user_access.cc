#include "ptolix/org/user_access.h"

namespace ptolix {

// Not built yet.
void UserAccess::UpdateUsrAccess(std::string_view) noexcept {}
void UserAccess::ClearUsrAccess(std::string_view) noexcept {}
int16_t UserAccess::GetColumnAccess(std::string_view, std::string_view, std::string_view) noexcept { return 0; }
ResultArray UserAccess::GetAccessColumnList(std::string_view, std::string_view, std::string_view,
                                            std::string_view) noexcept {
  return ResultArray();
}

}  // namespace ptolix
