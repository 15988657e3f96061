#include "video/video_renderer.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "video/direct_draw_renderer.h"
#include "video/gdi_renderer.h"

namespace strevana {

namespace {

// Truncation toward zero that stays defined for values outside int32 and NaN.
int32_t truncateToInt(double v) {
  if (std::isnan(v)) {
    return 0;
  }
  if (v >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  if (v <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(v);
}

}  // namespace

bool VideoRenderer::open(WindowSurface* window, int32_t x, int32_t y, int32_t width, int32_t height,
                         OutputFormat format) {
  window_ = window;
  imageX_ = x;
  imageY_ = y;
  imageWidth_ = width;
  imageHeight_ = height;
  sourceX_ = x;
  sourceY_ = y;
  sourceWidth_ = width;
  sourceHeight_ = height;
  displayX_ = displayY_ = displayWidth_ = displayHeight_ = 0;
  format_ = format;
  return true;
}

bool VideoRenderer::close() { return true; }

bool VideoRenderer::setSourceRect(int32_t x, int32_t y, int32_t width, int32_t height) {
  sourceX_ = x;
  sourceY_ = y;
  sourceWidth_ = width;
  sourceHeight_ = height;
  return true;
}

bool VideoRenderer::setOutputRect(int32_t x, int32_t y, int32_t width, int32_t height) {
  outputX_ = displayX_ = x;
  outputY_ = displayY_ = y;
  outputWidth_ = displayWidth_ = width;
  outputHeight_ = displayHeight_ = height;
  if (sourceWidth_ <= 0 || sourceHeight_ <= 0 || width <= 0 || height <= 0) {
    // Nothing to fit: an aspect ratio of 0 or infinity would only produce
    // garbage rectangles.
    return true;
  }
  const double w = width;
  const double h = height;
  const double sw = sourceWidth_;
  const double sh = sourceHeight_;
  const double pictureAspect = sw / sh;
  const double targetAspect = w / h;
  if (targetAspect < pictureAspect) {
    const double scale = w / sw;
    displayHeight_ = truncateToInt(sh * scale);
    displayY_ = y - truncateToInt(-0.5 * (h - sh * scale));
    displayX_ = x;
    displayWidth_ = width;
  } else {
    const double scale = h / sh;
    displayWidth_ = truncateToInt(sw * scale);
    displayX_ = x - truncateToInt(-0.5 * (w - sw * scale));
    displayY_ = y;
    displayHeight_ = height;
  }
  return true;
}

bool VideoRenderer::unlockBuffer() { return true; }

bool VideoRenderer::clear() {
  uint8_t* bits = nullptr;
  int32_t size = 0;
  int32_t stride = 0;
  if (!lockBuffer(bits, size, stride)) {
    return false;
  }
  if (bits == nullptr || size <= 0) {
    unlockBuffer();
    return true;
  }
  const auto n = static_cast<size_t>(size);
  switch (format_) {
    case kFormatIyuv:
    case kFormatYv12: {
      // Luma black, chroma neutral.
      const size_t luma = n * 2 / 3;
      std::memset(bits, 0x00, luma);
      std::memset(bits + luma, 0x80, n - luma);
      break;
    }
    case kFormatYuy2:
      for (size_t i = 0; i + 1 < n; i += 2) {
        bits[i] = 0x00;
        bits[i + 1] = 0x80;
      }
      break;
    default: std::memset(bits, 0, n); break;
  }
  unlockBuffer();
  return true;
}

std::unique_ptr<VideoRenderer> createVideoRenderer(WindowSurface* window, int32_t x, int32_t y,
                                                   int32_t width, int32_t height, int32_t kind,
                                                   OutputFormat format) {
  std::unique_ptr<VideoRenderer> renderer;
  if (kind == kRendererRaster) {
    renderer = std::make_unique<GdiRenderer>();
  } else if (kind == kRendererHardware) {
    renderer = std::make_unique<DirectDrawRenderer>();
  }
  if (!renderer || !renderer->open(window, x, y, width, height, format)) {
    return nullptr;
  }
  return renderer;
}

}  // namespace strevana
