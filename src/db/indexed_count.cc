// Counts read through a substring index that keeps copies (SubstringTally):
// the index's keys change only when the index is brought up to date, so a
// connection keeps them while the index's mark stays, whatever else is
// written meanwhile. Where the engine logs the keys written, the kept keys
// follow the log instead: those written since are looked at again.

#include <algorithm>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/backend.h"
#include "db/rewriter.h"
#include "db/substring_index.h"
#include "ptolix/db/connection.h"

namespace ptolix::db {

namespace {

// Keys kept in full for a logging engine, at most: a search matching more
// is read again on every call.
constexpr size_t kKeysFollowed = 20000;

// A mark as text; null (no mark drawn yet) is a mark too.
std::string MarkText(const Variant& v) { return v.IsNull() ? "null" : v.ToText(); }

// Makes `since` the moment that `tally.written` reads from, on the session.
void Remember(Backend& session, const SubstringTally& tally, const std::string& since) {
  std::string remember = tally.remember;
  remember.replace(remember.find("{since}"), 7, since);
  std::vector<Variant> row;
  session.Query(remember)->Fetch(&row);
}

// The keys joined by commas.
std::string Joined(const std::vector<int64_t>& keys) {
  std::string joined;
  for (int64_t k : keys) joined += (joined.empty() ? "" : ",") + std::to_string(k);
  return joined;
}

// The keys joined by commas ("null" for none) while they are few enough to
// list, else null.
std::shared_ptr<const std::string> Listed(const std::vector<int64_t>& keys) {
  if (keys.size() > IndexedCount::kListedKeys) return nullptr;
  return std::make_shared<const std::string>(keys.empty() ? "null" : Joined(keys));
}

// Brings `kept` up to date from the log: the mark, the keys written since
// the kept moment and the moment now in one statement, then, where keys
// were written, those of them whose rows meet the condition, by key.
// Nothing where the mark has moved.
template <typename Counted>
std::optional<IndexedCount> FollowLog(Backend& session, const SubstringTally& tally,
                                      const std::string& recheck, Counted& kept) {
  Remember(session, tally, kept.change);
  auto rs =
      session.Query("select 0, " + tally.mark + ", null union all select 1, null, ptlx_w.* from (" +
                    tally.written + ") ptlx_w union all select 3, " + tally.since + ", null");
  std::vector<Variant> row;
  std::string mark, since;
  std::vector<int64_t> written;
  while (rs->Fetch(&row)) {
    switch (row.at(0).AsInt64()) {
      case 0:
        mark = MarkText(row.at(1));
        break;
      case 3:
        since = row.at(1).ToText();
        break;
      default:
        written.push_back(row.at(2).AsInt64());
    }
  }
  if (mark != kept.token) return std::nullopt;
  if (!written.empty()) {
    std::sort(written.begin(), written.end());
    written.erase(std::unique(written.begin(), written.end()), written.end());
    std::vector<int64_t> meeting, stayed, now;
    auto met = session.Query(recheck + " and " + tally.key + " in (" + Joined(written) + ")");
    while (met->Fetch(&row)) meeting.push_back(row.at(0).AsInt64());
    std::sort(meeting.begin(), meeting.end());
    std::set_difference(kept.all.begin(), kept.all.end(), written.begin(), written.end(),
                        std::back_inserter(stayed));
    std::merge(stayed.begin(), stayed.end(), meeting.begin(), meeting.end(),
               std::back_inserter(now));
    kept.all = std::move(now);
    kept.rows = static_cast<int64_t>(kept.all.size());
    kept.keys = Listed(kept.all);
  }
  kept.change = since;
  return IndexedCount{kept.rows, kept.keys, kept.token};
}

}  // namespace

IndexedCount CountThroughIndex(Connection& conn, const SubstringTally& tally) {
  conn.Record(tally.keys);
  conn.Record(tally.rest);
  const std::string keys = RewriteFor(conn, tally.keys).text;
  const std::string rest = RewriteFor(conn, tally.rest).text;
  const bool logged = !tally.written.empty();
  Backend& session = *conn.Session();
  std::vector<Variant> row;
  if (auto it = conn.counts_.find(keys); it != conn.counts_.end()) {
    Connection::Counted& kept = it->second;
    if (logged) {
      conn.Record(tally.recheck);
      if (auto found = FollowLog(session, tally, RewriteFor(conn, tally.recheck).text, kept))
        return *found;
    } else {
      // The mark and the rest in one statement: the kept keys and the rest
      // are of one snapshot whenever the mark is the kept one.
      session.Query("select " + tally.mark + ", (" + rest + ")")->Fetch(&row);
      if (MarkText(row.at(0)) == kept.token) {
        return {kept.rows + row.at(1).AsInt64(), kept.keys, kept.token};
      }
    }
    conn.counts_.erase(it);
  }
  // Else the mark, the keys, the rest and the moment in one statement, in
  // that order (the mark and the moment texts, the others numbers, each in
  // a column of its own; the numbers' column typed before the moment's row).
  auto rs = session.Query("select 0, " + tally.mark +
                          ", null union all select 1, null, ptlx_keys.* from (" + keys +
                          ") ptlx_keys union all select 2, null, (" + rest +
                          ") union all select 3, " + (logged ? tally.since : "null") + ", null");
  Connection::Counted kept;
  int64_t rest_count = 0;
  // Kept in full only as far as they may be followed or listed.
  const size_t held = logged ? kKeysFollowed : IndexedCount::kListedKeys;
  while (rs->Fetch(&row)) {
    switch (row.at(0).AsInt64()) {
      case 0:
        kept.token = MarkText(row.at(1));
        break;
      case 3:
        kept.change = row.at(1).IsNull() ? "" : row.at(1).ToText();
        break;
      case 1:
        if (++kept.rows <= static_cast<int64_t>(held)) kept.all.push_back(row.at(2).AsInt64());
        break;
      default:
        rest_count = row.at(2).AsInt64();
    }
  }
  std::sort(kept.all.begin(), kept.all.end());
  if (kept.rows <= static_cast<int64_t>(IndexedCount::kListedKeys)) kept.keys = Listed(kept.all);
  IndexedCount found{kept.rows + rest_count, kept.keys, kept.token};
  if (!logged) {
    kept.all = {};
  } else if (kept.rows > static_cast<int64_t>(kKeysFollowed)) {
    return found;  // too many to follow: read again next time
  }
  if (conn.counts_.size() >= Connection::kCountsKept) conn.counts_.clear();
  conn.counts_[keys] = std::move(kept);
  return found;
}

bool IndexUnchanged(Connection& conn, const SubstringTally& tally, const IndexedCount& found) {
  // Kept keys that follow a log are a list of keys, not rows of the index:
  // a log cut since leaves them as they were at the count.
  if (!tally.written.empty()) return true;
  std::vector<Variant> row;
  BackendOf(conn).Query("select " + tally.mark)->Fetch(&row);
  return MarkText(row.at(0)) == found.mark;
}

}  // namespace ptolix::db
