#pragma once
// Finds the IPv4 address by which this host is known, for recognising our own
// packets and as the interface for multicast membership. The host name is
// resolved first and its first address that is neither 0 nor in 127.0.0.0/8
// is taken. Many hosts resolve their name only to a loopback address, so the
// addresses of the host's running interfaces are tried next, and a host with
// nothing but loopback gets 127.0.0.1: a loopback-only machine can still
// receive streams from itself. Host byte order. Any thread.
#include <cstdint>

namespace strevana {

inline constexpr uint32_t kLoopbackAddress = 0x7f000001u;

uint32_t findLocalIpv4Address();
inline bool isLoopbackAddress(uint32_t address) { return (address >> 24) == 127; }
inline bool isMulticastAddress(uint32_t address) { return (address >> 28) == 0xe; }

}  // namespace strevana
