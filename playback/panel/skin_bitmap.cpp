#include "playback/panel/skin_bitmap.h"

namespace strevana {

SkinBitmap::SkinBitmap(const QImage& image)
    : image_(image.isNull() ? QImage() : image.convertToFormat(QImage::Format_RGB32)) {}

}  // namespace strevana
