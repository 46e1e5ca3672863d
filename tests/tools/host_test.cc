// Drives `ptolix host` as another program would: JSON requests on standard
// input, one response per line on standard output.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace {

using nlohmann::json;

std::vector<json> RunHost(const std::vector<std::string>& requests, const std::string& options = "") {
  auto dir = std::filesystem::temp_directory_path() / ("ptolix_host_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "in") << [&] {
    std::string all;
    for (const auto& r : requests) all += r + "\n";
    return all;
  }();
  std::string cmd = std::string(PTOLIX_TOOL_PATH) + " host " + options + " < " + (dir / "in").string() + " > " +
                    (dir / "out").string();
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream out(dir / "out");
  std::vector<json> responses;
  for (std::string line; std::getline(out, line);) responses.push_back(json::parse(line));
  std::filesystem::remove_all(dir);
  return responses;
}

TEST(Host, EveryOpInOneSession) {
  auto r = RunHost({
      R"({"op":"open","conn":"c","url":"sqlite::memory:"})",
      R"({"op":"init","conn":"c"})",
      R"({"op":"new","obj":"s","progid":"Corvane_Ptolix.System"})",
      R"({"op":"set","obj":"s","prop":"Connection","conn":"c"})",
      R"({"op":"set","obj":"s","prop":"PageSize","value":10})",
      R"({"op":"get","obj":"s","prop":"PageSize","id":7})",
      R"({"op":"call","obj":"s","method":"AppendSystem","args":["News",""]})",
      R"({"op":"call","obj":"s","method":"GetSystemList","args":[]})",
      R"({"op":"call","obj":"s","method":"GetParameter","args":["X"]})",
      R"({"op":"get","obj":"s","prop":"RecordCount"})",
      R"({"op":"sql","conn":"c","text":"select top 1 Role_ID, Role_Father from tPtlx_Role"})",
      R"({"op":"trace","conn":"c"})",
      R"({"op":"trace","conn":"c"})",
      R"({"op":"free","obj":"s"})",
      R"({"op":"close","conn":"c"})",
  });
  ASSERT_EQ(r.size(), 15u);
  for (int i : {0, 1, 2, 3, 4, 13, 14}) EXPECT_EQ(r[i], json({{"ok", true}})) << i;
  EXPECT_EQ(r[5], json({{"ok", true}, {"value", 10}, {"id", 7}}));
  EXPECT_EQ(r[6], json({{"ok", true}, {"value", {{"empty", true}}}}));
  EXPECT_EQ(r[7]["value"], json::parse(R"({"rows":[["Sys_ID","Sys_Name","Sys_Description"],[1,"News",null]]})"));
  EXPECT_EQ(r[8]["value"], json::parse(R"({"rows":null})"));
  EXPECT_EQ(r[9]["value"], 1);
  EXPECT_EQ(r[10]["value"], json::parse(R"({"rows":[["Role_ID","Role_Father"],[1,null]]})"));
  EXPECT_EQ(r[11]["value"], json::parse(R"J([
      "insert into tPtlx_System (Sys_Name,Sys_Description) values ('News',null)",
      "select * from tPtlx_System",
      "select * from tPtlx_SystemParameter where Para_Name = 'X'"])J"));
  EXPECT_EQ(r[12]["value"], json::array());
}

TEST(Host, RequestsItCannotCarryOut) {
  auto r = RunHost({
      "not json",
      R"({"op":"new","obj":"x","progid":"Corvane_Ptolix.Nothing"})",
      R"({"op":"get","obj":"nobody","prop":"Errors"})",
      R"({"op":"new","obj":"s","progid":"corvane_ptolix.system"})",
      R"({"op":"call","obj":"s","method":"NoSuchMethod","args":[]})",
      R"({"op":"get","obj":"s","prop":"NoSuchProperty"})",
      R"({"op":"call","obj":"s","method":"GetParameter","args":[]})",
      R"({"op":"call","obj":"s","method":"GetSystemList","args":["abc"]})",
      R"({"op":"call","obj":"s","method":"GetSystemList"})",
      R"({"op":"get","obj":"s","prop":"Errors"})",
      R"({"op":"bogus","id":"q"})",
  }, "--db sqlite::memory:");
  ASSERT_EQ(r.size(), 11u);
  for (int i : {0, 1, 2, 4, 5, 6, 7, 10}) {
    EXPECT_EQ(r[i]["ok"], false) << i;
    EXPECT_TRUE(r[i]["error"].is_string()) << i;
  }
  EXPECT_EQ(r[10]["id"], "q");
  // A method called before Connection was set is the object's failure, not the host's.
  EXPECT_EQ(r[8], json::parse(R"({"ok":true,"value":{"rows":null}})"));
  EXPECT_NE(r[9]["value"].get<std::string>().find("] Object variable or With block variable not set\r\n"),
            std::string::npos);
}

TEST(Host, ValueEncodings) {
  auto r = RunHost({
      R"({"op":"new","obj":"a","progid":"Corvane_Ptolix.About"})",
      R"({"op":"get","obj":"a","prop":"CreateDate"})",
      R"({"op":"get","obj":"a","prop":"ModifiedDate"})",
      R"({"op":"new","obj":"s","progid":"Corvane_Ptolix.System"})",
      R"({"op":"set","obj":"s","prop":"Connection","conn":"db"})",
      R"({"op":"init","conn":"db"})",
      R"({"op":"call","obj":"s","method":"AppendParameter","args":[{"date":"2002-08-02 00:00:00"},12,{"empty":true}]})",
      R"({"op":"call","obj":"s","method":"GetParameterList","args":[]})",
  }, "--db sqlite::memory:");
  ASSERT_EQ(r.size(), 8u);
  EXPECT_EQ(r[1]["value"], json::parse(R"({"date":"2002-08-02 00:00:00"})"));
  EXPECT_EQ(r[2]["value"]["list"].size(), 4u);
  EXPECT_EQ(r[2]["value"]["list"][3], json::parse(R"({"date":"2002-12-27 00:00:00"})"));
  EXPECT_EQ(r[7]["value"]["rows"][1], json::parse(R"(["2002-08-02 00:00:00","12",null])"));
}

}  // namespace
