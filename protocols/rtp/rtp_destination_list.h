#pragma once
// RtpDestinationList: where a session sends its RTCP reports. Each entry is
// (IPv4 address, RTP port, RTCP port = RTP port + 1), hashed by the low byte
// of the address like the sender lists. Adding an entry that is already
// listed changes nothing, so a peer never receives every report twice.
//
// Addresses in host byte order. Owned by RtpSession; one thread.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace strevana {

class RtpDestinationList {
 public:
  struct Entry {
    uint32_t address = 0;
    uint16_t rtpPort = 0;
    uint16_t rtcpPort = 0;
  };

  // 0, or -7 when the RTP port leaves no room for an RTCP port (1..65534).
  int add(uint32_t address, int rtpPort);
  void clear();
  size_t size() const { return count_; }

  template <typename Visit>
  void forEach(Visit&& visit) const {
    for (const auto& bucket : buckets_) {
      for (const Entry& e : bucket) visit(e);
    }
  }

 private:
  std::array<std::vector<Entry>, 256> buckets_;
  size_t count_ = 0;
};

}  // namespace strevana
