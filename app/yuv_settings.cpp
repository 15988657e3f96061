#include "app/yuv_settings.h"

#include <cmath>
#include <limits>

namespace strevana {

namespace {

struct FrameSize {
  int32_t width;
  int32_t height;
};
constexpr FrameSize kSizes[] = {{176, 144}, {352, 288}, {704, 576},
                                {320, 240}, {640, 480}, {720, 576}};

}  // namespace

YuvOpenParameters YuvSettings::read() const {
  YuvOpenParameters p;
  if (sizeChoice >= 0 && sizeChoice < 6) {
    p.width = kSizes[sizeChoice].width;
    p.height = kSizes[sizeChoice].height;
  } else {
    p.width = userWidth;
    p.height = userHeight;
  }
  switch (rateChoice) {
    case 0: p.frameRate = 25.0; break;
    case 1: p.frameRate = 30.0; break;
    case 2: p.frameRate = 15.0; break;
    default:
      p.frameRate = userRate;
      if (!(p.frameRate > 0.0)) p.frameRate = 1.0;  // zero, negative or not a number
      break;
  }
  double whole = std::trunc(p.frameRate);
  if (whole < 1.0) whole = 1.0;
  if (whole > std::numeric_limits<int32_t>::max()) whole = std::numeric_limits<int32_t>::max();
  p.framesPerSecond = static_cast<int32_t>(whole);
  p.layout = colourSpace == 1 ? 5 : 1;
  return p;
}

}  // namespace strevana
