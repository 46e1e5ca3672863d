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
    if (row.at(0).ToText() == kept.token) {
      return {kept.rows + row.at(1).AsInt64(), kept.keys, kept.token};
    }
    conn.counts_.erase(it);
  }
  // Else the mark, the keys and the rest in one statement, in that order.
  auto rs = session.Query("select 0, " + tally.mark + " union all select 1, ptlx_keys.* from (" +
                          keys + ") ptlx_keys union all select 2, (" + rest + ")");
  Connection::Counted kept;
  auto listed = std::make_shared<std::vector<int64_t>>();
  int64_t rest_count = 0;
  while (rs->Fetch(&row)) {
    switch (row.at(0).AsInt64()) {
      case 0:
        kept.token = row.at(1).ToText();
        break;
      case 1:
        if (++kept.rows <= static_cast<int64_t>(IndexedCount::kListedKeys))
          listed->push_back(row.at(1).AsInt64());
        break;
      default:
        rest_count = row.at(1).AsInt64();
    }
  }
  if (kept.rows <= static_cast<int64_t>(IndexedCount::kListedKeys)) kept.keys = std::move(listed);
  if (conn.counts_.size() >= Connection::kCountsKept) conn.counts_.clear();
  IndexedCount found{kept.rows + rest_count, kept.keys, kept.token};
  conn.counts_[keys] = std::move(kept);
  return found;
}

bool IndexUnchanged(Connection& conn, const SubstringTally& tally, const IndexedCount& found) {
  std::vector<Variant> row;
  BackendOf(conn).Query("select " + tally.mark)->Fetch(&row);
  return row.at(0).ToText() == found.mark;
}

}  // namespace ptolix::db
