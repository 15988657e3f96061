#include "streaming/mp4a_latm_format.h"

namespace strevana {

PayloadResult Mp4aLatmFormat::depacketize(const RtpFrame& frame, std::vector<AccessUnit>& units) {
  if (!frame.data || frame.size == 0) return PayloadResult::kOk;
  const uint8_t* p = frame.data;
  const size_t size = frame.size;
  AccessUnit found[kMaxSubFrames];
  size_t count = 0;
  size_t at = 0;
  while (at < size) {
    if (count == kMaxSubFrames) return PayloadResult::kMalformed;
    const size_t start = at;
    size_t length = 0;
    for (;;) {
      if (at >= size) return PayloadResult::kMalformed;  // the length never ended
      const uint8_t b = p[at++];
      length += b;
      if (b != 255) break;
    }
    if (length > size - at) return PayloadResult::kMalformed;
    at += length;
    found[count] = {p + start, static_cast<uint32_t>(at - start),
                    frame.timestamp + static_cast<int64_t>(count) * kFrameTicks};
    ++count;
  }
  units.insert(units.end(), found, found + count);
  return PayloadResult::kOk;
}

}  // namespace strevana
