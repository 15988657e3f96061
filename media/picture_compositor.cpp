#include "media/picture_compositor.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace strevana {

bool compositePicture(const uint8_t* picture, int32_t width, int32_t height,
                      const uint8_t* backgroundBits, int32_t backgroundWidth,
                      int32_t backgroundHeight, float positionX, float positionY, int32_t dstStride,
                      uint8_t* dst) {
  if (!picture || !dst || width <= 0 || height <= 0) return true;
  const size_t row = static_cast<size_t>(width) * 4;
  // Rows closer together than one picture row would run past the buffer.
  if (dstStride < 0 || static_cast<size_t>(dstStride) < row) return false;

  // Background: black when there is none or it is too small to cover the
  // picture; otherwise its top-left width x height pixels.
  const bool useBackground =
      backgroundBits && backgroundWidth >= width && backgroundHeight >= height;
  const size_t backgroundRow = useBackground ? static_cast<size_t>(backgroundWidth) * 4 : 0;
  if (dstStride == static_cast<int32_t>(row) && (!useBackground || backgroundRow == row)) {
    if (useBackground) {
      std::memcpy(dst, backgroundBits, row * static_cast<size_t>(height));
    } else {
      std::memset(dst, 0, row * static_cast<size_t>(height));
    }
  } else {
    for (int32_t y = 0; y < height; ++y) {
      uint8_t* out = dst + static_cast<ptrdiff_t>(y) * dstStride;
      if (useBackground) {
        std::memcpy(out, backgroundBits + backgroundRow * static_cast<size_t>(y), row);
      } else {
        std::memset(out, 0, row);
      }
    }
  }

  const int32_t halfHeight = height / 2;
  const int32_t halfWidth = width / 2;
  // Positions far outside the picture are clamped before the integer
  // conversion; they clip every pixel either way.
  // A position that is not a number (a pointer fraction of an empty video
  // area) clips everything too.
  const auto toIndex = [](double v, int32_t extent) {
    if (std::isnan(v)) return -2 * extent;
    return static_cast<int32_t>(std::clamp(v, -2.0 * extent, 2.0 * extent));
  };
  const int32_t tx0 = toIndex(static_cast<double>(width) * positionX - halfWidth, width);
  // Columns of the picture that land inside the destination.
  const int32_t firstX = std::max(0, -tx0);
  const int32_t endX = std::min(width, width - tx0);
  for (int32_t y = 0; y < height; ++y) {
    const int32_t ty = toIndex(static_cast<double>(height) * positionY + y - halfHeight, height);
    if (ty < 0 || ty >= height) continue;
    const uint8_t* src = picture + row * static_cast<size_t>(y);
    uint8_t* out = dst + static_cast<ptrdiff_t>(ty) * dstStride;
    for (int32_t x = firstX; x < endX; ++x) {
      const uint8_t* p = src + static_cast<size_t>(x) * 4;
      if (p[3] != 0) std::memcpy(out + static_cast<ptrdiff_t>(tx0 + x) * 4, p, 4);
    }
  }
  return true;
}

}  // namespace strevana
