// Drives `ptolix host` as another program would: JSON requests on standard
// input, one response per line on standard output.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <vector>

namespace {

using nlohmann::json;
using ::testing::HasSubstr;

// Runs `ptolix host` (on `url` when given), sends each request in turn and
// returns the answers; the host must end with status 0 when its input does.
std::vector<json> RunHost(const std::vector<std::string>& requests, const std::string& url = "") {
  std::vector<json> responses;
  int in[2], out[2];  // close-on-exec: the host alone holds its ends
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return responses;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    if (url.empty()) execl(PTOLIX_TOOL_PATH, PTOLIX_TOOL_PATH, "host", nullptr);
    execl(PTOLIX_TOOL_PATH, PTOLIX_TOOL_PATH, "host", "--db", url.c_str(), nullptr);
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  FILE* to = fdopen(in[1], "w");
  FILE* from = fdopen(out[0], "r");
  for (const auto& request : requests) {
    fputs((request + "\n").c_str(), to);
    fflush(to);
    std::string line;
    for (int c; (c = fgetc(from)) != EOF && c != '\n';) line += static_cast<char>(c);
    responses.push_back(line.empty() ? json() : json::parse(line));
  }
  fclose(to);
  fclose(from);
  int status = -1;
  waitpid(pid, &status, 0);
  EXPECT_EQ(status, 0);
  return responses;
}

TEST(Host, EveryOpInOneSession) {
  // Each request beside what its answer holds: the whole answer, or the part
  // at the JSON pointer given.
  const json ok = {{"ok", true}};
  const std::vector<std::tuple<std::string, json, std::string>> steps = {
      {R"({"op":"open","conn":"c","url":"sqlite::memory:"})", ok, ""},
      {R"({"op":"init","conn":"c"})", ok, ""},
      {R"({"op":"new","obj":"s","progid":"Corvane_Ptolix.System"})", ok, ""},
      {R"({"op":"set","obj":"s","prop":"Connection","conn":"c"})", ok, ""},
      {R"({"op":"set","obj":"s","prop":"PageSize","value":10})", ok, ""},
      {R"({"op":"get","obj":"s","prop":"PageSize","id":7})",
       {{"ok", true}, {"value", 10}, {"id", 7}},
       ""},
      {R"({"op":"call","obj":"s","method":"AppendSystem","args":["News",""]})",
       {{"ok", true}, {"value", {{"empty", true}}}},
       ""},
      {R"({"op":"call","obj":"s","method":"GetSystemList","args":[]})",
       json::parse(R"({"rows":[["Sys_ID","Sys_Name","Sys_Description"],[1,"News",null]]})"),
       "/value"},
      {R"({"op":"call","obj":"s","method":"GetParameter","args":["X"]})",
       json::parse(R"({"rows":null})"), "/value"},
      {R"({"op":"get","obj":"s","prop":"RecordCount"})", 1, "/value"},
      {R"({"op":"sql","conn":"c","text":"select top 1 Role_ID, Role_Father from tPtlx_Role"})",
       json::parse(R"({"rows":[["Role_ID","Role_Father"],[1,null]]})"), "/value"},
      {R"({"op":"trace","conn":"c"})", json::parse(R"J([
          "insert into tPtlx_System (Sys_Name,Sys_Description) values ('News',null)",
          "select * from tPtlx_System",
          "select * from tPtlx_SystemParameter where Para_Name = 'X'"])J"),
       "/value"},
      {R"({"op":"trace","conn":"c"})", json::array(), "/value"},
      {R"({"op":"new","obj":"a","progid":"Corvane_Ptolix.About"})", ok, ""},
      // Dates, lists and empty values both ways.
      {R"({"op":"get","obj":"a","prop":"CreateDate"})",
       json::parse(R"({"date":"2002-08-02 00:00:00"})"), "/value"},
      {R"({"op":"get","obj":"a","prop":"ModifiedDate"})",
       json::parse(R"({"date":"2002-12-27 00:00:00"})"), "/value/list/3"},
      {R"({"op":"call","obj":"s","method":"AppendParameter","args":[{"date":"2002-08-02 00:00:00"},12,{"empty":true}]})",
       true, "/ok"},
      {R"({"op":"call","obj":"s","method":"GetParameterList","args":[]})",
       json::parse(R"(["2002-08-02 00:00:00","12",null])"), "/value/rows/1"},
  };
  std::vector<std::string> lines;
  for (const auto& step : steps) lines.push_back(std::get<0>(step));
  // The trace keeps the latest 10,000 statements.
  lines.push_back(R"({"op":"trace","conn":"c"})");
  for (int i = 0; i < 10003; ++i)
    lines.push_back(R"({"op":"call","obj":"s","method":"GetParameter","args":["P)" +
                    std::to_string(i) + R"("]})");
  lines.insert(lines.end(), {R"({"op":"trace","conn":"c"})",
                             R"({"op":"call","obj":"s","method":"GetParameter","args":["Q"]})",
                             R"({"op":"trace","conn":"c"})", R"({"op":"free","obj":"s"})",
                             R"({"op":"close","conn":"c"})"});
  auto r = RunHost(lines);
  ASSERT_EQ(r.size(), lines.size());
  for (size_t i = 0; i < steps.size(); ++i) {
    const auto& [request, expected, at] = steps[i];
    EXPECT_EQ(r[i].value(json::json_pointer(at), json()), expected) << request;
  }
  const json& full = r[r.size() - 5];
  ASSERT_EQ(full["value"].size(), 10000u);
  EXPECT_EQ(full["dropped"], 3);
  EXPECT_EQ(full["value"][0], "select * from tPtlx_SystemParameter where Para_Name = 'P3'");
  EXPECT_EQ(full["value"][9999], "select * from tPtlx_SystemParameter where Para_Name = 'P10002'");
  EXPECT_EQ(r[r.size() - 3]["value"],
            json::array({"select * from tPtlx_SystemParameter where Para_Name = 'Q'"}));
  EXPECT_EQ(r[r.size() - 2], ok);
  EXPECT_EQ(r.back(), ok);
}

std::string Nested(int depth, const std::string& inner = "1") {
  return std::string(depth, '[') + inner + std::string(depth, ']');
}

TEST(Host, AnswersEveryLineAndGoesOn) {
  const std::string deep = Nested(100000);
  const std::string good = R"({"op":"get","obj":"s","prop":"PageSize"})";
  // a request line, part of the error message it answers
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"{\"op\":\"get\",\"obj\":\"\xff\",\"prop\":\"x\"}",
       "not valid UTF-8: byte 0xFF at offset 19"},
      {"\xc3(", "not valid UTF-8: byte 0xC3 at offset 0"},
      {"{\"op\":\"new\",\"obj\":\"a\",\"progid\":\"\xed\xa0\x80\"}",
       "not valid UTF-8"},                                                            // a surrogate
      {"{\"op\":\"new\",\"obj\":\"a\",\"progid\":\"\xc0\xaf\"}", "not valid UTF-8"},  // overlong
      {"{\"op\":\"new\",\"obj\":\"a\",\"progid\":\"caf\xc3\"}", "not valid UTF-8"},   // cut short
      {R"({"op":"get","obj":"s","prop":"PageSize","id":)" + deep + "}", "deeper than 64 levels"},
      {R"({"op":"set","obj":"s","prop":"PageSize","value":)" + Nested(64) + "}",
       "deeper than 64 levels"},
      {R"({"op":"set","obj":"s","prop":"PageSize","value":")" + std::string(100000, '[') + "\"}",
       "Type mismatch"},
      {R"({"op":"get","obj":"s","prop":"PageSize")", "bad JSON"},
      {R"({"op":"new","obj":"s","progid":")" + std::string(64 << 20, 'x') + "\"}",
       "request line longer than 67108864 bytes"},
      {"[1,2]", "a request is a JSON object"},
      {R"({"op":7})", "request needs a string \"op\""},
      {R"({"op":"get","obj":"s"})", "request needs a string \"prop\""},
      {R"({"op":"call","obj":"s","method":"GetParameter","args":"x"})", "\"args\" is an array"},
      {R"({"op":"new","obj":"a","progid":"Corvane_Ptolix.Café\u0000"})", "Corvane_Ptolix.Café"},
      // Requests that are well formed but cannot be carried out.
      {"not json", "bad JSON"},
      {R"({"op":"new","obj":"x","progid":"Corvane_Ptolix.Nothing"})", "Corvane_Ptolix.Nothing"},
      {R"({"op":"get","obj":"nobody","prop":"Errors"})", "nobody"},
      {R"({"op":"call","obj":"s","method":"NoSuchMethod","args":[]})", "NoSuchMethod"},
      {R"({"op":"get","obj":"s","prop":"NoSuchProperty"})", "NoSuchProperty"},
      {R"({"op":"call","obj":"s","method":"GetParameter","args":[]})", "GetParameter"},
      {R"({"op":"call","obj":"s","method":"GetSystemList","args":["abc"]})",
       "argument pCurPage: Type mismatch: number 'abc'"},
      {R"({"op":"bogus","id":"q"})", "bogus"},
  };
  std::vector<std::string> lines = {R"({"op":"new","obj":"s","progid":"corvane_ptolix.system"})",
                                    R"({"op":"set","obj":"s","prop":"PageSize","value":20})"};
  for (const auto& [line, error] : cases) lines.insert(lines.end(), {line, good});
  // Nested 63 deep inside the request object: 64 levels in all, still read.
  lines.push_back(R"({"op":"set","obj":"s","prop":"PageSize","value":)" + Nested(63) + "}");
  // A method called before Connection was set is the object's failure, not the host's.
  lines.push_back(R"({"op":"call","obj":"s","method":"GetSystemList"})");
  lines.push_back(R"({"op":"get","obj":"s","prop":"Errors"})");
  auto r = RunHost(lines, "sqlite::memory:");
  ASSERT_EQ(r.size(), 2 * cases.size() + 5);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const json& bad = r[2 + 2 * i];
    EXPECT_EQ(bad["ok"], false) << i;
    EXPECT_THAT(bad["error"].get<std::string>(), HasSubstr(cases[i].second)) << i;
    EXPECT_EQ(r[3 + 2 * i], json({{"ok", true}, {"value", 20}})) << i;
  }
  EXPECT_EQ(r[2 * cases.size()]["id"], "q");  // the bogus request's own id
  EXPECT_THAT(r[2 * cases.size() + 2]["error"].get<std::string>(), HasSubstr("cannot use"));
  EXPECT_EQ(r[2 * cases.size() + 3], json::parse(R"({"ok":true,"value":{"rows":null}})"));
  EXPECT_THAT(r.back()["value"].get<std::string>(),
              HasSubstr("] Object variable or With block variable not set\r\n"));
}

}  // namespace
