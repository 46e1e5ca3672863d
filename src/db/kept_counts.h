#pragma once

// Counts the database keeps exact for the paged lists, kept by triggers on
// the rows counted (items and their cross-posts, users, links) so that
// every writer keeps them: the library, an administrator's statement, a
// restore.
//
//   tPtlx_InfoCount  items per (Sys_ID, WebSite_ID, Column_ID, InfState_ID,
//                    Info_IsDeleted): Info_Count
//   tPtlx_PostCount  cross-post rows per (Post_SysID, Post_ColumnID: the
//                    row's own system and column; then the item's Sys_ID,
//                    WebSite_ID, Column_ID, InfState_ID, Info_IsDeleted):
//                    Post_Count. Rows naming no item are not counted.
//   tPtlx_InfoPosts  cross-post rows per Info_ID (rows with one): Post_Count.
//                    Items with more than one (Post_Count > 1, an index of
//                    its own) are the only ones a sum of pairs can count
//                    twice.
//   tPtlx_CountMark  (where the engine keeps marks) per column: a random
//                    number drawn again by every statement that changes the
//                    kept counts of the items homed in the column
//                    (tPtlx_InfoCount by Column_ID) or of the cross-posts
//                    into it (tPtlx_PostCount by Post_ColumnID); -1 for
//                    all of them, drawn by a truncate and a refill. A
//                    count of a list read from those rows holds while the
//                    marks of its columns and -1 stay, whatever else is
//                    written (a source address, an order, a text).
//
// A key that is null is kept as a value no list compares with: the lists
// compare 32-bit numbers and the flag '0', and null never equals anything,
// so a sum for a list never meets the rows of null keys, and each key still
// has one row for the upserts. A row whose count has fallen to 0 may stay.

#include <string>
#include <string_view>
#include <vector>

namespace ptolix::db::kept {

// Rows of a table per value of one of its columns, kept the same way for
// the paged lists of such rows: `table` (`key` primary key, Row_Count) kept
// by triggers named `prefix`_insert, _delete, _update (and _truncate) on
// `counted`.
struct KeyCount {
  const char* table;
  const char* counted;
  const char* key;
  const char* prefix;
};
inline constexpr KeyCount kRoleUsers = {"tPtlx_RoleUsers", "tPtlx_User", "Role_ID",
                                        "ptlx_kept_user"};
inline constexpr KeyCount kClassLinks = {"tLink_ClassLinks", "tLink_Detail", "LinkClass_ID",
                                         "ptlx_kept_link"};
inline constexpr KeyCount kKeyCounts[] = {kRoleUsers, kClassLinks};

// The kept number of rows of `k.counted` whose key is `value`: a number the
// caller has checked (Bare), or null, which no kept key equals, as no row's.
inline std::string RowsWithKey(const KeyCount& k, std::string_view value) {
  return std::string("select cast(coalesce(sum(Row_Count),0) as bigint) from ") + k.table +
         " where " + k.key + " = " + std::string(value);
}

// Outside 32 bits: no identifier or state a list names equals it.
inline constexpr char kNullNumber[] = "-1099511627776";
inline constexpr char kNullFlag[] = "''";

inline constexpr char kItemTable[] = "tPtlx_InfoCount";
inline constexpr char kPostTable[] = "tPtlx_PostCount";
inline constexpr char kPostsPerItemTable[] = "tPtlx_InfoPosts";
inline constexpr char kMarkTable[] = "tPtlx_CountMark";

// Key columns of the kept tables, comma-separated.
inline constexpr char kItemKeyColumns[] = "Sys_ID,WebSite_ID,Column_ID,InfState_ID,Info_IsDeleted";
inline constexpr char kPostKeyColumns[] =
    "Post_SysID,Post_ColumnID,Sys_ID,WebSite_ID,Column_ID,InfState_ID,Info_IsDeleted";

// A number column as kept: `row`.`column`, null as kNullNumber.
inline std::string Number(std::string_view row, std::string_view column) {
  return "coalesce(" + std::string(row) + "." + std::string(column) + "," + kNullNumber + ")";
}

// The item key of the item row named `row` ("new", "old", "i"): one
// expression per column of kItemKeyColumns, in its order.
inline std::vector<std::string> ItemKeyParts(std::string_view row) {
  return {Number(row, "Sys_ID"), Number(row, "WebSite_ID"), Number(row, "Column_ID"),
          Number(row, "InfState_ID"),
          "coalesce(" + std::string(row) + ".Info_IsDeleted," + kNullFlag + ")"};
}

// The same, comma-separated.
inline std::string ItemKey(std::string_view row) {
  std::string out;
  for (const auto& part : ItemKeyParts(row)) out += (out.empty() ? "" : ",") + part;
  return out;
}

// The key of a cross-post row `post` of the item row `item`, in the order of
// kPostKeyColumns.
inline std::string PostKey(std::string_view post, std::string_view item) {
  return Number(post, "Sys_ID") + "," + Number(post, "Column_ID") + "," + ItemKey(item);
}

}  // namespace ptolix::db::kept
