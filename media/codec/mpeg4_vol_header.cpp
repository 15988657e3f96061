#include "media/codec/mpeg4_vol_header.h"

namespace strevana {

namespace {

// Big-endian bits; reading past the end gives zeros and marks the overrun.
class Bits {
 public:
  Bits(const uint8_t* data, size_t size) : data_(data), bits_(size * 8) {}
  uint32_t read(int n) {
    uint32_t v = 0;
    for (int k = 0; k < n; ++k, ++pos_) {
      v = (v << 1) | (pos_ < bits_ ? (data_[pos_ / 8] >> (7 - pos_ % 8)) & 1u : 0u);
    }
    return v;
  }
  bool overrun() const { return pos_ > bits_; }

 private:
  const uint8_t* data_;
  size_t bits_;
  size_t pos_ = 0;
};

}  // namespace

Mpeg4VolHeader parseMpeg4VolHeader(const uint8_t* data, size_t size) {
  static constexpr uint32_t kAspects[][2] = {{0, 0},   {1, 1},   {12, 11},
                                             {10, 11}, {16, 11}, {40, 33}};
  Mpeg4VolHeader h;
  if (!data) return h;
  for (size_t i = 0; i + 4 < size; ++i) {
    if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1 || (data[i + 3] & 0xF0) != 0x20)
      continue;
    Bits r(data + i + 4, size - i - 4);
    h.found = true;
    r.read(1);  // random_accessible_vol
    r.read(8);  // video_object_type_indication
    uint32_t verid = 1;
    if (r.read(1)) {  // is_object_layer_identifier
      verid = r.read(4);
      r.read(3);  // video_object_layer_priority
    }
    const uint32_t info = r.read(4);
    if (info == 15) {
      const uint32_t w = r.read(8);
      const uint32_t hh = r.read(8);
      if (!r.overrun() && w > 0 && hh > 0) {
        h.aspectNumerator = w;
        h.aspectDenominator = hh;
      }
    } else if (info >= 1 && info <= 5 && !r.overrun()) {
      h.aspectNumerator = kAspects[info][0];
      h.aspectDenominator = kAspects[info][1];
    }
    if (r.read(1)) {              // vol_control_parameters
      r.read(3);                  // chroma_format, low_delay
      if (r.read(1)) r.read(79);  // vbv_parameters
    }
    const uint32_t shape = r.read(2);
    if (shape == 3 && verid != 1) r.read(4);  // video_object_layer_shape_extension
    r.read(1);                                // marker
    const uint32_t resolution = r.read(16);
    r.read(1);  // marker
    int bits = 1;
    while (bits < 16 && (1u << bits) < resolution) ++bits;
    if (r.read(1)) r.read(bits);  // fixed_vop_rate, fixed_vop_time_increment
    if (r.overrun()) return h;
    h.timeResolution = resolution;
    h.timeIncrementBits = bits;
    if (shape == 0) {  // rectangular
      r.read(1);
      const uint32_t w = r.read(13);
      r.read(1);
      const uint32_t hh = r.read(13);
      if (!r.overrun() && w > 0 && hh > 0) {
        h.width = static_cast<int32_t>(w);
        h.height = static_cast<int32_t>(hh);
      }
    }
    return h;
  }
  return h;
}

bool parseMpeg4VopTime(const uint8_t* data, size_t size, int timeIncrementBits, uint32_t& seconds,
                       uint32_t& increment) {
  if (!data || size < 5 || timeIncrementBits <= 0) return false;
  Bits r(data + 4, size - 4);
  r.read(2);  // vop_coding_type
  seconds = 0;
  while (r.read(1) && !r.overrun()) ++seconds;  // modulo_time_base
  r.read(1);                                    // marker
  increment = r.read(timeIncrementBits);
  return !r.overrun();
}

}  // namespace strevana
