#pragma once
// YuvConverter: turns one planar YUV 4:2:0 picture into a renderer's pixel
// layout (RGB 5-6-5, 24-bit RGB in either byte order, 32-bit RGB with an alpha
// plane or 255, packed YUY2 / UYVY), with plain integer arithmetic and shared
// lookup tables.
//
// Input for every operation: luma plane y (width x height, rows yStride apart)
// and chroma planes u and v (width/2 x height/2, rows uvStride apart); one
// chroma pair serves a 2 x 2 luma block. chromaWidth and chromaHeight are
// accepted for the callers' sake and not read. Only whole 2 x 2 blocks are
// converted: with an odd width or height the last column or row of the
// destination is left as it was, and a picture of height 1 writes nothing.
// flip writes the picture bottom row first. Every operation returns 0.
//
// The caller guarantees the buffers hold what the sizes and strides describe;
// the converter cannot check that. It holds no state: one instance may be
// used from any thread, and several threads may convert at once.
#include <cstdint>
#include <memory>

namespace strevana {

class YuvConverter {
 public:
  YuvConverter();
  YuvConverter(const YuvConverter&) = delete;
  YuvConverter& operator=(const YuvConverter&) = delete;

  virtual ~YuvConverter();  // 0
  // 1: little-endian 16-bit words, red in the top five bits; raw luma.
  virtual int32_t toRgb565(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width,
                           int32_t height, int32_t yStride, const uint8_t* u, const uint8_t* v,
                           int32_t chromaWidth, int32_t chromaHeight, int32_t uvStride,
                           int32_t flip);
  // 2: bytes B, G, R; scaled luma.
  virtual int32_t toBgr24(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width,
                          int32_t height, int32_t yStride, const uint8_t* u, const uint8_t* v,
                          int32_t chromaWidth, int32_t chromaHeight, int32_t uvStride,
                          int32_t flip);
  // 3: bytes R, G, B; scaled luma.
  virtual int32_t toRgb24(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width,
                          int32_t height, int32_t yStride, const uint8_t* u, const uint8_t* v,
                          int32_t chromaWidth, int32_t chromaHeight, int32_t uvStride,
                          int32_t flip);
  // 4: bytes B, G, R, alpha sample (alpha laid out like luma); raw luma.
  virtual int32_t toBgra32(uint8_t* dst, int32_t dstStride, const uint8_t* y, const uint8_t* alpha,
                           int32_t width, int32_t height, int32_t yStride, const uint8_t* u,
                           const uint8_t* v, int32_t chromaWidth, int32_t chromaHeight,
                           int32_t uvStride, int32_t flip);
  // 5: bytes R, G, B, alpha sample; raw luma.
  virtual int32_t toRgba32(uint8_t* dst, int32_t dstStride, const uint8_t* y, const uint8_t* alpha,
                           int32_t width, int32_t height, int32_t yStride, const uint8_t* u,
                           const uint8_t* v, int32_t chromaWidth, int32_t chromaHeight,
                           int32_t uvStride, int32_t flip);
  // 6: byteOrder 0 gives R, G, B, 255; 1 gives B, G, R, 255; raw luma.
  virtual int32_t toRgbx32(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width,
                           int32_t height, int32_t yStride, const uint8_t* u, const uint8_t* v,
                           int32_t chromaWidth, int32_t chromaHeight, int32_t uvStride,
                           int32_t byteOrder, int32_t flip);
  // 7: byte groups Y0 U Y1 V; dstStride counts 2-byte pixels; no flip.
  virtual int32_t toYuy2(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width,
                         int32_t height, int32_t yStride, const uint8_t* u, const uint8_t* v,
                         int32_t chromaWidth, int32_t chromaHeight, int32_t uvStride);
  // 8: byte groups U Y0 V Y1; dstStride counts 2-byte pixels; no flip.
  virtual int32_t toUyvy(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width,
                         int32_t height, int32_t yStride, const uint8_t* u, const uint8_t* v,
                         int32_t chromaWidth, int32_t chromaHeight, int32_t uvStride);
};

// accelerate != 0 on a processor with SSE2 gives the accelerated converter
// (YuvConverterMmx); otherwise the plain one. Null when allocation fails.
std::unique_ptr<YuvConverter> createYuvConverter(int32_t accelerate);

}  // namespace strevana
