#include "video/window_surface.h"

#include <QPainter>
#include <algorithm>

namespace strevana {

namespace {

// A black image of the size asked for (negative sizes are 0), or a null image
// when that size is past kMaxBackBufferBytes or cannot be allocated.
QImage blackImage(int32_t width, int32_t height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  // Pixels against the bound in pixels: width x height fits in 64 bits,
  // four times that need not.
  if (int64_t{width} * int64_t{height} > WindowSurface::kMaxBackBufferBytes / 4) {
    return QImage();
  }
  QImage image(width, height, QImage::Format_RGB32);
  if (image.isNull()) return QImage();
  image.fill(0xff000000u);
  return image;
}

// The client size a buffer made for (width, height) stands for: the size
// asked for (negative parts 0), or 0 x 0 when a buffer was wanted and none
// could be had.
QSize clientSizeFor(int32_t width, int32_t height, const QImage& image) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (image.isNull() && width > 0 && height > 0) return QSize(0, 0);
  return QSize(width, height);
}

}  // namespace

WindowSurface::WindowSurface(int32_t width, int32_t height) : image_(blackImage(width, height)) {
  const QSize size = clientSizeFor(width, height, image_);
  width_.store(size.width(), std::memory_order_release);
  height_.store(size.height(), std::memory_order_release);
}

void WindowSurface::resizeBackBuffer(int32_t width, int32_t height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  std::lock_guard<std::mutex> lock(mutex_);
  if (image_.width() == width && image_.height() == height && clientWidth() == width &&
      clientHeight() == height) {
    return;
  }
  QImage resized = blackImage(width, height);
  if (!resized.isNull() && !image_.isNull()) {
    const int32_t keepWidth = std::min(resized.width(), image_.width());
    const int32_t keepHeight = std::min(resized.height(), image_.height());
    for (int32_t row = 0; row < keepHeight; ++row) {
      std::copy_n(image_.constScanLine(row), static_cast<size_t>(keepWidth) * 4,
                  resized.scanLine(row));
    }
  }
  const QSize size = clientSizeFor(width, height, resized);
  image_ = std::move(resized);
  width_.store(size.width(), std::memory_order_release);
  height_.store(size.height(), std::memory_order_release);
}

}  // namespace strevana
