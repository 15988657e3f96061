#pragma once
// Shared by the panel tests: a GUI application on the offscreen platform (for
// fonts), and small picture helpers.
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <cstdlib>
#include <memory>

#include "playback/panel/skin_bitmap.h"

namespace strevana::panel_test {

// Creates the process's QGuiApplication once, unless something else already
// made an application object.
inline void ensureGuiApplication() {
  if (QCoreApplication::instance() != nullptr) {
    return;
  }
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  static int argc = 1;
  static char name[] = "strevana_playback_tests";
  static char* argv[] = {name, nullptr};
  static QGuiApplication app(argc, argv);
}

// A solid picture of one colour (0xRRGGBB).
inline std::unique_ptr<SkinBitmap> solid(int w, int h, uint32_t rgb) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(0xff000000u | rgb);
  return std::make_unique<SkinBitmap>(img);
}

inline uint32_t rgbAt(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xffffffu; }

}  // namespace strevana::panel_test
