#include "video/gdi_renderer.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "video/pixel_access.h"
#include "video/window_surface.h"
#include "video/yuy2_rows.h"

namespace strevana {

namespace {

// The back buffer wants its fourth byte 0xff; sources may leave anything there
// (alpha of a composited picture, or 0).
void copyRow32(const uint8_t* src, uint8_t* dst, int32_t pixels) {
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(kOpaque));
  for (; i + 4 <= pixels; i += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * i), _mm_or_si128(v, opaque));
  }
#endif
  for (; i < pixels; ++i) {
    store32(dst + 4 * i, load32(src + 4 * i) | kOpaque);
  }
}

// Four pixels (12 bytes) per step as three 32-bit words, then the rest one by
// one; the bytes are little-endian B G R.
void copyRow24(const uint8_t* src, uint8_t* dst, int32_t pixels) {
  int32_t i = 0;
  for (; i + 4 <= pixels; i += 4) {
    const uint8_t* s = src + 3 * i;
    const uint32_t w0 = load32(s);
    const uint32_t w1 = load32(s + 4);
    const uint32_t w2 = load32(s + 8);
    uint8_t* d = dst + 4 * i;
    store32(d, kOpaque | w0);
    store32(d + 4, kOpaque | (w0 >> 24) | (w1 << 8));
    store32(d + 8, kOpaque | (w1 >> 16) | (w2 << 16));
    store32(d + 12, kOpaque | (w2 >> 8));
  }
  for (; i < pixels; ++i) {
    const uint8_t* s = src + 3 * i;
    store32(dst + 4 * i, kOpaque | (uint32_t{s[2]} << 16) | (uint32_t{s[1]} << 8) | s[0]);
  }
}

void scaleRow32(const uint8_t* src, const int32_t* columns, uint8_t* dst, int32_t pixels) {
  for (int32_t i = 0; i < pixels; ++i) {
    store32(dst + 4 * i, load32(src + columns[i]) | kOpaque);
  }
}

void scaleRow24(const uint8_t* src, const int32_t* columns, uint8_t* dst, int32_t pixels) {
  for (int32_t i = 0; i < pixels; ++i) {
    const uint8_t* s = src + columns[i];
    store32(dst + 4 * i, kOpaque | (uint32_t{s[2]} << 16) | (uint32_t{s[1]} << 8) | s[0]);
  }
}

// Nearest source index for destination index d of n, sampling at pixel
// centres so that both edges of the picture are reached symmetrically.
inline int32_t nearest(int64_t d, int64_t sourceSize, int64_t destSize) {
  return static_cast<int32_t>(((2 * d + 1) * sourceSize) / (2 * destSize));
}

}  // namespace

GdiRenderer::~GdiRenderer() { close(); }

bool GdiRenderer::open(WindowSurface* window, int32_t x, int32_t y, int32_t width, int32_t height,
                       OutputFormat format) {
  if (format != kFormatBgr24 && format != kFormatBgrx32 && format != kFormatYuy2) {
    return false;
  }
  if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension) {
    return false;
  }
  VideoRenderer::open(window, x, y, width, height, format);
  stride_ = rowBytes(format, width);
  bits_.assign(static_cast<size_t>(bufferBytes(format, width, height)), 0);
  mapSourceWidth_ = mapDestWidth_ = -1;
  smoothRowIndex_[0] = smoothRowIndex_[1] = -1;
  if (format == kFormatYuy2) clear();  // zero bytes are green in YUV: start black
  return true;
}

bool GdiRenderer::close() {
  std::vector<uint8_t>().swap(bits_);
  std::vector<int32_t>().swap(columnMap_);
  stride_ = 0;
  mapSourceWidth_ = mapDestWidth_ = -1;
  return true;
}

bool GdiRenderer::lockBuffer(uint8_t*& bits, int32_t& size, int32_t& stride) {
  if (bits_.empty()) {
    return false;
  }
  bits = bits_.data();
  size = static_cast<int32_t>(bits_.size());
  stride = stride_;
  return true;
}

bool GdiRenderer::unlockBuffer() { return true; }

// Enlarging a 24-bit picture sideways converts each source row to 32 bits
// once and then gathers whole words, instead of assembling each repeated
// pixel from three bytes; packed 4:2:2 rows are always converted first.
bool GdiRenderer::convertRowsFirst() const {
  return format_ == kFormatYuy2 || (format_ == kFormatBgr24 && displayWidth_ >= imageWidth_);
}

void GdiRenderer::rebuildColumnMap() {
  const int32_t bpp = format_ == kFormatBgr24 && !convertRowsFirst() ? 3 : 4;
  columnMap_.resize(static_cast<size_t>(displayWidth_));
  for (int32_t d = 0; d < displayWidth_; ++d) {
    columnMap_[static_cast<size_t>(d)] = nearest(d, imageWidth_, displayWidth_) * bpp;
  }
  mapSourceWidth_ = imageWidth_;
  mapDestWidth_ = displayWidth_;
}

const uint8_t* GdiRenderer::row32(int32_t row, uint8_t* scratch) const {
  const uint8_t* s = bits_.data() + static_cast<size_t>(row) * static_cast<size_t>(stride_);
  switch (format_) {
    case kFormatBgr24: copyRow24(s, scratch, imageWidth_); return scratch;
    case kFormatYuy2: yuy2RowToBgrx(s, scratch, imageWidth_); return scratch;
    default: return s;
  }
}

bool GdiRenderer::present() {
  if (window_ == nullptr || bits_.empty()) {
    return false;
  }
  if (displayWidth_ <= 0 || displayHeight_ <= 0) {
    return true;  // nothing visible to draw
  }
  const bool scaled = displayWidth_ != imageWidth_ || displayHeight_ != imageHeight_;
  rowScratch_.resize(static_cast<size_t>(imageWidth_) * 4);
  QRect drawn;
  {
    auto buffer = window_->paint();
    QImage& image = buffer.image();
    const QRect display(displayX_, displayY_, displayWidth_, displayHeight_);
    drawn = display.intersected(image.rect());
    if (drawn.isEmpty()) {
      return true;
    }
    if (!scaled) {
      drawUnscaled(image, drawn);
    } else if (scaling_ == Scaling::kNearest) {
      drawNearest(image, drawn);
    } else {
      drawSmooth(image, drawn);
    }
  }
  window_->invalidate(drawn);
  return true;
}

void GdiRenderer::drawUnscaled(QImage& image, const QRect& drawn) {
  const int32_t left = drawn.x() - displayX_;
  const int32_t top = drawn.y() - displayY_;
  const int32_t pixels = drawn.width();
  for (int32_t row = top; row < top + drawn.height(); ++row) {
    uint8_t* dst = image.scanLine(displayY_ + row) + drawn.x() * 4;
    const uint8_t* s = bits_.data() + static_cast<size_t>(row) * static_cast<size_t>(stride_);
    switch (format_) {
      case kFormatBgr24: copyRow24(s + left * 3, dst, pixels); break;
      case kFormatYuy2:
        yuy2RowToBgrx(s, rowScratch_.data(), imageWidth_);
        std::memcpy(dst, rowScratch_.data() + left * 4, static_cast<size_t>(pixels) * 4);
        break;
      default: copyRow32(s + left * 4, dst, pixels); break;
    }
  }
}

void GdiRenderer::drawNearest(QImage& image, const QRect& drawn) {
  if (mapSourceWidth_ != imageWidth_ || mapDestWidth_ != displayWidth_) {
    rebuildColumnMap();
  }
  const bool convertFirst = convertRowsFirst();
  const int32_t left = drawn.x() - displayX_;
  const int32_t top = drawn.y() - displayY_;
  const int32_t pixels = drawn.width();
  const int32_t* columns = columnMap_.data() + left;
  int32_t lastSourceRow = -1;
  const uint8_t* lastRow = nullptr;
  for (int32_t row = top; row < top + drawn.height(); ++row) {
    uint8_t* dst = image.scanLine(displayY_ + row) + drawn.x() * 4;
    const int32_t sourceRow = nearest(row, imageHeight_, displayHeight_);
    if (sourceRow == lastSourceRow) {
      std::memcpy(dst, lastRow, static_cast<size_t>(pixels) * 4);
    } else {
      if (convertFirst) {
        scaleRow32(row32(sourceRow, rowScratch_.data()), columns, dst, pixels);
      } else if (format_ == kFormatBgr24) {
        scaleRow24(bits_.data() + static_cast<size_t>(sourceRow) * stride_, columns, dst, pixels);
      } else {
        scaleRow32(bits_.data() + static_cast<size_t>(sourceRow) * stride_, columns, dst, pixels);
      }
      lastSourceRow = sourceRow;
    }
    lastRow = dst;
  }
}

void GdiRenderer::drawSmooth(QImage& image, const QRect& drawn) {
  smooth_.prepare(imageWidth_, displayWidth_);
  const int32_t left = drawn.x() - displayX_;
  const int32_t top = drawn.y() - displayY_;
  const int32_t pixels = drawn.width();
  for (auto& r : smoothRows_) r.resize(static_cast<size_t>(pixels) * 4);
  // The cached rows were scaled for another column range or frame.
  smoothRowIndex_[0] = smoothRowIndex_[1] = -1;
  auto scaledRow = [&](int32_t sourceRow) -> const uint8_t* {
    for (int k = 0; k < 2; ++k) {
      if (smoothRowIndex_[k] == sourceRow) return smoothRows_[k].data();
    }
    // Rows are asked for in increasing order, so the row with the lower
    // index is done with (never the one just handed out for this pair).
    const int k = smoothRowIndex_[0] < smoothRowIndex_[1] ? 0 : 1;
    smooth_.scaleRow(row32(sourceRow, rowScratch_.data()), smoothRows_[k].data(), left, pixels);
    smoothRowIndex_[k] = sourceRow;
    return smoothRows_[k].data();
  };
  for (int32_t row = top; row < top + drawn.height(); ++row) {
    uint8_t* dst = image.scanLine(displayY_ + row) + drawn.x() * 4;
    const BilinearScaler::Tap t = BilinearScaler::tap(row, imageHeight_, displayHeight_);
    const uint8_t* a = scaledRow(t.index);
    const uint8_t* b = t.weight == 0 ? a : scaledRow(t.index + 1);
    BilinearScaler::blendRows(a, b, t.weight, dst, pixels);
  }
}

}  // namespace strevana
