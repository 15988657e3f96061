#pragma once
// Result codes of RtspSession operations: 0 for success, otherwise a base per
// failing layer plus that layer's own code. The values are part of the
// player's behaviour (they are compared by callers) and never renumbered.
#include <cstdint>

namespace strevana {

inline constexpr int32_t kSessionOk = 0;
inline constexpr int32_t kSessionOutOfMemory = 1000001;
inline constexpr int32_t kSessionPlaying = 5000001;     // not allowed while playing
inline constexpr int32_t kSessionWrongState = 5000002;  // not described, or no streams
inline constexpr int32_t kSessionBadArgument = 5000003;
inline constexpr int32_t kSessionStreamAdded = 5000012;   // stream already added
inline constexpr int32_t kSessionThreadFailed = 6000001;  // receive thread not started
// The network library could not start; sockets need no start-up here, so
// no operation returns it.
inline constexpr int32_t kSessionNetworkFailed = 6000004;
inline constexpr int32_t kSessionNoBase = 9999999;  // DESCRIBE reply without Content-Base/-Location
inline constexpr int32_t kSessionRtspBase = 11000000;  // + RTSP client code
inline constexpr int32_t kSessionSdpBase = 12000000;   // + SDP decoder code
inline constexpr int32_t kSessionRtpBase = 13000000;   // + RTP session code (negative)

}  // namespace strevana
