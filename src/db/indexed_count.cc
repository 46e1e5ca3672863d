// Counts read through a substring index that keeps copies (SubstringTally):
// the index's keys change only when the index is brought up to date, so a
// connection keeps them while the index's mark stays, whatever else is
// written meanwhile.

#include <memory>
#include <string>
#include <vector>

#include "db/backend.h"
#include "db/rewriter.h"
#include "db/substring_index.h"
#include "ptolix/db/connection.h"

namespace ptolix::db {

namespace {

// A mark as text; null (no mark drawn yet) is a mark too.
std::string MarkText(const Variant& v) { return v.IsNull() ? "null" : v.ToText(); }

}  // namespace

IndexedCount CountThroughIndex(Connection& conn, const SubstringTally& tally) {
  conn.Record(tally.keys);
  conn.Record(tally.rest);
  const std::string keys = RewriteFor(conn, tally.keys).text;
  const std::string rest = RewriteFor(conn, tally.rest).text;
  Backend& session = *conn.Session();
  std::vector<Variant> row;
  // The mark and the rest in one statement: the kept keys and the rest are
  // of one snapshot whenever the mark is the kept one.
  if (auto it = conn.counts_.find(keys); it != conn.counts_.end()) {
    session.Query("select " + tally.mark + ", (" + rest + ")")->Fetch(&row);
    const Connection::Counted& kept = it->second;
    if (MarkText(row.at(0)) == kept.token) {
      return {kept.rows + row.at(1).AsInt64(), kept.keys, kept.token};
    }
    conn.counts_.erase(it);
  }
  // Else the mark, the keys and the rest in one statement, in that order
  // (the mark a text, the others numbers, each in a column of its own).
  auto rs = session.Query("select 0, " + tally.mark +
                          ", null union all select 1, null, ptlx_keys.* from (" + keys +
                          ") ptlx_keys union all select 2, null, (" + rest + ")");
  Connection::Counted kept;
  auto listed = std::make_shared<std::string>();
  int64_t rest_count = 0;
  while (rs->Fetch(&row)) {
    switch (row.at(0).AsInt64()) {
      case 0:
        kept.token = MarkText(row.at(1));
        break;
      case 1:
        if (++kept.rows <= static_cast<int64_t>(IndexedCount::kListedKeys))
          *listed += (listed->empty() ? "" : ",") + std::to_string(row.at(2).AsInt64());
        break;
      default:
        rest_count = row.at(2).AsInt64();
    }
  }
  if (kept.rows <= static_cast<int64_t>(IndexedCount::kListedKeys)) {
    if (listed->empty()) *listed = "null";
    kept.keys = std::move(listed);
  }
  if (conn.counts_.size() >= Connection::kCountsKept) conn.counts_.clear();
  IndexedCount found{kept.rows + rest_count, kept.keys, kept.token};
  conn.counts_[keys] = std::move(kept);
  return found;
}

bool IndexUnchanged(Connection& conn, const SubstringTally& tally, const IndexedCount& found) {
  std::vector<Variant> row;
  BackendOf(conn).Query("select " + tally.mark)->Fetch(&row);
  return MarkText(row.at(0)) == found.mark;
}

}  // namespace ptolix::db
