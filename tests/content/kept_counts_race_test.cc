// Writers racing on one database, each on its own connection: appends,
// moves, reviews, deletions and cross-posts through the library and plain
// statements at once. No kept count may lose a change, and no writer may
// fail. Runs on an SQLite file (WAL) and, when PTOLIX_TEST_PG is set, on
// PostgreSQL.

#include <barrier>
#include <random>
#include <thread>

#include "db/backend.h"
#include "fixture.h"
#include "ptolix/connect.h"

namespace ptolix {
namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 30;

class KeptCountsRaceTest : public test::SharedDatabaseTest {
 protected:
  void SetUp() override {
    test::SharedDatabaseTest::SetUp();
    main_->ExecuteCommand(
        "insert into tPtlx_Column (Column_ID,Sys_ID,Column_Order,Column_IsDeleted) values "
        "(1,1,'FFFFFFEF','0'),(2,1,'FFFFFFEFFFFFFFEF','0'),(3,1,'FFFFFFDF','0')");
  }
};

// Every thread writes to the same few columns and states, so the triggers
// of all of them meet on the same kept rows.
TEST_P(KeptCountsRaceTest, ConcurrentWritersLoseNoChange) {
  std::barrier sync(kThreads);
  std::vector<std::string> errors(kThreads);
  std::vector<std::thread> pool;
  for (int t = 0; t < kThreads; ++t) {
    pool.emplace_back([&, t] {
      try {
        auto conn = Open();
        auto info = std::make_unique<Information>();
        info->SetConnection(conn);
        std::mt19937 rnd(t);
        std::vector<std::string> mine;
        sync.arrive_and_wait();
        for (int r = 0; r < kRounds; ++r) {
          std::string col = std::to_string(1 + rnd() % 3);
          std::string id = info->AppendInfo("1", col, "u", "1", "t", "c", "", "", "", "1");
          if (!id.empty()) mine.push_back(id);
          if (mine.empty()) continue;
          std::string some = mine[rnd() % mine.size()];
          switch (rnd() % 6) {
            case 0:
              info->AssessInfo("a", some, std::to_string(4 + rnd() % 3));
              break;
            case 1:
              info->MoveInfo(some, "1", std::to_string(1 + rnd() % 3));
              break;
            case 2:
              info->AddInfo2Column(some, "1", std::to_string(1 + rnd() % 3));
              break;
            case 3:
              info->DeleteInfo(some);
              break;
            case 4:
              conn->ExecuteCommand("update tPtlx_Information set InfState_ID = 4, Column_ID = " +
                                   col + " where Info_ID = " + some);
              break;
            default:
              conn->ExecuteCommand("delete from tPtlx_Info2Colu where Info_ID = " + some);
          }
        }
        errors[t] = info->Errors();
      } catch (const std::exception& e) {
        errors[t] = e.what();
      }
    });
  }
  for (auto& th : pool) th.join();
  for (const auto& e : errors) EXPECT_EQ(e, "");
  EXPECT_EQ(main_->Execute("select count(*) from tPtlx_Information")->Field(0).AsInt64(),
            kThreads * kRounds);
  for (const auto& d : schema::CheckKeptCounts(*main_, false))
    ADD_FAILURE() << d.table << " " << d.key << ": kept " << d.kept << ", counted " << d.real;
}

PTOLIX_BACKENDS(KeptCountsRaceTest);

}  // namespace
}  // namespace ptolix
