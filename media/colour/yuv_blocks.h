#pragma once
// The block walk shared by the plain conversions and by the scalar edges of
// the accelerated ones: row pairs top to bottom (or bottom to top with flip),
// 2 x 2 luma blocks per chroma pair, chroma terms looked up once per block.
#include <cstddef>
#include <cstdint>

#include "media/colour/yuv_tables.h"

namespace strevana::colour {

struct PlanarPicture {
  uint8_t* dst;
  int32_t dstStride;  // bytes
  const uint8_t* y;
  const uint8_t* alpha;  // may be null; laid out like y
  int32_t width;
  int32_t height;
  int32_t yStride;
  const uint8_t* u;
  const uint8_t* v;
  int32_t uvStride;
  int32_t flip;
};

// Destination row of row pair `pair` (upper row; the lower one is `step` away).
inline uint8_t* pairRow(const PlanarPicture& p, int32_t pair, ptrdiff_t& step) {
  const ptrdiff_t stride = p.dstStride;
  if (p.flip) {
    step = -stride;
    return p.dst +
           (static_cast<ptrdiff_t>(p.height) - 1 - 2 * static_cast<ptrdiff_t>(pair)) * stride;
  }
  step = stride;
  return p.dst + 2 * static_cast<ptrdiff_t>(pair) * stride;
}

// Converts the blocks with column-pair index in [firstPair, endPair) of every
// row pair. Writer: prepare(u, v) once per block, then pixel(out, y, a).
template <int BytesPerPixel, typename Writer>
void convertBlocks(const PlanarPicture& p, int32_t firstPair, int32_t endPair, Writer& writer) {
  const int32_t pairs = p.height / 2;
  for (int32_t row = 0; row < pairs; ++row) {
    ptrdiff_t step = 0;
    uint8_t* out0 = pairRow(p, row, step);
    uint8_t* out1 = out0 + step;
    const uint8_t* y0 = p.y + 2 * static_cast<ptrdiff_t>(row) * p.yStride;
    const uint8_t* y1 = y0 + p.yStride;
    const uint8_t* a0 = p.alpha ? p.alpha + 2 * static_cast<ptrdiff_t>(row) * p.yStride : nullptr;
    const uint8_t* a1 = a0 ? a0 + p.yStride : nullptr;
    const uint8_t* u = p.u + static_cast<ptrdiff_t>(row) * p.uvStride;
    const uint8_t* v = p.v + static_cast<ptrdiff_t>(row) * p.uvStride;
    for (int32_t c = firstPair; c < endPair; ++c) {
      const int32_t x = 2 * c;
      writer.prepare(u[c], v[c]);
      writer.pixel(out0 + x * BytesPerPixel, y0[x], a0 ? a0[x] : 255);
      writer.pixel(out0 + (x + 1) * BytesPerPixel, y0[x + 1], a0 ? a0[x + 1] : 255);
      writer.pixel(out1 + x * BytesPerPixel, y1[x], a1 ? a1[x] : 255);
      writer.pixel(out1 + (x + 1) * BytesPerPixel, y1[x + 1], a1 ? a1[x + 1] : 255);
    }
  }
}

// Full-precision terms; Scaled picks yTerm (scaled luma) over the raw sample.
template <bool Scaled>
struct PlainTerms {
  const CoefficientTables& t = coefficientTables();
  int32_t r = 0, g = 0, b = 0;
  void prepare(uint8_t u, uint8_t v) {
    r = t.crR[v];
    g = t.cbG[u] + t.crG[v];
    b = t.cbB[u];
  }
  int32_t luma(uint8_t y) const { return Scaled ? t.yTerm[y] : y; }
};

struct Rgb565Writer : PlainTerms<false> {
  void pixel(uint8_t* out, uint8_t y, uint8_t) const {
    const int32_t l = luma(y);
    const uint8_t red = t.clamp(l + r), green = t.clamp(l - g), blue = t.clamp(l + b);
    out[0] = static_cast<uint8_t>((blue >> 3) | ((green >> 2) & 7) << 5);
    out[1] = static_cast<uint8_t>(((green >> 2) >> 3) | (red >> 3) << 3);
  }
};

// RedFirst selects R G B order, else B G R. With Alpha a fourth byte follows.
template <bool Scaled, bool RedFirst, int Bytes>
struct RgbWriter : PlainTerms<Scaled> {
  void pixel(uint8_t* out, uint8_t y, uint8_t a) const {
    const auto& t = this->t;
    const int32_t l = this->luma(y);
    const uint8_t red = t.clamp(l + this->r), green = t.clamp(l - this->g),
                  blue = t.clamp(l + this->b);
    out[0] = RedFirst ? red : blue;
    out[1] = green;
    out[2] = RedFirst ? blue : red;
    if constexpr (Bytes == 4) out[3] = a;
  }
};

// The quarter-precision rule of the accelerated 24-bit conversions.
template <bool RedFirst>
struct QuarterWriter {
  const QuarterTables& t = quarterTables();
  int32_t r = 0, g = 0, b = 0;
  void prepare(uint8_t u, uint8_t v) {
    r = t.crR[v];
    g = t.cbG[u] + t.crG[v];
    b = t.cbB[u];
  }
  void pixel(uint8_t* out, uint8_t y, uint8_t) const {
    const int32_t l = t.luma[y];
    const uint8_t red = quarterComponent(l, r), green = quarterComponent(l, g),
                  blue = quarterComponent(l, b);
    out[0] = RedFirst ? red : blue;
    out[1] = green;
    out[2] = RedFirst ? blue : red;
  }
};

// Packed 4:2:2 for column pairs [firstPair, endPair): UFirst gives U Y0 V Y1.
// dstStride counts 2-byte pixels.
template <bool UFirst>
void packBlocks(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t height, int32_t yStride,
                const uint8_t* u, const uint8_t* v, int32_t uvStride, int32_t firstPair,
                int32_t endPair) {
  const ptrdiff_t rowBytes = 2 * static_cast<ptrdiff_t>(dstStride);
  for (int32_t row = 0; row < height / 2; ++row) {
    uint8_t* out0 = dst + 2 * static_cast<ptrdiff_t>(row) * rowBytes;
    uint8_t* out1 = out0 + rowBytes;
    const uint8_t* y0 = y + 2 * static_cast<ptrdiff_t>(row) * yStride;
    const uint8_t* y1 = y0 + yStride;
    const uint8_t* ur = u + static_cast<ptrdiff_t>(row) * uvStride;
    const uint8_t* vr = v + static_cast<ptrdiff_t>(row) * uvStride;
    for (int32_t c = firstPair; c < endPair; ++c) {
      uint8_t* o0 = out0 + 4 * c;
      uint8_t* o1 = out1 + 4 * c;
      const uint8_t cu = ur[c], cv = vr[c];
      if constexpr (UFirst) {
        o0[0] = cu;
        o0[1] = y0[2 * c];
        o0[2] = cv;
        o0[3] = y0[2 * c + 1];
        o1[0] = cu;
        o1[1] = y1[2 * c];
        o1[2] = cv;
        o1[3] = y1[2 * c + 1];
      } else {
        o0[0] = y0[2 * c];
        o0[1] = cu;
        o0[2] = y0[2 * c + 1];
        o0[3] = cv;
        o1[0] = y1[2 * c];
        o1[1] = cu;
        o1[2] = y1[2 * c + 1];
        o1[3] = cv;
      }
    }
  }
}

}  // namespace strevana::colour
