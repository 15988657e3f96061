#pragma once
// lookUpIpv4: the first IPv4 address (host byte order) of a host name or
// dotted address. A dotted address is taken as it is, without a look-up;
// anything else goes through getaddrinfo. Blocks for the look-up; any thread.
#include <cstdint>
#include <string>

namespace strevana {

// 0, or kRtspHostNotFound / kRtspHostTryAgain / kRtspHostLookupFailed
// (rtsp_connection.h); `address` is set only on 0.
int lookUpIpv4(const std::string& host, uint32_t& address);

}  // namespace strevana
