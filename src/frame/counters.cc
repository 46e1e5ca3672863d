#include "ptolix/frame/counters.h"

#include "ptolix/db/connection.h"
#include "ptolix/db/error.h"
#include "ptolix/frame/errors.h"
#include "ptolix/frame/sql_text.h"

namespace ptolix {

int32_t NextEncodeValue(std::string_view table, std::string_view column, std::string_view identify,
                        db::Connection* connection, std::string& errors) noexcept {
  return Guarded<int32_t>(errors, [&]() -> int32_t {
    if (!connection) throw ObjectNotSet();
    if (identify.empty()) throw TypeMismatch("the counter's scope is empty");
    std::string where = " where tEncode_Table = " + SqlQuote(table) +
                        " and tEncode_Column = " + SqlQuote(column) +
                        " and tEncode_Identify = " + std::string(Bare(identify, "identify"));
    // Update first: it takes the row's write lock, so a second writer waits
    // and then sees the advanced value. A missing row is created at 1; if
    // another writer created it in the meantime, the insert breaks the key
    // and the update is tried again.
    // The counters' lock makes the first use of a scope safe too: no two
    // writers both find the row missing.
    return db::RunAtomic(*connection, {db::locks::kCounters}, [&]() -> int32_t {
      for (int attempt = 0;; ++attempt) {
        if (connection->ExecuteCommand(
                "update tEncode_Manager set tEncode_Counter = tEncode_Counter + 1" + where) == 0) {
          try {
            db::Transaction insert(*connection);
            connection->ExecuteCommand(
                "insert into tEncode_Manager "
                "(tEncode_Table,tEncode_Column,tEncode_Identify,tEncode_Counter) "
                "values (" +
                SqlQuote(table) + "," + SqlQuote(column) + "," + std::string(identify) + ",1)");
            insert.Commit();
          } catch (const db::Error& e) {
            if (attempt < 3 && !e.Lost()) continue;
            throw;
          }
        }
        auto rs = connection->Execute("select tEncode_Counter from tEncode_Manager" + where);
        const Variant& value = rs->Field(0);
        if (value.IsNull()) throw TypeMismatch("the counter is null");
        int32_t result = value.ToLong();
        rs.reset();
        return result;
      }
    });
  });
}

}  // namespace ptolix
