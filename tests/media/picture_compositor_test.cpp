#include "media/picture_compositor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace strevana {
namespace {

// The object position a source would pass, settable as on a source.
struct Placement {
  float x = 0.5f;
  float y = 0.5f;
  void setObjectPosition(float px, float py) {
    x = px;
    y = py;
  }
  bool compositePicture(const uint8_t* picture, int32_t w, int32_t h, const uint8_t* background,
                        int32_t bw, int32_t bh, int32_t stride, uint8_t* dst) const {
    return strevana::compositePicture(picture, w, h, background, bw, bh, x, y, stride, dst);
  }
};

// ---- compositing ------------------------------------------------------------

// A picture whose pixel bytes say where they came from; alpha 0 on a checker
// pattern so both kinds of pixel occur.
std::vector<uint8_t> makePicture(int32_t w, int32_t h) {
  std::vector<uint8_t> p(static_cast<size_t>(w) * h * 4);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* px = &p[static_cast<size_t>((y * w + x) * 4)];
      px[0] = static_cast<uint8_t>(x);
      px[1] = static_cast<uint8_t>(y);
      px[2] = 0x77;
      px[3] = (x + y) % 3 == 0 ? 0 : static_cast<uint8_t>(1 + x);
    }
  }
  return p;
}

std::vector<uint8_t> makeBackground(int32_t w, int32_t h) {
  std::vector<uint8_t> b(static_cast<size_t>(w) * h * 4);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(0x80 + i % 61);
  return b;
}

// Straightforward restatement of the placement rule for the expected image.
std::vector<uint8_t> expectedComposite(const std::vector<uint8_t>& picture, int32_t w, int32_t h,
                                       const std::vector<uint8_t>* background, int32_t bgWidth,
                                       float px, float py, int32_t stride, uint8_t filler) {
  std::vector<uint8_t> out(static_cast<size_t>(stride) * h, filler);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w * 4; ++x) {
      out[static_cast<size_t>(y * stride + x)] =
          background ? (*background)[static_cast<size_t>(y * bgWidth * 4 + x)] : 0;
    }
  }
  const double tx0 = std::trunc(static_cast<double>(w) * px - w / 2);
  for (int32_t y = 0; y < h; ++y) {
    const double ty = std::trunc(static_cast<double>(h) * py + y - h / 2);
    if (!(ty >= 0 && ty < h)) continue;
    for (int32_t x = 0; x < w; ++x) {
      const double tx = tx0 + x;
      const uint8_t* src = &picture[static_cast<size_t>((y * w + x) * 4)];
      if (src[3] == 0 || !(tx >= 0 && tx < w)) continue;
      std::memcpy(&out[static_cast<size_t>(ty * stride + tx * 4)], src, 4);
    }
  }
  return out;
}

TEST(MediaSourceCompositeTest, DefaultPositionLandsExactlyOnTheBackground) {
  Placement s;
  const int32_t w = 6, h = 4;
  const auto picture = makePicture(w, h);
  const auto background = makeBackground(w, h);
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4, 0xCC);
  EXPECT_TRUE(s.compositePicture(picture.data(), w, h, background.data(), w, h, w * 4, out.data()));
  for (size_t i = 0; i < out.size(); i += 4) {
    const bool opaque = picture[i + 3] != 0;
    EXPECT_EQ(0, std::memcmp(&out[i], opaque ? &picture[i] : &background[i], 4)) << i / 4;
  }
}

TEST(MediaSourceCompositeTest, MovedPositionsClipAtEveryEdge) {
  Placement s;
  const int32_t w = 8, h = 6;
  const auto picture = makePicture(w, h);
  const auto background = makeBackground(w, h);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float positions[][2] = {{0.5f, 0.5f},    {0.75f, 0.25f}, {0.0f, 0.0f},  {1.0f, 1.0f},
                                {0.1f, 0.9f},    {0.9f, 0.1f},   {-3.0f, 0.5f}, {0.5f, 7.0f},
                                {1e30f, -1e30f}, {nan, 0.5f},    {0.5f, nan}};
  for (const auto& pos : positions) {
    s.setObjectPosition(pos[0], pos[1]);
    for (int32_t stride : {w * 4, w * 4 + 8}) {
      std::vector<uint8_t> out(static_cast<size_t>(stride) * h, 0xCC);
      EXPECT_TRUE(
          s.compositePicture(picture.data(), w, h, background.data(), w, h, stride, out.data()));
      EXPECT_EQ(out, expectedComposite(picture, w, h, &background, w, pos[0], pos[1], stride, 0xCC))
          << pos[0] << "," << pos[1] << " stride " << stride;
    }
  }
  // One placement by hand: x 0.75 moves the object 2 columns right, so the
  // picture's column 0 lands in column 2 and columns 6, 7 fall off.
  s.setObjectPosition(0.75f, 0.5f);
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4);
  s.compositePicture(picture.data(), w, h, nullptr, 0, 0, w * 4, out.data());
  const uint8_t* row1 = &out[static_cast<size_t>(1 * w * 4)];
  EXPECT_EQ(row1[2 * 4 + 0], 0);  // picture (0,1): opaque, x byte 0
  EXPECT_EQ(row1[2 * 4 + 1], 1);
  EXPECT_EQ(row1[6 * 4 + 0], 4);  // picture (4,1) lands in column 6
  EXPECT_EQ(row1[7 * 4 + 3], 0);  // (5,1) is transparent: black shows
}

TEST(MediaSourceCompositeTest, NullOrSmallBackgroundsGiveBlackAndLargerOnesAreCropped) {
  Placement s;
  const int32_t w = 6, h = 4;
  const auto picture = makePicture(w, h);
  const int32_t stride = w * 4 + 4;
  std::vector<uint8_t> out(static_cast<size_t>(stride) * h, 0xCC);
  EXPECT_TRUE(s.compositePicture(picture.data(), w, h, nullptr, 0, 0, stride, out.data()));
  EXPECT_EQ(out, expectedComposite(picture, w, h, nullptr, 0, 0.5f, 0.5f, stride, 0xCC));

  // Exactly sized smaller buffers: reading them as w x h would overrun.
  for (auto [bw, bh] : {std::pair{w - 1, h}, std::pair{w, h - 1}, std::pair{1, 1}}) {
    const auto small = makeBackground(bw, bh);
    std::vector<uint8_t> o(static_cast<size_t>(stride) * h, 0xCC);
    EXPECT_TRUE(s.compositePicture(picture.data(), w, h, small.data(), bw, bh, stride, o.data()));
    EXPECT_EQ(o, expectedComposite(picture, w, h, nullptr, 0, 0.5f, 0.5f, stride, 0xCC))
        << bw << "x" << bh;
  }

  const auto large = makeBackground(w + 3, h + 2);
  std::vector<uint8_t> o(static_cast<size_t>(w) * h * 4, 0xCC);
  EXPECT_TRUE(
      s.compositePicture(picture.data(), w, h, large.data(), w + 3, h + 2, w * 4, o.data()));
  EXPECT_EQ(o, expectedComposite(picture, w, h, &large, w + 3, 0.5f, 0.5f, w * 4, 0xCC));
}

TEST(MediaSourceCompositeTest, NarrowStrideFailsWithoutWriting) {
  Placement s;
  const auto picture = makePicture(4, 2);
  std::vector<uint8_t> out(64, 0xCC);
  EXPECT_FALSE(s.compositePicture(picture.data(), 4, 2, nullptr, 0, 0, 15, out.data()));
  EXPECT_FALSE(s.compositePicture(picture.data(), 4, 2, nullptr, 0, 0, -16, out.data() + 32));
  EXPECT_EQ(out, std::vector<uint8_t>(64, 0xCC));
}

}  // namespace
}  // namespace strevana
