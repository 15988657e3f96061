// The panel toolkit on a memory window: drawing primitives, the widget tree,
// skin buttons and the slider.
#include <gtest/gtest.h>

#include <limits>

#include "../playback_fakes.h"
#include "playback/panel/skin_button.h"
#include "playback/panel/skin_resources.h"
#include "playback/panel/skin_slider.h"
#include "video/memory_window_surface.h"

namespace strevana {
namespace {

using testing::rgbAt;
using testing::solid;

struct Pixel {
  int x, y;
  uint32_t rgb;
};
void expectPixels(MemoryWindowSurface& s, std::initializer_list<Pixel> pixels) {
  const QImage img = s.snapshot();
  for (const Pixel& p : pixels) EXPECT_EQ(rgbAt(img, p.x, p.y), p.rgb) << p.x << "," << p.y;
}
// Nothing but black in the rectangle x0..x1 x y0..y1 (inclusive).
void expectBlack(MemoryWindowSurface& s, int x0, int y0, int x1, int y1) {
  const QImage img = s.snapshot();
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) ASSERT_EQ(rgbAt(img, x, y), 0u) << x << "," << y;
}

class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::application(); }
  MemoryWindowSurface surface{350, 300};
  DrawContext context{&surface};
};

TEST_F(PanelTest, RectangleClipAndBitmapCoverExactlyTheirPixels) {
  context.setForeground(rgb(255, 0, 0));
  context.setBackground(rgb(0, 0, 255));
  context.rectangle(10, 10, 20, 16);  // outlined 10..19 x 10..15
  QImage pic(2, 2, QImage::Format_RGB32);
  pic.fill(0xffff0000u);
  pic.setPixel(1, 1, 0xff00ff00u);
  context.bitmap(30, 10, 8, 4, SkinBitmap(pic));                   // stretched
  for (auto [w, h] : {std::pair{8, -4}, {-8, 4}, {0, 4}, {8, 0}})  // no area: nothing
    context.bitmap(40, 40, w, h, SkinBitmap(pic));
  // clang-format off
  expectPixels(surface, {{10, 10, 0xff0000}, {19, 15, 0xff0000}, {15, 14, 0x0000ff}, {20, 12, 0},
                         {15, 16, 0}, {37, 11, 0xff0000}, {33, 12, 0xff0000}, {34, 12, 0x00ff00},
                         {37, 13, 0x00ff00}, {38, 13, 0}});
  // clang-format on
  expectBlack(surface, 30, 30, 50, 50);
}

constexpr uint32_t kColours[4] = {0x101010, 0x202020, 0x303030, 0x404040};  // by state

class SkinButtonTest : public PanelTest {
 protected:
  SkinButtonTest() {
    button.setPictures(solid(28, 28, kColours[0]), solid(28, 28, kColours[1]),
                       solid(28, 28, kColours[2]), solid(28, 28, kColours[3]));
    button.setPosition(15, 259);
    button.draw();
  }
  // Sends the event at x, row 270: what it returns, the state, the picture shown.
  void expectAfter(int32_t event, int x, bool fires, int32_t state) {
    EXPECT_EQ(button.onMouse(x, 270, event), fires) << event << " at " << x;
    EXPECT_EQ(button.state(), state) << event << " at " << x;
    EXPECT_EQ(rgbAt(surface.snapshot(), 20, 265), kColours[state]) << event << " at " << x;
  }
  SkinButton button{&context};
};

TEST_F(SkinButtonTest, PlainButtonFiresOnEachPressOverItAndToggleStaysOnUntilReset) {
  using B = SkinButton;
  expectAfter(kMouseDown, 15 + 28, false, B::kNormal);  // one beyond the last column
  expectAfter(kMouseMove, 20, false, B::kHover);
  expectAfter(kMouseDown, 15 + 27, true, B::kPressed);
  expectAfter(kMouseRelease, 21, false, B::kHover);  // released over it
  expectAfter(kMouseMove, 200, false, B::kNormal);
  button.setToggle(true);
  expectAfter(kMouseDown, 20, true, B::kPressed);
  expectAfter(kMouseRelease, 20, false, B::kPressed);
  expectAfter(kMouseMove, 200, false, B::kPressed);  // leaving keeps it on
  expectAfter(kMouseMove, 20, false, B::kPressed);   // no hover over an on button
  button.setToggle(false);
  EXPECT_EQ(button.state(), B::kNormal);
}

TEST(SkinResources, IconSetsLoadAndUnknownIdsGiveNothing) {
  EXPECT_FALSE(loadIconImages(kIconLarge).empty());
  EXPECT_FALSE(loadIconImages(kIconSmall).empty());
  EXPECT_TRUE(loadIconImages(109).empty());
  for (int32_t id : {0, 144, 159}) EXPECT_EQ(loadSkinBitmap(id), nullptr) << id;
}

constexpr uint32_t kLeft = 0x110000, kRight = 0x001100, kMiddle = 0x000011, kKnob = 0xffffff;

class SkinSliderTest : public PanelTest {
 protected:
  SkinSliderTest() {
    slider.setPictures(solid(4, 8, kLeft), solid(4, 8, kRight), solid(1, 8, kMiddle),
                       solid(16, 8, kKnob));
    slider.setPosition(19, 240);  // as laid out in a 350 x 300 window
    slider.setSize(244, 15);
  }
  SkinSlider slider{&context};
};

TEST_F(SkinSliderTest, OnlyPressesInsideMoveItAndValuesAreClamped) {
  // clang-format off
  const struct { int x, y, event; bool taken; double value; } cases[] = {
      {19, 245, kMouseDown, true, 0.0}, {19 + 243, 245, kMouseDown, true, 1.0},
      {19 + 7, 245, kMouseDown, true, 0.0},  // left of the first knob centre
      {19 + 8 + 114, 245, kMouseDown, true, 0.5}, {100, 245, kMouseMove, false, 0.5},
      {100, 245, kMouseRelease, false, 0.5}, {100, 255, kMouseDown, false, 0.5},
      {18, 245, kMouseDown, false, 0.5}};
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(slider.onMouse(c.x, c.y, c.event), c.taken) << c.x << "," << c.y << " " << c.event;
    EXPECT_DOUBLE_EQ(slider.value(), c.value) << c.x << "," << c.y << " " << c.event;
  }
  const double nan = std::numeric_limits<double>::quiet_NaN(),
               inf = std::numeric_limits<double>::infinity();
  for (auto [in, out] : {std::pair{-0.5, 0.0}, {7.0, 1.0}, {nan, 0.0}, {inf, 1.0}, {-inf, 0.0}}) {
    slider.setValue(in);
    EXPECT_EQ(slider.value(), out) << in;
  }
}

}  // namespace
}  // namespace strevana
