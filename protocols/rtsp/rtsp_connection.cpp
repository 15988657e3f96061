#include "protocols/rtsp/rtsp_connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "protocols/rtsp/ipv4_lookup.h"
#include "protocols/rtsp/protocol_log.h"

namespace strevana {
namespace {

constexpr const char* kLogTag = "rtsp";

int pollTimeout(uint32_t ms) { return static_cast<int>(std::min<uint32_t>(ms, 0x7FFFFFFF)); }

class TcpRtspConnection final : public RtspConnection {
 public:
  ~TcpRtspConnection() override { close(); }

  int open(const std::string& host, uint16_t port, uint32_t timeoutMs) override {
    close();
    uint32_t ipv4 = 0;
    const int lookup = lookUpIpv4(host, ipv4);
    if (lookup != 0) {
      protocolLog(3, kLogTag, "cannot resolve %s", host.c_str());
      return lookup;
    }
    sockaddr_in address{};
    address.sin_addr.s_addr = htonl(ipv4);
    address.sin_family = AF_INET;
    address.sin_port = htons(port);

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    // Connect without blocking so that an unreachable server costs at most
    // the time-out, then go back to blocking reads guarded by poll().
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
      ::close(fd);
      return -1;
    }
    int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (rc != 0 && errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      do {
        rc = ::poll(&p, 1, pollTimeout(timeoutMs));
      } while (rc < 0 && errno == EINTR);
      int soError = 0;
      socklen_t length = sizeof soError;
      if (rc == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length) == 0 && soError == 0) {
        rc = 0;
      } else {
        rc = -1;
      }
    }
    if (rc != 0 || fcntl(fd, F_SETFL, flags) < 0) {
      protocolLog(3, kLogTag, "cannot connect to %s:%u", host.c_str(), static_cast<unsigned>(port));
      ::close(fd);
      return -1;
    }
    fd_ = fd;
    return 0;
  }

  void close() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  bool isOpen() const override { return fd_ >= 0; }

  bool send(const char* data, std::size_t size) override {
    std::size_t sent = 0;
    while (sent < size) {
      const ssize_t n = ::send(fd_, data + sent, size - sent, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      sent += static_cast<std::size_t>(n);
    }
    return true;
  }

  int waitReadable(uint32_t timeoutMs) override {
    if (fd_ < 0) return -1;
    pollfd p{fd_, POLLIN, 0};
    int ready;
    do {
      ready = ::poll(&p, 1, pollTimeout(timeoutMs));
    } while (ready < 0 && errno == EINTR);
    return ready < 0 ? -1 : (ready > 0 ? 1 : 0);
  }

  long receive(char* data, std::size_t capacity, uint32_t timeoutMs) override {
    if (fd_ < 0) return -1;
    const int ready = waitReadable(timeoutMs);
    if (ready <= 0) {
      protocolLog(4, kLogTag, "%s", ready == 0 ? "receive time-out" : "poll failed");
      return -1;
    }
    ssize_t got;
    do {
      got = ::recv(fd_, data, capacity, 0);
    } while (got < 0 && errno == EINTR);
    return got < 0 ? -1 : static_cast<long>(got);
  }

 private:
  int fd_ = -1;
};

}  // namespace

std::unique_ptr<RtspConnection> makeTcpRtspConnection() {
  return std::make_unique<TcpRtspConnection>();
}

}  // namespace strevana
