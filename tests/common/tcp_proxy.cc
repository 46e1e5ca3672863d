#include "tcp_proxy.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ptolix::test {

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  return addr;
}

bool WriteAll(int fd, const char* data, ssize_t n) {
  while (n > 0) {
    ssize_t w = send(fd, data, n, MSG_NOSIGNAL);
    if (w <= 0) return false;
    data += w;
    n -= w;
  }
  return true;
}

}  // namespace

TcpProxy::TcpProxy(int upstream_port) : upstream_port_(upstream_port) {
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr = Loopback(0);
  socklen_t len = sizeof addr;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      listen(listener_, 16) == 0 &&
      getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    port_ = ntohs(addr.sin_port);
  }
  thread_ = std::thread([this] { Loop(); });
}

TcpProxy::~TcpProxy() {
  stop_ = true;
  thread_.join();
  Drop();
  close(listener_);
}

void TcpProxy::Drop() {
  std::lock_guard lock(mu_);
  for (auto [a, b] : pairs_) {
    close(a);
    close(b);
  }
  pairs_.clear();
  accepting_ = false;
  ++generation_;
}

void TcpProxy::Accept() {
  std::lock_guard lock(mu_);
  accepting_ = true;
}

void TcpProxy::Close(size_t pair) {
  close(pairs_[pair].first);
  close(pairs_[pair].second);
  pairs_[pair] = {-1, -1};
}

void TcpProxy::Relay(size_t pair, int from) {
  char buffer[65536];
  auto [a, b] = pairs_[pair];
  ssize_t n = recv(from, buffer, sizeof buffer, 0);
  if (n <= 0 || !WriteAll(from == a ? b : a, buffer, n)) Close(pair);
}

void TcpProxy::Loop() {
  while (!stop_) {
    std::vector<pollfd> fds;
    unsigned generation;
    {
      std::lock_guard lock(mu_);
      generation = generation_;
      fds.push_back({listener_, POLLIN, 0});
      for (auto [a, b] : pairs_) {
        fds.push_back({a, POLLIN, 0});
        fds.push_back({b, POLLIN, 0});
      }
    }
    if (poll(fds.data(), fds.size(), 50) <= 0) continue;
    std::lock_guard lock(mu_);
    if (generation != generation_) continue;  // dropped meanwhile
    for (size_t i = 1; i < fds.size(); ++i) {
      size_t pair = (i - 1) / 2;
      if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) && pairs_[pair].first >= 0) {
        Relay(pair, fds[i].fd);
      }
    }
    if (fds[0].revents & POLLIN) {
      int client = accept(listener_, nullptr, nullptr);
      if (!accepting_) {
        close(client);
        continue;
      }
      int upstream = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in addr = Loopback(upstream_port_);
      if (client >= 0 && connect(upstream, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        pairs_.emplace_back(client, upstream);
      } else {
        if (client >= 0) close(client);
        close(upstream);
      }
    }
    std::erase_if(pairs_, [](auto p) { return p.first < 0; });
  }
}

}  // namespace ptolix::test
