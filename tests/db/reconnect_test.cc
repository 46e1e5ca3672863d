// A connection the server, the network or the file system dropped is opened
// again by the next call. The PostgreSQL cases run on a cluster of the
// test's own, which they terminate, restart, crash and cut off.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <tuple>

#include "db/atomic.h"
#include "fixture.h"
#include "private_server.h"
#include "ptolix/connect.h"
#include "ptolix/org/role.h"
#include "ptolix/schema/schema.h"

namespace ptolix::test {
namespace {

// Breaks every connection of this process to `port` under its owner, as a
// cut network would: the server's sessions stay, the client's sockets end.
void CutConnectionsTo(int port) {
  for (int fd = 3; fd < 1024; ++fd) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) == 0 &&
        peer.sin_family == AF_INET && ntohs(peer.sin_port) == port)
      shutdown(fd, SHUT_RDWR);
  }
}

// "number message-start" of each error line a call added since `*seen`.
std::vector<std::string> NewErrors(const ConnectedObject& obj, size_t* seen) {
  std::vector<std::string> out;
  auto lines = ParseErrorLines(obj.Errors());
  for (size_t i = *seen; i < lines.size(); ++i) {
    std::string message = lines[i].message.substr(0, db::Error::kLostPrefix.size());
    out.push_back(std::to_string(lines[i].number.value_or(0)) + " " + message);
  }
  *seen = lines.size();
  return out;
}

const std::string kLost =
    std::to_string(err::kConnectionLost) + " " + std::string(db::Error::kLostPrefix);

std::string RoleNames(db::Connection& conn) {
  return FieldValues(
      conn.RunQuery("select Role_Name from tPtlx_Role where Role_ID > 1 order by Role_ID"),
      "Role_Name");
}

void Terminate(const std::string& url, db::Connection& victim) {
  auto pid = victim.RunQuery("select pg_backend_pid()").At(1, 0).ToText();
  ptolix::Connect(url)->RunQuery("select pg_terminate_backend(" + pid + ", 5000)");
}

TEST(Reconnect, EachFaultFailsTheCallInFlightAndTheNextCallWorksAndLostTransactionsFail) {
  auto server = PrivateServer::Start();
  if (!server) GTEST_SKIP() << "no PostgreSQL server programs (initdb, pg_ctl)";
  // The first host is down: libpq goes on to the next, as it finds a new
  // primary after a standby was promoted.
  const std::string direct = "postgresql://ptolix@127.0.0.1:" + std::to_string(FreePort()) +
                             ",127.0.0.1:" + std::to_string(server->port()) +
                             "/postgres?target_session_attrs=read-write";
  schema::CreateSchema(*ptolix::Connect(direct));

  std::shared_ptr<db::Connection> conn;
  // name, the fault, what heals it (null: the server is back at once)
  const std::tuple<const char*, std::function<void()>, std::function<void()>> faults[] = {
      {"terminated", [&] { Terminate(server->Url(), *conn); }, nullptr},
      {"fast restart", [&] { ASSERT_TRUE(server->Control("-m fast -w restart")); }, nullptr},
      {"crash", [&] { ASSERT_TRUE(server->Control("-m immediate -w stop")); },
       [&] { ASSERT_TRUE(server->StartAgain()); }},
      {"network cut", [&] { CutConnectionsTo(server->port()); }, nullptr},
  };
  for (const auto& [name, apply, heal] : faults) {
    SCOPED_TRACE(name);
    conn = ptolix::Connect(direct);
    Role role;
    role.SetConnection(conn);
    role.SetPageSize(10);
    size_t seen = 0;
    // Plans, counts and choices kept by the session that will go.
    for (int i = 0; i < 3; ++i) role.GetRoleList("", 1);
    role.AppendRole(std::string("Before ") + name, "", "", "");
    const std::string before = RoleNames(*conn);
    apply();
    // The call in flight fails and is not run again on a new session.
    role.AppendRole("Lost", "", "", "");
    EXPECT_EQ(NewErrors(role, &seen), std::vector<std::string>{kLost});
    if (heal) {
      role.GetRoleList("", 1);  // still unreachable: fails the same way
      EXPECT_EQ(NewErrors(role, &seen), std::vector<std::string>{kLost});
      heal();
    }
    for (int i = 0; i < 3; ++i) role.GetRoleList("", 1);
    role.AppendRole(std::string("After ") + name, "", "", "");
    EXPECT_EQ(NewErrors(role, &seen), std::vector<std::string>{});
    EXPECT_EQ(RoleNames(*conn), before + std::string("After ") + name + " ");
  }
  // A transaction lost with its session fails until its owner ends it.
  const std::string url = server->Url();
  ptolix::Connect(url)->RunStatement("delete from tPtlx_Role where Role_ID > 1");
  auto lost = [](const std::function<void()>& call) {
    try {
      call();
    } catch (const db::Error& e) {
      return e.Lost();
    }
    return false;
  };
  // The caller's own begin and end statements; its commit must not pass
  // for a success, its rollback has nothing left to undo.
  struct Case {
    const char* end;
    bool end_fails;
  };
  for (const Case& c : {Case{"commit", true}, Case{"rollback", false}}) {
    SCOPED_TRACE(c.end);
    auto conn = ptolix::Connect(url);
    Role role;
    role.SetConnection(conn);
    size_t seen = 0;
    conn->RunStatement("begin");
    role.AppendRole("Inside", "", "", "");
    Terminate(url, *conn);
    role.AppendRole("Lost", "", "", "");
    role.GetRoleList("");
    EXPECT_EQ(NewErrors(role, &seen), (std::vector<std::string>{kLost, kLost}));
    EXPECT_TRUE(lost([&] { conn->RunQuery("select 1"); }));
    EXPECT_EQ(lost([&] { conn->RunStatement(c.end); }), c.end_fails);
    role.AppendRole("Next", "", "", "");
    EXPECT_EQ(NewErrors(role, &seen), std::vector<std::string>{});
    EXPECT_EQ(RoleNames(*conn), "Next ");
    conn->RunStatement("delete from tPtlx_Role where Role_ID > 1");
  }
  // A transaction of the library's own, opened by a C++ caller.
  conn = ptolix::Connect(url);
  Role role;
  role.SetConnection(conn);
  {
    db::Transaction tx(*conn);
    role.AppendRole("Inside", "", "", "");
    Terminate(url, *conn);
    EXPECT_TRUE(lost([&] { conn->RunQuery("select 1"); }));
    EXPECT_TRUE(lost([&] { tx.Commit(); }));
  }
  role.AppendRole("Next", "", "", "");
  EXPECT_EQ(role.Errors(), "");
  EXPECT_EQ(RoleNames(*conn), "Next ");
}

TEST(Reconnect, SqliteFolderMovedAwayAndBack) {
  namespace fs = std::filesystem;
  fs::path root = fs::temp_directory_path() / ("ptolix_moved_" + std::to_string(::getpid()));
  fs::path folder = root / "site", away = root / "away";
  fs::create_directories(folder);
  auto conn = ptolix::Connect("sqlite:" + (folder / "site.db").string());
  schema::CreateSchema(*conn);
  Role role;
  role.SetConnection(conn);
  role.AppendRole("Kept", "", "", "");

  const std::string file = "[" + std::to_string(err::kConnectionLost) + "] " +
                           std::string(db::Error::kLostPrefix) + "the database file " +
                           (folder / "site.db").string() + " is ";
  fs::rename(folder, away);
  role.AppendRole("Gone", "", "", "");
  // While it stays away, each call says so; no empty database takes its
  // place.
  fs::create_directories(folder);
  role.GetRoleList("");
  EXPECT_EQ(ErrorLines(role.Errors()), (Lines{file + "gone (No such file or directory)",
                                              file + "missing (No such file or directory)"}));
  EXPECT_FALSE(fs::exists(folder / "site.db"));
  fs::remove(folder);

  fs::rename(away, folder);
  role.AppendRole("Back", "", "", "");
  EXPECT_EQ(ErrorLines(role.Errors()).size(), 2u);
  EXPECT_EQ(RoleNames(*conn), "Kept Back ");
  conn.reset();
  fs::remove_all(root);
}

}  // namespace
}  // namespace ptolix::test
