#include "media/colour/yuv_converter_mmx.h"

#include "media/colour/yuv_blocks.h"

#if defined(__x86_64__)
#include <emmintrin.h>
#define STREVANA_SSE2 1
#endif

namespace strevana {

using colour::PlanarPicture;

namespace {

#if defined(STREVANA_SSE2)

// trunc(c x d) for d in -128..127 as floor((d << Shift) x M / 65536), plus 1
// for negative d (c x d is never a whole number there, so the ceiling is the
// floor plus one). The multipliers give exactly the table values for every d
// (the tests compare every chroma value with the tables).
template <int Shift, int M>
inline __m128i truncMultiply(__m128i d, __m128i negative) {
  const __m128i shifted = Shift ? _mm_slli_epi16(d, Shift) : d;
  return _mm_add_epi16(_mm_mulhi_epi16(shifted, _mm_set1_epi16(static_cast<short>(M))), negative);
}

// Eight chroma samples widened to signed 16-bit, less 128.
inline __m128i loadChroma8(const uint8_t* p) {
  const __m128i raw = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  return _mm_sub_epi16(_mm_unpacklo_epi8(raw, _mm_setzero_si128()), _mm_set1_epi16(128));
}

// Chroma terms of eight blocks, 16-bit: added to luma for red, subtracted for
// green, added for blue.
struct ChromaTerms {
  __m128i r, g, b;
};

// Full precision: crR = 1.793 d, cbG + crG = 0.213 du + 0.534 dv, cbB = 2.115 du.
inline ChromaTerms plainTerms(const uint8_t* u, const uint8_t* v) {
  const __m128i du = loadChroma8(u), dv = loadChroma8(v);
  const __m128i nu = _mm_srli_epi16(du, 15), nv = _mm_srli_epi16(dv, 15);
  const __m128i crR = truncMultiply<2, 29376>(dv, nv);
  const __m128i cbG = truncMultiply<0, 13961>(du, nu);
  const __m128i crG = truncMultiply<1, 17500>(dv, nv);
  const __m128i cbB = truncMultiply<3, 17326>(du, nu);
  return {crR, _mm_add_epi16(cbG, crG), cbB};
}

inline __m128i clamp64(__m128i x) {
  return _mm_max_epi16(_mm_min_epi16(x, _mm_set1_epi16(64)), _mm_set1_epi16(-64));
}

// Quarter precision, each term clamped to -64..64 and then times 4 (the
// luma is scaled alike): red, green (to add) and blue.
inline ChromaTerms quarterTerms(const uint8_t* u, const uint8_t* v) {
  const __m128i du = loadChroma8(u), dv = loadChroma8(v);
  const __m128i nu = _mm_srli_epi16(du, 15), nv = _mm_srli_epi16(dv, 15);
  const __m128i b = clamp64(truncMultiply<1, 17327>(du, nu));
  // The green terms are -trunc(c d); both stay far inside -64..64.
  const __m128i g =
      _mm_sub_epi16(_mm_setzero_si128(),
                    _mm_add_epi16(truncMultiply<0, 3490>(du, nu), truncMultiply<0, 8755>(dv, nv)));
  const __m128i r = truncMultiply<0, 29370>(dv, nv);
  return {_mm_slli_epi16(r, 2), _mm_slli_epi16(g, 2), _mm_slli_epi16(b, 2)};
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

inline __m128i loadLuma16(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Quarter-scale luma of 8 samples, times 4: 4 clamp(trunc(0.291 (y - 16)), 0, 64)
// from y - 16 saturated at 0.
inline __m128i quarterLuma(__m128i y16) {
  const __m128i q = _mm_mulhi_epu16(y16, _mm_set1_epi16(19068));
  return _mm_slli_epi16(_mm_min_epi16(q, _mm_set1_epi16(64)), 2);
}

// Writes two 6-byte pixel pairs (one per 64-bit lane, bytes 6 and 7 spare)
// at out and out + 6; the spare bytes are overwritten by the next pair.
inline void storePairs(uint8_t* out, __m128i lanes) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), lanes);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 6), _mm_unpackhi_epi64(lanes, lanes));
}

// Quarter-precision 24-bit conversion of the first `pairs` column pairs
// (a multiple of 8) of every row pair. Even and odd pixels are computed in
// separate 16-bit registers, so each chroma term serves both without being
// duplicated, and the bytes are then woven into 6-byte pixel pairs.
template <bool RedFirst>
void quarter24(const PlanarPicture& p, int32_t pairs) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i sixteen = _mm_set1_epi8(16);
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
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
      // First, second and third byte of each pixel.
      const __m128i first = RedFirst ? t.r : t.b;
      const __m128i third = RedFirst ? t.b : t.r;
      for (int i = 0; i < 2; ++i) {
        const __m128i ys = _mm_subs_epu8(loadLuma16(yRow[i] + 2 * c), sixteen);
        const __m128i le = quarterLuma(_mm_and_si128(ys, lowBytes));
        const __m128i lo = quarterLuma(_mm_srli_epi16(ys, 8));
        // Low halves even pixels, high halves odd pixels.
        const __m128i x = _mm_packus_epi16(_mm_add_epi16(le, first), _mm_add_epi16(lo, first));
        const __m128i y = _mm_packus_epi16(_mm_add_epi16(le, t.g), _mm_add_epi16(lo, t.g));
        const __m128i z = _mm_packus_epi16(_mm_add_epi16(le, third), _mm_add_epi16(lo, third));
        // Words per pixel pair k: (x_e y_e) (z_e x_o) (y_o z_o).
        const __m128i w1 = _mm_unpacklo_epi8(x, y);
        const __m128i w2 = _mm_unpacklo_epi8(z, _mm_srli_si128(x, 8));
        const __m128i w3 = _mm_unpackhi_epi8(y, z);
        const __m128i a = _mm_unpacklo_epi16(w1, w2), b = _mm_unpacklo_epi16(w3, zero);
        const __m128i a2 = _mm_unpackhi_epi16(w1, w2), b2 = _mm_unpackhi_epi16(w3, zero);
        const __m128i q3 = _mm_unpackhi_epi32(a2, b2);  // pairs 6, 7
        uint8_t* o = out[i] + 6 * static_cast<ptrdiff_t>(c);
        storePairs(o, _mm_unpacklo_epi32(a, b));
        storePairs(o + 12, _mm_unpackhi_epi32(a, b));
        storePairs(o + 24, _mm_unpacklo_epi32(a2, b2));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 36), q3);
        // Bytes 40..47: the last two bytes of pair 6, then pair 7, so nothing
        // is written past the 48 bytes.
        _mm_storel_epi64(
            reinterpret_cast<__m128i*>(o + 40),
            _mm_or_si128(_mm_srli_si128(_mm_slli_si128(q3, 10), 14), _mm_srli_si128(q3, 6)));
      }
    }
  }
}

// clamp(luma + t) for 16 pixels in bytes: t's positive part added and its
// negative part subtracted, both with unsigned saturation. Parts above 255
// saturate the same way the full sum would.
struct SaturatingTerm {
  __m128i add, subtract;
};

// Per-pixel parts of one term for 16 chroma samples (tA: samples 0..7, tB:
// 8..15): each chroma byte doubled for the two pixels it serves. index 0
// covers pixels 0..15, index 1 pixels 16..31.
inline void splitTerm(__m128i tA, __m128i tB, SaturatingTerm out[2]) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i add = _mm_packus_epi16(tA, tB);
  const __m128i subtract = _mm_packus_epi16(_mm_sub_epi16(zero, tA), _mm_sub_epi16(zero, tB));
  out[0] = {_mm_unpacklo_epi8(add, add), _mm_unpacklo_epi8(subtract, subtract)};
  out[1] = {_mm_unpackhi_epi8(add, add), _mm_unpackhi_epi8(subtract, subtract)};
}

inline __m128i applyTerm(__m128i luma, const SaturatingTerm& t) {
  return _mm_subs_epu8(_mm_adds_epu8(luma, t.add), t.subtract);
}

// Full-precision 32-bit conversion (raw luma) of the first `pairs` column
// pairs (a multiple of 8); alpha from the plane or 255. Works in units of 16
// chroma samples (32 pixels per row); a last unit of 8 uses its first half.
template <bool RedFirst>
void plain32(const PlanarPicture& p, int32_t pairs) {
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
    for (int32_t c = 0; c < pairs; c += 16) {
      const bool half = c + 16 > pairs;
      const ChromaTerms a = plainTerms(u + c, v + c);
      const ChromaTerms b = half ? a : plainTerms(u + c + 8, v + c + 8);
      SaturatingTerm red[2], green[2], blue[2];
      splitTerm(a.r, b.r, red);
      // Green subtracts its term: negate before splitting.
      splitTerm(_mm_sub_epi16(_mm_setzero_si128(), a.g), _mm_sub_epi16(_mm_setzero_si128(), b.g),
                green);
      splitTerm(a.b, b.b, blue);
      for (int i = 0; i < 2; ++i) {
        for (int k = 0; k < (half ? 1 : 2); ++k) {
          const ptrdiff_t x = 2 * static_cast<ptrdiff_t>(c) + 16 * k;
          const __m128i yv = loadLuma16(p.y + yOffset[i] + x);
          const __m128i r = applyTerm(yv, red[k]);
          const __m128i g = applyTerm(yv, green[k]);
          const __m128i bl = applyTerm(yv, blue[k]);
          const __m128i alpha = p.alpha ? loadLuma16(p.alpha + yOffset[i] + x) : opaque;
          uint8_t* o = out[i] + 4 * x;
          if (RedFirst) {
            store4x16(o, r, g, bl, alpha);
          } else {
            store4x16(o, bl, g, r, alpha);
          }
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
      interleave(reinterpret_cast<__m128i*>(out0 + 4 * static_cast<ptrdiff_t>(c)),
                 loadLuma16(y0 + 2 * c), uv);
      interleave(reinterpret_cast<__m128i*>(out1 + 4 * static_cast<ptrdiff_t>(c)),
                 loadLuma16(y1 + 2 * c), uv);
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
int32_t convert422(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width, int32_t height,
                   int32_t yStride, const uint8_t* u, const uint8_t* v, int32_t uvStride) {
  if (height < 2) return 0;
  const int32_t pairs = vectorPairs(width);
  pack422<UFirst>(dst, dstStride, y, height, yStride, u, v, uvStride, pairs);
  colour::packBlocks<UFirst>(dst, dstStride, y, height, yStride, u, v, uvStride, pairs, width / 2);
  return 0;
}

}  // namespace

YuvConverterMmx::YuvConverterMmx() { (void)colour::quarterTables(); }
YuvConverterMmx::~YuvConverterMmx() = default;

int32_t YuvConverterMmx::toBgr24(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width,
                                 int32_t height, int32_t yStride, const uint8_t* u,
                                 const uint8_t* v, int32_t chromaWidth, int32_t chromaHeight,
                                 int32_t uvStride, int32_t flip) {
  if (width % 4 != 0) {
    return YuvConverter::toBgr24(dst, dstStride, y, width, height, yStride, u, v, chromaWidth,
                                 chromaHeight, uvStride, flip);
  }
  return convertQuarter24<false>(
      {dst, dstStride, y, nullptr, width, height, yStride, u, v, uvStride, flip});
}

int32_t YuvConverterMmx::toRgb24(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width,
                                 int32_t height, int32_t yStride, const uint8_t* u,
                                 const uint8_t* v, int32_t chromaWidth, int32_t chromaHeight,
                                 int32_t uvStride, int32_t flip) {
  if (width % 4 != 0) {
    return YuvConverter::toRgb24(dst, dstStride, y, width, height, yStride, u, v, chromaWidth,
                                 chromaHeight, uvStride, flip);
  }
  return convertQuarter24<true>(
      {dst, dstStride, y, nullptr, width, height, yStride, u, v, uvStride, flip});
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

int32_t YuvConverterMmx::toRgbx32(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width,
                                  int32_t height, int32_t yStride, const uint8_t* u,
                                  const uint8_t* v, int32_t, int32_t, int32_t uvStride,
                                  int32_t byteOrder, int32_t flip) {
  const PlanarPicture p{dst, dstStride, y, nullptr, width, height, yStride, u, v, uvStride, flip};
  return byteOrder ? convert32<false>(p) : convert32<true>(p);
}

int32_t YuvConverterMmx::toYuy2(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width,
                                int32_t height, int32_t yStride, const uint8_t* u, const uint8_t* v,
                                int32_t, int32_t, int32_t uvStride) {
  return convert422<false>(dst, dstStride, y, width, height, yStride, u, v, uvStride);
}

int32_t YuvConverterMmx::toUyvy(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width,
                                int32_t height, int32_t yStride, const uint8_t* u, const uint8_t* v,
                                int32_t, int32_t, int32_t uvStride) {
  return convert422<true>(dst, dstStride, y, width, height, yStride, u, v, uvStride);
}

}  // namespace strevana
