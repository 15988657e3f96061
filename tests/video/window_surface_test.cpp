#include "video/window_surface.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "video/gdi_renderer.h"
#include "video/memory_window_surface.h"

namespace strevana {
namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

// Sizes whose back buffer is past WindowSurface::kMaxBackBufferBytes, some of
// them past 32 bits in every product of width, height and 4.
const struct {
  int32_t width, height;
} kAbsurdSizes[] = {
    {100000, 100000}, {kMax, kMax}, {kMax, 1}, {1, kMax}, {16385, 16384}, {640000, 480000},
};

std::string sizeText(int32_t w, int32_t h) { return std::to_string(w) + " x " + std::to_string(h); }

TEST(WindowSurfaceSize, AnAbsurdResizeLeavesAnEmptySurfaceNothingDrawsInto) {
  for (const auto& s : kAbsurdSizes) {
    SCOPED_TRACE(sizeText(s.width, s.height));
    MemoryWindowSurface surface(64, 48);
    GdiRenderer renderer;
    ASSERT_TRUE(renderer.open(&surface, 0, 0, 16, 16, kFormatBgrx32));
    ASSERT_TRUE(renderer.setOutputRect(0, 0, 64, 48));

    surface.resize(s.width, s.height);
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

TEST(WindowSurfaceSize, AnAbsurdFirstSizeGivesAnEmptySurface) {
  for (const auto& s : kAbsurdSizes) {
    SCOPED_TRACE(sizeText(s.width, s.height));
    MemoryWindowSurface surface(s.width, s.height);
    EXPECT_EQ(surface.clientSize(), QSize(0, 0));
    EXPECT_TRUE(surface.snapshot().isNull());
  }
}

TEST(WindowSurfaceSize, SizesWithinTheBoundKeepTheirContent) {
  MemoryWindowSurface surface(8, 8);
  surface.paint().image().setPixel(3, 3, 0xff00ff00u);
  // A thin buffer far wider than any screen is still within the bound.
  surface.resize(1 << 20, 8);
  EXPECT_EQ(surface.clientSize(), QSize(1 << 20, 8));
  EXPECT_EQ(surface.paint().image().pixel(3, 3), 0xff00ff00u);
  surface.resize(0, 8);  // an empty width is a size, not a failure
  EXPECT_EQ(surface.clientSize(), QSize(0, 8));
  surface.resize(0, 0);
  EXPECT_EQ(surface.clientSize(), QSize(0, 0));
}

}  // namespace
}  // namespace strevana
