#include "streaming/mp4v_es_format.h"

namespace strevana {

PayloadResult Mp4vEsFormat::depacketize(const RtpFrame& frame, std::vector<AccessUnit>& units) {
  if (frame.size == 0 || !frame.data) return PayloadResult::kOk;
  units.push_back({frame.data, frame.size, frame.timestamp});
  return PayloadResult::kOk;
}

}  // namespace strevana
