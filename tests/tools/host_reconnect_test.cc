// `ptolix host` on a PostgreSQL server that restarts under it: the same
// host process goes on once the server is back, with the objects it holds.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "private_server.h"

namespace {

using nlohmann::json;

// A running `ptolix host`, spoken to one line at a time.
class HostProcess {
 public:
  explicit HostProcess(const std::string& url) {
    int in[2], out[2];
    // Close-on-exec: servers the test starts later must not hold the host's
    // input open, or the host never sees its end.
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      close(in[1]);
      close(out[0]);
      execl(PTOLIX_TOOL_PATH, PTOLIX_TOOL_PATH, "host", "--db", url.c_str(), nullptr);
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    to_ = fdopen(in[1], "w");
    from_ = fdopen(out[0], "r");
  }
  ~HostProcess() {
    if (to_) fclose(to_);
    if (from_) fclose(from_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  json Ask(const std::string& request) {
    fputs((request + "\n").c_str(), to_);
    fflush(to_);
    std::string line;
    for (int c; (c = fgetc(from_)) != EOF && c != '\n';) line += static_cast<char>(c);
    return line.empty() ? json() : json::parse(line);
  }

 private:
  pid_t pid_ = -1;
  FILE* to_ = nullptr;
  FILE* from_ = nullptr;
};

TEST(HostReconnect, GoesOnAfterTheServerRestarts) {
  auto server = ptolix::test::PrivateServer::Start();
  if (!server) GTEST_SKIP() << "no PostgreSQL server programs (initdb, pg_ctl)";
  HostProcess host(server->Url());
  const std::string append =
      R"({"op":"call","obj":"r","method":"AppendRole","args":["NAME","","",""]})";
  auto add = [&](const std::string& name) {
    std::string request = append;
    return host.Ask(request.replace(request.find("NAME"), 4, name))["value"];
  };
  EXPECT_EQ(host.Ask(R"({"op":"init","conn":"db"})"), json({{"ok", true}}));
  host.Ask(R"({"op":"new","obj":"r","progid":"Corvane_Ptolix.Role"})");
  host.Ask(R"({"op":"set","obj":"r","prop":"Connection","conn":"db"})");
  EXPECT_EQ(add("Before"), 2);

  ASSERT_TRUE(server->RestartFast());
  EXPECT_EQ(add("Lost"), 0);
  std::string errors = host.Ask(R"({"op":"get","obj":"r","prop":"Errors"})")["value"];
  EXPECT_NE(errors.find(" - [-2147467259] the connection to the database was lost: "),
            std::string::npos)
      << errors;
  EXPECT_EQ(add("After"), 3);
  EXPECT_EQ(
      host.Ask(
          R"({"op":"sql","conn":"db","text":"select Role_Name from tPtlx_Role where Role_ID > 1 order by Role_ID"})")
          ["value"],
      json::parse(R"({"rows":[["Role_Name"],["Before"],["After"]]})"));
}

}  // namespace
