#include "playback/panel/skin_slider.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "panel_test_support.h"
#include "video/memory_window_surface.h"

namespace strevana {
namespace {

using panel_test::rgbAt;
using panel_test::solid;

constexpr uint32_t kLeft = 0x110000, kRight = 0x001100, kMiddle = 0x000011, kKnob = 0xffffff;

class SkinSliderTest : public ::testing::Test {
 protected:
  SkinSliderTest() {
    slider.setPictures(solid(4, 8, kLeft), solid(4, 8, kRight), solid(1, 8, kMiddle),
                       solid(16, 8, kKnob));
    // As laid out in a 350 x 300 window.
    slider.setPosition(19, 300 - 28 - 32);
    slider.setSize(350 - 15 - 17 - 74, 15);
  }
  MemoryWindowSurface surface{350, 300};
  DrawContext context{&surface};
  SkinSlider slider{&context};
};

TEST_F(SkinSliderTest, ClickAtEitherEndGivesZeroAndOne) {
  EXPECT_EQ(slider.width(), 244);
  EXPECT_TRUE(slider.onMouse(19, 245, kMouseDown));
  EXPECT_EQ(slider.value(), 0.0);
  EXPECT_TRUE(slider.onMouse(19 + 7, 245, kMouseDown));  // left of the first knob centre
  EXPECT_EQ(slider.value(), 0.0);
  EXPECT_TRUE(slider.onMouse(19 + 243, 245, kMouseDown));
  EXPECT_EQ(slider.value(), 1.0);
  EXPECT_TRUE(slider.onMouse(19 + 8 + 114, 245, kMouseDown));
  EXPECT_DOUBLE_EQ(slider.value(), 0.5);
}

TEST_F(SkinSliderTest, OnlyPressesInsideMoveIt) {
  slider.setValue(0.25);
  EXPECT_FALSE(slider.onMouse(100, 245, kMouseMove));
  EXPECT_FALSE(slider.onMouse(100, 245, kMouseRelease));
  EXPECT_FALSE(slider.onMouse(100, 240 + 15, kMouseDown));  // one row below
  EXPECT_FALSE(slider.onMouse(18, 245, kMouseDown));
  EXPECT_EQ(slider.value(), 0.25);
  slider.setDisabled(true);
  EXPECT_FALSE(slider.onMouse(100, 245, kMouseDown));
  EXPECT_EQ(slider.value(), 0.25);
}

TEST_F(SkinSliderTest, ValuesAreClamped) {
  const std::pair<double, double> cases[] = {{-0.5, 0.0},
                                             {7.0, 1.0},
                                             {std::numeric_limits<double>::quiet_NaN(), 0.0},
                                             {std::numeric_limits<double>::infinity(), 1.0},
                                             {0.3, 0.3}};
  for (const auto& [in, out] : cases) {
    slider.setValue(in);
    EXPECT_EQ(slider.value(), out) << in;
  }
}

TEST_F(SkinSliderTest, DrawsEndsMiddleAndKnobAtItsValueOrNothingWithoutAPicture) {
  slider.setValue(0.5);
  const QImage img = surface.snapshot();
  const int y = 240;
  EXPECT_EQ(rgbAt(img, 19, y), kLeft);
  EXPECT_EQ(rgbAt(img, 22, y), kLeft);
  EXPECT_EQ(rgbAt(img, 23, y), kMiddle);
  EXPECT_EQ(rgbAt(img, 19 + 239, y), kMiddle);
  EXPECT_EQ(rgbAt(img, 19 + 240, y), kRight);
  EXPECT_EQ(rgbAt(img, 19 + 243, y), kRight);
  EXPECT_EQ(rgbAt(img, 19 + 244, y), 0u);
  // knob x = truncate((244 - 16) * 0.5) = 114
  EXPECT_EQ(rgbAt(img, 19 + 113, y), kMiddle);
  EXPECT_EQ(rgbAt(img, 19 + 114, y), kKnob);
  EXPECT_EQ(rgbAt(img, 19 + 129, y + 7), kKnob);
  EXPECT_EQ(rgbAt(img, 19 + 130, y), kMiddle);
  EXPECT_EQ(rgbAt(img, 100, y + 8), 0u);  // pictures are 8 high
  // Moving the knob leaves no trace of the old one.
  slider.setValue(0.0);
  EXPECT_EQ(rgbAt(surface.snapshot(), 19 + 120, y), kMiddle);
  // A missing picture draws nothing at all.
  {
    auto b = surface.paint();
    b.image().fill(0xff000000u);
  }
  slider.setPictures(solid(4, 8, kLeft), nullptr, solid(1, 8, kMiddle), solid(16, 8, kKnob));
  slider.setValue(0.5);
  EXPECT_EQ(rgbAt(surface.snapshot(), 19, 240), 0u);
}

}  // namespace
}  // namespace strevana
