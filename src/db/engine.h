#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/atomic.h"
#include "db/substring_index.h"
#include "ptolix/db/connection.h"
#include "ptolix/db/dialect.h"

namespace ptolix::db {

class Backend;
class Ddl;
struct Catalog;
struct Statement;
using Pass = void (*)(Statement&);

// Everything that differs between database engines, answered by one object
// per engine folder (src/db/sqlite/, src/db/postgres/). A connection takes
// its engine once, when it opens; the rest of the library asks the engine
// and never which engine it is.
class Engine {
 public:
  virtual ~Engine() = default;

  // The engine's name as callers of the library see it.
  virtual Dialect dialect() const = 0;

  // True when `url` names a database of this engine.
  virtual bool Opens(std::string_view url) const = 0;
  // A backend on the database `url` names, which reads result names through
  // `catalog` (kept alive by the connection). Throws db::Error.
  virtual std::unique_ptr<Backend> Open(std::string_view url, const Catalog& catalog) const = 0;

  // How the engine declares tables.
  virtual const Ddl& ddl() const = 0;
  // The statements that create the helper functions the library's SQL uses
  // (getdate, len, right, match), for engines that keep them in the
  // database; empty where each connection registers its own.
  virtual std::vector<std::string> HelperFunctionStatements() const = 0;

  // The passes that turn SQL Server text into the engine's, in order.
  virtual const std::vector<Pass>& RewritePasses() const = 0;
  // True when `sql` (in the engine's dialect) returns rows.
  virtual bool ReturnsRows(std::string_view sql) const = 0;
  // The statement that inserts with `sql` and gives back the new row's
  // `id_column`, where the engine reports it through the statement itself;
  // `sql` unchanged where the engine reports the identity on its own.
  virtual std::string InsertReturning(std::string_view sql, std::string_view id_column) const = 0;

  // True when a page far down a list (or any page of a list filtered by a
  // sub-query) is cheaper read keys first: the page's keys from an index,
  // then its rows. An engine that visits every row an offset skips answers
  // true; one that skips them in the index already, false.
  virtual bool ReadsPagesKeysFirst() const = 0;
  // An order-by term for `column` that gives the same order but that no
  // index can deliver, for lists the engine would otherwise walk in index
  // order past most of their rows; `column` itself where the planner weighs
  // both ways on its own.
  virtual std::string UnindexedOrder(std::string_view column) const = 0;

  // The statement that begins a transaction.
  virtual std::string BeginText() const = 0;
  // What takes `held` for the rest of the transaction, appended to the
  // statement that opens it (a transaction or a savepoint).
  virtual std::string LockText(std::initializer_list<Lock> held) const = 0;
  // An expression whose value, outside a transaction, stays the same only
  // while the rows the connection sees do.
  virtual std::string ChangeToken() const = 0;

  // The statements that create `index` with what keeps it current on every
  // write, and fill it from the rows already there; run again, they change
  // nothing (an upgrade in place).
  virtual std::vector<std::string> SubstringIndexStatements(
      const SubstringIndexDef& index) const = 0;
  // A condition in the library's SQL on the rows of `index.table` that holds
  // for every row where each of the search's terms is found as like finds it (letter
  // case ignored on the index's columns), and for as few others as the
  // index can tell; empty where the index cannot narrow the search (words
  // too short for it). The callers keep their like conditions beside it.
  // The search's cluster value and condition may narrow the candidates
  // further; every row meeting the condition stays among them.
  virtual std::string SubstringCandidates(const SubstringIndexDef& index,
                                          const SubstringSearch& search) const = 0;
  // How the rows of `index.table` meeting `search.condition` (in the
  // cluster value given) are counted exactly from the index and its copies
  // (SubstringTally); empty where the engine has no such count (no copies
  // kept, or no condition given).
  virtual SubstringTally SubstringCount(const SubstringIndexDef& index,
                                        const SubstringSearch& search) const = 0;
  // What brings `index` up to date with the writes its triggers only noted;
  // empty where the index follows every write itself. Running the catch-up
  // at any time, on any connection, changes no search's rows.
  virtual SubstringUpkeep SubstringIndexUpkeep(const SubstringIndexDef& index) const = 0;
  // The statements that create the kept counts' tables (db/kept_counts.h)
  // and the triggers that keep them; running them again changes nothing.
  virtual std::vector<std::string> KeptCountStatements() const = 0;
  // A statement that holds off every writer of the items and their
  // cross-posts until the transaction ends; empty where an open write
  // transaction already does.
  virtual std::string KeptCountsFreeze() const = 0;
  // An expression whose value, outside a transaction, stays the same while
  // the kept counts of the columns that `columns` (a query of column
  // identities, in the engine's SQL) selects stay, and while it selects the
  // same ones: kept::kMarkTable where the engine keeps it, ChangeToken()
  // where it does not.
  virtual std::string KeptCountsMark(const std::string& columns) const = 0;
  // The statement that moves every KeptCountsMark, run after the kept rows
  // are filled again; empty where ChangeToken() serves.
  virtual std::string KeptCountsRedrawn() const = 0;
};

// The engine table: the engine whose databases `url` names, or nullptr.
const Engine* EngineForUrl(std::string_view url);
// The engine behind `dialect` (tests, benchmarks and tools that build
// statements for an engine without a connection).
const Engine& EngineFor(Dialect dialect);

// True when the first word of `sql`, after blanks and opening parentheses,
// is one of `words` (letter case ignored).
bool FirstWordIs(std::string_view sql, std::initializer_list<std::string_view> words);

}  // namespace ptolix::db
