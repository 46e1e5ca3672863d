#pragma once

#include <string>
#include <string_view>

#include "ptolix/db/connection.h"

// Statement pieces that Role and User share.
namespace ptolix {

// The comma list of quoted candidate codes for an `in (...)` clause that
// selects a tree item and its ancestors by their order codes: the code, then
// the code without its last 2 characters, without 4, ... while at least
// `threshold` characters remain. Each candidate is appended as "'c',";
// `list` keeps its trailing comma.
void AppendAncestorCodes(std::string& list, std::string_view code, size_t threshold);
// Removes the trailing comma of such a list; an empty list (no code to look
// for) throws Invalid procedure call.
std::string CloseCodeList(std::string list);

// The condition that selects the users under role `role` (spliced as
// given): primary role in the role's subtree, or an additional role there.
std::string UsersUnderRoleCondition(std::string_view role);

// Gives user `user` the additional role `role` unless the user already holds
// that role or one below it; then records the refusal in `errors`. `role`
// must already be checked as a bare number; `user_arg` names the argument
// `user` came from.
void AddAdditionalRole(db::Connection& conn, std::string& errors, std::string_view role,
                       std::string_view user, std::string_view user_arg);

}  // namespace ptolix
