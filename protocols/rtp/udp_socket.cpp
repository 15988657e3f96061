#include "protocols/rtp/udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace strevana {
namespace {

sockaddr_in makeAddress(uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(address);
  sa.sin_port = htons(port);
  return sa;
}

bool membership(int fd, int option, uint32_t group, uint32_t interfaceAddress) {
  ip_mreq request{};
  request.imr_multiaddr.s_addr = htonl(group);
  request.imr_interface.s_addr = htonl(interfaceAddress);
  return setsockopt(fd, IPPROTO_IP, option, &request, sizeof request) == 0;
}

}  // namespace

UdpSocket::~UdpSocket() { close(); }

UdpSocket::UdpSocket(UdpSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

bool UdpSocket::open() {
  close();
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  return fd_ >= 0;
}

void UdpSocket::close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

bool UdpSocket::setReceiveBufferSize(int bytes) {
  return setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0;
}

bool UdpSocket::setReuseAddress() {
  const int on = 1;
  return setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
}

bool UdpSocket::bindAny(uint16_t port) {
  const sockaddr_in sa = makeAddress(INADDR_ANY, port);
  return ::bind(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}

bool UdpSocket::setMulticastTtl(int ttl) {
  const unsigned char value = static_cast<unsigned char>(ttl);
  return setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_TTL, &value, sizeof value) == 0;
}

bool UdpSocket::joinGroup(uint32_t group, uint32_t interfaceAddress) {
  return membership(fd_, IP_ADD_MEMBERSHIP, group, interfaceAddress);
}

bool UdpSocket::leaveGroup(uint32_t group, uint32_t interfaceAddress) {
  return membership(fd_, IP_DROP_MEMBERSHIP, group, interfaceAddress);
}

UdpSocket::Received UdpSocket::receive(uint8_t* buffer, size_t capacity) {
  Received result;
  if (fd_ < 0) {
    result.status = Received::Status::kError;
    return result;
  }
  sockaddr_in from{};
  socklen_t fromLength = sizeof from;
  // MSG_TRUNC makes recvfrom return the real datagram size, so an oversized
  // datagram is recognised instead of being processed cut short.
  ssize_t n;
  do {
    n = ::recvfrom(fd_, buffer, capacity, MSG_DONTWAIT | MSG_TRUNC,
                   reinterpret_cast<sockaddr*>(&from), &fromLength);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    result.status = (errno == EAGAIN || errno == EWOULDBLOCK) ? Received::Status::kNothing
                                                              : Received::Status::kError;
    return result;
  }
  result.address = ntohl(from.sin_addr.s_addr);
  result.port = ntohs(from.sin_port);
  result.size = static_cast<size_t>(n);
  result.status =
      result.size > capacity ? Received::Status::kTruncated : Received::Status::kDatagram;
  return result;
}

bool UdpSocket::sendTo(const uint8_t* data, size_t size, uint32_t address, uint16_t port) {
  if (fd_ < 0) return false;
  const sockaddr_in to = makeAddress(address, port);
  ssize_t n;
  do {
    n = ::sendto(fd_, data, size, MSG_DONTWAIT | MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(size);
}

}  // namespace strevana
