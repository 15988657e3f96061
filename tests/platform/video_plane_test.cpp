// Windows on Qt's offscreen platform have no display hardware: no video
// plane, so the hardware renderer cannot open there and the engine keeps the
// raster renderer.
#include <gtest/gtest.h>

#include "platform/surface_widget.h"
#include "support/qt_application.h"
#include "video/video_renderer.h"

namespace strevana {
namespace {

TEST(SurfaceWidgetVideoPlane, NoneOnTheOffscreenPlatform) {
  testing::application();
  SurfaceWidget window;
  window.resizeClient(64, 48);
  EXPECT_EQ(window.videoPlane(), nullptr);
  for (OutputFormat format : {kFormatIyuv, kFormatYuy2, kFormatBgrx32}) {
    EXPECT_EQ(createVideoRenderer(&window, 0, 0, 32, 24, kRendererHardware, format), nullptr)
        << format;
  }
  EXPECT_NE(createVideoRenderer(&window, 0, 0, 32, 24, kRendererRaster, kFormatYuy2), nullptr);
}

}  // namespace
}  // namespace strevana
