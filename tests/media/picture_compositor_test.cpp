#include "media/picture_compositor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace strevana {
namespace {

using Bytes = std::vector<uint8_t>;

// A picture whose pixel bytes say where they came from; alpha 0 on every
// third diagonal so both kinds of pixel occur.
Bytes makePicture(int32_t w, int32_t h) {
  Bytes p(static_cast<size_t>(w) * h * 4);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t px[4] = {static_cast<uint8_t>(x), static_cast<uint8_t>(y), 0x77,
                             static_cast<uint8_t>((x + y) % 3 == 0 ? 0 : 1 + x)};
      std::memcpy(&p[static_cast<size_t>((y * w + x) * 4)], px, 4);
    }
  }
  return p;
}

Bytes makeBackground(int32_t w, int32_t h) {
  Bytes b(static_cast<size_t>(w) * h * 4);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(0x80 + i % 61);
  return b;
}

// The placement rule written out: the background's top left (black without
// one), then every opaque pixel moved by position x size - size / 2, clipped.
Bytes expectedComposite(const Bytes& picture, int32_t w, int32_t h, const Bytes* background,
                        int32_t bgWidth, float px, float py, int32_t stride) {
  Bytes out(static_cast<size_t>(stride) * h, 0xCC);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w * 4; ++x)
      out[y * stride + x] = background ? (*background)[y * bgWidth * 4 + x] : 0;
  }
  const double tx0 = std::trunc(static_cast<double>(w) * px - w / 2);
  for (int32_t y = 0; y < h; ++y) {
    const double ty = std::trunc(static_cast<double>(h) * py + y - h / 2);
    for (int32_t x = 0; x < w; ++x) {
      const double tx = tx0 + x;
      const uint8_t* src = &picture[static_cast<size_t>((y * w + x) * 4)];
      if (src[3] != 0 && tx >= 0 && tx < w && ty >= 0 && ty < h)
        std::memcpy(&out[static_cast<size_t>(ty * stride + tx * 4)], src, 4);
    }
  }
  return out;
}

TEST(PictureCompositorTest, PositionsClipAtEveryEdgeOverTheCroppedBackgroundOrBlack) {
  const int32_t w = 8, h = 6;
  const Bytes picture = makePicture(w, h);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  // Backgrounds smaller than the picture (0: none) give black; they are
  // exactly sized, so reading them as w x h would overrun. Larger ones are cropped.
  // clang-format off
  const struct { float x, y; int32_t bgWidth, bgHeight, gap; } cases[] = {
      {0.5f, 0.5f, w, h, 0}, {0.75f, 0.25f, w, h, 8}, {0.0f, 0.0f, w, h, 0}, {1.0f, 1.0f, w, h, 8},
      {0.1f, 0.9f, w, h, 0}, {0.9f, 0.1f, w, h, 8},   {-3.0f, 0.5f, w, h, 0}, {0.5f, 7.0f, w, h, 8},
      {nan, 0.5f, w, h, 0},  {0.5f, nan, w, h, 8},    {1e30f, -1e30f, w, h, 0},
      {0.5f, 0.5f, 0, 0, 4}, {0.5f, 0.5f, w - 1, h, 4}, {0.5f, 0.5f, w, h - 1, 4},
      {0.25f, 0.5f, 1, 1, 0}, {0.5f, 0.75f, w + 3, h + 2, 4},
  };
  // clang-format on
  for (const auto& c : cases) {
    const Bytes background = makeBackground(c.bgWidth, c.bgHeight);
    const int32_t stride = w * 4 + c.gap;
    const bool fits = c.bgWidth >= w && c.bgHeight >= h;
    Bytes out(static_cast<size_t>(stride) * h, 0xCC);
    EXPECT_TRUE(compositePicture(picture.data(), w, h, c.bgWidth ? background.data() : nullptr,
                                 c.bgWidth, c.bgHeight, c.x, c.y, stride, out.data()));
    EXPECT_EQ(out, expectedComposite(picture, w, h, fits ? &background : nullptr, c.bgWidth, c.x,
                                     c.y, stride))
        << c.x << "," << c.y << " background " << c.bgWidth << "x" << c.bgHeight;
  }
  // By hand: x 0.75 moves the picture 2 columns right: its column 4 lands in column 6.
  Bytes out(static_cast<size_t>(w) * h * 4);
  compositePicture(picture.data(), w, h, nullptr, 0, 0, 0.75f, 0.5f, w * 4, out.data());
  EXPECT_EQ(out[(w + 2) * 4 + 1], 1);  // picture (0,1) at (2,1)
  EXPECT_EQ(out[(w + 6) * 4], 4);      // picture (4,1) at (6,1)
  EXPECT_EQ(out[(w + 7) * 4 + 3], 0);  // (5,1) is transparent: black shows
  // Rows closer than one picture row fail without writing.
  out.assign(64, 0xCC);
  EXPECT_FALSE(compositePicture(picture.data(), 4, 2, nullptr, 0, 0, 0.5f, 0.5f, 15, out.data()));
  EXPECT_FALSE(
      compositePicture(picture.data(), 4, 2, nullptr, 0, 0, 0.5f, 0.5f, -16, out.data() + 32));
  EXPECT_EQ(out, Bytes(64, 0xCC));
}

}  // namespace
}  // namespace strevana
