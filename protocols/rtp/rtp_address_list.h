#pragma once
// RtpAddressList: the accept list or the ignore list of a session. Entries
// are (IPv4 address, all-ports flag, port), hashed by the low byte of the
// address, each bucket in ascending order. A sender matches an entry with its
// address and either the all-ports flag or the same port.
//
// Addresses are in host byte order. Owned by RtpSession; one thread.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace strevana {

class RtpAddressList {
 public:
  struct Entry {
    uint32_t address = 0;
    bool allPorts = false;
    uint16_t port = 0;  // 0 when allPorts
    auto operator<=>(const Entry&) const = default;
  };

  // 0, -7 for a port outside 1..65535 without the all-ports flag, -8 for an
  // entry already listed.
  int add(uint32_t address, bool allPorts, int port);
  bool matches(uint32_t address, uint16_t port) const;
  void clear();
  size_t size() const { return count_; }

 private:
  std::array<std::vector<Entry>, 256> buckets_;
  size_t count_ = 0;
};

}  // namespace strevana
