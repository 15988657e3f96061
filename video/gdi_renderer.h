#pragma once
// GdiRenderer: the raster renderer. Holds the frame in a plain memory buffer
// (BGR24 for format 10, BGRX32 for format 11, packed YUV 4:2:2 Y0 U Y1 V for
// format 5; top row first, rows exactly bytesPerPixel x width bytes apart)
// and presents it by copying the whole picture into the display rectangle of
// the surface's back buffer: unscaled when the sizes match, otherwise scaled
// smoothly (bilinear, see BilinearScaler) by default, or nearest-neighbour
// when asked for (setScaling). Format 5 is converted to RGB while presenting
// with the colour converters' equations (see yuy2_rows.h), so packed 4:2:2
// media play without display hardware. Planar YUV formats are refused.
//
// Threads and ownership: as VideoRenderer. lockBuffer() does no real locking;
// the buffer is written directly and stays valid until close() or destruction.
//
// Pictures larger than kMaxDimension on a side are refused at open: no media
// this player handles come near it, and it keeps buffer sizes within int32.
#include <cstdint>
#include <vector>

class QImage;
class QRect;

#include "video/bilinear_scaler.h"
#include "video/video_renderer.h"

namespace strevana {

class GdiRenderer final : public VideoRenderer {
 public:
  static constexpr int32_t kMaxDimension = 8192;

  enum class Scaling { kSmooth, kNearest };

  GdiRenderer() = default;
  ~GdiRenderer() override;

  bool open(WindowSurface* window, int32_t x, int32_t y, int32_t width, int32_t height,
            OutputFormat format) override;
  bool close() override;
  bool lockBuffer(uint8_t*& bits, int32_t& size, int32_t& stride) override;
  bool unlockBuffer() override;
  bool present() override;

  // How pictures of another size than the display rectangle are scaled;
  // smooth unless set otherwise.
  void setScaling(Scaling scaling) { scaling_ = scaling; }
  Scaling scaling() const { return scaling_; }

 private:
  void rebuildColumnMap();
  bool convertRowsFirst() const;
  // Source row as 32-bit pixels whose fourth byte may be anything: the
  // buffer itself for format 11, else converted into scratch.
  const uint8_t* row32(int32_t row, uint8_t* scratch) const;
  void drawUnscaled(QImage& image, const QRect& drawn);
  void drawNearest(QImage& image, const QRect& drawn);
  void drawSmooth(QImage& image, const QRect& drawn);

  std::vector<uint8_t> bits_;
  int32_t stride_ = 0;
  // Byte offset of the source pixel for each destination column, valid for
  // (mapSourceWidth_, mapDestWidth_).
  std::vector<int32_t> columnMap_;
  int32_t mapSourceWidth_ = -1;
  int32_t mapDestWidth_ = -1;
  // One source row converted to 32 bits (24-bit pictures being enlarged,
  // packed 4:2:2 pictures).
  std::vector<uint8_t> rowScratch_;
  Scaling scaling_ = Scaling::kSmooth;
  BilinearScaler smooth_;
  // Two source rows scaled across, for the smooth vertical blend; the
  // source row each holds (-1: none).
  std::vector<uint8_t> smoothRows_[2];
  int32_t smoothRowIndex_[2] = {-1, -1};
};

}  // namespace strevana
