#include "video/window_surface.h"

#include <QPainter>
#include <algorithm>

namespace strevana {

namespace {

QImage blackImage(int32_t width, int32_t height) {
  QImage image(std::max(width, 0), std::max(height, 0), QImage::Format_RGB32);
  image.fill(0xff000000u);
  return image;
}

}  // namespace

WindowSurface::WindowSurface(int32_t width, int32_t height)
    : image_(blackImage(width, height)) {
  width_.store(image_.width(), std::memory_order_release);
  height_.store(image_.height(), std::memory_order_release);
}

void WindowSurface::resizeBackBuffer(int32_t width, int32_t height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  std::lock_guard<std::mutex> lock(mutex_);
  if (image_.width() == width && image_.height() == height) {
    return;
  }
  QImage resized = blackImage(width, height);
  const int32_t keepWidth = std::min(width, static_cast<int32_t>(image_.width()));
  const int32_t keepHeight = std::min(height, static_cast<int32_t>(image_.height()));
  for (int32_t row = 0; row < keepHeight; ++row) {
    std::copy_n(image_.constScanLine(row), static_cast<size_t>(keepWidth) * 4,
                resized.scanLine(row));
  }
  image_ = std::move(resized);
  width_.store(width, std::memory_order_release);
  height_.store(height, std::memory_order_release);
}

}  // namespace strevana
