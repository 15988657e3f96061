#include "streaming/mp4v_es_format.h"

#include <vector>

#include "media/codec/mpeg4_vol_header.h"
#include "streaming/payload_config.h"

namespace strevana {

namespace {

bool isVopStart(const uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 1 && p[3] == 0xB6; }

}  // namespace

Mp4vEsFormat::Mp4vEsFormat(const PayloadFormatParameters& parameters) {
  if (parameters.clockRate > 0) clockRate_ = parameters.clockRate;
  const std::vector<uint8_t> config = configBytes(parameters.formatParameters);
  const Mpeg4VolHeader vol = parseMpeg4VolHeader(config.data(), config.size());
  if (vol.timeResolution > 0) {
    timeResolution_ = vol.timeResolution;
    timeIncrementBits_ = vol.timeIncrementBits;
  }
}

PayloadResult Mp4vEsFormat::depacketize(const RtpFrame& frame, std::vector<AccessUnit>& units) {
  if (frame.size == 0 || !frame.data) return PayloadResult::kOk;
  std::vector<uint32_t> starts;
  for (uint32_t i = 0; i + 4 <= frame.size; ++i) {
    if (isVopStart(frame.data + i)) starts.push_back(i);
  }
  if (starts.size() <= 1) {
    units.push_back({frame.data, frame.size, frame.timestamp});
    return PayloadResult::kOk;
  }
  // Times relative to the first VOP, from each VOP's own header.
  uint32_t firstSeconds = 0, firstIncrement = 0;
  const bool timed = timeResolution_ > 0 &&
                     parseMpeg4VopTime(frame.data + starts[0], frame.size - starts[0], timeIncrementBits_,
                                       firstSeconds, firstIncrement);
  int64_t seconds = 0;
  for (size_t k = 0; k < starts.size(); ++k) {
    const uint32_t begin = k == 0 ? 0 : starts[k];
    const uint32_t end = k + 1 < starts.size() ? starts[k + 1] : frame.size;
    int64_t offset = 0;
    uint32_t s = 0, increment = 0;
    if (k > 0 && timed &&
        parseMpeg4VopTime(frame.data + starts[k], frame.size - starts[k], timeIncrementBits_, s, increment)) {
      seconds += s;
      const int64_t ticks = seconds * timeResolution_ + increment - static_cast<int64_t>(firstIncrement);
      offset = ticks * clockRate_ / timeResolution_;
      if (offset < 0) offset = 0;
    }
    units.push_back({frame.data + begin, end - begin, frame.timestamp + offset});
  }
  return PayloadResult::kOk;
}

}  // namespace strevana
