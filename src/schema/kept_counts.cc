// The kept counts of the paged lists: how they are filled from the
// rows, and how they are checked against a real count and rebuilt.

#include "schema/kept_counts.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "db/atomic.h"
#include "db/backend.h"
#include "db/kept_counts.h"
#include "ptolix/schema/schema.h"

namespace ptolix::schema {

namespace {

namespace kept = db::kept;

struct KeptTable {
  std::string name;
  std::string keys;   // key columns, comma-separated
  std::string count;  // the count column
  int key_count;
  // The real counts, keys then count; `where` a condition on the rows
  // read ("" for none).
  std::function<std::string(const std::string& where)> real;
};

std::string Where(const std::string& where) { return where.empty() ? "" : " where " + where; }

std::string RealItemCounts(const std::string& where) {
  return "select " + kept::ItemKey("i") + ",count(*) from tPtlx_Information i" + Where(where) +
         " group by 1,2,3,4,5";
}

std::string RealPostCounts(const std::string& where) {
  return "select " + kept::PostKey("p", "i") +
         ",count(*) from tPtlx_Info2Colu p join tPtlx_Information i on i.Info_ID = p.Info_ID" +
         Where(where) + " group by 1,2,3,4,5,6,7";
}

std::string RealPostsPerItem(const std::string& where) {
  return "select p.Info_ID,count(*) from tPtlx_Info2Colu p where p.Info_ID is not null" +
         (where.empty() ? "" : " and " + where) + " group by 1";
}

const std::vector<KeptTable>& KeptTables() {
  static const std::vector<KeptTable> tables = [] {
    std::vector<KeptTable> out = {
        {kept::kItemTable, kept::kItemKeyColumns, "Info_Count", 5, RealItemCounts},
        {kept::kPostTable, kept::kPostKeyColumns, "Post_Count", 7, RealPostCounts},
        {kept::kPostsPerItemTable, "Info_ID", "Post_Count", 1, RealPostsPerItem},
    };
    for (const kept::KeyCount& k : kept::kKeyCounts) {
      out.push_back({k.table, k.key, "Row_Count", 1, [k](const std::string& where) {
                       return "select " + kept::Number("r", k.key) + ",count(*) from " + k.counted +
                              " r" + Where(where) + " group by 1";
                     }});
    }
    return out;
  }();
  return tables;
}

std::string Refill(const KeptTable& t, const std::string& where) {
  return "insert into " + t.name + " (" + t.keys + "," + t.count + ") " + t.real(where);
}

// A key as text: fields joined by "|", blanks at the end of a flag cut (a
// fixed-width flag comes back padded on some engines).
std::string KeyText(const std::vector<Variant>& row, int key_count) {
  std::string key;
  for (int i = 0; i < key_count; ++i) {
    std::string v = row[i].IsNull() ? "null" : ToDisplay(row[i]);
    while (!v.empty() && v.back() == ' ') v.pop_back();
    if (v == kept::kNullNumber) v = "null";
    key += (i ? "|" : "") + v;
  }
  return key;
}

std::map<std::string, int64_t> ReadCounts(db::Backend& backend, const std::string& sql,
                                          int key_count) {
  std::map<std::string, int64_t> counts;
  auto cursor = backend.Query(sql);
  std::vector<Variant> row;
  while (cursor->Fetch(&row)) {
    int64_t n = row[key_count].AsInt64();
    if (n != 0) counts[KeyText(row, key_count)] += n;
  }
  return counts;
}

void Compare(const KeptTable& t, const std::map<std::string, int64_t>& kept,
             const std::map<std::string, int64_t>& real, std::vector<KeptCountDifference>* out) {
  auto k = kept.begin();
  auto r = real.begin();
  while (k != kept.end() || r != real.end()) {
    if (r == real.end() || (k != kept.end() && k->first < r->first)) {
      out->push_back({t.name, t.keys, k->first, k->second, 0});
      ++k;
    } else if (k == kept.end() || r->first < k->first) {
      out->push_back({t.name, t.keys, r->first, 0, r->second});
      ++r;
    } else {
      if (k->second != r->second) out->push_back({t.name, t.keys, k->first, k->second, r->second});
      ++k;
      ++r;
    }
  }
}

}  // namespace

std::vector<std::string> KeptCountStatements(const db::Engine& engine) {
  std::vector<std::string> out = engine.KeptCountStatements();
  for (const KeptTable& t : KeptTables())
    out.push_back(Refill(t, "not exists (select 1 from " + t.name + ")"));
  if (std::string redrawn = engine.KeptCountsRedrawn(); !redrawn.empty()) out.push_back(redrawn);
  return out;
}

std::vector<KeptCountDifference> CheckKeptCounts(db::Connection& connection, bool repair) {
  db::Transaction tx(connection);
  db::Backend& backend = db::BackendOf(connection);
  if (std::string freeze = db::EngineOf(connection).KeptCountsFreeze(); !freeze.empty())
    backend.Execute(freeze);
  std::vector<KeptCountDifference> found;
  for (const KeptTable& t : KeptTables()) {
    auto kept =
        ReadCounts(backend, "select " + t.keys + "," + t.count + " from " + t.name, t.key_count);
    auto real = ReadCounts(backend, t.real(""), t.key_count);
    size_t before = found.size();
    Compare(t, kept, real, &found);
    if (repair && found.size() > before) {
      backend.Execute("delete from " + t.name);
      backend.Execute(Refill(t, ""));
    }
  }
  const std::string redrawn = db::EngineOf(connection).KeptCountsRedrawn();
  if (repair && !found.empty() && !redrawn.empty()) backend.Execute(redrawn);
  if (repair) tx.Commit();
  return found;
}

}  // namespace ptolix::schema
