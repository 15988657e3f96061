#pragma once
// mpeg4-generic (RFC 3640): MPEG-4 elementary streams with an AU Header
// Section, as used for AAC in the AAC-hbr and AAC-lbr modes (sections 3.3.5
// and 3.3.6).
//
// Each packet of a frame carries (section 3.2.1) a 16-bit AU-headers-length
// in bits, the AU headers (AU-size of sizeLength bits, AU-Index of
// indexLength bits for the first header and AU-Index-delta of
// indexDeltaLength bits for the others, then the optional CTS, DTS,
// random-access and stream-state fields the fmtp line announces), an
// optional auxiliary section (auxiliaryDataSizeLength), and the access units
// one after another. Every access unit of a packet is delivered on its own,
// at RTP time + index x duration (section 3.2.3.1), where the index counts
// from the AU-Index by AU-Index-delta + 1 and the duration is constantDuration
// from the fmtp line, else 1024 samples of the AudioSpecificConfig's sampling
// rate in RTP clock ticks (1024 ticks when the config gives no rate).
//
// An access unit larger than the data of its packet is a fragment (section
// 3.2.3): the packet must hold a single AU header, and the fragments of the
// following packets (each with the same AU-size and RTP time) are appended
// until the size is reached; fragments may span frames, for senders that
// set the marker bit on every packet.
//
// Choices where the RFC leaves room:
// - mode=AAC-hbr / AAC-lbr supply their header lengths (13/3/3, 6/2/2) when
//   the fmtp line leaves them out; without any header field and without
//   constantSize, a packet is one access unit.
// - Packets after the first in a frame continue the index of the one before,
//   since the frame keeps only its first RTP time.
// - Interleaved access units are delivered in packet order with their own
//   times (no de-interleaving buffer).
// Malformed (the frame and any partly reassembled unit are dropped): a header
// section or auxiliary section past its packet, AU sizes past the packet's
// data, fragments that overrun their AU-size or come with several headers.
// Used as described in payload_format.h.
#include <cstdint>
#include <vector>

#include "streaming/payload_format.h"

namespace strevana {

class Mpeg4GenericFormat final : public PayloadFormat {
 public:
  static constexpr std::string_view kName = "mpeg4-generic";
  static constexpr int64_t kDefaultFrameSamples = 1024;
  // Bounds on what the fmtp line may announce (field widths in bits).
  static constexpr uint32_t kMaxFieldBits = 32;

  struct Layout {
    uint32_t sizeLength = 0;
    uint32_t indexLength = 0;
    uint32_t indexDeltaLength = 0;
    uint32_t ctsDeltaLength = 0;
    uint32_t dtsDeltaLength = 0;
    uint32_t randomAccessIndication = 0;
    uint32_t streamStateIndication = 0;
    uint32_t auxiliaryDataSizeLength = 0;
    uint32_t constantSize = 0;
    int64_t duration = kDefaultFrameSamples;  // RTP ticks per access unit
  };

  explicit Mpeg4GenericFormat(const PayloadFormatParameters& parameters);
  explicit Mpeg4GenericFormat(const Layout& layout) : layout_(layout) {}

  std::string_view name() const override { return kName; }
  PayloadResult depacketize(const RtpFrame& frame, std::vector<AccessUnit>& units) override;
  void reset() override;

  const Layout& layout() const { return layout_; }

 private:
  struct Header {
    uint32_t size = 0;
    int64_t index = 0;
  };
  // One packet's units (appended to `units`); `nextIndex` carries the index
  // on to the next packet.
  PayloadResult packet(const uint8_t* p, size_t size, int64_t timestamp, int64_t& nextIndex,
                       std::vector<AccessUnit>& units);
  bool hasHeaderSection() const;

  Layout layout_;
  // The access unit being reassembled from fragments.
  std::vector<uint8_t> partial_;
  uint32_t partialSize_ = 0;
  int64_t partialTime_ = 0;
  bool reassembling_ = false;
  // Reassembled units handed out by the current call.
  std::vector<std::vector<uint8_t>> completed_;
  std::vector<Header> headers_;
};

}  // namespace strevana
