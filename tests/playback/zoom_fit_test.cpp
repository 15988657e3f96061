#include "playback/zoom_fit.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace strevana {
namespace {

TEST(ZoomFit, TheVideoAreaShrinksWithItsAspectUntilBothSidesFit) {
  const struct {
    AreaSize wanted, room, fitted;
  } cases[] = {
      {{640, 480}, {1000, 1000}, {640, 480}},    // fits: unchanged
      {{640, 480}, {640, 480}, {640, 480}},      // exactly
      {{1280, 960}, {1000, 1000}, {1000, 750}},  // too wide
      {{1280, 960}, {2000, 600}, {800, 600}},    // too high
      {{2560, 1440}, {1265, 600}, {1066, 600}},  // both; rounded down
      {{704, 576}, {-5, 100}, {0, 0}},           // no room at all
      {{0, 0}, {10, 10}, {0, 0}},
      {{int64_t{INT32_MAX} * 4, 1000}, {1920, 1080}, {1920, 0}},
  };
  for (const auto& c : cases) {
    const AreaSize got = fitInside(c.wanted, c.room);
    EXPECT_EQ(got, c.fitted) << c.wanted.width << "x" << c.wanted.height << " in " << c.room.width
                             << "x" << c.room.height << " gave " << got.width << "x" << got.height;
    EXPECT_LE(got.width, std::max<int64_t>(c.room.width, 0));
    EXPECT_LE(got.height, std::max<int64_t>(c.room.height, 0));
  }
}

}  // namespace
}  // namespace strevana
