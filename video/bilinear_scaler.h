#pragma once
// BilinearScaler: the raster renderer's smooth scaling of 32-bit pixels.
//
// Each destination pixel samples the source at its own centre,
// s = (d + 0.5) x sourceSize / destSize - 0.5, and blends the two nearest
// source pixels on each axis with 8-bit weights (w / 256 of the second one),
// first across a row, then between two such rows; each blend truncates.
// Samples before the first or past the last source pixel take the edge pixel
// alone, so the picture's border is not darkened. A picture of the same size
// comes out unchanged, and so does any area of one colour.
//
// The OpenGL renderer's shader samples and weights the same way, so both
// paths draw the same picture.
//
// Not thread-safe; the renderer that owns it uses it under its own rules.
#include <cstdint>
#include <vector>

namespace strevana {

class BilinearScaler {
 public:
  struct Tap {
    int32_t index;    // first source pixel
    uint32_t weight;  // weight of the pixel after it, 0..255 (of 256)
  };

  // The tap for destination index d of destSize over sourceSize (> 0).
  static Tap tap(int64_t d, int64_t sourceSize, int64_t destSize);

  // Prepares the column taps for rows of sourceWidth pixels scaled to
  // destWidth; cheap when nothing changed.
  void prepare(int32_t sourceWidth, int32_t destWidth);

  // Scales one source row (sourceWidth pixels of 4 bytes) into destination
  // columns [left, left + pixels).
  void scaleRow(const uint8_t* src, uint8_t* dst, int32_t left, int32_t pixels) const;

  // dst = a + (b - a) x weight / 256 per byte, over pixels 32-bit pixels;
  // the fourth byte of every result is 0xff.
  static void blendRows(const uint8_t* a, const uint8_t* b, uint32_t weight, uint8_t* dst,
                        int32_t pixels);

 private:
  std::vector<Tap> columns_;
  // Per column, for the vector code: the byte offset of a pixel pair that
  // never reaches past the row (the last pixel alone is the pair before it
  // at full weight), and the pair's weights as 16-bit lanes (4 x first,
  // 4 x second).
  struct alignas(16) PairWeights {
    int16_t lanes[8];
  };
  std::vector<int32_t> pairOffsets_;
  std::vector<PairWeights> pairWeights_;
  int32_t sourceWidth_ = -1;
  int32_t destWidth_ = -1;
};

}  // namespace strevana
