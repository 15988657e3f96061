#pragma once
// GdiRenderer: the raster renderer. Holds the frame in a plain memory buffer
// (BGR24 for format 10, BGRX32 for format 11, top row first, rows exactly
// bytesPerPixel x width bytes apart) and presents it by copying the whole
// picture into the display rectangle of the surface's back buffer: unscaled
// when the sizes match, otherwise nearest-neighbour scaled (no smoothing).
// YUV formats are refused, which is what makes the engine fall back to RGB.
//
// Threads and ownership: as VideoRenderer. lockBuffer() does no real locking;
// the buffer is written directly and stays valid until close() or destruction.
//
// Pictures larger than kMaxDimension on a side are refused at open: no media
// this player handles come near it, and it keeps buffer sizes within int32.
#include <cstdint>
#include <vector>

#include "video/video_renderer.h"

namespace strevana {

class GdiRenderer final : public VideoRenderer {
 public:
  static constexpr int32_t kMaxDimension = 8192;

  GdiRenderer() = default;
  ~GdiRenderer() override;

  bool open(WindowSurface* window, int32_t x, int32_t y, int32_t width, int32_t height,
            OutputFormat format) override;
  bool close() override;
  bool lockBuffer(uint8_t*& bits, int32_t& size, int32_t& stride) override;
  bool unlockBuffer() override;
  bool present() override;

 private:
  void rebuildColumnMap();
  bool convertRowsFirst() const;

  std::vector<uint8_t> bits_;
  int32_t stride_ = 0;
  // Byte offset of the source pixel for each destination column, valid for
  // (mapSourceWidth_, mapDestWidth_).
  std::vector<int32_t> columnMap_;
  int32_t mapSourceWidth_ = -1;
  int32_t mapDestWidth_ = -1;
  // One source row converted to 32 bits (24-bit pictures being enlarged).
  std::vector<uint8_t> rowScratch_;
};

}  // namespace strevana
