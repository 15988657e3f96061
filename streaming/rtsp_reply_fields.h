#pragma once
// Values the streaming session reads out of RTSP reply headers. Pure
// functions, any thread.
#include <cstdint>
#include <optional>
#include <string_view>

#include "protocols/rtsp/rtsp_types.h"

namespace strevana {

// The server's RTP port from the Transport header's "server_port=" (the
// number before the "-": 5000 for server_port=5000-5001); -1 without a
// reply, a Transport header, or that parameter.
int32_t parseServerPort(const RtspResponse* reply);

// The RTP channel of "interleaved=" in the Transport header (RFC 2326 12.39:
// 4 for interleaved=4-5); -1 without it or above 254.
int32_t parseInterleavedChannel(const RtspResponse* reply);

// The "timeout=" parameter of a Session header ("12345678;timeout=30", RFC
// 2326 12.37) in seconds; none when absent, zero or not a number.
std::optional<uint32_t> sessionTimeoutSeconds(std::string_view session);

}  // namespace strevana
