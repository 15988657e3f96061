#pragma once
// Text needs a GUI application; one (offscreen unless the environment names a
// platform) serves the whole test binary. It is a function-local static so
// that it is destroyed at exit: Qt then releases its font caches, which the
// leak checker would otherwise report. Also the panel's pixels, as every
// player window shows them.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdlib>

#include "playback/panel/draw_context.h"
#include "playback/panel/skin_resources.h"

namespace strevana::testing {

inline void ensureGuiApplication() {
  if (QCoreApplication::instance()) return;
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "strevana_playback_tests";
  static char* argv[] = {name, nullptr};
  static QGuiApplication app(argc, argv);
}

// The panel every player window shows, for a client area of w x h: frame
// corners, the six buttons, the slider's ends and the time text's box.
inline void expectPanel(const QImage& img, int w, int h) {
  ASSERT_EQ(img.width(), w);
  ASSERT_EQ(img.height(), h);
  auto skin = [](int id) { return loadSkinBitmap(id)->image(); };
  EXPECT_EQ(img.pixel(4, 4), skin(133).pixel(4, 4));
  EXPECT_EQ(img.pixel(w - 17 + 3, 4), skin(134).pixel(3, 4));
  EXPECT_EQ(img.pixel(4, h - 72 + 60), skin(135).pixel(4, 60));
  EXPECT_EQ(img.pixel(w - 122 + 10, h - 72 + 5), skin(136).pixel(10, 5));
  const int xs[] = {15, 44, 79, 108, 143, 173};
  const int normal[] = {132, 145, 161, 162, 156, 151};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(img.pixel(xs[i] + 14, h - 41 + 14), skin(normal[i]).pixel(14, 14)) << "button " << i;
  }
  EXPECT_EQ(img.pixel(w - 106 + 19 - 2, h - 60 + 3), skin(167).pixel(2, 3));  // slider's right end
  EXPECT_EQ(img.pixel(w - 100, h - 35) & 0xffffff, rgb(64, 80, 100));         // time text box
}

}  // namespace strevana::testing
