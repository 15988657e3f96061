#pragma once
// MP4A-LATM (RFC 3016 section 4, RFC 6416 section 6.1): MPEG-4 Audio in LATM
// with the StreamMuxConfig given out of band ("cpresent=0", the config=
// parameter). A frame (an audioMuxElement, possibly sent over several packets
// up to the marker bit) holds sub-frames, each a PayloadLengthInfo (bytes
// of 255 continue the length, the first other byte ends it) followed by that
// many bytes of PayloadMux.
//
// Each sub-frame becomes one access unit, in the form the audio decoder takes
// for LATM (its PayloadLengthInfo followed by its PayloadMux), timed
// kFrameTicks after the one before it (1024 samples of AAC at a clock rate
// equal to the sampling rate, as RFC 6416 recommends).
//
// Malformed (the frame is dropped whole): a length running past the frame,
// or more than kMaxSubFrames sub-frames. Used as described in
// payload_format.h.
#include "streaming/payload_format.h"

namespace strevana {

class Mp4aLatmFormat final : public PayloadFormat {
 public:
  static constexpr std::string_view kName = "MP4A-LATM";
  static constexpr size_t kMaxSubFrames = 50;
  static constexpr int64_t kFrameTicks = 1024;

  std::string_view name() const override { return kName; }
  PayloadResult depacketize(const RtpFrame& frame, std::vector<AccessUnit>& units) override;
};

}  // namespace strevana
