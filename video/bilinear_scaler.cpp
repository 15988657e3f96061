#include "video/bilinear_scaler.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "video/pixel_access.h"

namespace strevana {

namespace {

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
  const auto n = static_cast<size_t>(destWidth > 0 ? destWidth : 0);
  columns_.resize(n);
  for (int32_t d = 0; d < destWidth; ++d) {
    columns_[static_cast<size_t>(d)] = tap(d, sourceWidth, destWidth);
  }
  pairOffsets_.resize(n);
  pairWeights_.resize(n);
  for (size_t d = 0; d < n; ++d) {
    Tap t = columns_[d];
    int32_t second = static_cast<int32_t>(t.weight);
    if (t.index >= sourceWidth - 1 && sourceWidth >= 2) {
      t.index = sourceWidth - 2;
      second = 256;
    }
    pairOffsets_[d] = 4 * t.index;
    const auto first = static_cast<int16_t>(256 - second);
    const auto next = static_cast<int16_t>(second);
    pairWeights_[d] = PairWeights{{first, first, first, first, next, next, next, next}};
  }
  sourceWidth_ = sourceWidth;
  destWidth_ = destWidth;
}

void BilinearScaler::scaleRow(const uint8_t* src, uint8_t* dst, int32_t left,
                              int32_t pixels) const {
  const Tap* taps = columns_.data() + left;
  int32_t i = 0;
#if defined(__SSE2__)
  // Two destination pixels per step, each from one 8-byte load of its pair:
  // 16-bit products stay below 2^16 (255 x 256), as in the scalar blend.
  if (sourceWidth_ >= 2) {
    const __m128i zero = _mm_setzero_si128();
    const int32_t* offsets = pairOffsets_.data() + left;
    const PairWeights* weights = pairWeights_.data() + left;
    for (; i + 2 <= pixels; i += 2) {
      const __m128i p0 = _mm_unpacklo_epi8(
          _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + offsets[i])), zero);
      const __m128i p1 = _mm_unpacklo_epi8(
          _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + offsets[i + 1])), zero);
      const __m128i m0 =
          _mm_mullo_epi16(p0, _mm_load_si128(reinterpret_cast<const __m128i*>(weights[i].lanes)));
      const __m128i m1 = _mm_mullo_epi16(
          p1, _mm_load_si128(reinterpret_cast<const __m128i*>(weights[i + 1].lanes)));
      const __m128i sum = _mm_add_epi16(_mm_unpacklo_epi64(m0, m1), _mm_unpackhi_epi64(m0, m1));
      const __m128i blended = _mm_srli_epi16(sum, 8);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 4 * i), _mm_packus_epi16(blended, blended));
    }
  }
#endif
  for (; i < pixels; ++i) {
    const Tap t = taps[i];
    const uint8_t* s = src + 4 * static_cast<size_t>(t.index);
    const uint32_t a = load32(s);
    store32(dst + 4 * i, t.weight == 0 ? a : lerp(a, load32(s + 4), t.weight));
  }
}

void BilinearScaler::blendRows(const uint8_t* a, const uint8_t* b, uint32_t weight, uint8_t* dst,
                               int32_t pixels) {
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(kOpaque));
  if (weight == 0) {
    for (; i + 4 <= pixels; i += 4) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 4 * i));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * i), _mm_or_si128(v, opaque));
    }
  } else {
    const __m128i zero = _mm_setzero_si128();
    const __m128i first = _mm_set1_epi16(static_cast<int16_t>(256 - weight));
    const __m128i second = _mm_set1_epi16(static_cast<int16_t>(weight));
    for (; i + 4 <= pixels; i += 4) {
      const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 4 * i));
      const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 4 * i));
      const __m128i lo =
          _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(va, zero), first),
                                       _mm_mullo_epi16(_mm_unpacklo_epi8(vb, zero), second)),
                         8);
      const __m128i hi =
          _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(va, zero), first),
                                       _mm_mullo_epi16(_mm_unpackhi_epi8(vb, zero), second)),
                         8);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * i),
                       _mm_or_si128(_mm_packus_epi16(lo, hi), opaque));
    }
  }
#endif
  if (weight == 0) {
    for (; i < pixels; ++i) store32(dst + 4 * i, load32(a + 4 * i) | kOpaque);
    return;
  }
  for (; i < pixels; ++i) {
    store32(dst + 4 * i, lerp(load32(a + 4 * i), load32(b + 4 * i), weight) | kOpaque);
  }
}

}  // namespace strevana
