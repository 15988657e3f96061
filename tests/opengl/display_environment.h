#pragma once
// The display every test of this binary draws on: a private Xvfb with Mesa's
// OpenGL, and one QApplication on Qt's xcb platform connected to it. The
// binary runs under ctest with QT_QPA_PLATFORM=offscreen like every other;
// this environment overrides that for itself, and asks for software OpenGL
// explicitly (STREVANA_SOFTWARE_GL=1), since Mesa's llvmpipe is all a test
// machine has.
//
// With STREVANA_TEST_WITHOUT_OPENGL=1 the display is one where no OpenGL
// context can be made: Xvfb without its GLX extension, and Qt's xcb platform
// without an OpenGL integration. A test runs the binary again that way, for
// the cases that need it (named DISABLED_ so that they run only then).
#include <string>

class QApplication;

namespace strevana::testing {

// Null when no display could be had; then displaySkipReason() says why.
QApplication* displayApplication();
const std::string& displaySkipReason();

}  // namespace strevana::testing

// Tests skip, with the reason, when there is no display.
#define REQUIRE_DISPLAY()                                   \
  if (::strevana::testing::displayApplication() == nullptr) \
  GTEST_SKIP() << ::strevana::testing::displaySkipReason()
