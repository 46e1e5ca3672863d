#include "ptolix/content/column.h"

#include <fmt/format.h>

#include <map>
#include <string>
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
              std::to_string(sys_id) + "," + father + "," + SqlQuote(pName) + "," +
              SqlQuote(pDescription) + "," + SqlQuote(pUrl) + "," + SqlQuote(pTarget) + "," +
              SqlQuote(pIcon) + "," + SqlQuote(pSpecialIcon) + "," + website + ")",
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
            ",Column_Name = " + SqlQuote(pName) +
            ",Column_Description = " + SqlQuote(pDescription) + "," +
            "Column_Order = " + SqlQuote(pOrder) + ",Column_Url = " + SqlQuote(pUrl) +
            ",Column_Target = " + SqlQuote(pTarget) + ",Column_Icon = " + SqlQuote(pIcon) +
            ",Column_SpecialIcon = " + SqlQuote(pSpecialIcon) + " " +
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
    // Codes are read, compared and written under the tree's lock: two moves
    // before one target never both take the free code.
    db::RunAtomic(conn(), {db::locks::kColumnTree}, [&] {
      std::string target_sql =
          "select Column_Father,Column_Order from tPtlx_Column where Sys_ID = " + sys +
          " and Column_ID = " + target_id;
      auto target = conn().Execute(target_sql);
      if (target->IsEof()) {
        SetError(errors(), "目标栏目不存在。");
        return;
      }
      Variant father = target->Field("Column_Father");
      std::string target_code = Text(target->Field("Column_Order"));
      target.reset();

      std::string moved_sql =
          "select Column_Father,Column_Order from tPtlx_Column where Sys_ID = " + sys +
          " and Column_ID = " + id;
      std::string old_code = Text(conn().Execute(moved_sql)->Field("Column_Order"));
      if (!old_code.empty() && target_code.starts_with(old_code)) {
        // Before itself: already there. Inside its own subtree: the subtree
        // would become its own ancestor.
        if (target_code != old_code) SetError(errors(), "不能将栏目移到其下级栏目处。");
        return;
      }
      if (target_code.size() < kColumnCodeWidth) throw InvalidCall("pTargetID has no order code");

      // The new code is the target's with a smaller last digit, so the moved
      // column sorts directly before the target. When another column (outside
      // the moved subtree) holds it already, space the target's siblings out.
      auto before = [](const std::string& code) {
        int digit = std::stoi(code.substr(code.size() - 1), nullptr, 16);
        return code.substr(0, code.size() - 1) + fmt::format("{:X}", digit / 2);
      };
      std::string new_code = before(target_code);
      auto taken = [&](const std::string& code) {
        std::string sql =
            "select Column_ID from tPtlx_Column where Column_Order like " + SqlQuote(code + "%");
        if (!old_code.empty()) sql += " and not Column_Order like " + SqlQuote(old_code + "%");
        return !conn().Execute(sql)->IsEof();
      };
      if (taken(new_code)) {
        RespaceSiblings(target_code);
        target_code = Text(conn().Execute(target_sql)->Field("Column_Order"));
        old_code = Text(conn().Execute(moved_sql)->Field("Column_Order"));
        new_code = before(target_code);
        if (taken(new_code)) throw InvalidCall("no free order code before pTargetID");
      }

      // The descendants, read while the moved column still has its old code.
      struct Row {
        int64_t id;
        std::string code;
      };
      std::vector<Row> descendants;
      auto rs = conn().Execute("select * from tPtlx_Column where Sys_ID = " + sys +
                               " and Column_Order like " +
                               "(select Column_Order+'%' from tPtlx_Column where Sys_ID = " + sys +
                               " and Column_ID = " + id + ")" + " and Column_ID <> " + id);
      for (; !rs->IsEof(); rs->MoveNext()) {
        descendants.push_back({rs->Field("Column_ID").AsInt64(), Text(rs->Field("Column_Order"))});
      }
      rs.reset();

      conn().ExecuteCommand("update tPtlx_Column set Column_Father = " +
                            (father.IsNull() ? std::string("null") : father.ToText()) +
                            ",Column_Order = " + SqlQuote(new_code) + " where Column_ID = " + id);
      for (const Row& d : descendants) {
        conn().ExecuteCommand("update tPtlx_Column set Column_Order = " +
                              SqlQuote(new_code + d.code.substr(old_code.size())) +
                              " where Column_ID = " + std::to_string(d.id));
      }
    });
  });
}

// Every column whose code has the length of `code` and the same parent part
// is a sibling (by code, so top-level columns of every system form one group
// and codes stay unique over the table). The siblings get segments spread
// evenly over the segment range, each ending in F, in their present order;
// each subtree follows its top. Rows are rewritten by identifier, so codes
// that are briefly equal never mix two subtrees.
void Column::RespaceSiblings(const std::string& code) {
  const size_t level = code.size() - kColumnCodeWidth;
  const std::string parent = code.substr(0, level);
  struct Row {
    int64_t id;
    std::string code;
  };
  std::vector<Row> rows;
  std::map<std::string, std::string> segments;  // old segment -> new, in code order
  auto rs =
      conn().Execute("select Column_ID,Column_Order from tPtlx_Column where Column_Order like " +
                     SqlQuote(parent + "%") + " order by Column_Order");
  for (; !rs->IsEof(); rs->MoveNext()) {
    std::string c = Text(rs->Field("Column_Order"));
    if (c.size() < code.size()) continue;
    segments[c.substr(level, kColumnCodeWidth)];
    rows.push_back({rs->Field("Column_ID").AsInt64(), c});
  }
  rs.reset();
  const uint64_t step = 0x10000000ULL / (segments.size() + 1);
  uint64_t rank = 0;
  for (auto& [old_segment, new_segment] : segments) {
    new_segment = fmt::format("{:08X}", ((++rank) * step) * 16 + 15);
  }
  for (const Row& r : rows) {
    std::string updated = parent + segments[r.code.substr(level, kColumnCodeWidth)] +
                          r.code.substr(level + kColumnCodeWidth);
    if (updated == r.code) continue;
    conn().ExecuteCommand("update tPtlx_Column set Column_Order = " + SqlQuote(updated) +
                          " where Column_ID = " + std::to_string(r.id));
  }
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
