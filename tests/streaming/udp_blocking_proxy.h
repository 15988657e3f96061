#pragma once
// UdpBlockingProxy: stands between an RTSP client and server on 127.0.0.1 the
// way a firewall that lets no UDP through does. It forwards the RTSP
// connection both ways, but rewrites the client_port of every SETUP's
// Transport header to a port pair of its own that it never reads, so the
// server's RTP and RTCP datagrams reach nobody. Media asked for inside the
// connection (RFC 2326 10.12) passes untouched.
//
// One connection at a time; the thread stops with the object.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <regex>
#include <string>
#include <thread>

#include "support/loopback_peer.h"

namespace strevana::testing {

class UdpBlockingProxy {
 public:
  explicit UdpBlockingProxy(uint16_t serverPort) : serverPort_(serverPort) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(0);
    ok_ = listener_ >= 0 && ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
          ::listen(listener_, 4) == 0;
    socklen_t length = sizeof a;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
    // The datagram sink: an even pair, bound so nothing bounces, never read.
    for (int attempt = 0; attempt < 100 && ok_ && sinkPort_ == 0; ++attempt) {
      const int rtp = ::socket(AF_INET, SOCK_DGRAM, 0);
      sockaddr_in r = loopback(0);
      ::bind(rtp, reinterpret_cast<sockaddr*>(&r), sizeof r);
      length = sizeof r;
      ::getsockname(rtp, reinterpret_cast<sockaddr*>(&r), &length);
      const uint16_t base = ntohs(r.sin_port);
      const int rtcp = ::socket(AF_INET, SOCK_DGRAM, 0);
      sockaddr_in c = loopback(static_cast<uint16_t>(base + 1));
      if (base % 2 == 0 && ::bind(rtcp, reinterpret_cast<sockaddr*>(&c), sizeof c) == 0) {
        sink_[0] = rtp;
        sink_[1] = rtcp;
        sinkPort_ = base;
      } else {
        ::close(rtp);
        ::close(rtcp);
      }
    }
    ok_ = ok_ && sinkPort_ != 0;
    if (ok_) thread_ = std::thread([this] { run(); });
  }
  ~UdpBlockingProxy() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (int fd : {listener_, sink_[0], sink_[1]}) {
      if (fd >= 0) ::close(fd);
    }
  }
  UdpBlockingProxy(const UdpBlockingProxy&) = delete;
  UdpBlockingProxy& operator=(const UdpBlockingProxy&) = delete;

  bool ok() const { return ok_; }
  uint16_t port() const { return port_; }
  // SETUPs whose UDP ports were replaced.
  int rewrittenSetups() const { return rewritten_; }

 private:
  static sockaddr_in loopback(uint16_t port) { return loopbackAddress(port); }

  void run() {
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) continue;
      const int server = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in to = loopback(serverPort_);
      if (::connect(server, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0)
        relay(client, server);
      ::close(server);
      ::close(client);
    }
  }

  void relay(int client, int server) {
    std::string requests;  // client bytes not yet forwarded (a request's head)
    char buffer[65536];
    while (!stop_) {
      pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
      if (::poll(p, 2, 20) <= 0) continue;
      if (p[1].revents) {
        const ssize_t got = ::recv(server, buffer, sizeof buffer, 0);
        if (got <= 0 || !sendAll(client, buffer, static_cast<size_t>(got))) return;
      }
      if (p[0].revents) {
        const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) return;
        requests.append(buffer, static_cast<size_t>(got));
        // The client sends only requests without bodies: forward each head
        // once it is whole.
        for (size_t end; (end = requests.find("\r\n\r\n")) != std::string::npos;) {
          std::string head = requests.substr(0, end + 4);
          requests.erase(0, end + 4);
          static const std::regex kClientPort("client_port=[0-9]+-[0-9]+");
          if (std::regex_search(head, kClientPort)) {
            head = std::regex_replace(
                head, kClientPort,
                "client_port=" + std::to_string(sinkPort_) + "-" + std::to_string(sinkPort_ + 1));
            ++rewritten_;
          }
          if (!sendAll(server, head.data(), head.size())) return;
        }
      }
    }
  }

  static bool sendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
      const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
      if (n <= 0) return false;
      data += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }

  uint16_t serverPort_;
  int listener_ = -1;
  int sink_[2] = {-1, -1};
  uint16_t port_ = 0;
  uint16_t sinkPort_ = 0;
  bool ok_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<int> rewritten_{0};
  std::thread thread_;
};

}  // namespace strevana::testing
