// Several page requests adding rows at the same time, each on its own
// connection to one shared database: every identifier, link number and order
// code they get must be distinct and every tree intact. Runs on an SQLite
// file (WAL) and, when PTOLIX_TEST_PG is set, on PostgreSQL.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <thread>

#include "fixture.h"

namespace ptolix {
namespace {

constexpr int kThreads = 4;
constexpr int kEach = 12;

std::vector<std::string> Databases() {
  std::vector<std::string> out = {"sqlite"};
  if (const char* pg = std::getenv("PTOLIX_TEST_PG"); pg && *pg) out.emplace_back(pg);
  return out;
}

class ConcurrencyTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam() == "sqlite") {
      char dir[] = "/tmp/ptolix-concurrency.XXXXXX";
      ASSERT_NE(mkdtemp(dir), nullptr);
      dir_ = dir;
      url_ = "sqlite:" + dir_ + "/ptolix.db";
    } else {
      url_ = GetParam();
      std::random_device rd;
      pg_schema_ = "c" + std::to_string(rd()) + std::to_string(rd());
    }
    if (!pg_schema_.empty()) db::Connect(url_)->backend().Execute("create schema " + pg_schema_);
    main_ = Open();
    schema::CreateSchema(*main_);
    Exec("insert into tPtlx_System (Sys_Name) values ('main')");
    Exec(
        "insert into tPtlx_Column (Sys_ID, Column_Name, Column_Order) values (1, 'news', "
        "'FFFFFFFE')");
    Exec(
        "insert into tLink_Class (LinkClass_ChineseName, LinkClass_EnglishName) values "
        "('友情链接', 'friends')");
  }

  void TearDown() override {
    if (!pg_schema_.empty() && main_) {
      try {
        main_->backend().Execute("drop schema " + pg_schema_ + " cascade");
      } catch (...) {
      }
    }
    main_.reset();
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  // A connection of its own, as each page request has.
  std::shared_ptr<db::Connection> Open() {
    auto conn = db::Connect(url_);
    if (!pg_schema_.empty()) conn->backend().Execute("set search_path to " + pg_schema_);
    return conn;
  }

  void Exec(const std::string& sql) { main_->backend().Execute(main_->RewriteFor(sql).text); }
  int64_t Number(const std::string& sql) { return main_->Execute(sql)->Field(0).AsInt64(); }

  // Skips the test when the class has no such method yet.
  bool Has(const std::string& class_name, const std::string& method) {
    auto obj = GlobalRegistry().CreateObject("Corvane_Ptolix." + class_name);
    return obj->info().FindMethod(method) != nullptr;
  }

  // Runs `call` kEach times on each of kThreads threads, each with its own
  // connection and object; returns what the calls returned and any Errors.
  std::vector<std::string> RunAll(const std::string& class_name,
                                  const std::function<Variant(Object&, int, int)>& call,
                                  std::string* errors) {
    std::vector<std::vector<std::string>> results(kThreads);
    std::vector<std::string> thread_errors(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        try {
          auto obj = GlobalRegistry().CreateObject("Corvane_Ptolix." + class_name);
          obj->PutConnection(Open());
          for (int i = 0; i < kEach; ++i) results[t].push_back(call(*obj, t, i).ToText());
          thread_errors[t] = obj->Get("Errors").ToText();
        } catch (const std::exception& e) {
          thread_errors[t] = e.what();
        }
      });
    }
    for (auto& th : threads) th.join();
    std::vector<std::string> all;
    for (int t = 0; t < kThreads; ++t) {
      all.insert(all.end(), results[t].begin(), results[t].end());
      *errors += thread_errors[t];
    }
    return all;
  }

  std::string url_, dir_, pg_schema_;
  std::shared_ptr<db::Connection> main_;
};

size_t Distinct(const std::vector<std::string>& v) {
  return std::set<std::string>(v.begin(), v.end()).size();
}

TEST_P(ConcurrencyTest, RolesUnderOneFather) {
  if (!Has("Role", "AppendRole")) GTEST_SKIP() << "Role has no AppendRole yet";
  std::string errors;
  auto ids = RunAll(
      "Role",
      [](Object& r, int t, int i) {
        return r.Call("AppendRole",
                      {"r" + std::to_string(t) + "_" + std::to_string(i), "", "1", ""});
      },
      &errors);
  EXPECT_EQ(errors, "");
  EXPECT_EQ(Distinct(ids), static_cast<size_t>(kThreads * kEach));
  EXPECT_EQ(std::count(ids.begin(), ids.end(), "0"), 0) << "a call failed";
  EXPECT_EQ(Number("select count(*) from tPtlx_Role where Role_Father = 1"), kThreads * kEach);
  EXPECT_EQ(Number("select count(distinct Role_Order) from tPtlx_Role"), kThreads * kEach + 1);
  // Every child's code is its father's followed by one segment.
  EXPECT_EQ(
      Number("select count(*) from tPtlx_Role c, tPtlx_Role f where c.Role_Father = f.Role_ID and "
             "(c.Role_Order is null or c.Role_Order not like f.Role_Order + '%' or "
             "len(c.Role_Order) <> len(f.Role_Order) + 4)"),
      0);
}

TEST_P(ConcurrencyTest, LinksInOneClass) {
  if (!Has("Link", "AppendLink")) GTEST_SKIP() << "Link has no AppendLink yet";
  std::string errors;
  RunAll(
      "Link",
      [](Object& l, int t, int i) {
        l.Call("AppendLink", {"1", "link " + std::to_string(t) + "_" + std::to_string(i), "",
                              "http://example.com/", "", "", "", ""});
        return Variant("");
      },
      &errors);
  EXPECT_EQ(errors, "");
  EXPECT_EQ(Number("select count(*) from tLink_Detail where LinkClass_ID = 1"), kThreads * kEach);
  EXPECT_EQ(Number("select count(distinct Link_ID) from tLink_Detail where LinkClass_ID = 1"),
            kThreads * kEach);
  EXPECT_EQ(Number("select count(distinct Link_Order) from tLink_Detail where LinkClass_ID = 1"),
            kThreads * kEach);
  EXPECT_EQ(Number("select min(Link_ID) from tLink_Detail"), 1);
  EXPECT_EQ(Number("select max(Link_ID) from tLink_Detail"), kThreads * kEach);
}

TEST_P(ConcurrencyTest, ItemsUnderOneColumn) {
  if (!Has("Information", "AppendInfo")) GTEST_SKIP() << "Information has no AppendInfo yet";
  std::string errors;
  auto ids = RunAll(
      "Information",
      [](Object& info, int t, int i) {
        return info.Call("AppendInfo", {"1", "1", "author", "1",
                                        "item " + std::to_string(t) + "_" + std::to_string(i),
                                        "text", "", "", "", "1"});
      },
      &errors);
  EXPECT_EQ(errors, "");
  EXPECT_EQ(Distinct(ids), static_cast<size_t>(kThreads * kEach));
  EXPECT_EQ(std::count(ids.begin(), ids.end(), ""), 0) << "a call failed";
  EXPECT_EQ(Number("select count(*) from tPtlx_Information where Column_ID = 1"), kThreads * kEach);
  EXPECT_EQ(Number("select count(distinct Info_Order) from tPtlx_Information"), kThreads * kEach);
  EXPECT_EQ(Number("select count(*) from tPtlx_Information where Info_Order is null"), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, ConcurrencyTest, ::testing::ValuesIn(Databases()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param == "sqlite" ? std::string("sqlite")
                                                         : std::string("postgres");
                         });

}  // namespace
}  // namespace ptolix
