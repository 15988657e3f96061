#include "playback/zoom_fit.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace strevana {
namespace {

TEST(ZoomFit, TheVideoAreaShrinksWithItsAspectUntilBothSidesFit) {
  // clang-format off
  const struct { AreaSize wanted, room, fitted; } cases[] = {
      {{640, 480}, {1000, 1000}, {640, 480}}, {{640, 480}, {640, 480}, {640, 480}},  // fits
      {{1280, 960}, {1000, 1000}, {1000, 750}}, {{1280, 960}, {2000, 600}, {800, 600}},
      {{2560, 1440}, {1265, 600}, {1066, 600}},  // both sides too long; rounded down
      {{704, 576}, {-5, 100}, {0, 0}}, {{0, 0}, {10, 10}, {0, 0}},  // no room, no picture
      {{int64_t{INT32_MAX} * 4, 1000}, {1920, 1080}, {1920, 0}}};
  // clang-format on
  for (const auto& c : cases) {
    const AreaSize got = fitInside(c.wanted, c.room);
    EXPECT_EQ(got, c.fitted) << c.wanted.width << "x" << c.wanted.height << " in " << c.room.width
                             << "x" << c.room.height << " gave " << got.width << "x" << got.height;
  }
}

}  // namespace
}  // namespace strevana
