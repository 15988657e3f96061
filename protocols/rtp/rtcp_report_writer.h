#pragma once
// RtcpReportWriter: composes the compound RTCP packets this library sends
// (RFC 3550 6.1): receiver reports, one SDES chunk for our own SSRC, and a
// goodbye. A receiver report holds at most 31 reception blocks (the count is
// 5 bits); further blocks go into additional receiver reports, as 6.4.2 asks.
//
// Stateless; any thread. The caller owns the returned bytes.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "protocols/rtp/rtcp_compound.h"

namespace strevana {

class RtcpReportWriter {
 public:
  static constexpr size_t kMaxBlocksPerReport = 31;

  // One RR (or several, when more than 31 blocks) for `ssrc`.
  static void appendReceiverReports(std::vector<uint8_t>& out, uint32_t ssrc,
                                    std::span<const RtcpReportBlock> blocks);
  // One SDES chunk for `ssrc`; texts longer than 255 bytes are cut, the
  // length field being a single octet.
  static void appendSourceDescription(std::vector<uint8_t>& out, uint32_t ssrc,
                                      std::span<const std::pair<uint8_t, std::string>> items);
  // BYE for `ssrc`, with an optional reason (cut to 255 bytes).
  static void appendGoodbye(std::vector<uint8_t>& out, uint32_t ssrc, std::string_view reason = {});
};

}  // namespace strevana
