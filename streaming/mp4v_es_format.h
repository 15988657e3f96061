#pragma once
// MP4V-ES (RFC 3016 section 3, RFC 6416 section 5.1): MPEG-4 Visual carried
// as its elementary stream. The marker bit ends each access unit (one VOP,
// possibly preceded by configuration headers), so the assembled frame is the
// access unit exactly as sent, with the frame's time. An empty frame yields
// nothing. Used as described in payload_format.h.
//
// Some senders (GStreamer's payloader among them) put several small VOPs
// into one packet, stamped with the first one's time (RFC 3016 3.2). Such a
// frame is split at the VOP start codes into one access unit per VOP, the
// configuration headers staying with the first; each later VOP is timed by
// its own header (modulo_time_base and vop_time_increment against the
// vop_time_increment_resolution of the config= parameter), converted to the
// RTP clock. Without a usable configuration, later VOPs get the frame's time.
#include <cstdint>
#include <vector>

#include "streaming/payload_format.h"

namespace strevana {

class Mp4vEsFormat final : public PayloadFormat {
 public:
  static constexpr std::string_view kName = "MP4V-ES";
  Mp4vEsFormat() = default;
  explicit Mp4vEsFormat(const PayloadFormatParameters& parameters);
  std::string_view name() const override { return kName; }
  PayloadResult depacketize(const RtpFrame& frame, std::vector<AccessUnit>& units) override;

 private:
  uint32_t clockRate_ = 90000;
  uint32_t timeResolution_ = 0;  // 0: unknown
  int timeIncrementBits_ = 0;
  std::vector<uint32_t> starts_;  // VOP start offsets, kept between frames
};

}  // namespace strevana
