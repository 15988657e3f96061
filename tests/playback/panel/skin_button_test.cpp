#include "playback/panel/skin_button.h"

#include <gtest/gtest.h>

#include "panel_test_support.h"
#include "video/memory_window_surface.h"

namespace strevana {
namespace {

using panel_test::rgbAt;
using panel_test::solid;

constexpr uint32_t kColours[4] = {0x101010, 0x202020, 0x303030, 0x404040};

class SkinButtonTest : public ::testing::Test {
 protected:
  SkinButtonTest() {
    button.setPictures(solid(28, 28, kColours[0]), solid(28, 28, kColours[1]),
                       solid(28, 28, kColours[2]), solid(28, 28, kColours[3]));
    button.setPosition(15, 259);
  }
  uint32_t shown() { return rgbAt(surface.snapshot(), 20, 265); }

  MemoryWindowSurface surface{350, 300};
  DrawContext context{&surface};
  SkinButton button{&context};
};

TEST_F(SkinButtonTest, PicturesSetTheSizeAndPressAtTheLastColumnClicksOneBeyondDoesNot) {
  EXPECT_EQ(button.width(), 28);
  EXPECT_EQ(button.height(), 28);
  EXPECT_FALSE(button.onMouse(15 + 28, 270, kMouseDown));
  EXPECT_EQ(button.state(), SkinButton::kNormal);
  EXPECT_TRUE(button.onMouse(15 + 27, 270, kMouseDown));
  EXPECT_EQ(button.state(), SkinButton::kPressed);
  EXPECT_EQ(shown(), kColours[1]);
  button.setPictures(solid(20, 10, 0), nullptr, nullptr, nullptr);
  EXPECT_EQ(button.width(), 20);
  EXPECT_EQ(button.height(), 10);
}

TEST_F(SkinButtonTest, PlainButtonHoverPressReleaseLeave) {
  EXPECT_FALSE(button.onMouse(20, 270, kMouseMove));
  EXPECT_EQ(button.state(), SkinButton::kHover);
  EXPECT_EQ(shown(), kColours[2]);
  EXPECT_TRUE(button.onMouse(20, 270, kMouseDown));
  EXPECT_EQ(button.state(), SkinButton::kPressed);
  EXPECT_TRUE(button.onMouse(21, 270, kMouseDown));  // held: fires again
  EXPECT_FALSE(button.onMouse(21, 270, kMouseRelease));
  EXPECT_EQ(button.state(), SkinButton::kHover);  // released over it
  EXPECT_EQ(shown(), kColours[2]);
  EXPECT_FALSE(button.onMouse(200, 100, kMouseMove));
  EXPECT_EQ(button.state(), SkinButton::kNormal);  // moved away
  EXPECT_EQ(shown(), kColours[0]);
  button.onMouse(20, 270, kMouseDown);
  EXPECT_FALSE(button.onMouse(100, 270, kMouseDown));  // dragged away while held
  EXPECT_EQ(button.state(), SkinButton::kNormal);
}

TEST_F(SkinButtonTest, ToggleButtonStaysOnUntilReset) {
  button.setToggle(true);
  button.onMouse(20, 270, kMouseMove);
  EXPECT_EQ(button.state(), SkinButton::kHover);
  EXPECT_TRUE(button.onMouse(20, 270, kMouseDown));
  EXPECT_FALSE(button.onMouse(20, 270, kMouseRelease));
  EXPECT_EQ(button.state(), SkinButton::kPressed);
  EXPECT_FALSE(button.onMouse(200, 100, kMouseMove));
  EXPECT_EQ(button.state(), SkinButton::kPressed);  // leaving keeps it on
  button.onMouse(20, 270, kMouseMove);
  EXPECT_EQ(button.state(), SkinButton::kPressed);  // no hover over an on button
  EXPECT_EQ(shown(), kColours[1]);
  button.setState(SkinButton::kNormal);  // the controller resets it
  button.onMouse(20, 270, kMouseMove);
  EXPECT_EQ(button.state(), SkinButton::kHover);
  button.onMouse(200, 100, kMouseMove);
  EXPECT_EQ(button.state(), SkinButton::kNormal);
  // Turning the toggle off resets the state.
  button.setState(SkinButton::kPressed);
  button.setToggle(false);
  EXPECT_FALSE(button.isToggle());
  EXPECT_EQ(button.state(), SkinButton::kNormal);
}

TEST_F(SkinButtonTest, DisabledButtonIgnoresEverything) {
  button.setState(SkinButton::kDisabled);
  button.draw();
  EXPECT_EQ(shown(), kColours[3]);
  for (int32_t event : {kMouseMove, kMouseDown, kMouseRelease}) {
    EXPECT_FALSE(button.onMouse(20, 270, event));
    EXPECT_EQ(button.state(), SkinButton::kDisabled);
  }
  EXPECT_FALSE(button.onMouse(200, 100, kMouseMove));
  EXPECT_EQ(button.state(), SkinButton::kDisabled);
  EXPECT_EQ(shown(), kColours[3]);
}

TEST_F(SkinButtonTest, MissingPicturesFallBackToNormalOrNothing) {
  button.setPictures(solid(28, 28, 0x0000ff), nullptr, nullptr, nullptr);
  button.setState(SkinButton::kHover);
  button.draw();
  EXPECT_EQ(shown(), 0x0000ffu);
  button.setPictures(nullptr, nullptr, solid(28, 28, 0xff0000), nullptr);
  {
    auto b = surface.paint();
    b.image().fill(0xff000000u);
  }
  button.setState(SkinButton::kPressed);
  button.draw();
  EXPECT_EQ(shown(), 0u);
  button.setState(SkinButton::kHover);
  button.draw();
  EXPECT_EQ(shown(), 0xff0000u);
}

}  // namespace
}  // namespace strevana
