#pragma once
// resolveHost: the IPv4 address (host byte order) of the host named in an
// "rtsp://" URL or given as a plain host text; 0 when it cannot be found.
// After "rtsp://" the host runs to the first ':' or '/', so a URL with a port
// and no path ("rtsp://camera:554") names the host "camera".
// A dotted address is taken as it is, anything else is looked up
// (getaddrinfo, IPv4 only, first address). Blocks for the look-up; any
// thread.
#include <cstdint>
#include <string_view>

namespace strevana {

uint32_t resolveHost(std::string_view text);

}  // namespace strevana
