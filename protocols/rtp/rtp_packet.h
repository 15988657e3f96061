#pragma once
// RtpPacket: one received RTP data packet (RFC 3550 section 5.1), owning a
// copy of the datagram it came from. The header fields are decoded once by
// parse(); the payload excludes CSRCs, the header extension and padding.
//
// Thread: whichever thread holds the RtpSession that produced it; a packet
// handed out by RtpSession::getNextPacket belongs to the caller, and dropping
// the unique_ptr frees the buffer. Not copyable (it is always held by
// pointer), so the payload accessors can never point into a stale buffer.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace strevana {

class RtpPacket {
 public:
  static constexpr size_t kFixedHeaderBytes = 12;
  static constexpr size_t kMaxCsrcs = 15;

  // Decodes one datagram. Returns null for anything that is not a well-formed
  // version-2 packet: every length (fixed header, CSRC list, extension,
  // padding) is checked against the bytes actually present.
  static std::unique_ptr<RtpPacket> parse(const uint8_t* data, size_t size);

  RtpPacket(const RtpPacket&) = delete;
  RtpPacket& operator=(const RtpPacket&) = delete;

  // 32-bit sequence number carrying the wrap count; the 16-bit wire value
  // until the receiving source has extended it.
  uint32_t extendedSequenceNumber = 0;
  uint16_t sequenceNumber = 0;
  uint32_t timestamp = 0;
  uint32_t ssrc = 0;
  uint8_t csrcCount = 0;
  std::array<uint32_t, kMaxCsrcs> csrcs{};
  uint8_t payloadType = 0;  // 7 bits
  bool marker = false;
  bool hasExtension = false;
  uint16_t extensionId = 0;
  size_t extensionLength = 0;  // bytes, excluding the 4-byte extension header

  const uint8_t* extensionData() const { return buffer_.data() + extensionOffset_; }
  const uint8_t* payload() const { return buffer_.data() + payloadOffset_; }
  size_t payloadLength() const { return payloadLength_; }
  // The whole datagram as received (header, payload and padding).
  const std::vector<uint8_t>& buffer() const { return buffer_; }
  size_t size() const { return buffer_.size(); }

 private:
  RtpPacket() = default;

  std::vector<uint8_t> buffer_;
  size_t extensionOffset_ = 0;
  size_t payloadOffset_ = 0;
  size_t payloadLength_ = 0;
};

}  // namespace strevana
