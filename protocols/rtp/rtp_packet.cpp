#include "protocols/rtp/rtp_packet.h"

#include "protocols/rtp/rtp_wire.h"

namespace strevana {

std::unique_ptr<RtpPacket> RtpPacket::parse(const uint8_t* data, size_t size) {
  // RFC 3550 5.1: V(2) P(1) X(1) CC(4) | M(1) PT(7) | sequence | timestamp | SSRC.
  if (data == nullptr || size < kFixedHeaderBytes) return nullptr;
  if ((data[0] >> 6) != 2) return nullptr;
  const bool padding = (data[0] & 0x20) != 0;
  const bool extension = (data[0] & 0x10) != 0;
  const size_t csrcCount = data[0] & 0x0f;

  size_t headerEnd = kFixedHeaderBytes + 4 * csrcCount;
  if (headerEnd > size) return nullptr;

  size_t extensionOffset = headerEnd;
  size_t extensionBytes = 0;
  uint16_t extensionId = 0;
  if (extension) {
    // RFC 3550 5.3.1: 16-bit profile-defined id, 16-bit length in words.
    if (size - headerEnd < 4) return nullptr;
    extensionId = readBe16(data + headerEnd);
    extensionBytes = 4 * static_cast<size_t>(readBe16(data + headerEnd + 2));
    extensionOffset = headerEnd + 4;
    if (extensionBytes > size - extensionOffset) return nullptr;
    headerEnd = extensionOffset + extensionBytes;
  }

  size_t payloadEnd = size;
  if (padding) {
    // RFC 3550 5.1: the last octet counts the padding, itself included, so a
    // count of 0 or one reaching into the header is malformed.
    const size_t paddingBytes = data[size - 1];
    if (paddingBytes == 0 || paddingBytes > size - headerEnd) return nullptr;
    payloadEnd = size - paddingBytes;
  }

  std::unique_ptr<RtpPacket> packet(new RtpPacket());
  packet->buffer_.assign(data, data + size);
  packet->marker = (data[1] & 0x80) != 0;
  packet->payloadType = data[1] & 0x7f;
  packet->sequenceNumber = readBe16(data + 2);
  packet->extendedSequenceNumber = packet->sequenceNumber;
  packet->timestamp = readBe32(data + 4);
  packet->ssrc = readBe32(data + 8);
  packet->csrcCount = static_cast<uint8_t>(csrcCount);
  for (size_t i = 0; i < csrcCount; ++i) {
    packet->csrcs[i] = readBe32(data + kFixedHeaderBytes + 4 * i);
  }
  packet->hasExtension = extension;
  packet->extensionId = extensionId;
  packet->extensionLength = extensionBytes;
  packet->extensionOffset_ = extensionOffset;
  packet->payloadOffset_ = headerEnd;
  packet->payloadLength_ = payloadEnd - headerEnd;
  return packet;
}

}  // namespace strevana
