#include "video/video_renderer.h"

#include <gtest/gtest.h>

#include <vector>

#include "video/gdi_renderer.h"
#include "video/memory_window_surface.h"
#include "support/fake_renderer.h"

namespace strevana {
namespace {

using BufferRenderer = testing::FakeRenderer;  // formats the raster renderer refuses too

struct Rect {
  int32_t x, y, w, h;
};

Rect fitted(int32_t pw, int32_t ph, Rect out) {
  BufferRenderer r;
  r.open(nullptr, 0, 0, pw, ph, kFormatBgrx32);
  EXPECT_TRUE(r.setOutputRect(out.x, out.y, out.w, out.h));
  EXPECT_EQ(r.outputX(), out.x);
  EXPECT_EQ(r.outputWidth(), out.w);
  return {r.displayX(), r.displayY(), r.displayWidth(), r.displayHeight()};
}

TEST(VideoRendererFitting, KeepsTheAspectInsideTheOutputRectangle) {
  const struct {
    const char* what;
    Rect out, want;
  } cases[] = {
      {"letterbox", {0, 0, 400, 400}, {0, 36, 400, 327}},
      {"pillarbox", {0, 0, 400, 100}, {138, 0, 122, 100}},
      {"offsets are relative to the output", {15, 13, 400, 400}, {15, 13 + 36, 400, 327}},
      // 352 x 288 has exactly the aspect of 176 x 144: the height branch keeps
      // the full height and computes the width.
      {"exact aspect", {5, 7, 352, 288}, {5, 7, 352, 288}},
  };
  for (const auto& c : cases) {
    const Rect d = fitted(176, 144, c.out);
    EXPECT_EQ(d.x, c.want.x) << c.what;
    EXPECT_EQ(d.y, c.want.y) << c.what;
    EXPECT_EQ(d.w, c.want.w) << c.what;
    EXPECT_EQ(d.h, c.want.h) << c.what;
  }
  // A rectangle a hair narrower takes the width branch instead.
  const Rect n = fitted(176, 144, {0, 0, 351, 288});
  EXPECT_EQ(n.w, 351);
  EXPECT_LT(n.h, 288);
}

TEST(VideoRendererFitting, TheVisibleRectangleSetsTheAspect) {
  BufferRenderer r;
  r.open(nullptr, 0, 0, 176, 144, kFormatBgrx32);
  r.setSourceRect(0, 0, 100, 100);  // square visible part
  r.setOutputRect(0, 0, 400, 200);
  EXPECT_EQ(r.displayWidth(), 200);
  EXPECT_EQ(r.displayX(), 100);
}

TEST(VideoRendererFitting, DegenerateSizesFillTheTargetInsteadOfOverflowing) {
  BufferRenderer r;
  r.open(nullptr, 0, 0, 176, 144, kFormatBgrx32);
  r.setSourceRect(0, 0, 176, 0);
  EXPECT_TRUE(r.setOutputRect(1, 2, 300, 200));
  EXPECT_EQ(r.displayX(), 1);
  EXPECT_EQ(r.displayWidth(), 300);
  EXPECT_EQ(r.displayHeight(), 200);
  r.setSourceRect(0, 0, 176, 144);
  EXPECT_TRUE(r.setOutputRect(0, 0, 0, 0));
  EXPECT_EQ(r.displayWidth(), 0);
  EXPECT_EQ(r.displayHeight(), 0);
}

TEST(VideoRendererClear, Yuy2BecomesBlackPairs) {
  BufferRenderer r;
  r.open(nullptr, 0, 0, 6, 2, kFormatYuy2);
  ASSERT_TRUE(r.clear());
  ASSERT_EQ(r.buffer.size(), 24u);
  for (size_t i = 0; i < r.buffer.size(); i += 2) {
    EXPECT_EQ(r.buffer[i], 0x00) << i;
    EXPECT_EQ(r.buffer[i + 1], 0x80) << i;
  }
  EXPECT_EQ(r.locks, 1);
  EXPECT_EQ(r.unlocks, 1);
}

TEST(VideoRendererClear, PlanarLumaBlackChromaNeutral) {
  BufferRenderer r;
  r.open(nullptr, 0, 0, 4, 2, kFormatIyuv);
  ASSERT_TRUE(r.clear());
  ASSERT_EQ(r.buffer.size(), 12u);
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(r.buffer[i], 0x00) << i;
  for (size_t i = 8; i < 12; ++i) EXPECT_EQ(r.buffer[i], 0x80) << i;
}

TEST(VideoRendererClear, RgbBecomesAllZero) {
  MemoryWindowSurface surface(64, 64);
  auto r = createVideoRenderer(&surface, 0, 0, 7, 3, kRendererRaster, kFormatBgr24);
  ASSERT_NE(r, nullptr);
  uint8_t* bits = nullptr;
  int32_t size = 0, stride = 0;
  ASSERT_TRUE(r->lockBuffer(bits, size, stride));
  std::fill(bits, bits + size, 0xab);
  ASSERT_TRUE(r->clear());
  for (int32_t i = 0; i < size; ++i) ASSERT_EQ(bits[i], 0) << i;
}

// A memory surface has no display hardware: the hardware kind cannot open
// there, whatever the format.
TEST(CreateVideoRenderer, HardwareKindNeedsAWindowWithAVideoPlane) {
  MemoryWindowSurface surface(32, 32);
  EXPECT_EQ(createVideoRenderer(&surface, 0, 0, 16, 16, kRendererHardware, kFormatBgrx32), nullptr);
  EXPECT_EQ(createVideoRenderer(&surface, 0, 0, 16, 16, 0, kFormatBgrx32), nullptr);
  EXPECT_EQ(createVideoRenderer(&surface, 0, 0, 16, 16, 3, kFormatBgrx32), nullptr);
  EXPECT_NE(createVideoRenderer(&surface, 0, 0, 16, 16, kRendererRaster, kFormatBgrx32), nullptr);
}

TEST(GdiRendererOpen, RefusesPlanarYuvFormats) {
  MemoryWindowSurface surface(32, 32);
  for (OutputFormat f : {kFormatIyuv, kFormatYv12}) {
    GdiRenderer r;
    EXPECT_FALSE(r.open(&surface, 0, 0, 176, 144, f)) << f;
    EXPECT_EQ(r.window(), nullptr) << "nothing stored for a refused format";
    EXPECT_EQ(createVideoRenderer(&surface, 0, 0, 176, 144, kRendererRaster, f), nullptr);
  }
}

TEST(GdiRendererOpen, BuffersHaveTheExactSizeAndStride) {
  MemoryWindowSurface surface(32, 32);
  struct Case {
    OutputFormat format;
    int32_t w, h, size, stride;
  };
  for (const Case c :
       {Case{kFormatBgr24, 176, 144, 76032, 528}, Case{kFormatBgrx32, 176, 144, 101376, 704},
        Case{kFormatBgr24, 175, 3, 1575, 525}, Case{kFormatYuy2, 176, 144, 50688, 352}}) {
    auto r = createVideoRenderer(&surface, 0, 0, c.w, c.h, kRendererRaster, c.format);
    ASSERT_NE(r, nullptr);
    uint8_t* bits = nullptr;
    int32_t size = 0, stride = 0;
    ASSERT_TRUE(r->lockBuffer(bits, size, stride));
    EXPECT_NE(bits, nullptr);
    EXPECT_EQ(size, c.size);
    EXPECT_EQ(stride, c.stride);
    EXPECT_TRUE(r->unlockBuffer());
    EXPECT_EQ(r->sourceWidth(), c.w);
    EXPECT_EQ(r->format(), c.format);
  }
}

TEST(GdiRendererOpen, RefusesPicturesWithoutAreaOrAbsurdlyLarge) {
  MemoryWindowSurface surface(32, 32);
  constexpr int32_t kMax = GdiRenderer::kMaxDimension;
  const struct {
    int32_t w, h;
    bool opens;
  } cases[] = {{0, 144, false}, {176, 0, false},      {176, -1, false},    {kMax, 1, true},
               {1, kMax, true}, {kMax + 1, 1, false}, {1, kMax + 1, false}};
  for (const auto& c : cases) {
    GdiRenderer r;
    EXPECT_EQ(r.open(&surface, 0, 0, c.w, c.h, kFormatBgrx32), c.opens) << c.w << " x " << c.h;
  }
}

TEST(GdiRendererLifecycle, CloseReleasesTheBufferAndPresentFails) {
  MemoryWindowSurface surface(32, 32);
  GdiRenderer r;
  ASSERT_TRUE(r.open(&surface, 0, 0, 8, 8, kFormatBgrx32));
  EXPECT_TRUE(r.close());
  uint8_t* bits = nullptr;
  int32_t size = 0, stride = 0;
  EXPECT_FALSE(r.lockBuffer(bits, size, stride));
  EXPECT_FALSE(r.present());
}

}  // namespace
}  // namespace strevana
