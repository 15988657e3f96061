#include "video/video_renderer.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "support/fake_renderer.h"
#include "video/direct_draw_renderer.h"
#include "video/gdi_renderer.h"
#include "video/memory_window_surface.h"
#include "video/video_plane.h"

namespace strevana {
namespace {

// The picture keeps its aspect inside the output rectangle, centred; sizes
// without area fill the output instead of dividing by zero.
TEST(VideoRendererFitting, KeepsTheVisibleAspectCentredInTheOutput) {
  struct Case {
    const char* what;
    QRect source, out, want;
  };
  // clang-format off
  const Case cases[] = {
      {"letterbox", {0, 0, 176, 144}, {0, 0, 400, 400}, {0, 36, 400, 327}},
      {"pillarbox", {0, 0, 176, 144}, {0, 0, 400, 100}, {138, 0, 122, 100}},
      {"offsets are relative to the output", {0, 0, 176, 144}, {15, 13, 400, 400}, {15, 49, 400, 327}},
      {"exact aspect", {0, 0, 176, 144}, {5, 7, 352, 288}, {5, 7, 352, 288}},
      {"a hair narrower", {0, 0, 176, 144}, {0, 0, 351, 288}, {0, 0, 351, 287}},
      {"the visible part sets the aspect", {0, 0, 100, 100}, {0, 0, 400, 200}, {100, 0, 200, 200}},
      {"source without height", {0, 0, 176, 0}, {1, 2, 300, 200}, {1, 2, 300, 200}},
      {"output without area", {0, 0, 176, 144}, {0, 0, 0, 0}, {0, 0, 0, 0}},
  };
  // clang-format on
  for (const Case& c : cases) {
    testing::FakeRenderer r;
    r.open(nullptr, 0, 0, 176, 144, kFormatBgrx32);
    r.setSourceRect(c.source.x(), c.source.y(), c.source.width(), c.source.height());
    EXPECT_TRUE(r.setOutputRect(c.out.x(), c.out.y(), c.out.width(), c.out.height())) << c.what;
    EXPECT_EQ(r.outputWidth(), c.out.width()) << c.what;
    EXPECT_EQ(QRect(r.displayX(), r.displayY(), r.displayWidth(), r.displayHeight()), c.want)
        << c.what;
  }
}

// Cleared buffers are black: luma 0 and neutral chroma (planar: below).
TEST(VideoRendererClear, EveryFormatBecomesBlack) {
  const struct {
    OutputFormat format;
    int32_t width;
    std::vector<uint8_t> want;
  } cases[] = {
      {kFormatYuy2, 2, {0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80}},
      {kFormatBgr24, 4, std::vector<uint8_t>(24, 0)},
  };
  for (const auto& c : cases) {
    testing::FakeRenderer r;
    r.open(nullptr, 0, 0, c.width, 2, c.format);
    ASSERT_TRUE(r.clear());
    EXPECT_EQ(r.buffer, c.want) << c.format;
  }
}

// A window with a video plane that keeps the frame it was handed, as a
// real one does.
class PlaneWindow final : public WindowSurface, public VideoPlane {
 public:
  PlaneWindow() : WindowSurface(64, 48) {}
  void invalidate(const QRect&) override {}
  VideoPlane* videoPlane() override { return hasPlane ? this : nullptr; }
  bool usable() const override { return usable_; }
  bool showFrame(std::shared_ptr<const VideoPlaneFrame> f, const QRect& d) override {
    if (!usable_) return false;
    frame = std::move(f);
    display = d;
    ++shown;
    return true;
  }
  void withdraw() override {
    frame.reset();
    ++withdrawn;
  }
  bool hasPlane = true, usable_ = true;
  std::shared_ptr<const VideoPlaneFrame> frame;
  QRect display;
  int shown = 0, withdrawn = 0;
};

std::vector<uint8_t> bufferOf(VideoRenderer& r, int32_t* stride = nullptr) {
  uint8_t* bits = nullptr;
  int32_t size = 0, s = 0;
  if (!r.lockBuffer(bits, size, s)) return {};
  if (stride) *stride = s;
  return std::vector<uint8_t>(bits, bits + size);
}

// Both renderers refuse pictures without area or past kMaxDimension on a
// side; the raster one takes packed formats only, the hardware one needs a
// usable plane. Buffers are rows of exactly the picture's width.
TEST(CreateVideoRenderer, OpensOnlyWhatTheRendererCanShow) {
  constexpr int32_t kMax = GdiRenderer::kMaxDimension, kHw = kRendererHardware,
                    kRas = kRendererRaster;
  static_assert(kMax == DirectDrawRenderer::kMaxDimension);
  enum Plane { kUsable, kUnusable, kNone };
  struct Case {
    int32_t kind;
    OutputFormat format;
    int32_t w, h;
    Plane plane;
    int32_t stride;  // 0: refused
  };
  // clang-format off
  const Case cases[] = {
      {kHw, kFormatIyuv, 176, 144, kUsable, 176},    {kHw, kFormatYv12, 6, 2, kUsable, 6},
      {kHw, kFormatYuy2, 7, 3, kUsable, 14},         {kHw, kFormatBgr24, 5, 1, kUsable, 15},
      {kHw, kFormatBgrx32, kMax, 1, kUsable, 4 * kMax}, {kHw, kFormatBgrx32, 1, kMax, kUsable, 4},
      {kHw, kFormatBgrx32, 0, 144, kUsable, 0},      {kHw, kFormatBgrx32, 176, 0, kUsable, 0},
      {kHw, kFormatBgrx32, -1, 144, kUsable, 0},     {kHw, kFormatBgrx32, kMax + 1, 1, kUsable, 0},
      {kHw, kFormatBgrx32, 1, kMax + 1, kUsable, 0}, {kHw, 2, 176, 144, kUsable, 0},
      {kHw, kFormatBgrx32, 176, 144, kUnusable, 0},  {kHw, kFormatBgrx32, 176, 144, kNone, 0},
      {kRas, kFormatBgr24, 175, 3, kNone, 525},      {kRas, kFormatBgrx32, 176, 144, kNone, 704},
      {kRas, kFormatYuy2, 176, 144, kNone, 352},     {kRas, kFormatIyuv, 176, 144, kUsable, 0},
      {kRas, kFormatYv12, 176, 144, kNone, 0},       {kRas, kFormatBgrx32, kMax, 1, kNone, 4 * kMax},
      {kRas, kFormatBgrx32, 1, kMax, kNone, 4},      {kRas, kFormatBgrx32, 0, 144, kNone, 0},
      {kRas, kFormatBgrx32, 176, -1, kNone, 0},      {kRas, kFormatBgrx32, kMax + 1, 1, kNone, 0},
      {kRas, kFormatBgrx32, 1, kMax + 1, kNone, 0},  {3, kFormatBgrx32, 16, 16, kUsable, 0},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE("kind " + std::to_string(c.kind) + " format " + std::to_string(c.format) + " " +
                 std::to_string(c.w) + "x" + std::to_string(c.h));
    PlaneWindow window;
    window.usable_ = c.plane == kUsable;
    window.hasPlane = c.plane != kNone;
    auto r = createVideoRenderer(&window, 0, 0, c.w, c.h, c.kind, c.format);
    ASSERT_EQ(r != nullptr, c.stride != 0);
    if (!r) continue;
    int32_t stride = 0;
    EXPECT_EQ(static_cast<int64_t>(bufferOf(*r, &stride).size()), bufferBytes(c.format, c.w, c.h));
    EXPECT_EQ(stride, c.stride);
    EXPECT_EQ(r->imageHeight(), c.h);
  }
  EXPECT_FALSE(DirectDrawRenderer().open(nullptr, 0, 0, 8, 8, kFormatBgrx32));
  GdiRenderer refused;
  EXPECT_FALSE(refused.open(nullptr, 0, 0, 176, 144, kFormatIyuv));
  EXPECT_EQ(refused.imageWidth(), -1) << "nothing stored for a refused format";
  ASSERT_TRUE(refused.open(nullptr, 0, 0, 4, 4, kFormatBgrx32));
  ASSERT_TRUE(refused.setOutputRect(0, 0, 4, 4));
  EXPECT_FALSE(refused.present()) << "no window to draw in";
}

TEST(DirectDrawRendererPresent, HandsThePlaneACopyOfTheBufferAndTheFittedRectangle) {
  PlaneWindow plane;
  DirectDrawRenderer r;
  ASSERT_TRUE(r.open(&plane, 0, 0, 4, 2, kFormatIyuv));
  // Opened black: luma 0, chroma neutral.
  EXPECT_EQ(bufferOf(r), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x80, 0x80, 0x80}));
  // Nothing to show while the display rectangle has no area.
  for (QSize out : {QSize(0, 0), QSize(100, 0), QSize(0, 100)}) {
    EXPECT_TRUE(r.setOutputRect(0, 0, out.width(), out.height()));
    EXPECT_TRUE(r.present());
    EXPECT_EQ(plane.shown, 0) << out.width() << "x" << out.height();
  }
  ASSERT_TRUE(r.setOutputRect(10, 20, 100, 100));
  uint8_t* bits = nullptr;
  int32_t size = 0, stride = 0;
  ASSERT_TRUE(r.lockBuffer(bits, size, stride));
  bits[0] = 0x11;
  ASSERT_TRUE(r.present());
  ASSERT_NE(plane.frame, nullptr);
  const std::shared_ptr<const VideoPlaneFrame> first = plane.frame;
  EXPECT_EQ(std::tie(first->format, first->width, first->height), std::tuple(kFormatIyuv, 4, 2));
  EXPECT_EQ(first->bits, std::vector<uint8_t>(bits, bits + size));
  EXPECT_EQ(plane.display, QRect(10, 45, 100, 50));
  // The next picture never goes into a frame the plane (or anyone) still holds.
  bits[0] = 0x22;
  ASSERT_TRUE(r.present());
  EXPECT_EQ(first->bits[0], 0x11);
  EXPECT_EQ(plane.frame->bits[0], 0x22);
  // A plane that stopped working fails the present: the engine falls back.
  plane.usable_ = false;
  EXPECT_FALSE(r.setOutputRect(0, 0, 64, 48));
  EXPECT_FALSE(r.present());
  // Closing takes the picture off the plane and the buffer away.
  plane.usable_ = true;
  EXPECT_TRUE(r.close());
  EXPECT_EQ(plane.withdrawn, 1);
  EXPECT_EQ(plane.frame, nullptr);
  EXPECT_FALSE(r.lockBuffer(bits, size, stride));
  EXPECT_FALSE(r.present());
}

// Sizes whose back buffer is past WindowSurface::kMaxBackBufferBytes, some of
// them past 32 bits in every product of width, height and 4.
TEST(WindowSurfaceSize, AnAbsurdSizeLeavesAnEmptySurfaceNothingDrawsInto) {
  constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();
  for (QSize s : {QSize(100000, 100000), QSize(kInt32Max, kInt32Max), QSize(kInt32Max, 1),
                  QSize(1, kInt32Max), QSize(16385, 16384), QSize(640000, 480000)}) {
    SCOPED_TRACE(std::to_string(s.width()) + " x " + std::to_string(s.height()));
    EXPECT_EQ(MemoryWindowSurface(s.width(), s.height()).clientSize(), QSize(0, 0))
        << "as first size";
    MemoryWindowSurface surface(64, 48);
    GdiRenderer renderer;
    ASSERT_TRUE(renderer.open(&surface, 0, 0, 16, 16, kFormatBgrx32));
    ASSERT_TRUE(renderer.setOutputRect(0, 0, 64, 48));

    surface.resize(s.width(), s.height());
    EXPECT_EQ(surface.clientSize(), QSize(0, 0));
    EXPECT_TRUE(surface.paint().image().isNull());
    const int64_t before = surface.invalidateCount();
    ASSERT_TRUE(renderer.present());               // still aimed at the old 64 x 48
    EXPECT_EQ(surface.invalidateCount(), before);  // nothing was drawn
    EXPECT_TRUE(surface.snapshot().isNull());

    // A size that fits gives a black buffer again.
    surface.resize(32, 24);
    EXPECT_EQ(surface.clientSize(), QSize(32, 24));
    const QImage image = surface.snapshot();
    ASSERT_EQ(image.size(), QSize(32, 24));
    EXPECT_EQ(image.pixel(31, 23), 0xff000000u);
  }
}

TEST(WindowSurfaceSize, SizesWithinTheBoundKeepTheirContent) {
  MemoryWindowSurface surface(8, 8);
  surface.paint().image().setPixel(3, 3, 0xff00ff00u);
  // A thin buffer far wider than any screen is still within the bound.
  surface.resize(1 << 20, 8);
  EXPECT_EQ(surface.clientSize(), QSize(1 << 20, 8));
  EXPECT_EQ(surface.paint().image().pixel(3, 3), 0xff00ff00u);
  EXPECT_EQ(surface.paint().image().pixel(8, 3), 0xff000000u) << "new area is black";
  surface.resize(0, 8);  // an empty width is a size, not a failure
  EXPECT_EQ(surface.clientSize(), QSize(0, 8));
  surface.resize(0, 0);
  EXPECT_EQ(surface.clientSize(), QSize(0, 0));
}

}  // namespace
}  // namespace strevana
