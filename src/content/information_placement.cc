// Information items: home column, cross-posting, and order among siblings.
//
// Item codes are 8-character hexadecimal segments, one per level of the
// Info_Father chain, and no two items share one. Moving an item gives it a
// new last segment between two neighbouring siblings and gives the items
// filed under it (by Info_Father) the new prefix, so they follow. Every move
// runs under the item tree's lock, so two moves never pick the same code.

#include <map>
#include <optional>
#include <vector>

#include "content/information_text.h"
#include "db/atomic.h"
#include "frame/guard.h"
#include "ptolix/content/information.h"
#include "ptolix/db/connection.h"
#include "value/order_code.h"
#include "value/sql_text.h"

namespace ptolix {

namespace {

constexpr char kAlreadyFirst[] = "信息位置已经在列表最前面，向前移动失败。";
constexpr char kAlreadyLast[] = "信息位置已经在列表最后面，向后移动失败。";

struct Sibling {
  int64_t id;
  std::string code;
};

}  // namespace

void Information::MoveInfo(std::string_view pID, std::string_view pSysID,
                           std::string_view pColumnID) noexcept {
  Guard([&] {
    std::string id = Bare(pID, "pID"), sys = Bare(pSysID, "pSysID");
    Command("update tPtlx_Information set Sys_ID = " + SqlValue(sys) + ",Column_ID = " +
            SqlValue(Bare(pColumnID, "pColumnID")) + " where Info_ID = " + SqlValue(id));
  });
}

void Information::AddInfo2Column(std::string_view pID, std::string_view pSysID,
                                 std::string_view pColumnID) noexcept {
  Guard([&] {
    std::string id = Bare(pID, "pID"), sys = Bare(pSysID, "pSysID");
    Command("insert into tPtlx_Info2Colu (Sys_ID,Column_ID,Info_ID) values(" + SqlValue(sys) + "," +
            SqlValue(Bare(pColumnID, "pColumnID")) + "," + SqlValue(id) + ")");
  });
}

void Information::RemoveFromColumn(std::string_view pID, std::string_view pSysID,
                                   std::string_view pColumnID) noexcept {
  Guard([&] {
    std::string id = Bare(pID, "pID"), sys = Bare(pSysID, "pSysID");
    Command("delete from tPtlx_Info2Colu where Sys_ID = " + SqlValue(sys) + " and Column_ID = " +
            SqlValue(Bare(pColumnID, "pColumnID")) + " and Info_ID = " + SqlValue(id));
  });
}

void Information::MoveUpInfo(std::string_view pWebSite, std::string_view pSysID,
                             std::string_view pColumnID, std::string_view pMode,
                             std::string_view pID) noexcept {
  Guard([&] { MoveInfoStep(pWebSite, pSysID, pColumnID, pMode, pID, true); });
}

void Information::MoveDownInfo(std::string_view pWebSite, std::string_view pSysID,
                               std::string_view pColumnID, std::string_view pMode,
                               std::string_view pID) noexcept {
  Guard([&] { MoveInfoStep(pWebSite, pSysID, pColumnID, pMode, pID, false); });
}

namespace {

// Gives every item whose code begins with `from` the prefix `to` instead.
// Returns the number of rows changed.
int64_t RewritePrefix(db::Connection& conn, const std::string& from, const std::string& to) {
  return conn.ExecuteCommand("update tPtlx_Information set Info_Order='" + to +
                             "'+right(Info_Order,len(Info_Order)-" + std::to_string(from.size()) +
                             ")" + "where Info_Order like '" + from + "%'");
}

// Gives item `id` (whose code is `from`) the code `to`, and the items filed
// under it (by Info_Father, at any depth, in any column) the prefix `to` in
// place of `from`; `to` must be free. Items that merely share the prefix
// keep their codes: after the prefix rewrite, the rows now under `to` are
// checked, unless the item was the only one, and any that is not filed under
// the item gets its code back. With unique codes that never happens, and the
// usual move (an item with nothing filed under it) costs no extra statement.
void RewriteSubtree(db::Connection& conn, int64_t id, const std::string& from,
                    const std::string& to) {
  if (RewritePrefix(conn, from, to) <= 1) return;
  std::map<int64_t, std::pair<int64_t, std::string>> rows;  // id -> father (0: none), code
  {
    auto rs = conn.Execute(
        "select Info_ID,Info_Father,Info_Order from tPtlx_Information where Info_Order like '" +
        to + "%'");
    for (; !rs->IsEof(); rs->MoveNext()) {
      rows[rs->Field(0).AsInt64()] = {rs->Field(1).IsNull() ? 0 : rs->Field(1).AsInt64(),
                                      NullToEmpty(rs->Field(2))};
    }
  }
  auto under = [&](int64_t item) {
    for (size_t steps = 0; steps <= rows.size(); ++steps) {
      if (item == id) return true;
      auto it = rows.find(item);
      if (it == rows.end()) return false;
      item = it->second.first;
    }
    return false;  // a loop of fathers
  };
  for (const auto& [item, row] : rows) {
    if (under(item)) continue;
    conn.ExecuteCommand("update tPtlx_Information set Info_Order = '" +
                        MovedCode(row.second, to, from) +
                        "' where Info_ID = " + std::to_string(item));
  }
}

// True when some item's code begins with `code`.
bool CodeInUse(db::Connection& conn, const std::string& code) {
  auto rs = conn.Execute("select top 1 Info_ID from tPtlx_Information where Info_Order like '" +
                         code + "%'");
  return !rs->IsEof();
}

// A code of `gap` that no item uses (nor begins with): the preferred one,
// else the nearest free one on either side. Nothing when the codes near the
// preferred one are all taken (codes of other columns, or a crowded gap).
std::optional<std::string> FreeCode(db::Connection& conn, const OrderCodeGap& gap) {
  for (uint64_t tail : gap.Candidates()) {
    if (!CodeInUse(conn, gap.Code(tail))) return gap.Code(tail);
  }
  return std::nullopt;
}

// Spreads the codes of one sibling level of a column evenly, keeping their
// order: every item of the column at that level takes part (whatever its
// state, deleted ones too, so no code is handed out twice), and the items
// filed under them follow. The spread covers the level's current range widened
// at both ends, or the whole segment range when that is too narrow.
void Respace(db::Connection& conn, const std::string& column_where, const std::string& prefix,
             size_t len) {
  std::vector<Sibling> level;
  {
    auto rs = conn.Execute("select Info_ID,Info_Order from tPtlx_Information where" + column_where +
                           " and Info_Order > '" + prefix + "' and Info_Order < '" + prefix +
                           "Z' and len(Info_Order) = " + std::to_string(len) +
                           " order by Info_Order,Info_ID");
    for (; !rs->IsEof(); rs->MoveNext())
      level.push_back({rs->Field(0).AsInt64(), NullToEmpty(rs->Field(1))});
  }
  if (level.empty()) return;
  std::vector<std::string> codes;
  for (const Sibling& s : level) codes.push_back(s.code);
  const LevelSpread spread = SpreadLevel(prefix, codes);

  // First every member moves to a temporary code, so the final codes never
  // meet a code still waiting to be rewritten. Members that share a code
  // are told apart by identifier.
  for (size_t i = 0; i < level.size(); ++i) {
    RewriteSubtree(conn, level[i].id, level[i].code, TemporaryCode(prefix, i));
  }
  for (size_t i = 0; i < level.size(); ++i) {
    std::string code = spread.Code(i);
    // Codes of other columns may lie in the range: step past them. When
    // every step is taken the move fails whole rather than share a code.
    for (uint64_t bump = 0; CodeInUse(conn, code);) {
      if (++bump >= spread.step)
        throw InvalidCall("no free order code to respace item " + std::to_string(level[i].id));
      code = spread.Code(i, bump);
    }
    RewriteSubtree(conn, level[i].id, TemporaryCode(prefix, i), code);
  }
}

}  // namespace

void Information::MoveInfoStep(std::string_view pWebSite, std::string_view pSysID,
                               std::string_view pColumnID, std::string_view pMode,
                               std::string_view pID, bool up) {
  std::string column_where = " WebSite_ID = " + SqlValue(Bare(pWebSite, "pWebSite")) +
                             " and Sys_ID = " + SqlValue(Bare(pSysID, "pSysID")) +
                             " and Column_ID = " + SqlValue(Bare(pColumnID, "pColumnID"));
  std::string where = column_where + ModeFilter(pMode) + " and Info_IsDeleted = '0'";
  std::string id = std::to_string(ParseLong(Bare(pID, "pID")));

  // The neighbours are read and the code chosen under the item tree's lock:
  // two moves into one gap at once take two codes.
  db::RunAtomic(conn(), {db::locks::kItemTree}, [&] {
    for (int attempt = 0;; ++attempt) {
      std::string cur;
      {
        auto rs = conn().Execute("select Info_ID,Info_Order from tPtlx_Information where" + where +
                                 " and Info_ID = " + id);
        if (rs->IsEof()) throw NoCurrentRecord();  // not in the column's list
        cur = NullToEmpty(rs->Field(1));
      }
      if (cur.size() < kInfoCodeWidth) throw InvalidCall("item " + id + " has no order code");
      std::string prefix = cur.substr(0, cur.size() - kInfoCodeWidth);
      std::string len = std::to_string(cur.size());

      // The two nearest siblings on the side of the move: same father code, same
      // length, visible in the list. Items that share a code are ordered by
      // identifier, as the list shows them.
      std::string sql = "select top 2 Info_ID,Info_Order from tPtlx_Information where" + where;
      if (up) {
        sql += " and Info_Order > '" + prefix + "' and Info_Order <= '" + cur +
               "' and len(Info_Order) = " + len + " and not (Info_Order = '" + cur +
               "' and Info_ID >= " + id + ") order by Info_Order desc,Info_ID desc";
      } else {
        sql += " and Info_Order >= '" + cur + "' and Info_Order < '" + prefix +
               "Z' and len(Info_Order) = " + len + " and not (Info_Order = '" + cur +
               "' and Info_ID <= " + id + ") order by Info_Order,Info_ID";
      }
      std::vector<Sibling> near;
      {
        auto rs = conn().Execute(sql);
        for (; !rs->IsEof(); rs->MoveNext())
          near.push_back({rs->Field(0).AsInt64(), NullToEmpty(rs->Field(1))});
      }
      if (near.empty()) {
        SetError(errors(), up ? kAlreadyFirst : kAlreadyLast);
        return;
      }

      std::optional<OrderCodeGap> gap =
          near[0].code == cur
              ? std::nullopt
              : GapBeside(near[0].code, near.size() > 1 ? &near[1].code : nullptr, up);
      std::optional<std::string> code = gap ? FreeCode(conn(), *gap) : std::nullopt;
      if (code) {
        RewriteSubtree(conn(), ParseLong(id), cur, *code);
        return;
      }
      if (attempt > 0)
        throw InvalidCall("no free order code beside item " + std::to_string(near[0].id));
      Respace(conn(), column_where, prefix, cur.size());
    }
  });
}

}  // namespace ptolix
