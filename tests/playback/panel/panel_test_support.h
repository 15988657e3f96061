#pragma once
// Shared by the panel tests: the GUI application (for fonts) and small
// picture helpers.
#include <QImage>
#include <memory>

#include "../gui_application.h"
#include "playback/panel/skin_bitmap.h"

namespace strevana::panel_test {

using testing::ensureGuiApplication;

// A solid picture of one colour (0xRRGGBB).
inline std::unique_ptr<SkinBitmap> solid(int w, int h, uint32_t rgb) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(0xff000000u | rgb);
  return std::make_unique<SkinBitmap>(img);
}

inline uint32_t rgbAt(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xffffffu; }

}  // namespace strevana::panel_test
