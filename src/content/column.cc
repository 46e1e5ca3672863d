#include "ptolix/content/column.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "frame/order_code.h"
#include "ptolix/db/connection.h"
#include "ptolix/frame/sql_text.h"

namespace ptolix {

namespace {

// The website filter of the lists: an empty website means -1, so only the
// columns of no website are listed.
std::string SiteValue(std::string_view pWebSite, std::string_view name) {
  return pWebSite.empty() ? std::string("-1") : std::string(Bare(pWebSite, name));
}

// The website clause of ModifyColumn and DeleteColumn: "1" stands for the
// columns of no website.
std::string SiteClause(std::string_view pWebSiteID) {
  if (pWebSiteID == "1") return " and WebSite_ID is null";
  return " and WebSite_ID = " + SqlValue(Bare(pWebSiteID, "pWebSiteID"));
}

// A number argument stored as a value: ParseLong's conversion, or null.
std::string NumberOrNull(std::string_view text) {
  return text.empty() ? std::string("null") : std::to_string(ParseLong(text));
}

std::string Text(const Variant& v) { return NullToEmpty(v); }

// Every column whose code has the length of `code` and the same parent part
// is a sibling (by code, so top-level columns of every system form one group
// and codes stay unique over the table). The siblings get fresh segments in
// their present order; each subtree follows its top. Rows are rewritten by
// identifier, so codes that are briefly equal never mix two subtrees.
void RespaceSiblings(db::Connection& conn, const std::string& code) {
  const size_t level = code.size() - kColumnCodeWidth;
  const std::string parent = code.substr(0, level);
  struct Row {
    int64_t id;
    std::string code;
  };
  std::vector<Row> rows;
  std::vector<std::string> segments;
  auto rs =
      conn.Execute("select Column_ID,Column_Order from tPtlx_Column where Column_Order like " +
                   SqlQuote(parent + "%") + " order by Column_Order");
  for (; !rs->IsEof(); rs->MoveNext()) {
    std::string c = Text(rs->Field("Column_Order"));
    if (c.size() < code.size()) continue;
    segments.push_back(c.substr(level, kColumnCodeWidth));
    rows.push_back({rs->Field("Column_ID").AsInt64(), c});
  }
  rs.reset();
  const std::map<std::string, std::string> spread = SpreadSegments(segments);
  for (const Row& r : rows) {
    std::string updated = parent + spread.at(r.code.substr(level, kColumnCodeWidth)) +
                          r.code.substr(level + kColumnCodeWidth);
    if (updated == r.code) continue;
    conn.ExecuteCommand("update tPtlx_Column set Column_Order = " + SqlQuote(updated) +
                        " where Column_ID = " + std::to_string(r.id));
  }
}

// Moving a column, with its subtree, directly before a target column as the
// target's sibling. MoveColumn runs the steps in order; identifiers are SQL
// values.
class ColumnMove {
 public:
  ColumnMove(db::Connection& conn, std::string sys, std::string id, std::string target_id)
      : conn_(conn), sys_(std::move(sys)), id_(std::move(id)), target_id_(std::move(target_id)) {}

  // Reads the target's parent and code; false when there is no target.
  bool ReadTarget() {
    auto target = conn_.Execute(PlaceSql(target_id_));
    if (target->IsEof()) return false;
    father_ = target->Field("Column_Father");
    target_code_ = Text(target->Field("Column_Order"));
    return true;
  }

  // Reads the moved column's code.
  void ReadMoved() { old_code_ = Text(conn_.Execute(PlaceSql(id_))->Field("Column_Order")); }

  // True when the target is the moved column or lies in its subtree.
  bool TargetInMovedSubtree() const {
    return !old_code_.empty() && target_code_.starts_with(old_code_);
  }
  bool TargetIsMoved() const { return target_code_ == old_code_; }

  // The new code sorts directly before the target's. When a column outside
  // the moved subtree holds it already, the target's siblings are respaced
  // and the codes read again.
  void ChooseCodeBeforeTarget() {
    if (target_code_.size() < kColumnCodeWidth) throw InvalidCall("pTargetID has no order code");
    new_code_ = CodeJustBefore(target_code_);
    if (!Taken(new_code_)) return;
    RespaceSiblings(conn_, target_code_);
    target_code_ = Text(conn_.Execute(PlaceSql(target_id_))->Field("Column_Order"));
    old_code_ = Text(conn_.Execute(PlaceSql(id_))->Field("Column_Order"));
    new_code_ = CodeJustBefore(target_code_);
    if (Taken(new_code_)) throw InvalidCall("no free order code before pTargetID");
  }

  // Gives the moved column the target's parent and the new code, and its
  // descendants (read while it still has its old code) the new prefix.
  void RewriteMovedSubtree() {
    struct Row {
      int64_t id;
      std::string code;
    };
    std::vector<Row> descendants;
    auto rs = conn_.Execute("select * from tPtlx_Column where Sys_ID = " + sys_ +
                            " and Column_Order like " +
                            "(select Column_Order+'%' from tPtlx_Column where Sys_ID = " + sys_ +
                            " and Column_ID = " + id_ + ")" + " and Column_ID <> " + id_);
    for (; !rs->IsEof(); rs->MoveNext()) {
      descendants.push_back({rs->Field("Column_ID").AsInt64(), Text(rs->Field("Column_Order"))});
    }
    rs.reset();
    conn_.ExecuteCommand("update tPtlx_Column set Column_Father = " +
                         (father_.IsNull() ? std::string("null") : father_.ToText()) +
                         ",Column_Order = " + SqlQuote(new_code_) + " where Column_ID = " + id_);
    for (const Row& d : descendants) {
      conn_.ExecuteCommand("update tPtlx_Column set Column_Order = " +
                           SqlQuote(MovedCode(d.code, old_code_, new_code_)) +
                           " where Column_ID = " + std::to_string(d.id));
    }
  }

 private:
  std::string PlaceSql(const std::string& id) const {
    return "select Column_Father,Column_Order from tPtlx_Column where Sys_ID = " + sys_ +
           " and Column_ID = " + id;
  }

  // True when a column outside the moved subtree has a code beginning with
  // `code`.
  bool Taken(const std::string& code) {
    std::string sql =
        "select Column_ID from tPtlx_Column where Column_Order like " + SqlQuote(code + "%");
    if (!old_code_.empty()) sql += " and not Column_Order like " + SqlQuote(old_code_ + "%");
    return !conn_.Execute(sql)->IsEof();
  }

  db::Connection& conn_;
  const std::string sys_, id_, target_id_;
  Variant father_;
  std::string target_code_, old_code_, new_code_;
};

}  // namespace

int32_t Column::AppendColumn(std::string_view pSysID, std::string_view pName,
                             std::string_view pDescription, std::string_view pUrl,
                             std::string_view pTarget, std::string_view pIcon,
                             std::string_view pSpecialIcon, std::string_view pWebSiteID,
                             std::string_view pFather) noexcept {
  int32_t id = 0;
  int32_t sys_id = 0;
  bool added = Guard<bool>([&] {
    sys_id = ParseLong(pSysID);
    std::string father = NumberOrNull(pFather);
    std::string website = NumberOrNull(pWebSiteID);
    // The row and its code are written together or not at all.
    db::RunAtomic(conn(), {db::locks::kColumnTree}, [&] {
      std::string parent_code;
      auto parent = conn().Execute("select * from tPtlx_Column where Column_ID = " + father);
      if (!parent->IsEof()) parent_code = Text(parent->Field("Column_Order"));
      parent.reset();
      int64_t new_id = conn().Insert(
          "insert into tPtlx_Column "
          "(Sys_ID,Column_Father,Column_Name,Column_Description,Column_Url,"
          "Column_Target,Column_Icon,Column_SpecialIcon,WebSite_ID) values (" +
              std::to_string(sys_id) + "," + father + "," + SqlQuote(pName, "pName") + "," +
              SqlQuote(pDescription, "pDescription") + "," + SqlQuote(pUrl, "pUrl") + "," +
              SqlQuote(pTarget, "pTarget") + "," + SqlQuote(pIcon, "pIcon") + "," +
              SqlQuote(pSpecialIcon, "pSpecialIcon") + "," + website + ")",
          "Column_ID");
      std::string code = parent_code + PaddedOrderCode(new_id, kColumnCodeWidth);
      conn().ExecuteCommand("update tPtlx_Column set Column_Order = " + SqlQuote(code) +
                            " where Column_ID = " + std::to_string(new_id));
      id = static_cast<int32_t>(new_id);
    });
    return true;
  });
  if (!added) return 0;
  // Role 1 (the administrators) may do everything in every new column. A
  // failure here is recorded by AddRoleAccess and the column stays.
  AddRoleAccess(std::to_string(sys_id), std::to_string(id), "1", "4");
  return id;
}

void Column::ModifyColumn(std::string_view pSysID, std::string_view pID, std::string_view pFather,
                          std::string_view pName, std::string_view pDescription,
                          std::string_view pOrder, std::string_view pUrl, std::string_view pTarget,
                          std::string_view pIcon, std::string_view pSpecialIcon,
                          std::string_view pWebSiteID) noexcept {
  Guard([&] {
    Command("update tPtlx_Column set Column_Father = " + SqlValue(Bare(pFather, "pFather")) +
            ",Column_Name = " + SqlQuote(pName, "pName") +
            ",Column_Description = " + SqlQuote(pDescription, "pDescription") + "," +
            "Column_Order = " + SqlQuote(pOrder, "pOrder") + ",Column_Url = " +
            SqlQuote(pUrl, "pUrl") + ",Column_Target = " + SqlQuote(pTarget, "pTarget") +
            ",Column_Icon = " + SqlQuote(pIcon, "pIcon") +
            ",Column_SpecialIcon = " + SqlQuote(pSpecialIcon, "pSpecialIcon") + " " +
            "where Sys_ID = " + SqlValue(Bare(pSysID, "pSysID")) +
            " and Column_ID = " + SqlValue(Bare(pID, "pID")) + SiteClause(pWebSiteID));
  });
}

void Column::DeleteColumn(std::string_view pSysID, std::string_view pID,
                          std::string_view pWebSiteID) noexcept {
  Guard([&] {
    Command("update tPtlx_Column set Column_IsDeleted = '1'" +
            std::string("where Column_Order like ") +
            "(select Column_Order+'%' from tPtlx_Column where Sys_ID = " +
            SqlValue(Bare(pSysID, "pSysID")) + " and Column_ID = " + SqlValue(Bare(pID, "pID")) +
            ")" + SiteClause(pWebSiteID));
  });
}

void Column::MoveColumn(std::string_view pSysID, std::string_view pID,
                        std::string_view pTargetID) noexcept {
  Guard([&] {
    std::string sys = SqlValue(Bare(pSysID, "pSysID"));
    std::string id = SqlValue(Bare(pID, "pID"));
    std::string target_id = SqlValue(Bare(pTargetID, "pTargetID"));
    ColumnMove move(conn(), sys, id, target_id);
    // Codes are read, compared and written under the tree's lock: two moves
    // before one target never both take the free code.
    db::RunAtomic(conn(), {db::locks::kColumnTree}, [&] {
      if (!move.ReadTarget()) {
        SetError(errors(), "目标栏目不存在。");
        return;
      }
      move.ReadMoved();
      if (move.TargetInMovedSubtree()) {
        // Before itself: already there. Inside its own subtree: the subtree
        // would become its own ancestor.
        if (!move.TargetIsMoved()) SetError(errors(), "不能将栏目移到其下级栏目处。");
        return;
      }
      move.ChooseCodeBeforeTarget();
      move.RewriteMovedSubtree();
    });
  });
}

ResultArray Column::GetColumnList(std::string_view pSysID, std::string_view pWebSite,
                                  std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    return ListQuery(
        "select * from tPtlx_Column where Sys_ID = " + SqlValue(Bare(pSysID, "pSysID")) +
            " and (WebSite_ID is null or WebSite_ID = " + SiteValue(pWebSite, "pWebSite") + ")" +
            " and Column_IsDeleted = '0' order by Column_Order",
        pCurPage);
  });
}

ResultArray Column::GetChildColumnList(std::string_view pSysID, std::string_view pWebSite,
                                       std::string_view pID, std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    std::string sql =
        "select * from tPtlx_Column where Sys_ID = " + SqlValue(Bare(pSysID, "pSysID")) +
        " and (WebSite_ID is null or WebSite_ID = " + SiteValue(pWebSite, "pWebSite") + ")";
    if (pID.empty()) {
      sql += " and Column_Father is null and Column_IsDeleted = '0' order by Column_Order";
    } else {
      sql += " and Column_Father = " + SqlValue(Bare(pID, "pID")) +
             " and Column_IsDeleted = '0' order by Column_Order";
    }
    return ListQuery(sql, pCurPage);
  });
}

ResultArray Column::GetChildrenColumnList(std::string_view pSysID, std::string_view pWebSite,
                                          std::string_view pID,
                                          std::string_view pCurPage) noexcept {
  return Guard<ResultArray>([&] {
    std::string sys = SqlValue(Bare(pSysID, "pSysID"));
    std::string id = SqlValue(Bare(pID, "pID"));
    return ListQuery(
        "select * from tPtlx_Column where Sys_ID = " + sys + " and Column_Order like " +
            "(select Column_Order from tPtlx_Column where Sys_ID = " + sys +
            " and Column_ID = " + id + ") + '%'" +
            " and (WebSite_ID is null or WebSite_ID = " + SiteValue(pWebSite, "pWebSite") + ")" +
            " and Column_ID <> " + id + " and Column_IsDeleted = '0' order by Column_Order",
        pCurPage);
  });
}

ResultArray Column::GetColumn(std::string_view pSysID, std::string_view pID) noexcept {
  return Guard<ResultArray>([&] {
    return SingleRow(
        "select * from tPtlx_Column where Sys_ID = " + SqlValue(Bare(pSysID, "pSysID")) +
        " and Column_ID = " + SqlValue(Bare(pID, "pID")));
  });
}

ResultArray Column::GetFatherColumn(std::string_view pSysID, std::string_view pID) noexcept {
  return Guard<ResultArray>([&] {
    return SingleRow(
        "select * from tPtlx_Column where Sys_ID = " + SqlValue(Bare(pSysID, "pSysID")) +
        " and Column_ID = (select Column_Father from tPtlx_Column where Column_ID = " +
        SqlValue(Bare(pID, "pID")) + ")");
  });
}

ResultArray Column::GetFatherColumnList(std::string_view pSysID, std::string_view pID) noexcept {
  return Guard<ResultArray>([&] {
    std::string sys = SqlValue(Bare(pSysID, "pSysID"));
    std::string code;
    auto rs = conn().Execute("select Column_Order from tPtlx_Column where Sys_ID = " + sys +
                             " and Column_ID = " + SqlValue(Bare(pID, "pID")));
    if (!rs->IsEof()) code = Text(rs->Field("Column_Order"));
    rs.reset();
    // The code and each of its ancestors' codes, then '' so the list is
    // never empty.
    std::string list;
    for (; code.size() >= kColumnCodeWidth; code.resize(code.size() - kColumnCodeWidth)) {
      list += SqlQuote(code) + ",";
    }
    list += "''";
    return UnpagedList("select * from tPtlx_Column where Sys_ID = " + sys +
                       " and Column_Order in (" + list + ") order by Column_Order");
  });
}

}  // namespace ptolix
