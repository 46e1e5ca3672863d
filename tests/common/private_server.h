#pragma once

#include <memory>
#include <string>

namespace ptolix::test {

// A throwaway PostgreSQL cluster of one test's own on loopback, for tests
// that restart, crash or cut the server (never the shared test server):
// made in a temporary folder on a free port (as user postgres when run as
// root), stopped and removed by the destructor.
class PrivateServer {
 public:
  // Null when initdb or pg_ctl cannot be found; fails the test (and gives
  // null) when they are there but the cluster does not start.
  static std::unique_ptr<PrivateServer> Start();
  ~PrivateServer();

  int port() const { return port_; }
  // "postgresql://ptolix@127.0.0.1:PORT/postgres".
  std::string Url() const;
  // pg_ctl with `args` on this cluster; true when it succeeded.
  bool Control(const std::string& args) const;
  bool StartAgain() const;

 private:
  std::string AsOwner(const std::string& command) const;

  std::string dir_, bin_, owner_;  // owner_ empty: the current user
  int port_ = 0;
};

// A socket listening on a free port of 127.0.0.1, which it sets in `*port`.
int Listen(int* port);
// A free TCP port on 127.0.0.1 at the time of asking.
int FreePort();

}  // namespace ptolix::test
