#include "streaming/mp4v_es_format.h"

#include <cstring>
#include <vector>

#include "media/codec/mpeg4_vol_header.h"
#include "streaming/payload_config.h"

namespace strevana {

namespace {

// Offsets of the VOP start codes (00 00 01 B6) in order. memchr finds the
// candidates' 01 bytes, so a frame of one VOP costs a fast pass over its bytes.
void findVopStarts(const uint8_t* data, uint32_t size, std::vector<uint32_t>& starts) {
  starts.clear();
  if (size < 4) return;
  const uint8_t* p = data + 2;
  const uint8_t* const end = data + size - 1;  // the 01 needs the B6 after it
  while (p < end) {
    const auto* one =
        static_cast<const uint8_t*>(std::memchr(p, 0x01, static_cast<size_t>(end - p)));
    if (!one) break;
    if (one[-1] == 0 && one[-2] == 0 && one[1] == 0xB6)
      starts.push_back(static_cast<uint32_t>(one - 2 - data));
    p = one + 1;
  }
}

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
  std::vector<uint32_t>& starts = starts_;
  findVopStarts(frame.data, frame.size, starts);
  if (starts.size() <= 1) {
    units.push_back({frame.data, frame.size, frame.timestamp});
    return PayloadResult::kOk;
  }
  // Times relative to the first VOP, from each VOP's own header.
  uint32_t firstSeconds = 0, firstIncrement = 0;
  const bool timed =
      timeResolution_ > 0 && parseMpeg4VopTime(frame.data + starts[0], frame.size - starts[0],
                                               timeIncrementBits_, firstSeconds, firstIncrement);
  int64_t seconds = 0;
  for (size_t k = 0; k < starts.size(); ++k) {
    const uint32_t begin = k == 0 ? 0 : starts[k];
    const uint32_t end = k + 1 < starts.size() ? starts[k + 1] : frame.size;
    int64_t offset = 0;
    uint32_t s = 0, increment = 0;
    if (k > 0 && timed &&
        parseMpeg4VopTime(frame.data + starts[k], frame.size - starts[k], timeIncrementBits_, s,
                          increment)) {
      seconds += s;
      const int64_t ticks =
          seconds * timeResolution_ + increment - static_cast<int64_t>(firstIncrement);
      offset = ticks * clockRate_ / timeResolution_;
      if (offset < 0) offset = 0;
    }
    units.push_back({frame.data + begin, end - begin, frame.timestamp + offset});
  }
  return PayloadResult::kOk;
}

}  // namespace strevana
