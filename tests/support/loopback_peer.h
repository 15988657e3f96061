#pragma once
// A UDP socket on 127.0.0.1 (an ephemeral port unless one is given) that
// sends to and receives from 127.0.0.1 ports: the far end of RTP and RTCP in
// the tests. Not thread-safe; the socket closes with the object.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace strevana::testing {

// 127.0.0.1:port.
inline sockaddr_in loopbackAddress(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  return a;
}

class UdpPeer {
 public:
  explicit UdpPeer(uint16_t port = 0) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = address(port);
    bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    socklen_t length = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
  }
  ~UdpPeer() { ::close(fd_); }
  UdpPeer(const UdpPeer&) = delete;
  UdpPeer& operator=(const UdpPeer&) = delete;

  bool bound() const { return bound_; }
  uint16_t port() const { return port_; }

  void sendTo(uint16_t port, const std::vector<uint8_t>& datagram) const {
    const sockaddr_in to = address(port);
    ::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
             sizeof to);
  }

  // The next datagram, waiting at most timeoutMs. Loopback queues a datagram
  // before sendto returns, so 0 tells whether one was sent already.
  std::optional<std::vector<uint8_t>> receive(int timeoutMs = 2000) const {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
    std::vector<uint8_t> buffer(65536);
    const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), 0);
    if (n < 0) return std::nullopt;
    buffer.resize(static_cast<size_t>(n));
    return buffer;
  }

 private:
  static sockaddr_in address(uint16_t port) { return loopbackAddress(port); }

  int fd_ = -1;
  bool bound_ = false;
  uint16_t port_ = 0;
};

}  // namespace strevana::testing
