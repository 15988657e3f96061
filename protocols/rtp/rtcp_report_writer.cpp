#include "protocols/rtp/rtcp_report_writer.h"

#include <algorithm>

#include "protocols/rtp/rtp_wire.h"

namespace strevana {
namespace {

constexpr size_t kMaxItemBytes = 255;

// Writes V=2, P=0, the count and the type, and a length placeholder; returns
// where the packet starts so finishPacket can fill the length in words - 1.
size_t beginPacket(std::vector<uint8_t>& out, size_t count, uint8_t type) {
  const size_t start = out.size();
  out.push_back(static_cast<uint8_t>(0x80 | (count & 0x1f)));
  out.push_back(type);
  appendBe16(out, 0);
  return start;
}

void finishPacket(std::vector<uint8_t>& out, size_t start) {
  while ((out.size() - start) % 4 != 0) out.push_back(0);
  const size_t words = (out.size() - start) / 4;
  writeBe16(out.data() + start + 2, static_cast<uint16_t>(words - 1));
}

void appendReportBlock(std::vector<uint8_t>& out, const RtcpReportBlock& block) {
  appendBe32(out, block.ssrc);
  const uint32_t lost = static_cast<uint32_t>(block.cumulativeLost) & 0xffffffu;
  appendBe32(out, (static_cast<uint32_t>(block.fractionLost) << 24) | lost);
  appendBe32(out, block.highestSequence);
  appendBe32(out, block.jitter);
  appendBe32(out, block.lastSenderReport);
  appendBe32(out, block.delaySinceLastSenderReport);
}

}  // namespace

void RtcpReportWriter::appendReceiverReports(std::vector<uint8_t>& out, uint32_t ssrc,
                                             std::span<const RtcpReportBlock> blocks) {
  size_t done = 0;
  do {
    const size_t count = std::min(kMaxBlocksPerReport, blocks.size() - done);
    const size_t start = beginPacket(out, count, kRtcpReceiverReport);
    appendBe32(out, ssrc);
    for (size_t i = 0; i < count; ++i) appendReportBlock(out, blocks[done + i]);
    finishPacket(out, start);
    done += count;
  } while (done < blocks.size());
}

void RtcpReportWriter::appendSourceDescription(
    std::vector<uint8_t>& out, uint32_t ssrc,
    std::span<const std::pair<uint8_t, std::string>> items) {
  const size_t start = beginPacket(out, 1, kRtcpSourceDescription);
  appendBe32(out, ssrc);
  for (const auto& [type, text] : items) {
    if (type == kSdesEnd) continue;
    const size_t length = std::min(text.size(), kMaxItemBytes);
    out.push_back(type);
    out.push_back(static_cast<uint8_t>(length));
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
  }
  // At least one null octet ends the item list, then nulls to the boundary.
  out.push_back(kSdesEnd);
  finishPacket(out, start);
}

void RtcpReportWriter::appendGoodbye(std::vector<uint8_t>& out, uint32_t ssrc,
                                     std::string_view reason) {
  const size_t start = beginPacket(out, 1, kRtcpGoodbye);
  appendBe32(out, ssrc);
  if (!reason.empty()) {
    const size_t length = std::min(reason.size(), kMaxItemBytes);
    out.push_back(static_cast<uint8_t>(length));
    out.insert(out.end(), reason.begin(), reason.begin() + static_cast<std::ptrdiff_t>(length));
  }
  finishPacket(out, start);
}

}  // namespace strevana
