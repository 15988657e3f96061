#include "video/gdi_renderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "media/colour/yuv_converter.h"
#include "video/memory_window_surface.h"

namespace strevana {
namespace {

constexpr QRgb kUntouched = 0xff000000u;  // the surface starts black

// Fills a renderer's buffer: pixel (x, y) gets colour(x, y) as 0xRRGGBB.
template <typename F>
void fill(GdiRenderer& r, F colour) {
  uint8_t* bits = nullptr;
  int32_t size = 0, stride = 0;
  ASSERT_TRUE(r.lockBuffer(bits, size, stride));
  const int32_t bpp = r.format() == kFormatBgr24 ? 3 : 4;
  for (int32_t y = 0; y < r.imageHeight(); ++y) {
    for (int32_t x = 0; x < r.imageWidth(); ++x) {
      const uint32_t c = colour(x, y);
      uint8_t* p = bits + y * stride + x * bpp;
      p[0] = c & 0xff;
      p[1] = (c >> 8) & 0xff;
      p[2] = (c >> 16) & 0xff;
      if (bpp == 4) p[3] = 0x00;  // sources often leave the fourth byte 0
    }
  }
  ASSERT_TRUE(r.unlockBuffer());
}

uint32_t distinct(int32_t x, int32_t y) { return 0x100000u * (y + 1) + 0x10u * (x + 1); }

// Unscaled at an offset, and enlarged three times by repeating pixels.
TEST(GdiRendererPresent, CopiesOrEnlargesIntoTheDisplayRectangle) {
  const struct { int32_t w, h, x0, y0, scale; } cases[] = {{5, 3, 10, 20, 1}, {5, 2, 0, 0, 3}};
  for (const auto& c : cases) {
    for (OutputFormat format : {kFormatBgr24, kFormatBgrx32}) {
      MemoryWindowSurface surface(40, 30);
      GdiRenderer r;
      r.setScaling(GdiRenderer::Scaling::kNearest);
      ASSERT_TRUE(r.open(&surface, 0, 0, c.w, c.h, format));
      fill(r, distinct);
      const int32_t outW = c.w * c.scale, outH = c.h * c.scale;
      ASSERT_TRUE(r.setOutputRect(c.x0, c.y0, outW, outH));
      surface.takeInvalidated();
      ASSERT_TRUE(r.present());
      const QImage img = surface.snapshot();
      for (int y = 0; y < outH; ++y) {
        for (int x = 0; x < outW; ++x) {
          EXPECT_EQ(img.pixel(c.x0 + x, c.y0 + y), 0xff000000u | distinct(x / c.scale, y / c.scale))
              << format << " scale " << c.scale << " at " << x << "," << y;
        }
      }
      if (c.x0 > 0) {
        EXPECT_EQ(img.pixel(c.x0 - 1, c.y0), kUntouched);
      }
      EXPECT_EQ(img.pixel(c.x0 + outW, c.y0 + outH - 1), kUntouched);
      EXPECT_EQ(img.pixel(c.x0, c.y0 + outH), kUntouched);
      EXPECT_EQ(surface.takeInvalidated(), QRect(c.x0, c.y0, outW, outH));
    }
  }
}

TEST(GdiRendererPresent, ShrinksBySamplingPixelCentres) {
  MemoryWindowSurface surface(8, 8);
  GdiRenderer r;
  r.setScaling(GdiRenderer::Scaling::kNearest);
  ASSERT_TRUE(r.open(&surface, 0, 0, 4, 4, kFormatBgr24));
  fill(r, distinct);
  ASSERT_TRUE(r.setOutputRect(1, 1, 2, 2));
  ASSERT_TRUE(r.present());
  const QImage img = surface.snapshot();
  // Destination pixel d samples source (2d + 1) * 4 / 4: columns 1 and 3.
  EXPECT_EQ(img.pixel(1, 1), 0xff000000u | distinct(1, 1));
  EXPECT_EQ(img.pixel(2, 1), 0xff000000u | distinct(3, 1));
  EXPECT_EQ(img.pixel(1, 2), 0xff000000u | distinct(1, 3));
  EXPECT_EQ(img.pixel(2, 2), 0xff000000u | distinct(3, 3));
}

TEST(GdiRendererPresent, StretchesTheWholePictureIntoTheFittedRectangle) {
  // A 176 x 144 picture in a 400 x 400 output: drawn 400 x 327 at (0, 36).
  MemoryWindowSurface surface(400, 400);
  GdiRenderer r;
  ASSERT_TRUE(r.open(&surface, 0, 0, 176, 144, kFormatBgrx32));
  fill(r, [](int32_t x, int32_t y) -> uint32_t {
    return (x == 0 || y == 0 || x == 175 || y == 143) ? 0xff0000u : 0x00ff00u;
  });
  ASSERT_TRUE(r.setOutputRect(0, 0, 400, 400));
  ASSERT_TRUE(r.present());
  const QImage img = surface.snapshot();
  EXPECT_EQ(img.pixel(200, 35), kUntouched);
  EXPECT_EQ(img.pixel(200, 36), 0xffff0000u);   // top picture row
  EXPECT_EQ(img.pixel(200, 200), 0xff00ff00u);  // inside
  EXPECT_EQ(img.pixel(200, 362), 0xffff0000u);  // bottom picture row
  EXPECT_EQ(img.pixel(200, 363), kUntouched);
  EXPECT_EQ(img.pixel(0, 200), 0xffff0000u);
  EXPECT_EQ(img.pixel(399, 200), 0xffff0000u);
}

TEST(GdiRendererPresent, ClipsToTheSurface) {
  MemoryWindowSurface surface(10, 10);
  GdiRenderer r;
  ASSERT_TRUE(r.open(&surface, 0, 0, 4, 4, kFormatBgrx32));
  fill(r, distinct);
  ASSERT_TRUE(r.setOutputRect(-2, 8, 4, 4));
  surface.takeInvalidated();
  ASSERT_TRUE(r.present());
  const QImage img = surface.snapshot();
  EXPECT_EQ(img.pixel(0, 8), 0xff000000u | distinct(2, 0));
  EXPECT_EQ(img.pixel(1, 9), 0xff000000u | distinct(3, 1));
  EXPECT_EQ(surface.takeInvalidated(), QRect(0, 8, 2, 2));

  // Entirely outside: nothing drawn, still a success.
  ASSERT_TRUE(r.setOutputRect(50, 50, 8, 8));
  EXPECT_TRUE(r.present());
  EXPECT_TRUE(surface.takeInvalidated().isNull());
}

TEST(GdiRendererPresent, ProbeRectangleAndRepeatedPresentsWork) {
  MemoryWindowSurface surface(100, 100);
  GdiRenderer r;
  ASSERT_TRUE(r.open(&surface, 0, 0, 176, 144, kFormatBgrx32));
  ASSERT_TRUE(r.setOutputRect(20, 20, 25, 25));
  EXPECT_TRUE(r.present());
  ASSERT_TRUE(r.clear());
  ASSERT_TRUE(r.setOutputRect(0, 0, 100, 50));
  EXPECT_TRUE(r.present());
  EXPECT_TRUE(r.present());
  EXPECT_EQ(r.displayWidth(), 61);
}

TEST(GdiRendererPresent, FailsWithoutAWindow) {
  GdiRenderer r;
  ASSERT_TRUE(r.open(nullptr, 0, 0, 4, 4, kFormatBgrx32));
  ASSERT_TRUE(r.setOutputRect(0, 0, 4, 4));
  EXPECT_FALSE(r.present());
}

// A black and a white pixel doubled: smooth scaling (the default) blends at
// pixel centres, nearest-neighbour repeats.
TEST(GdiRendererPresent, SmoothByDefaultNearestWhenAsked) {
  const struct {
    bool nearest;
    uint32_t expected[4];
  } cases[] = {{false, {0x000000, 0x3f3f3f, 0xbfbfbf, 0xffffff}},
               {true, {0x000000, 0x000000, 0xffffff, 0xffffff}}};
  for (const auto& c : cases) {
    for (OutputFormat format : {kFormatBgr24, kFormatBgrx32}) {
      MemoryWindowSurface surface(4, 2);
      GdiRenderer r;
      if (c.nearest) r.setScaling(GdiRenderer::Scaling::kNearest);
      ASSERT_TRUE(r.open(&surface, 0, 0, 2, 1, format));
      fill(r, [](int32_t x, int32_t) -> uint32_t { return x == 0 ? 0x000000u : 0xffffffu; });
      ASSERT_TRUE(r.setOutputRect(0, 0, 4, 2));
      ASSERT_TRUE(r.present());
      const QImage img = surface.snapshot();
      for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
          EXPECT_EQ(img.pixel(x, y), 0xff000000u | c.expected[x])
              << (c.nearest ? "nearest " : "smooth ") << format << " at " << x << "," << y;
        }
      }
    }
  }
}

// The last pixel of an odd-width packed 4:2:2 row has a U sample of its
// own but no V: it is shown with neutral V, whatever bytes follow it.
TEST(GdiRendererPresent, TheOddLastPixelOfAPackedYuvRowReadsNothingAfterIt) {
  MemoryWindowSurface surface(3, 2);
  GdiRenderer r;
  ASSERT_TRUE(r.open(&surface, 0, 0, 3, 2, kFormatYuy2));
  uint8_t* bits = nullptr;
  int32_t size = 0, stride = 0;
  ASSERT_TRUE(r.lockBuffer(bits, size, stride));
  std::fill(bits, bits + size, uint8_t{0xF0});
  std::fill(bits, bits + 6, uint8_t{0x80});  // row 0: three neutral grey pixels
  ASSERT_TRUE(r.unlockBuffer());
  ASSERT_TRUE(r.setOutputRect(0, 0, 3, 2));
  ASSERT_TRUE(r.present());
  const QImage img = surface.snapshot();
  EXPECT_EQ(img.pixel(2, 0), img.pixel(0, 0));
  EXPECT_EQ(img.pixel(1, 0), img.pixel(0, 0));
}

// A 4:2:0 picture with saturated and dark colours, as planes.
struct Planes {
  int32_t w, h;
  std::vector<uint8_t> y, u, v;
  Planes(int32_t width, int32_t height) : w(width), h(height) {
    y.resize(static_cast<size_t>(w * h));
    u.resize(static_cast<size_t>(w * h / 4));
    v.resize(u.size());
    for (int32_t i = 0; i < w * h; ++i)
      y[static_cast<size_t>(i)] = static_cast<uint8_t>(7 + 37 * i);
    for (size_t i = 0; i < u.size(); ++i) {
      u[i] = static_cast<uint8_t>(i * 53);
      v[i] = static_cast<uint8_t>(255 - i * 29);
    }
  }
};

// Packed 4:2:2 pictures are converted with the colour converter's equations:
// unscaled, each pixel is what the converter makes of the same samples.
TEST(GdiRendererPresent, Yuy2IsConvertedAsTheColourConverterDoes) {
  const Planes p(16, 6);
  auto converter = createYuvConverter(0);
  std::vector<uint8_t> yuy2(static_cast<size_t>(p.w * p.h * 2));
  std::vector<uint8_t> bgr(static_cast<size_t>(p.w * p.h * 3));
  converter->toYuy2(yuy2.data(), p.w, p.y.data(), p.w, p.h, p.w, p.u.data(), p.v.data(), p.w / 2,
                    p.h / 2, p.w / 2);
  converter->toBgr24(bgr.data(), p.w * 3, p.y.data(), p.w, p.h, p.w, p.u.data(), p.v.data(),
                     p.w / 2, p.h / 2, p.w / 2, 0);
  MemoryWindowSurface surface(p.w + 4, p.h + 4);
  GdiRenderer r;
  ASSERT_TRUE(r.open(&surface, 0, 0, p.w, p.h, kFormatYuy2));
  uint8_t* bits = nullptr;
  int32_t size = 0, stride = 0;
  ASSERT_TRUE(r.lockBuffer(bits, size, stride));
  ASSERT_EQ(size, static_cast<int32_t>(yuy2.size()));
  ASSERT_EQ(stride, p.w * 2);
  std::copy(yuy2.begin(), yuy2.end(), bits);
  ASSERT_TRUE(r.unlockBuffer());
  ASSERT_TRUE(r.setOutputRect(2, 2, p.w, p.h));
  ASSERT_TRUE(r.present());
  const QImage img = surface.snapshot();
  for (int32_t y = 0; y < p.h; ++y) {
    for (int32_t x = 0; x < p.w; ++x) {
      const uint8_t* c = bgr.data() + 3 * (y * p.w + x);
      EXPECT_EQ(img.pixel(2 + x, 2 + y), qRgb(c[2], c[1], c[0])) << x << "," << y;
    }
  }
  // Enlarged or reduced, every pixel comes from the same converted picture:
  // a clip of the picture shows exactly the same as the whole.
  surface.resize(40, 15);
  ASSERT_TRUE(r.setOutputRect(0, 0, 40, 15));
  ASSERT_TRUE(r.present());
  const QImage whole = surface.snapshot();
  MemoryWindowSurface narrow(20, 15);
  GdiRenderer clipped;
  ASSERT_TRUE(clipped.open(&narrow, 0, 0, p.w, p.h, kFormatYuy2));
  ASSERT_TRUE(clipped.lockBuffer(bits, size, stride));
  std::copy(yuy2.begin(), yuy2.end(), bits);
  ASSERT_TRUE(clipped.setOutputRect(-20, 0, 40, 15));
  ASSERT_TRUE(clipped.present());
  const QImage half = narrow.snapshot();
  for (int32_t y = 0; y < 15; ++y) {
    for (int32_t x = 0; x < 20; ++x) {
      ASSERT_EQ(half.pixel(x, y), whole.pixel(20 + x, y)) << x << "," << y;
    }
  }
}

TEST(MemoryWindowSurface, ResizeKeepsTheTopLeftAndBlackensNewArea) {
  MemoryWindowSurface surface(4, 4);
  {
    auto b = surface.paint();
    b.image().fill(0xff123456u);
  }
  surface.resize(6, 2);
  EXPECT_EQ(surface.clientWidth(), 6);
  EXPECT_EQ(surface.clientHeight(), 2);
  const QImage img = surface.snapshot();
  ASSERT_EQ(img.size(), QSize(6, 2));
  EXPECT_EQ(img.format(), QImage::Format_RGB32);
  EXPECT_EQ(img.pixel(3, 1), 0xff123456u);
  EXPECT_EQ(img.pixel(4, 0), 0xff000000u);
  surface.resize(-5, 3);
  EXPECT_EQ(surface.clientWidth(), 0);
}

TEST(MemoryWindowSurface, RecordsTheUnionOfInvalidatedRectangles) {
  MemoryWindowSurface surface(100, 100);
  surface.invalidate(QRect(0, 0, 10, 10));
  surface.invalidate(QRect(20, 30, 5, 5));
  EXPECT_EQ(surface.invalidateCount(), 2);
  EXPECT_EQ(surface.takeInvalidated(), QRect(0, 0, 25, 35));
  EXPECT_TRUE(surface.takeInvalidated().isNull());
}

}  // namespace
}  // namespace strevana
