#pragma once
// How a live stream's media travels from an RTSP server: over UDP port pairs
// (the first choice), inside the RTSP connection (RFC 2326 10.12, for
// networks that let no UDP through), or UDP first with TCP as the fallback.
// The values are the Network Options choice as the engine stores it and
// hands it to the source factory in its flags.
#include <cstdint>

namespace strevana {

enum class RtspTransport : int32_t {
  kAutomatic = 0,  // UDP; TCP when UDP is refused or nothing arrives
  kUdp = 1,
  kTcp = 2,
};

// The transport named in the source factory's flags (the low two bits);
// anything else reads as automatic.
inline RtspTransport transportFromFlags(int32_t flags) {
  switch (flags & 3) {
    case 1: return RtspTransport::kUdp;
    case 2: return RtspTransport::kTcp;
    default: return RtspTransport::kAutomatic;
  }
}

}  // namespace strevana
