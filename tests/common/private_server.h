#pragma once

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace ptolix::test {

// A socket listening on a free port of 127.0.0.1, which it sets in `*port`.
inline int Listen(int* port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  bind(fd, reinterpret_cast<sockaddr*>(&addr), len);
  listen(fd, 16);
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  *port = ntohs(addr.sin_port);
  return fd;
}

// A free TCP port on 127.0.0.1 at the time of asking.
inline int FreePort() {
  int port = 0;
  close(Listen(&port));
  return port;
}

// A throwaway PostgreSQL cluster of one test's own on loopback, for tests
// that restart, crash or cut the server (never the shared test server):
// made in a temporary folder on a free port (as user postgres when run as
// root), stopped and removed by the destructor.
class PrivateServer {
 public:
  // Null when initdb or pg_ctl cannot be found; fails the test (and gives
  // null) when they are there but the cluster does not start.
  static std::unique_ptr<PrivateServer> Start() {
    std::string bin = ServerBinaries();
    char dir[] = "/tmp/ptolix-pg-private.XXXXXX";
    if (bin == "-" || !mkdtemp(dir)) return nullptr;
    auto server = std::make_unique<PrivateServer>();
    server->bin_ = bin;
    server->dir_ = dir;
    if (geteuid() == 0) {  // the server refuses to run as root
      server->owner_ = std::system("id postgres >/dev/null 2>&1") == 0 ? "postgres" : "nobody";
      std::system(("chown " + server->owner_ + " " + server->dir_).c_str());
    }
    const std::string initdb = bin + "initdb -D " + server->dir_ +
                               "/data -U ptolix --auth=trust -E UTF8 --no-locale >" + server->dir_ +
                               "/initdb.log 2>&1";
    if (std::system(server->AsOwner(initdb).c_str())) {
      ADD_FAILURE() << "initdb failed, see " << dir << "/initdb.log";
      return nullptr;
    }
    for (int attempt = 0; attempt < 5; ++attempt) {
      server->port_ = FreePort();
      if (server->StartAgain()) return server;
    }
    ADD_FAILURE() << "the private PostgreSQL server did not start, see " << dir << "/server.log";
    return nullptr;
  }
  ~PrivateServer() {
    Control("-m immediate -w stop >/dev/null 2>&1");
    std::filesystem::remove_all(dir_);
  }

  int port() const { return port_; }
  std::string Url() const {
    return "postgresql://ptolix@127.0.0.1:" + std::to_string(port_) + "/postgres";
  }
  // pg_ctl with `args` on this cluster; true when it succeeded.
  bool Control(const std::string& args) const {
    std::string command =
        bin_ + "pg_ctl -D " + dir_ + "/data -l " + dir_ + "/server.log -t 30 " + args;
    if (args.find('>') == std::string::npos) command += " >/dev/null 2>&1";
    return std::system(AsOwner(command).c_str()) == 0;
  }
  bool StartAgain() const {
    return Control("-w start -o \"-p " + std::to_string(port_) + " -k " + dir_ +
                   " -c listen_addresses=127.0.0.1 -c fsync=off"
                   " -c full_page_writes=off\"");
  }

 private:
  // The folder holding initdb and pg_ctl: on PATH, or Debian's newest.
  static std::string ServerBinaries() {
    namespace fs = std::filesystem;
    if (std::system("command -v initdb >/dev/null 2>&1 && command -v pg_ctl >/dev/null 2>&1") == 0)
      return "";
    std::string best;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
      fs::path bin = entry.path() / "bin";
      if (fs::exists(bin / "initdb") && fs::exists(bin / "pg_ctl") && bin.string() > best)
        best = bin.string();
    }
    return best.empty() ? "-" : best + "/";
  }
  std::string AsOwner(const std::string& command) const {
    if (owner_.empty()) return command;
    return "runuser -u " + owner_ + " -- sh -c '" + command + "'";
  }

  std::string dir_, bin_, owner_;  // owner_ empty: the current user
  int port_ = 0;
};

}  // namespace ptolix::test
