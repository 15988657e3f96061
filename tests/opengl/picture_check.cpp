#include "picture_check.h"

#include <cmath>

#include "media/colour/yuv_converter.h"

namespace strevana::testing {

namespace {

struct Yuv {
  uint8_t y, u, v;
};

// White, yellow, cyan, green, magenta, red, blue, black: 75 % bars, whose
// colours stay inside the RGB range, so no clamping hides a wrong equation.
constexpr Yuv kBars[8] = {{180, 128, 128}, {162, 44, 142}, {131, 156, 44}, {112, 72, 58},
                          {84, 184, 198},  {65, 100, 212}, {35, 212, 114}, {16, 128, 128}};

}  // namespace

ColourBars::ColourBars(int32_t w, int32_t h) : width(w), height(h) {
  y.resize(static_cast<size_t>(w) * h);
  u.resize(static_cast<size_t>(w / 2) * (h / 2));
  v.resize(u.size());
  const int32_t barsHeight = h * 2 / 3;
  for (int32_t row = 0; row < h; ++row) {
    for (int32_t x = 0; x < w; ++x) {
      const Yuv bar = kBars[x * 8 / w];
      y[static_cast<size_t>(row) * w + x] =
          row < barsHeight ? bar.y : static_cast<uint8_t>(16 + (x * 219) / (w - 1));
    }
  }
  for (int32_t row = 0; row < h / 2; ++row) {
    for (int32_t x = 0; x < w / 2; ++x) {
      const Yuv bar = kBars[(2 * x) * 8 / w];
      const bool inBars = 2 * row < barsHeight;
      // Below the bars, chroma sweeps across the ramp in opposite senses.
      const auto sweep = static_cast<uint8_t>(64 + (2 * x * 128) / w);
      u[static_cast<size_t>(row) * (w / 2) + x] = inBars ? bar.u : sweep;
      v[static_cast<size_t>(row) * (w / 2) + x] =
          inBars ? bar.v : static_cast<uint8_t>(255 - sweep);
    }
  }
}

std::vector<uint8_t> ColourBars::inFormat(OutputFormat format) const {
  const auto converter = createYuvConverter(0);
  const int32_t cw = width / 2, ch = height / 2;
  std::vector<uint8_t> out;
  switch (format) {
    case kFormatIyuv:
    case kFormatYv12: {
      out = y;
      const auto& first = format == kFormatIyuv ? u : v;
      const auto& second = format == kFormatIyuv ? v : u;
      out.insert(out.end(), first.begin(), first.end());
      out.insert(out.end(), second.begin(), second.end());
      break;
    }
    case kFormatYuy2:
      out.resize(static_cast<size_t>(width) * height * 2);
      converter->toYuy2(out.data(), width, y.data(), width, height, width, u.data(), v.data(), cw,
                        ch, cw);
      break;
    case kFormatBgr24:
    case kFormatBgrx32: {
      std::vector<uint8_t> bgr(static_cast<size_t>(width) * height * 3);
      converter->toBgr24(bgr.data(), width * 3, y.data(), width, height, width, u.data(), v.data(),
                         cw, ch, cw, 0);
      if (format == kFormatBgr24) return bgr;
      out.resize(static_cast<size_t>(width) * height * 4);
      for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
        out[4 * i] = bgr[3 * i];
        out[4 * i + 1] = bgr[3 * i + 1];
        out[4 * i + 2] = bgr[3 * i + 2];
        out[4 * i + 3] = 0;  // sources leave the fourth byte as it comes
      }
      break;
    }
    default: break;
  }
  return out;
}

OutputFormat rasterFormatFor(OutputFormat format) {
  return format == kFormatIyuv || format == kFormatYv12 ? kFormatBgr24 : format;
}

double psnr(const QImage& a, const QImage& b, const QRect& rect) {
  double sum = 0;
  int64_t n = 0;
  for (int y = rect.top(); y <= rect.bottom(); ++y) {
    for (int x = rect.left(); x <= rect.right(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      const int d[3] = {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)};
      for (int c : d) sum += c * c;
      n += 3;
    }
  }
  if (n == 0 || sum == 0) return 100;
  return 10 * std::log10(255.0 * 255.0 / (sum / static_cast<double>(n)));
}

int64_t nonBlackOutside(const QImage& image, const QRect& inner) {
  int64_t count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (!inner.contains(x, y) && (image.pixel(x, y) & 0xffffff) != 0) ++count;
    }
  }
  return count;
}

}  // namespace strevana::testing
