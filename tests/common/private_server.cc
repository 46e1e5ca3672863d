#include "private_server.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace ptolix::test {

namespace {

// The folder holding initdb and pg_ctl: on PATH, or Debian's newest.
std::string ServerBinaries() {
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

}  // namespace

int Listen(int* port) {
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

int FreePort() {
  int port = 0;
  close(Listen(&port));
  return port;
}

std::unique_ptr<PrivateServer> PrivateServer::Start() {
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

PrivateServer::~PrivateServer() {
  Control("-m immediate -w stop >/dev/null 2>&1");
  std::filesystem::remove_all(dir_);
}

std::string PrivateServer::Url() const {
  return "postgresql://ptolix@127.0.0.1:" + std::to_string(port_) + "/postgres";
}

std::string PrivateServer::AsOwner(const std::string& command) const {
  if (owner_.empty()) return command;
  return "runuser -u " + owner_ + " -- sh -c '" + command + "'";
}

bool PrivateServer::Control(const std::string& args) const {
  std::string command =
      bin_ + "pg_ctl -D " + dir_ + "/data -l " + dir_ + "/server.log -t 30 " + args;
  if (args.find('>') == std::string::npos) command += " >/dev/null 2>&1";
  return std::system(AsOwner(command).c_str()) == 0;
}

bool PrivateServer::StartAgain() const {
  return Control("-w start -o \"-p " + std::to_string(port_) + " -k " + dir_ +
                 " -c listen_addresses=127.0.0.1 -c fsync=off"
                 " -c full_page_writes=off\"");
}

}  // namespace ptolix::test
