#include "app/yuv_settings.h"

#include <gtest/gtest.h>

#include <cmath>

namespace strevana {
namespace {

TEST(YuvSettings, DefaultsAreCif25HzPlanar) {
  YuvOpenParameters p = YuvSettings{}.read();
  EXPECT_EQ(p.width, 352);
  EXPECT_EQ(p.height, 288);
  EXPECT_EQ(p.framesPerSecond, 25);
  EXPECT_EQ(p.layout, 1);
}

TEST(YuvSettings, SizeChoices) {
  const int expected[7][2] = {{176, 144}, {352, 288}, {704, 576}, {320, 240},
                              {640, 480}, {720, 576}, {400, 300}};
  YuvSettings s;
  s.userWidth = 400;
  s.userHeight = 300;
  for (int choice = 0; choice < 7; ++choice) {
    s.sizeChoice = choice;
    YuvOpenParameters p = s.read();
    EXPECT_EQ(p.width, expected[choice][0]) << choice;
    EXPECT_EQ(p.height, expected[choice][1]) << choice;
  }
  s.colourSpace = 1;
  EXPECT_EQ(s.read().layout, 5);
}

TEST(YuvSettings, RatesAndTheirWholeNumbers) {
  YuvSettings s;
  s.rateChoice = 1;
  EXPECT_EQ(s.read().framesPerSecond, 30);
  s.rateChoice = 2;
  EXPECT_EQ(s.read().framesPerSecond, 15);
  s.rateChoice = 3;
  s.userRate = 12.5;
  EXPECT_DOUBLE_EQ(s.read().frameRate, 12.5);
  EXPECT_EQ(s.read().framesPerSecond, 12);
  s.userRate = -3.0;
  EXPECT_DOUBLE_EQ(s.read().frameRate, 1.0);
  EXPECT_EQ(s.read().framesPerSecond, 1);
  s.userRate = 0.0;
  EXPECT_EQ(s.read().framesPerSecond, 1);
  // Between 0 and 1 the whole number would be 0 frames per second.
  s.userRate = 0.5;
  EXPECT_DOUBLE_EQ(s.read().frameRate, 0.5);
  EXPECT_EQ(s.read().framesPerSecond, 1);
  s.userRate = std::nan("");
  EXPECT_EQ(s.read().framesPerSecond, 1);
  s.userRate = 1e300;
  EXPECT_EQ(s.read().framesPerSecond, 2147483647);
}

}  // namespace
}  // namespace strevana
