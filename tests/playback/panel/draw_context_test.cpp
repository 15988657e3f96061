#include "playback/panel/draw_context.h"

#include <gtest/gtest.h>

#include "panel_test_support.h"
#include "playback/panel/skin_bitmap.h"
#include "video/memory_window_surface.h"

namespace strevana {
namespace {

using panel_test::rgbAt;

class DrawContextTest : public ::testing::Test {
 protected:
  void SetUp() override { panel_test::ensureGuiApplication(); }
  MemoryWindowSurface surface{120, 80};
  DrawContext context{&surface};
};

TEST_F(DrawContextTest, RectangleOutlinesInForegroundAndFillsWithBackground) {
  context.setForeground(rgb(255, 0, 0));
  context.setBackground(rgb(0, 0, 255));
  context.rectangle(10, 10, 20, 16);  // covers 10..19 x 10..15
  const QImage img = surface.snapshot();
  EXPECT_EQ(rgbAt(img, 10, 10), 0xff0000u);
  EXPECT_EQ(rgbAt(img, 19, 15), 0xff0000u);
  EXPECT_EQ(rgbAt(img, 19, 12), 0xff0000u);
  EXPECT_EQ(rgbAt(img, 15, 15), 0xff0000u);  // the bottom edge is the last row
  EXPECT_EQ(rgbAt(img, 15, 14), 0x0000ffu);
  EXPECT_EQ(rgbAt(img, 15, 12), 0x0000ffu);
  EXPECT_EQ(rgbAt(img, 20, 12), 0x000000u);
  EXPECT_EQ(rgbAt(img, 15, 16), 0x000000u);
  EXPECT_EQ(surface.takeInvalidated(), QRect(10, 10, 10, 6));

  context.setFillWithForeground(true);
  context.rectangle(40, 40, 50, 50);
  EXPECT_EQ(rgbAt(surface.snapshot(), 45, 45), 0xff0000u);
}

TEST_F(DrawContextTest, ClipLimitsEveryPrimitiveAndMinusOneRemovesIt) {
  context.setForeground(rgb(0, 255, 0));
  context.setBackground(rgb(0, 255, 0));
  context.setClip(20, 20, 10, 10);
  context.rectangle(0, 0, 120, 80);
  QImage img = surface.snapshot();
  EXPECT_EQ(rgbAt(img, 20, 20), 0x00ff00u);
  EXPECT_EQ(rgbAt(img, 29, 29), 0x00ff00u);
  EXPECT_EQ(rgbAt(img, 30, 25), 0x000000u);
  EXPECT_EQ(rgbAt(img, 19, 25), 0x000000u);
  EXPECT_EQ(surface.takeInvalidated(), QRect(20, 20, 10, 10));

  context.clearClip();
  EXPECT_EQ(context.clipX(), -1);
  context.rectangle(0, 0, 120, 80);
  EXPECT_EQ(rgbAt(surface.snapshot(), 100, 70), 0x00ff00u);
}

TEST_F(DrawContextTest, LineLeavesOutItsEndPoint) {
  context.setForeground(rgb(255, 255, 0));
  context.line(5, 30, 15, 30);
  context.line(50, 5, 50, 8);
  const QImage img = surface.snapshot();
  EXPECT_EQ(rgbAt(img, 5, 30), 0xffff00u);
  EXPECT_EQ(rgbAt(img, 14, 30), 0xffff00u);
  EXPECT_EQ(rgbAt(img, 15, 30), 0u);
  EXPECT_EQ(rgbAt(img, 4, 30), 0u);
  EXPECT_EQ(rgbAt(img, 5, 31), 0u);
  EXPECT_EQ(rgbAt(img, 50, 7), 0xffff00u);
  EXPECT_EQ(rgbAt(img, 50, 8), 0u);
}

TEST_F(DrawContextTest, TextDrawsOnAnOpaqueBoxOfTheBackgroundColour) {
  context.setForeground(rgb(200, 220, 240));
  context.setBackground(rgb(64, 80, 100));
  const int32_t width = context.textWidth("00:01:05:00");
  const int32_t height = context.textHeight();
  ASSERT_GT(width, 40);
  ASSERT_GT(height, 8);
  context.text(10, 20, "00:01:05:00", false);
  const QImage img = surface.snapshot();
  // The box corners carry the background; some pixel inside is text coloured.
  EXPECT_EQ(rgbAt(img, 10, 20), 0x405064u);
  EXPECT_EQ(rgbAt(img, 10 + width - 1, 20 + height - 1), 0x405064u);
  EXPECT_EQ(rgbAt(img, 10 + width + 3, 25), 0u);
  int bright = 0;
  for (int y = 20; y < 20 + height; ++y)
    for (int x = 10; x < 10 + width; ++x) bright += rgbAt(img, x, y) == 0xc8dcf0u;
  EXPECT_GT(bright, 10);
  // Right-aligned text ends at x.
  context.setBackground(rgb(0, 0, 128));
  context.text(100, 50, "Source:", true);
  const int32_t right = context.textWidth("Source:");
  const QImage img2 = surface.snapshot();
  EXPECT_EQ(rgbAt(img2, 99, 50), 0x000080u);
  EXPECT_EQ(rgbAt(img2, 100 - right, 50), 0x000080u);
  EXPECT_EQ(rgbAt(img2, 100, 50), 0u);
  EXPECT_EQ(rgbAt(img2, 100 - right - 1, 50), 0u);
}

TEST_F(DrawContextTest, FontHeightIsHonouredAboveALegibleMinimum) {
  const int32_t defaultHeight = context.textHeight();
  context.setFont(1, 9);
  const int32_t small = context.textHeight();
  context.setFont(1, 24);
  const int32_t large = context.textHeight();
  EXPECT_GE(small, DrawContext::kMinFontPixels);
  EXPECT_GT(large, small + 8);
  context.setFont(0, 24);  // disabled: default font again
  EXPECT_EQ(context.textHeight(), defaultHeight);
}

TEST_F(DrawContextTest, TextBoxWrapsAndLimitsTheBottom) {
  context.setForeground(rgb(255, 255, 255));
  context.setBackground(rgb(255, 255, 255));
  const int32_t lh = context.textHeight();
  // Nothing is drawn below the given bottom.
  context.textBox(0, 0, 40, lh, "aaaa bbbb cccc dddd eeee");
  const QImage img = surface.snapshot();
  for (int y = lh; y < 80; ++y)
    for (int x = 0; x < 120; ++x) ASSERT_EQ(rgbAt(img, x, y), 0u) << x << "," << y;
  // One short line.
  EXPECT_EQ(context.textBox(0, 0, 110, 80, "short"), lh);
  // Several words in a narrow box wrap onto more lines.
  const int32_t bottom = context.textBox(0, 10, 60, 80, "one two three four five six");
  EXPECT_GE(bottom, 10 + 2 * lh);
  EXPECT_EQ((bottom - 10) % lh, 0);
  // The given bottom limits the measured one.
  EXPECT_EQ(context.textBox(0, 10, 60, 10 + lh, "one two three four five six"), 10 + lh);
  // A word wider than the box is cut to its width.
  surface.paint().image().fill(Qt::black);
  context.setBackground(rgb(0, 0, 0));
  context.textBox(0, 0, 30, 80, "Wwwwwwwwwwwwwwwwwwwwwww");
  const QImage cut = surface.snapshot();
  int inside = 0;
  for (int y = 0; y < 80; ++y) {
    for (int x = 0; x < 120; ++x) {
      if (rgbAt(cut, x, y) == 0) continue;
      ASSERT_LT(x, 30) << "drawn at " << x << "," << y;
      ++inside;
    }
  }
  EXPECT_GT(inside, 0);
  // Nothing to draw.
  EXPECT_EQ(context.textBox(0, 30, 60, 80, ""), 30);
  EXPECT_EQ(context.textBox(60, 30, 60, 80, "text"), 30);
}

TEST_F(DrawContextTest, BitmapCopiesOrStretchesTheWholePicture) {
  QImage pic(2, 2, QImage::Format_RGB32);
  pic.setPixel(0, 0, 0xffff0000u);
  pic.setPixel(1, 0, 0xff00ff00u);
  pic.setPixel(0, 1, 0xff0000ffu);
  pic.setPixel(1, 1, 0xffffffffu);
  const SkinBitmap bitmap(pic);
  context.bitmap(0, 0, 2, 2, bitmap);
  context.bitmap(10, 10, 8, 4, bitmap);
  const QImage img = surface.snapshot();
  EXPECT_EQ(rgbAt(img, 1, 0), 0x00ff00u);
  EXPECT_EQ(rgbAt(img, 0, 1), 0x0000ffu);
  EXPECT_EQ(rgbAt(img, 10, 10), 0xff0000u);
  EXPECT_EQ(rgbAt(img, 13, 11), 0xff0000u);
  EXPECT_EQ(rgbAt(img, 14, 11), 0x00ff00u);
  EXPECT_EQ(rgbAt(img, 17, 13), 0xffffffu);
  EXPECT_EQ(rgbAt(img, 18, 13), 0u);
  // A size without area draws nothing, not a flipped picture.
  context.bitmap(40, 40, 8, -4, bitmap);
  context.bitmap(40, 40, -8, 4, bitmap);
  const QImage after = surface.snapshot();
  for (int y = 30; y < 50; ++y)
    for (int x = 30; x < 50; ++x) ASSERT_EQ(rgbAt(after, x, y), 0u) << x << "," << y;
}

TEST(DrawContextWithoutWindow, DrawsNothingAndDoesNotCrash) {
  panel_test::ensureGuiApplication();
  DrawContext context(nullptr);
  context.rectangle(0, 0, 10, 10);
  context.line(0, 0, 5, 5);
  context.text(0, 0, "x", false);
  EXPECT_EQ(context.textBox(0, 3, 10, 10, "x"), 3);
  EXPECT_EQ(context.clientWidth(), 0);
}

}  // namespace
}  // namespace strevana
