// Information items: the numbers of the paged lists, read from the counts
// the database keeps (db/kept_counts.h).
//
// An item is kept once, under its home (tPtlx_InfoCount); each cross-post
// row is kept with its own system and column and its item's home, state and
// flags (tPtlx_PostCount). A subtree's published list holds the items homed
// in it, plus those homed elsewhere with a cross-post into it, each once:
// the homed ones are a sum of item counts; the others a sum of pair counts
// that counts an item once per cross-post row into the subtree, less one
// for each row past the first. Only items with more than one cross-post row
// at all can have such rows; the kept tPtlx_InfoPosts finds them through an
// index of those alone, so the correction reads nothing on data where items
// are cross-posted once.

#include <string>

#include "content/information_sql.h"
#include "schema/states.h"

namespace ptolix::info_sql {

namespace {

std::string Subtree(const std::string& sys, const std::string& col) {
  return "(" + KeptPublishedColumns(sys, col) + ")";
}

std::string And(const std::string& condition) {
  return condition.empty() ? "" : " and " + condition;
}

// The kept sum as a whole number on every engine.
std::string Whole(const std::string& expression) {
  return "select cast(" + expression + " as bigint)";
}

// What pair sums count too often for items with more than one cross-post
// row: each row of such an item that `rows` selects, past the first, among
// items that `items` selects (each looked up by its key, so no list of the
// items is built).
std::string Twice(const std::string& rows, const std::string& items) {
  return "(select coalesce(sum(n - 1),0) from (select count(*) n from tPtlx_Info2Colu p where "
         "p.Info_ID in (select Info_ID from tPtlx_InfoPosts where Post_Count > 1) and " +
         rows + " and exists (select 1 from tPtlx_Information where Info_ID = p.Info_ID and " +
         items + ") group by p.Info_ID) ptlx_twice)";
}

}  // namespace

std::string KeptPublishedColumns(const std::string& sys, const std::string& col) {
  return "select Column_ID from tPtlx_Column where Sys_ID = " + sys + " and Column_Order like " +
         "(select Column_Order from tPtlx_Column where Sys_ID = " + sys +
         " and Column_ID = " + col + ") + '%'" + " and Column_IsDeleted = '0'";
}

std::string KeptItemCount(const std::string& condition) {
  return Whole("(select coalesce(sum(Info_Count),0) from tPtlx_InfoCount where " + condition + ")");
}

std::string KeptPublishedCount(const std::string& sys, const std::string& col,
                               const std::string& site, const std::string& home) {
  const std::string sub = Subtree(sys, col);
  const std::string live = "Sys_ID = " + sys + " and " + schema::kPublishedStates +
                           " and WebSite_ID = " + site + " and Info_IsDeleted = '0'";
  // A kept home that is null is a number no column has: "not in" holds for
  // it, as "is null" does for the item.
  return Whole(
      "(select coalesce(sum(Info_Count),0) from tPtlx_InfoCount where " + live +
      " and Column_ID in " + sub + And(home) +
      ") + (select coalesce(sum(Post_Count),0) from tPtlx_PostCount where Post_SysID = " + sys +
      " and Post_ColumnID in " + sub + " and " + live + " and not Column_ID in " + sub + And(home) +
      ") - " +
      Twice("p.Sys_ID = " + sys + " and p.Column_ID in " + sub,
            live + " and (Column_ID is null or not Column_ID in " + sub + ")" + And(home)));
}

std::string KeptCrossPostedCount(const std::string& sys, const std::string& col,
                                 const std::string& sys1, const std::string& col1) {
  const std::string item =
      "Sys_ID = " + sys + " and Column_ID = " + col + " and Info_IsDeleted = '0'";
  return Whole("(select coalesce(sum(Post_Count),0) from tPtlx_PostCount where Post_SysID = " +
               sys1 + " and Post_ColumnID = " + col1 + " and " + item + ") - " +
               Twice("p.Sys_ID = " + sys1 + " and p.Column_ID = " + col1, item));
}

}  // namespace ptolix::info_sql
