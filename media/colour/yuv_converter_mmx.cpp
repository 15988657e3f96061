#include "media/colour/yuv_converter_mmx.h"

#include <cstring>

#include "media/colour/yuv_blocks.h"

#if defined(__x86_64__)
#include <emmintrin.h>
#define STREVANA_SSE2 1
#endif

namespace strevana {

using colour::PlanarPicture;

namespace {

#if defined(STREVANA_SSE2)

// trunc(c x d) for signed 16-bit d in -128..127 from floor(c x |d|): the
// multipliers below give exactly the table values for every d (checked by the
// tests against the tables).
struct SignMagnitude {
  __m128i mask;       // all ones where d < 0
  __m128i magnitude;  // |d|
};

inline SignMagnitude splitSign(__m128i d) {
  const __m128i mask = _mm_srai_epi16(d, 15);
  return {mask, _mm_sub_epi16(_mm_xor_si128(d, mask), mask)};
}

inline __m128i applySign(__m128i value, __m128i mask) {
  return _mm_sub_epi16(_mm_xor_si128(value, mask), mask);
}

// floor(a x m / 65536) for a in 0..128 (or 0..239 for luma).
inline __m128i mulFraction(__m128i a, int m) {
  return _mm_mulhi_epu16(a, _mm_set1_epi16(static_cast<short>(m)));
}

// Eight chroma samples widened to signed 16-bit, less 128.
inline __m128i loadChroma8(const uint8_t* p) {
  const __m128i raw = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  return _mm_sub_epi16(_mm_unpacklo_epi8(raw, _mm_setzero_si128()), _mm_set1_epi16(128));
}

// Chroma terms of eight blocks, 16-bit: red, green (to subtract / add) and
// blue contributions.
struct ChromaTerms {
  __m128i r, g, b;
};

// Full precision: crR, cbG + crG, cbB.
inline ChromaTerms plainTerms(const uint8_t* u, const uint8_t* v) {
  const SignMagnitude cu = splitSign(loadChroma8(u));
  const SignMagnitude cv = splitSign(loadChroma8(v));
  // 1.793 = 1 + 0.793, 2.115 = 2 + 0.115 keep the multipliers below 1.
  const __m128i crR = applySign(_mm_add_epi16(cv.magnitude, mulFraction(cv.magnitude, 51966)), cv.mask);
  const __m128i cbG = applySign(mulFraction(cu.magnitude, 13961), cu.mask);
  const __m128i crG = applySign(mulFraction(cv.magnitude, 34998), cv.mask);
  const __m128i cbB = applySign(
      _mm_add_epi16(_mm_slli_epi16(cu.magnitude, 1), mulFraction(cu.magnitude, 7536)), cu.mask);
  return {crR, _mm_add_epi16(cbG, crG), cbB};
}

inline __m128i clamp64(__m128i x) {
  return _mm_max_epi16(_mm_min_epi16(x, _mm_set1_epi16(64)), _mm_set1_epi16(-64));
}

// Quarter precision: red, green (already negated: added) and blue terms.
inline ChromaTerms quarterTerms(const uint8_t* u, const uint8_t* v) {
  const SignMagnitude cu = splitSign(loadChroma8(u));
  const SignMagnitude cv = splitSign(loadChroma8(v));
  const __m128i b = clamp64(applySign(mulFraction(cu.magnitude, 34655), cu.mask));
  // The green terms carry a minus sign: flip the sign mask instead.
  const __m128i gu = clamp64(applySign(mulFraction(cu.magnitude, 3490), _mm_xor_si128(cu.mask, _mm_set1_epi16(-1))));
  const __m128i gv = clamp64(applySign(mulFraction(cv.magnitude, 8755), _mm_xor_si128(cv.mask, _mm_set1_epi16(-1))));
  const __m128i r = clamp64(applySign(mulFraction(cv.magnitude, 29370), cv.mask));
  return {r, _mm_add_epi16(gu, gv), b};
}

// Bytes c0 c1 c2 c3 of 16 pixels interleaved into 64 bytes.
inline void store4x16(uint8_t* out, __m128i c0, __m128i c1, __m128i c2, __m128i c3) {
  const __m128i lo01 = _mm_unpacklo_epi8(c0, c1), hi01 = _mm_unpackhi_epi8(c0, c1);
  const __m128i lo23 = _mm_unpacklo_epi8(c2, c3), hi23 = _mm_unpackhi_epi8(c2, c3);
  auto* o = reinterpret_cast<__m128i*>(out);
  _mm_storeu_si128(o + 0, _mm_unpacklo_epi16(lo01, lo23));
  _mm_storeu_si128(o + 1, _mm_unpackhi_epi16(lo01, lo23));
  _mm_storeu_si128(o + 2, _mm_unpacklo_epi16(hi01, hi23));
  _mm_storeu_si128(o + 3, _mm_unpackhi_epi16(hi01, hi23));
}

// Two 3-byte pixels per 64-bit lane of four 4-byte pixels (fourth bytes zero).
inline __m128i compactLanes(__m128i p) {
  const __m128i low = _mm_and_si128(p, _mm_set1_epi64x(0x0000000000FFFFFFLL));
  const __m128i high = _mm_and_si128(_mm_srli_epi64(p, 8), _mm_set1_epi64x(0x0000FFFFFF000000LL));
  return _mm_or_si128(low, high);
}

// Bytes c0 c1 c2 of 16 pixels interleaved into exactly 48 bytes. Each lane
// store writes 8 bytes of which the next overwrites two; the last writes 6.
inline void store3x16(uint8_t* out, __m128i c0, __m128i c1, __m128i c2) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo01 = _mm_unpacklo_epi8(c0, c1), hi01 = _mm_unpackhi_epi8(c0, c1);
  const __m128i lo2 = _mm_unpacklo_epi8(c2, zero), hi2 = _mm_unpackhi_epi8(c2, zero);
  const __m128i q[4] = {compactLanes(_mm_unpacklo_epi16(lo01, lo2)),
                        compactLanes(_mm_unpackhi_epi16(lo01, lo2)),
                        compactLanes(_mm_unpacklo_epi16(hi01, hi2)),
                        compactLanes(_mm_unpackhi_epi16(hi01, hi2))};
  for (int i = 0; i < 4; ++i) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 12 * i), q[i]);
    const __m128i upper = _mm_unpackhi_epi64(q[i], q[i]);
    if (i < 3) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 12 * i + 6), upper);
    } else {
      uint8_t last[8];
      _mm_storel_epi64(reinterpret_cast<__m128i*>(last), upper);
      std::memcpy(out + 42, last, 6);
    }
  }
}

inline __m128i loadLuma16(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Quarter-scale luma of 8 samples (16-bit): clamp(trunc(0.291 (y - 16)), 0, 64).
inline __m128i quarterLuma(__m128i y16) {
  return _mm_min_epi16(mulFraction(y16, 19068), _mm_set1_epi16(64));
}

// 4 x (luma + term), saturated to 0..255, for 16 pixels.
inline __m128i quarterChannel(__m128i lLo, __m128i lHi, __m128i tLo, __m128i tHi) {
  return _mm_packus_epi16(_mm_slli_epi16(_mm_add_epi16(lLo, tLo), 2),
                          _mm_slli_epi16(_mm_add_epi16(lHi, tHi), 2));
}

// Quarter-precision 24-bit conversion of the first `pairs` column pairs
// (a multiple of 8) of every row pair.
template <bool RedFirst>
void quarter24(const PlanarPicture& p, int32_t pairs) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i sixteen = _mm_set1_epi8(16);
  for (int32_t row = 0; row < p.height / 2; ++row) {
    ptrdiff_t step = 0;
    uint8_t* out[2];
    out[0] = colour::pairRow(p, row, step);
    out[1] = out[0] + step;
    const uint8_t* yRow[2] = {p.y + 2 * static_cast<ptrdiff_t>(row) * p.yStride,
                              p.y + (2 * static_cast<ptrdiff_t>(row) + 1) * p.yStride};
    const uint8_t* u = p.u + static_cast<ptrdiff_t>(row) * p.uvStride;
    const uint8_t* v = p.v + static_cast<ptrdiff_t>(row) * p.uvStride;
    for (int32_t c = 0; c < pairs; c += 8) {
      const ChromaTerms t = quarterTerms(u + c, v + c);
      const __m128i rLo = _mm_unpacklo_epi16(t.r, t.r), rHi = _mm_unpackhi_epi16(t.r, t.r);
      const __m128i gLo = _mm_unpacklo_epi16(t.g, t.g), gHi = _mm_unpackhi_epi16(t.g, t.g);
      const __m128i bLo = _mm_unpacklo_epi16(t.b, t.b), bHi = _mm_unpackhi_epi16(t.b, t.b);
      for (int i = 0; i < 2; ++i) {
        const __m128i ys = _mm_subs_epu8(loadLuma16(yRow[i] + 2 * c), sixteen);
        const __m128i lLo = quarterLuma(_mm_unpacklo_epi8(ys, zero));
        const __m128i lHi = quarterLuma(_mm_unpackhi_epi8(ys, zero));
        const __m128i red = quarterChannel(lLo, lHi, rLo, rHi);
        const __m128i green = quarterChannel(lLo, lHi, gLo, gHi);
        const __m128i blue = quarterChannel(lLo, lHi, bLo, bHi);
        uint8_t* o = out[i] + 6 * static_cast<ptrdiff_t>(c);
        if (RedFirst) {
          store3x16(o, red, green, blue);
        } else {
          store3x16(o, blue, green, red);
        }
      }
    }
  }
}

// Full-precision 32-bit conversion (raw luma) of the first `pairs` column
// pairs (a multiple of 8); alpha from the plane or 255.
template <bool RedFirst>
void plain32(const PlanarPicture& p, int32_t pairs) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i opaque = _mm_set1_epi8(-1);
  for (int32_t row = 0; row < p.height / 2; ++row) {
    ptrdiff_t step = 0;
    uint8_t* out[2];
    out[0] = colour::pairRow(p, row, step);
    out[1] = out[0] + step;
    const ptrdiff_t y0 = 2 * static_cast<ptrdiff_t>(row) * p.yStride;
    const ptrdiff_t yOffset[2] = {y0, y0 + p.yStride};
    const uint8_t* u = p.u + static_cast<ptrdiff_t>(row) * p.uvStride;
    const uint8_t* v = p.v + static_cast<ptrdiff_t>(row) * p.uvStride;
    for (int32_t c = 0; c < pairs; c += 8) {
      const ChromaTerms t = plainTerms(u + c, v + c);
      const __m128i rLo = _mm_unpacklo_epi16(t.r, t.r), rHi = _mm_unpackhi_epi16(t.r, t.r);
      const __m128i gLo = _mm_unpacklo_epi16(t.g, t.g), gHi = _mm_unpackhi_epi16(t.g, t.g);
      const __m128i bLo = _mm_unpacklo_epi16(t.b, t.b), bHi = _mm_unpackhi_epi16(t.b, t.b);
      for (int i = 0; i < 2; ++i) {
        const __m128i yv = loadLuma16(p.y + yOffset[i] + 2 * c);
        const __m128i yLo = _mm_unpacklo_epi8(yv, zero), yHi = _mm_unpackhi_epi8(yv, zero);
        const __m128i red = _mm_packus_epi16(_mm_add_epi16(yLo, rLo), _mm_add_epi16(yHi, rHi));
        const __m128i green = _mm_packus_epi16(_mm_sub_epi16(yLo, gLo), _mm_sub_epi16(yHi, gHi));
        const __m128i blue = _mm_packus_epi16(_mm_add_epi16(yLo, bLo), _mm_add_epi16(yHi, bHi));
        const __m128i alpha = p.alpha ? loadLuma16(p.alpha + yOffset[i] + 2 * c) : opaque;
        uint8_t* o = out[i] + 8 * static_cast<ptrdiff_t>(c);
        if (RedFirst) {
          store4x16(o, red, green, blue, alpha);
        } else {
          store4x16(o, blue, green, red, alpha);
        }
      }
    }
  }
}

// Packed 4:2:2 of the first `pairs` column pairs (a multiple of 8).
template <bool UFirst>
void pack422(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t height, int32_t yStride,
             const uint8_t* u, const uint8_t* v, int32_t uvStride, int32_t pairs) {
  const ptrdiff_t rowBytes = 2 * static_cast<ptrdiff_t>(dstStride);
  const auto interleave = [](__m128i* o, __m128i luma, __m128i chroma) {
    if (UFirst) {
      _mm_storeu_si128(o, _mm_unpacklo_epi8(chroma, luma));
      _mm_storeu_si128(o + 1, _mm_unpackhi_epi8(chroma, luma));
    } else {
      _mm_storeu_si128(o, _mm_unpacklo_epi8(luma, chroma));
      _mm_storeu_si128(o + 1, _mm_unpackhi_epi8(luma, chroma));
    }
  };
  for (int32_t row = 0; row < height / 2; ++row) {
    uint8_t* out0 = dst + 2 * static_cast<ptrdiff_t>(row) * rowBytes;
    uint8_t* out1 = out0 + rowBytes;
    const uint8_t* y0 = y + 2 * static_cast<ptrdiff_t>(row) * yStride;
    const uint8_t* y1 = y0 + yStride;
    const uint8_t* ur = u + static_cast<ptrdiff_t>(row) * uvStride;
    const uint8_t* vr = v + static_cast<ptrdiff_t>(row) * uvStride;
    int32_t c = 0;
    for (; c + 16 <= pairs; c += 16) {  // 32 pixels per row
      const __m128i cu = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ur + c));
      const __m128i cv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(vr + c));
      const __m128i uvLo = _mm_unpacklo_epi8(cu, cv), uvHi = _mm_unpackhi_epi8(cu, cv);
      auto* o0 = reinterpret_cast<__m128i*>(out0 + 4 * static_cast<ptrdiff_t>(c));
      auto* o1 = reinterpret_cast<__m128i*>(out1 + 4 * static_cast<ptrdiff_t>(c));
      interleave(o0, loadLuma16(y0 + 2 * c), uvLo);
      interleave(o0 + 2, loadLuma16(y0 + 2 * c + 16), uvHi);
      interleave(o1, loadLuma16(y1 + 2 * c), uvLo);
      interleave(o1 + 2, loadLuma16(y1 + 2 * c + 16), uvHi);
    }
    for (; c < pairs; c += 8) {  // 16 pixels per row
      const __m128i cu = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(ur + c));
      const __m128i cv = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(vr + c));
      const __m128i uv = _mm_unpacklo_epi8(cu, cv);
      interleave(reinterpret_cast<__m128i*>(out0 + 4 * static_cast<ptrdiff_t>(c)), loadLuma16(y0 + 2 * c), uv);
      interleave(reinterpret_cast<__m128i*>(out1 + 4 * static_cast<ptrdiff_t>(c)), loadLuma16(y1 + 2 * c), uv);
    }
  }
}

constexpr bool kVector = true;

#else

constexpr bool kVector = false;

template <bool RedFirst>
void quarter24(const PlanarPicture&, int32_t) {}
template <bool RedFirst>
void plain32(const PlanarPicture&, int32_t) {}
template <bool UFirst>
void pack422(uint8_t*, int32_t, const uint8_t*, int32_t, int32_t, const uint8_t*, const uint8_t*,
             int32_t, int32_t) {}

#endif

// Column pairs handled by the vector code: whole groups of 8 (16 pixels).
int32_t vectorPairs(int32_t width) { return kVector ? (width / 2) / 8 * 8 : 0; }

template <bool RedFirst>
int32_t convertQuarter24(const PlanarPicture& p) {
  if (p.height / 2 < 1) return 0;
  const int32_t pairs = vectorPairs(p.width);
  quarter24<RedFirst>(p, pairs);
  colour::QuarterWriter<RedFirst> writer;
  colour::convertBlocks<3>(p, pairs, p.width / 2, writer);
  return 0;
}

template <bool RedFirst>
int32_t convert32(const PlanarPicture& p) {
  if (p.height / 2 < 1) return 0;
  const int32_t pairs = vectorPairs(p.width);
  plain32<RedFirst>(p, pairs);
  colour::RgbWriter<false, RedFirst, 4> writer;
  colour::convertBlocks<4>(p, pairs, p.width / 2, writer);
  return 0;
}

template <bool UFirst>
int32_t convert422(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width,
                   int32_t height, int32_t yStride, const uint8_t* u, const uint8_t* v,
                   int32_t uvStride) {
  if (height < 2) return 0;
  const int32_t pairs = vectorPairs(width);
  pack422<UFirst>(dst, dstStride, y, height, yStride, u, v, uvStride, pairs);
  colour::packBlocks<UFirst>(dst, dstStride, y, height, yStride, u, v, uvStride, pairs, width / 2);
  return 0;
}

}  // namespace

YuvConverterMmx::YuvConverterMmx() { (void)colour::quarterTables(); }
YuvConverterMmx::~YuvConverterMmx() = default;

int32_t YuvConverterMmx::toBgr24(uint8_t* dst, int32_t dstStride, const uint8_t* y,
                                 int32_t width, int32_t height, int32_t yStride,
                                 const uint8_t* u, const uint8_t* v, int32_t chromaWidth,
                                 int32_t chromaHeight, int32_t uvStride, int32_t flip) {
  if (width % 4 != 0) {
    return YuvConverter::toBgr24(dst, dstStride, y, width, height, yStride, u, v, chromaWidth,
                                 chromaHeight, uvStride, flip);
  }
  return convertQuarter24<false>({dst, dstStride, y, nullptr, width, height, yStride, u, v, uvStride, flip});
}

int32_t YuvConverterMmx::toRgb24(uint8_t* dst, int32_t dstStride, const uint8_t* y,
                                 int32_t width, int32_t height, int32_t yStride,
                                 const uint8_t* u, const uint8_t* v, int32_t chromaWidth,
                                 int32_t chromaHeight, int32_t uvStride, int32_t flip) {
  if (width % 4 != 0) {
    return YuvConverter::toRgb24(dst, dstStride, y, width, height, yStride, u, v, chromaWidth,
                                 chromaHeight, uvStride, flip);
  }
  return convertQuarter24<true>({dst, dstStride, y, nullptr, width, height, yStride, u, v, uvStride, flip});
}

int32_t YuvConverterMmx::toBgra32(uint8_t* dst, int32_t dstStride, const uint8_t* y,
                                  const uint8_t* alpha, int32_t width, int32_t height,
                                  int32_t yStride, const uint8_t* u, const uint8_t* v, int32_t,
                                  int32_t, int32_t uvStride, int32_t flip) {
  return convert32<false>({dst, dstStride, y, alpha, width, height, yStride, u, v, uvStride, flip});
}

int32_t YuvConverterMmx::toRgba32(uint8_t* dst, int32_t dstStride, const uint8_t* y,
                                  const uint8_t* alpha, int32_t width, int32_t height,
                                  int32_t yStride, const uint8_t* u, const uint8_t* v, int32_t,
                                  int32_t, int32_t uvStride, int32_t flip) {
  return convert32<true>({dst, dstStride, y, alpha, width, height, yStride, u, v, uvStride, flip});
}

int32_t YuvConverterMmx::toRgbx32(uint8_t* dst, int32_t dstStride, const uint8_t* y,
                                  int32_t width, int32_t height, int32_t yStride,
                                  const uint8_t* u, const uint8_t* v, int32_t, int32_t,
                                  int32_t uvStride, int32_t byteOrder, int32_t flip) {
  const PlanarPicture p{dst, dstStride, y, nullptr, width, height, yStride, u, v, uvStride, flip};
  return byteOrder ? convert32<false>(p) : convert32<true>(p);
}

int32_t YuvConverterMmx::toYuy2(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width,
                                int32_t height, int32_t yStride, const uint8_t* u,
                                const uint8_t* v, int32_t, int32_t, int32_t uvStride) {
  return convert422<false>(dst, dstStride, y, width, height, yStride, u, v, uvStride);
}

int32_t YuvConverterMmx::toUyvy(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width,
                                int32_t height, int32_t yStride, const uint8_t* u,
                                const uint8_t* v, int32_t, int32_t, int32_t uvStride) {
  return convert422<true>(dst, dstStride, y, width, height, yStride, u, v, uvStride);
}

}  // namespace strevana
