#include "media/colour/yuv_converter.h"

#include <new>

#include "media/colour/yuv_blocks.h"
#include "media/colour/yuv_converter_mmx.h"

namespace strevana {

using colour::PlanarPicture;

namespace {

template <int Bytes, typename Writer>
int32_t convertAll(const PlanarPicture& p) {
  if (p.height / 2 < 1) return 0;
  Writer writer;
  colour::convertBlocks<Bytes>(p, 0, p.width / 2, writer);
  return 0;
}

}  // namespace

YuvConverter::YuvConverter() {
  // Build the shared tables now rather than inside the first conversion.
  (void)colour::coefficientTables();
}

YuvConverter::~YuvConverter() = default;

int32_t YuvConverter::toRgb565(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width,
                               int32_t height, int32_t yStride, const uint8_t* u, const uint8_t* v,
                               int32_t, int32_t, int32_t uvStride, int32_t flip) {
  return convertAll<2, colour::Rgb565Writer>(
      {dst, dstStride, y, nullptr, width, height, yStride, u, v, uvStride, flip});
}

int32_t YuvConverter::toBgr24(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width,
                              int32_t height, int32_t yStride, const uint8_t* u, const uint8_t* v,
                              int32_t, int32_t, int32_t uvStride, int32_t flip) {
  return convertAll<3, colour::RgbWriter<true, false, 3>>(
      {dst, dstStride, y, nullptr, width, height, yStride, u, v, uvStride, flip});
}

int32_t YuvConverter::toRgb24(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width,
                              int32_t height, int32_t yStride, const uint8_t* u, const uint8_t* v,
                              int32_t, int32_t, int32_t uvStride, int32_t flip) {
  return convertAll<3, colour::RgbWriter<true, true, 3>>(
      {dst, dstStride, y, nullptr, width, height, yStride, u, v, uvStride, flip});
}

int32_t YuvConverter::toBgra32(uint8_t* dst, int32_t dstStride, const uint8_t* y,
                               const uint8_t* alpha, int32_t width, int32_t height, int32_t yStride,
                               const uint8_t* u, const uint8_t* v, int32_t, int32_t,
                               int32_t uvStride, int32_t flip) {
  return convertAll<4, colour::RgbWriter<false, false, 4>>(
      {dst, dstStride, y, alpha, width, height, yStride, u, v, uvStride, flip});
}

int32_t YuvConverter::toRgba32(uint8_t* dst, int32_t dstStride, const uint8_t* y,
                               const uint8_t* alpha, int32_t width, int32_t height, int32_t yStride,
                               const uint8_t* u, const uint8_t* v, int32_t, int32_t,
                               int32_t uvStride, int32_t flip) {
  return convertAll<4, colour::RgbWriter<false, true, 4>>(
      {dst, dstStride, y, alpha, width, height, yStride, u, v, uvStride, flip});
}

int32_t YuvConverter::toRgbx32(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width,
                               int32_t height, int32_t yStride, const uint8_t* u, const uint8_t* v,
                               int32_t, int32_t, int32_t uvStride, int32_t byteOrder,
                               int32_t flip) {
  const PlanarPicture p{dst, dstStride, y, nullptr, width, height, yStride, u, v, uvStride, flip};
  // Without an alpha plane the writers put 255 in the fourth byte.
  return byteOrder ? convertAll<4, colour::RgbWriter<false, false, 4>>(p)
                   : convertAll<4, colour::RgbWriter<false, true, 4>>(p);
}

int32_t YuvConverter::toYuy2(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width,
                             int32_t height, int32_t yStride, const uint8_t* u, const uint8_t* v,
                             int32_t, int32_t, int32_t uvStride) {
  // width / 2 pairs: an odd last column would need a luma and a chroma sample
  // beyond the rows.
  colour::packBlocks<false>(dst, dstStride, y, height, yStride, u, v, uvStride, 0, width / 2);
  return 0;
}

int32_t YuvConverter::toUyvy(uint8_t* dst, int32_t dstStride, const uint8_t* y, int32_t width,
                             int32_t height, int32_t yStride, const uint8_t* u, const uint8_t* v,
                             int32_t, int32_t, int32_t uvStride) {
  colour::packBlocks<true>(dst, dstStride, y, height, yStride, u, v, uvStride, 0, width / 2);
  return 0;
}

std::unique_ptr<YuvConverter> createYuvConverter(int32_t accelerate) {
  try {
#if defined(__x86_64__)
    if (accelerate && __builtin_cpu_supports("sse2")) return std::make_unique<YuvConverterMmx>();
#else
    (void)accelerate;  // no vector code for this processor: the plain class
#endif
    return std::make_unique<YuvConverter>();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace strevana
