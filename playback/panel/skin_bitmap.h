#pragma once
// SkinBitmap: one loaded picture of the skin (frame piece, button state, slider
// part, still picture), held as a 32-bit image (Format_RGB32, B G R 0xff in
// memory, top row first). Its size is the picture's size.
//
// Threads: immutable after construction; may be read (drawn) from any thread.
// Ownership: owns its pixels. Widgets that are given pictures own them.
#include <QImage>
#include <cstdint>

namespace strevana {

class SkinBitmap {
 public:
  // Converts image to Format_RGB32 (alpha dropped onto black). A null image
  // gives an empty bitmap of size 0 x 0.
  explicit SkinBitmap(const QImage& image);

  int32_t width() const { return image_.width(); }
  int32_t height() const { return image_.height(); }
  bool isNull() const { return image_.isNull(); }
  const QImage& image() const { return image_; }
  // Pixel rows, 4 bytes per pixel, width x 4 bytes apart (no padding).
  const uint32_t* bits() const { return reinterpret_cast<const uint32_t*>(image_.constBits()); }

 private:
  QImage image_;
};

}  // namespace strevana
