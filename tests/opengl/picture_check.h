#pragma once
// Test pictures for the renderers and the comparison of what they drew.
#include <QImage>
#include <QRect>
#include <cstdint>
#include <vector>

#include "media/media_types.h"

namespace strevana::testing {

// A planar 4:2:0 picture: eight colour bars over the top two thirds and a
// luma ramp under a chroma sweep below, so both flat areas and every edge
// take part in scaling.
struct ColourBars {
  int32_t width;
  int32_t height;
  std::vector<uint8_t> y, u, v;
  ColourBars(int32_t w, int32_t h);
  // The picture in a renderer buffer's layout (rows packed, planes in the
  // format's order), converted by the colour converter where it must be.
  std::vector<uint8_t> inFormat(OutputFormat format) const;
};

// The format the raster renderer shows the same picture in: itself where it
// takes it, else 24-bit RGB made by the colour converter.
OutputFormat rasterFormatFor(OutputFormat format);

// Peak signal-to-noise ratio of b against a over rect, in dB (RGB, 8 bits);
// 100 for identical pictures.
double psnr(const QImage& a, const QImage& b, const QRect& rect);

// The number of pixels outside inner (but inside the image) that are not
// exactly black.
int64_t nonBlackOutside(const QImage& image, const QRect& inner);

}  // namespace strevana::testing
