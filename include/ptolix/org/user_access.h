#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "ptolix/frame/frame.h"

namespace ptolix {

// A user's effective access on columns, computed into tTemp_UsrAccess from
// direct grants, role grants along the role tree and ancestor columns. The
// User class carries these methods.
//
// After a rebuild the user has one row per column granted to the user, to a
// role the user holds (primary or additional) or to an ancestor of such a
// role, with the greatest of those levels; and one row of level 1 for every
// other ancestor column of such a column. The rows are a snapshot: nothing
// changes them until the next rebuild.
class UserAccess : public FrameObject {
 public:
  // Rebuilds the user's rows, replacing any there are, in one transaction.
  // A user that does not exist records a failure and the rows stay as they
  // were. A loop in the role tree ends at the first role seen twice on a
  // chain and records a line.
  void UpdateUsrAccess(std::string_view pID) noexcept;
  void ClearUsrAccess(std::string_view pID) noexcept;
  // The user's level on the column; -1 without a row; 0 on failure.
  int16_t GetColumnAccess(std::string_view pUsrID, std::string_view pSysID,
                          std::string_view pColumnID) noexcept;
  // The reachable, live columns of the system for the website, with levels,
  // in tree order; paged. An empty website lists the shared columns only.
  ResultArray GetAccessColumnList(std::string_view pUsrID, std::string_view pSysID,
                                  std::string_view pWebSite,
                                  std::string_view pCurPage = "") noexcept;

 protected:
  // Adds `role` and its father chain to `roles`. Stops at a role already on
  // this chain (a loop, recorded) and at a role that does not exist
  // (recorded); the roles seen up to there count.
  void MergeRoleAccess(int32_t role, std::set<int32_t>& roles);
  // Adds level-1 rows for the missing ancestors of the user's columns, one
  // level per statement, until none is missing. `user` is quoted.
  void AddFatherColumnAccess(const std::string& user);
};

}  // namespace ptolix
