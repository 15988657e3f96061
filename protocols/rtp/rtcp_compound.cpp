#include "protocols/rtp/rtcp_compound.h"

#include "protocols/rtp/rtp_wire.h"

namespace strevana {
namespace {

constexpr size_t kHeaderBytes = 4;
constexpr size_t kReportBlockBytes = 24;
constexpr size_t kSenderInfoBytes = 20;

RtcpReportBlock readReportBlock(const uint8_t* p) {
  RtcpReportBlock block;
  block.ssrc = readBe32(p);
  block.fractionLost = p[4];
  // Sign-extend the 24-bit cumulative count (RFC 3550 6.4.1).
  uint32_t lost = (static_cast<uint32_t>(p[5]) << 16) | (static_cast<uint32_t>(p[6]) << 8) | p[7];
  if (lost & 0x800000u) lost |= 0xff000000u;
  block.cumulativeLost = static_cast<int32_t>(lost);
  block.highestSequence = readBe32(p + 8);
  block.jitter = readBe32(p + 12);
  block.lastSenderReport = readBe32(p + 16);
  block.delaySinceLastSenderReport = readBe32(p + 20);
  return block;
}

// body/size: the packet after its 4-byte header, padding removed.
bool parseReport(const uint8_t* body, size_t size, size_t count, bool sender, RtcpCompound& out) {
  const size_t fixed = 4 + (sender ? kSenderInfoBytes : 0);
  if (size < fixed || (size - fixed) / kReportBlockBytes < count) return false;
  RtcpReport report;
  report.ssrc = readBe32(body);
  report.isSender = sender;
  if (sender) {
    report.senderInfo.ntpSeconds = readBe32(body + 4);
    report.senderInfo.ntpFraction = readBe32(body + 8);
    report.senderInfo.rtpTimestamp = readBe32(body + 12);
    report.senderInfo.packetCount = readBe32(body + 16);
    report.senderInfo.octetCount = readBe32(body + 20);
  }
  report.blocks.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    report.blocks.push_back(readReportBlock(body + fixed + i * kReportBlockBytes));
  }
  // Bytes past the blocks are profile-specific extensions (6.4.1); ignored.
  if (!out.firstSsrc) out.firstSsrc = report.ssrc;
  out.reports.push_back(std::move(report));
  return true;
}

// RFC 3550 6.5: chunks of SSRC + items, each chunk ended by null octets up to
// the next 32-bit boundary. Offsets are relative to the packet start (body
// begins 4 bytes in, so alignment is computed on pos + 4).
bool parseSourceDescription(const uint8_t* body, size_t size, size_t count, RtcpCompound& out) {
  size_t pos = 0;
  std::vector<RtcpSdesChunk> chunks;
  chunks.reserve(count);
  for (size_t c = 0; c < count; ++c) {
    if (size - pos < 4) return false;
    RtcpSdesChunk chunk;
    chunk.ssrc = readBe32(body + pos);
    pos += 4;
    for (;;) {
      if (pos >= size) return false;  // item list never terminated
      const uint8_t type = body[pos];
      if (type == kSdesEnd) {
        // Skip the terminator and the null padding to the boundary.
        const size_t end = ((pos + kHeaderBytes + 1 + 3) & ~size_t{3}) - kHeaderBytes;
        if (end > size) return false;
        pos = end;
        break;
      }
      if (size - pos < 2) return false;
      const size_t length = body[pos + 1];
      if (size - pos - 2 < length) return false;
      RtcpSdesItem item;
      item.type = type;
      item.text.assign(reinterpret_cast<const char*>(body + pos + 2), length);
      chunk.items.push_back(std::move(item));
      pos += 2 + length;
    }
    chunks.push_back(std::move(chunk));
  }
  if (!out.firstSsrc && !chunks.empty()) out.firstSsrc = chunks.front().ssrc;
  for (auto& chunk : chunks) out.descriptions.push_back(std::move(chunk));
  return true;
}

// RFC 3550 6.6: SC sources, then an optional length-prefixed reason.
bool parseGoodbye(const uint8_t* body, size_t size, size_t count, RtcpCompound& out) {
  if (size / 4 < count) return false;
  RtcpGoodbye bye;
  bye.ssrcs.reserve(count);
  for (size_t i = 0; i < count; ++i) bye.ssrcs.push_back(readBe32(body + 4 * i));
  const size_t reasonAt = 4 * count;
  if (reasonAt < size) {
    const size_t length = body[reasonAt];
    if (size - reasonAt - 1 < length) return false;
    bye.reason.assign(reinterpret_cast<const char*>(body + reasonAt + 1), length);
  }
  if (!out.firstSsrc && !bye.ssrcs.empty()) out.firstSsrc = bye.ssrcs.front();
  out.goodbyes.push_back(std::move(bye));
  return true;
}

// RFC 3550 6.7: SSRC, 4-character name, application data.
bool parseApplication(const uint8_t* body, size_t size, uint8_t subtype, RtcpCompound& out) {
  if (size < 8) return false;
  RtcpApplication app;
  app.ssrc = readBe32(body);
  app.subtype = subtype;
  for (size_t i = 0; i < 4; ++i) app.name[i] = static_cast<char>(body[4 + i]);
  app.data.assign(body + 8, body + size);
  if (!out.firstSsrc) out.firstSsrc = app.ssrc;
  out.applications.push_back(std::move(app));
  return true;
}

}  // namespace

std::optional<RtcpCompound> parseRtcpCompound(const uint8_t* data, size_t size) {
  if (data == nullptr || size < kHeaderBytes) return std::nullopt;
  RtcpCompound compound;
  size_t pos = 0;
  while (pos < size) {
    if (size - pos < kHeaderBytes) return std::nullopt;  // trailing bytes
    const uint8_t* packet = data + pos;
    if ((packet[0] >> 6) != 2) return std::nullopt;
    const bool padded = (packet[0] & 0x20) != 0;
    const size_t count = packet[0] & 0x1f;
    const uint8_t type = packet[1];
    const size_t length = (static_cast<size_t>(readBe16(packet + 2)) + 1) * 4;
    if (length > size - pos) return std::nullopt;
    size_t bodySize = length - kHeaderBytes;
    if (padded) {
      // Only the last packet of a compound may carry padding (A.2).
      if (pos + length != size) return std::nullopt;
      const size_t paddingBytes = packet[length - 1];
      if (paddingBytes == 0 || paddingBytes > bodySize) return std::nullopt;
      bodySize -= paddingBytes;
    }
    const uint8_t* body = packet + kHeaderBytes;
    bool ok = true;
    switch (type) {
      case kRtcpSenderReport: ok = parseReport(body, bodySize, count, true, compound); break;
      case kRtcpReceiverReport: ok = parseReport(body, bodySize, count, false, compound); break;
      case kRtcpSourceDescription:
        ok = parseSourceDescription(body, bodySize, count, compound);
        break;
      case kRtcpGoodbye: ok = parseGoodbye(body, bodySize, count, compound); break;
      case kRtcpApplication:
        ok = parseApplication(body, bodySize, static_cast<uint8_t>(count), compound);
        break;
      default: break;  // a type we do not interpret: its length was checked
    }
    if (!ok) return std::nullopt;
    pos += length;
  }
  return compound;
}

}  // namespace strevana
