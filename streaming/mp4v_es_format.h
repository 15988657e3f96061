#pragma once
// MP4V-ES (RFC 3016 section 3, RFC 6416 section 5.1): MPEG-4 Visual carried
// as its elementary stream. The marker bit ends each access unit (one VOP,
// possibly preceded by configuration headers), so the assembled frame is the
// access unit exactly as sent, with the frame's time. An empty frame yields
// nothing. Used as described in payload_format.h.
#include "streaming/payload_format.h"

namespace strevana {

class Mp4vEsFormat final : public PayloadFormat {
 public:
  static constexpr std::string_view kName = "MP4V-ES";
  std::string_view name() const override { return kName; }
  PayloadResult depacketize(const RtpFrame& frame, std::vector<AccessUnit>& units) override;
};

}  // namespace strevana
