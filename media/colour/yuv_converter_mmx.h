#pragma once
// YuvConverterMmx: the accelerated colour converter, on SSE2 on x86-64 (plain
// code on other processors, where createYuvConverter does not pick it).
//
// - toBgr24 / toRgb24: when the width is a multiple of 4, the quarter-precision
//   rule (luma and chroma terms at a quarter scale, summed, less a bias of 64
//   with saturation at 0, times 4 with saturation at 255), which may differ
//   from the plain conversion in the two lowest bits; other widths get the
//   plain conversion.
// - toBgra32 / toRgba32 / toRgbx32 / toYuy2 / toUyvy: vector code with exactly
//   the plain results, for any width (edges of fewer than 16 columns are done
//   by the plain code).
// - toRgb565: the plain conversion.
// Same threading and buffer rules as YuvConverter.
#include "media/colour/yuv_converter.h"

namespace strevana {

class YuvConverterMmx : public YuvConverter {
 public:
  YuvConverterMmx();
  ~YuvConverterMmx() override;

  int32_t toBgr24(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width, int32_t height,
                  int32_t yStride, const uint8_t* u, const uint8_t* v, int32_t chromaWidth,
                  int32_t chromaHeight, int32_t uvStride, int32_t flip) override;
  int32_t toRgb24(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width, int32_t height,
                  int32_t yStride, const uint8_t* u, const uint8_t* v, int32_t chromaWidth,
                  int32_t chromaHeight, int32_t uvStride, int32_t flip) override;
  int32_t toBgra32(uint8_t* dst, int32_t dstStride, const uint8_t* y, const uint8_t* alpha,
                   int32_t width, int32_t height, int32_t yStride, const uint8_t* u,
                   const uint8_t* v, int32_t chromaWidth, int32_t chromaHeight, int32_t uvStride,
                   int32_t flip) override;
  int32_t toRgba32(uint8_t* dst, int32_t dstStride, const uint8_t* y, const uint8_t* alpha,
                   int32_t width, int32_t height, int32_t yStride, const uint8_t* u,
                   const uint8_t* v, int32_t chromaWidth, int32_t chromaHeight, int32_t uvStride,
                   int32_t flip) override;
  int32_t toRgbx32(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width, int32_t height,
                   int32_t yStride, const uint8_t* u, const uint8_t* v, int32_t chromaWidth,
                   int32_t chromaHeight, int32_t uvStride, int32_t byteOrder,
                   int32_t flip) override;
  int32_t toYuy2(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width, int32_t height,
                 int32_t yStride, const uint8_t* u, const uint8_t* v, int32_t chromaWidth,
                 int32_t chromaHeight, int32_t uvStride) override;
  int32_t toUyvy(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width, int32_t height,
                 int32_t yStride, const uint8_t* u, const uint8_t* v, int32_t chromaWidth,
                 int32_t chromaHeight, int32_t uvStride) override;
};

}  // namespace strevana
