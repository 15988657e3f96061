#pragma once
// RtcpCompound: the decoded content of one RTCP compound datagram
// (RFC 3550 section 6): sender and receiver reports with their reception
// blocks, source description chunks, goodbyes and application packets.
// Packet types this library does not interpret (feedback, extended reports)
// are length-checked and skipped.
//
// parseRtcpCompound validates the whole datagram before anything is used
// (RFC 3550 A.2): every packet must be version 2, every length must stay
// inside the datagram, the lengths must add up to the datagram exactly, only
// the last packet may be padded, and each packet's counts (report blocks,
// SDES chunks and items, BYE sources and reason) must fit in its own length.
// A datagram failing any check yields nothing at all, so a half-parsed
// compound never updates the source table. Pure function; any thread.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace strevana {

// RFC 3550 6.2 packet types.
inline constexpr uint8_t kRtcpSenderReport = 200;
inline constexpr uint8_t kRtcpReceiverReport = 201;
inline constexpr uint8_t kRtcpSourceDescription = 202;
inline constexpr uint8_t kRtcpGoodbye = 203;
inline constexpr uint8_t kRtcpApplication = 204;

// RFC 3550 6.5 item types (0 ends a chunk's item list).
inline constexpr uint8_t kSdesEnd = 0;
inline constexpr uint8_t kSdesCname = 1;
inline constexpr uint8_t kSdesPriv = 8;

// RFC 3550 6.4.1 reception report block (24 bytes on the wire).
struct RtcpReportBlock {
  uint32_t ssrc = 0;
  uint8_t fractionLost = 0;
  int32_t cumulativeLost = 0;  // 24-bit signed on the wire
  uint32_t highestSequence = 0;
  uint32_t jitter = 0;
  uint32_t lastSenderReport = 0;
  uint32_t delaySinceLastSenderReport = 0;
};

struct RtcpSenderInfo {
  uint32_t ntpSeconds = 0;
  uint32_t ntpFraction = 0;
  uint32_t rtpTimestamp = 0;
  uint32_t packetCount = 0;
  uint32_t octetCount = 0;
};

// A sender report (isSender, with senderInfo) or a receiver report.
struct RtcpReport {
  uint32_t ssrc = 0;
  bool isSender = false;
  RtcpSenderInfo senderInfo;
  std::vector<RtcpReportBlock> blocks;
};

struct RtcpSdesItem {
  uint8_t type = 0;
  std::string text;  // at most 255 bytes by construction (one length octet)
};

struct RtcpSdesChunk {
  uint32_t ssrc = 0;
  std::vector<RtcpSdesItem> items;
};

struct RtcpGoodbye {
  std::vector<uint32_t> ssrcs;
  std::string reason;
};

struct RtcpApplication {
  uint32_t ssrc = 0;
  uint8_t subtype = 0;
  std::array<char, 4> name{};
  std::vector<uint8_t> data;
};

struct RtcpCompound {
  std::vector<RtcpReport> reports;
  std::vector<RtcpSdesChunk> descriptions;
  std::vector<RtcpGoodbye> goodbyes;
  std::vector<RtcpApplication> applications;
  // SSRC of the first packet's sender (SR, RR, SDES first chunk, BYE first
  // source or APP), used to recognise our own reports coming back.
  std::optional<uint32_t> firstSsrc;
};

std::optional<RtcpCompound> parseRtcpCompound(const uint8_t* data, size_t size);

}  // namespace strevana
