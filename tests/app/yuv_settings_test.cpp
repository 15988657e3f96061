#include "app/yuv_settings.h"

#include <gtest/gtest.h>

#include <cmath>

namespace strevana {
namespace {

TEST(YuvSettings, ChoicesGiveTheOpenParameters) {
  const struct {
    int32_t sizeChoice, colourSpace, rateChoice;
    double userRate;
    int32_t width, height, layout, framesPerSecond;
    double frameRate;
  } cases[] = {
      {0, 0, 0, 0.0, 176, 144, 1, 25, 25.0},
      {1, 1, 1, 0.0, 352, 288, 5, 30, 30.0},
      {2, 0, 2, 0.0, 704, 576, 1, 15, 15.0},
      {3, 0, 3, 12.5, 320, 240, 1, 12, 12.5},
      {4, 0, 3, -3.0, 640, 480, 1, 1, 1.0},
      {5, 0, 3, 0.0, 720, 576, 1, 1, 1.0},
      // User size; between 0 and 1 the whole number would be 0 frames per second.
      {6, 0, 3, 0.5, 400, 300, 1, 1, 0.5},
      {6, 0, 3, 1e300, 400, 300, 1, 2147483647, 1e300},
  };
  for (const auto& c : cases) {
    YuvSettings s;
    s.userWidth = 400;
    s.userHeight = 300;
    s.sizeChoice = c.sizeChoice;
    s.colourSpace = c.colourSpace;
    s.rateChoice = c.rateChoice;
    s.userRate = c.userRate;
    const YuvOpenParameters p = s.read();
    SCOPED_TRACE(c.sizeChoice);
    EXPECT_EQ(p.width, c.width);
    EXPECT_EQ(p.height, c.height);
    EXPECT_EQ(p.layout, c.layout);
    EXPECT_EQ(p.framesPerSecond, c.framesPerSecond);
    EXPECT_DOUBLE_EQ(p.frameRate, c.frameRate);
  }
  YuvSettings nan;
  nan.rateChoice = 3;
  nan.userRate = std::nan("");
  EXPECT_EQ(nan.read().framesPerSecond, 1);
}

}  // namespace
}  // namespace strevana
