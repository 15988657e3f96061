#include "platform/surface_widget.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QtCore/qtestsupport_core.h>
#include <filesystem>
#include <string>
#include <thread>

#include "support/child_output.h"
#include "support/qt_application.h"

namespace strevana {
namespace {

// Drawing and invalidating from another thread repaints on the UI thread; a
// burst of invalidations collapses into a few repaints.
TEST(SurfaceWidget, InvalidateFromAnotherThreadRepaintsOnTheUiThread) {
  testing::application();
  SurfaceWidget widget;
  // Qt's offscreen platform has no video plane: the engine keeps the raster renderer.
  EXPECT_EQ(widget.videoPlane(), nullptr);
  widget.resizeClient(200, 100);  // hidden: the back buffer follows at once
  EXPECT_EQ(std::pair(widget.clientWidth(), widget.clientHeight()), std::pair(200, 100));
  widget.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return widget.paintCount() > 0; }));
  const int64_t before = widget.paintCount();
  std::thread drawer([&] {
    for (int i = 0; i < 100; ++i) {
      widget.paint().image().setPixel(15, 15, 0xffff0000u);
      widget.invalidate(QRect(10, 10, 20, 20));
    }
  });
  drawer.join();
  ASSERT_TRUE(QTest::qWaitFor([&] { return widget.paintCount() > before; }));
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  EXPECT_LT(widget.paintCount() - before, 10);
  const QImage shown = widget.grab().toImage();
  EXPECT_EQ(shown.pixel(15, 15) & 0xffffffu, 0xff0000u);
  EXPECT_EQ(shown.pixel(35, 15) & 0xffffffu, 0u);
}

// The OpenGL plane needs a real X display, the OpenGL tests' own Xvfb with
// Mesa: they run as a child.
constexpr char kOpenGlTests[] = STREVANA_BINARY_DIR "/tests/strevana_opengl_tests";
TEST(SurfaceWidgetVideoPlane, TheOpenGlOneWorksOnItsOwnDisplay) {
  if (!std::filesystem::exists(kOpenGlTests)) GTEST_SKIP() << "built without OpenGL";
  const auto [status, output] = testing::runForOutput(kOpenGlTests);
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(output.find("[  SKIPPED ]"), std::string::npos) << output;
}

}  // namespace
}  // namespace strevana
