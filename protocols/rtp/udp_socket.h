#pragma once
// UdpSocket: an owned, non-blocking IPv4 UDP socket (closed on destruction)
// with just the operations an RTP session needs. Addresses and ports are in
// host byte order. Movable, not copyable. One thread at a time.
#include <cstddef>
#include <cstdint>

namespace strevana {

class UdpSocket {
 public:
  // Outcome of one receive attempt.
  struct Received {
    enum class Status { kDatagram, kNothing, kTruncated, kError } status = Status::kNothing;
    size_t size = 0;
    uint32_t address = 0;
    uint16_t port = 0;
  };

  UdpSocket() = default;
  ~UdpSocket();
  UdpSocket(UdpSocket&& other) noexcept;
  UdpSocket& operator=(UdpSocket&& other) noexcept;
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  bool open();
  void close();
  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  bool setReceiveBufferSize(int bytes);
  bool setReuseAddress();
  bool bindAny(uint16_t port);
  bool setMulticastTtl(int ttl);
  bool joinGroup(uint32_t group, uint32_t interfaceAddress);
  bool leaveGroup(uint32_t group, uint32_t interfaceAddress);

  // Reads one waiting datagram without blocking. A datagram larger than
  // `capacity` is consumed and reported as kTruncated.
  Received receive(uint8_t* buffer, size_t capacity);
  bool sendTo(const uint8_t* data, size_t size, uint32_t address, uint16_t port);

 private:
  int fd_ = -1;
};

}  // namespace strevana
