#pragma once
// compositePicture: puts a decoded picture that carries an alpha (shape)
// channel over a background picture, as the sources do for video with
// transparency. A free function without state, shared by the file and the
// streaming sources through the video decode pipe; callable from any thread
// on buffers the caller owns.
#include <cstdint>

namespace strevana {

// Composites a width x height picture of 4-byte pixels (fourth byte alpha)
// over the background into dst, the picture centred at (positionX,
// positionY) given as fractions of the picture. A background smaller than
// the picture (or none) is replaced by black; of a larger one the top-left
// width x height pixels are used. Pixels with alpha 0 leave the background;
// the others replace it (no blending). False, with nothing written, when
// dstStride is smaller than a picture row.
bool compositePicture(const uint8_t* picture, int32_t width, int32_t height,
                      const uint8_t* backgroundBits, int32_t backgroundWidth,
                      int32_t backgroundHeight, float positionX, float positionY, int32_t dstStride,
                      uint8_t* dst);

}  // namespace strevana
