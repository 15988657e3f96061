#include "video/bilinear_scaler.h"

#include <cstring>

namespace strevana {

namespace {

constexpr uint32_t kOpaque = 0xff000000u;

inline uint32_t load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

inline void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// Two bytes per 32-bit lane at a time: (a (256 - w) + b w) / 256 stays below
// 2^16 per byte, so the lanes never carry into each other.
inline uint32_t lerp(uint32_t a, uint32_t b, uint32_t w) {
  const uint32_t iw = 256 - w;
  const uint32_t rb = (((a & 0x00ff00ffu) * iw + (b & 0x00ff00ffu) * w) >> 8) & 0x00ff00ffu;
  const uint32_t g = (((a >> 8) & 0x00ff00ffu) * iw + ((b >> 8) & 0x00ff00ffu) * w) & 0xff00ff00u;
  return rb | g;
}

}  // namespace

BilinearScaler::Tap BilinearScaler::tap(int64_t d, int64_t sourceSize, int64_t destSize) {
  // s = ((2d + 1) S - D) / 2D, kept as a fraction so no rounding creeps in.
  const int64_t numerator = (2 * d + 1) * sourceSize - destSize;
  const int64_t denominator = 2 * destSize;
  if (numerator <= 0) return {0, 0};
  const int64_t index = numerator / denominator;
  if (index >= sourceSize - 1) return {static_cast<int32_t>(sourceSize - 1), 0};
  const int64_t fraction = numerator - index * denominator;
  return {static_cast<int32_t>(index), static_cast<uint32_t>(fraction * 256 / denominator)};
}

void BilinearScaler::prepare(int32_t sourceWidth, int32_t destWidth) {
  if (sourceWidth == sourceWidth_ && destWidth == destWidth_) return;
  columns_.resize(static_cast<size_t>(destWidth > 0 ? destWidth : 0));
  for (int32_t d = 0; d < destWidth; ++d) {
    columns_[static_cast<size_t>(d)] = tap(d, sourceWidth, destWidth);
  }
  sourceWidth_ = sourceWidth;
  destWidth_ = destWidth;
}

void BilinearScaler::scaleRow(const uint8_t* src, uint8_t* dst, int32_t left, int32_t pixels) const {
  const Tap* taps = columns_.data() + left;
  for (int32_t i = 0; i < pixels; ++i) {
    const Tap t = taps[i];
    const uint8_t* s = src + 4 * static_cast<size_t>(t.index);
    const uint32_t a = load32(s);
    store32(dst + 4 * i, t.weight == 0 ? a : lerp(a, load32(s + 4), t.weight));
  }
}

void BilinearScaler::blendRows(const uint8_t* a, const uint8_t* b, uint32_t weight, uint8_t* dst,
                               int32_t pixels) {
  if (weight == 0) {
    for (int32_t i = 0; i < pixels; ++i) store32(dst + 4 * i, load32(a + 4 * i) | kOpaque);
    return;
  }
  for (int32_t i = 0; i < pixels; ++i) {
    store32(dst + 4 * i, lerp(load32(a + 4 * i), load32(b + 4 * i), weight) | kOpaque);
  }
}

}  // namespace strevana
