#pragma once

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace ptolix::test {

// A TCP relay on 127.0.0.1 to a loopback port, for tests that cut the
// network under a connection: Drop() closes every relayed connection and
// closes new ones at once, as a broken link would; Accept() relays new ones
// again. The port stays bound throughout, so that no other socket takes it
// meanwhile (an outgoing connection given it as its own port would connect
// to itself).
class TcpProxy {
 public:
  explicit TcpProxy(int upstream_port);
  ~TcpProxy();
  TcpProxy(const TcpProxy&) = delete;
  TcpProxy& operator=(const TcpProxy&) = delete;

  int port() const { return port_; }
  void Drop();
  void Accept();

 private:
  void Loop();
  void Relay(size_t pair, int from);
  void Close(size_t pair);

  int upstream_port_;
  int port_ = 0;
  std::mutex mu_;
  int listener_ = -1;
  bool accepting_ = true;
  std::vector<std::pair<int, int>> pairs_;  // (client, upstream)
  unsigned generation_ = 0;                 // bumped by Drop()
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace ptolix::test
