#include "video/gdi_renderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "video/bilinear_scaler.h"
#include "video/memory_window_surface.h"

namespace strevana {
namespace {

constexpr QRgb kUntouched = 0xff000000u;  // the surface starts black

// Pseudo-random words, the same every run.
std::vector<uint32_t> noise32(size_t n, uint32_t seed) {
  std::vector<uint32_t> out(n);
  for (auto& v : out) v = seed = seed * 1664525u + 1013904223u;
  return out;
}

// Centre-sampled taps worked out by hand: s = (d + 0.5) S / D - 0.5.
TEST(BilinearScalerTap, SamplesAtPixelCentresAndHoldsTheEdges) {
  const struct {
    int64_t d, source, dest;
    int32_t index;
    uint32_t weight;
  } cases[] = {
      // clang-format off
      {0, 2, 4, 0, 0},   // s = -0.25: before the first centre, edge pixel alone
      {1, 2, 4, 0, 64},  {2, 2, 4, 0, 192},  // s = 0.25, 0.75
      {3, 2, 4, 1, 0},   // s = 1.25: past the last centre
      {0, 4, 2, 0, 128}, {1, 4, 2, 2, 128},  // halving: the mean of each pair
      {5, 7, 7, 5, 0},   {0, 1, 9, 0, 0},   {8, 1, 9, 0, 0},  // same size; one source pixel
      {2, 3, 8, 0, 112}, {6, 3, 8, 1, 240},  // s = 0.4375, 1.9375
      {0, 8, 3, 0, 213},  // s = 0.8333: truncated, not rounded
      // clang-format on
  };
  for (const auto& c : cases) {
    const BilinearScaler::Tap t = BilinearScaler::tap(c.d, c.source, c.dest);
    EXPECT_EQ(t.index, c.index) << c.d << " of " << c.dest << " over " << c.source;
    EXPECT_EQ(t.weight, c.weight) << c.d << " of " << c.dest << " over " << c.source;
  }
}

// One pixel blended byte by byte: a (256 - w) / 256 + b w / 256, truncated.
uint32_t blend(uint32_t a, uint32_t b, uint32_t w) {
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t x = (a >> shift) & 0xff, y = (b >> shift) & 0xff;
    out |= ((x * (256 - w) + y * w) >> 8) << shift;
  }
  return out;
}

constexpr uint32_t kGuard = 0x5a5a5a5au;

// The vector steps and the pixels after them against the one-pixel rule, for
// widths that end inside and after each step; nothing is written past the end.
// One scaler serves every size, as the renderer's does.
TEST(BilinearScalerRow, EveryWidthMatchesThePixelByPixelBlend) {
  BilinearScaler scaler;
  std::vector<int32_t> widths = {67, 400};
  for (int32_t w = 1; w <= 17; ++w) widths.push_back(w);
  for (int32_t w : widths) {
    const auto a = noise32(static_cast<size_t>(w), 1), b = noise32(static_cast<size_t>(w), 2);
    // Rows blended by a weight, as the renderer blends two scaled rows.
    for (uint32_t weight : {0u, 77u, 255u}) {
      std::vector<uint32_t> dst(static_cast<size_t>(w) + 1, kGuard);
      BilinearScaler::blendRows(reinterpret_cast<const uint8_t*>(a.data()),
                                reinterpret_cast<const uint8_t*>(b.data()), weight,
                                reinterpret_cast<uint8_t*>(dst.data()), w);
      for (int32_t i = 0; i < w; ++i) {
        ASSERT_EQ(dst[i], blend(a[i], b[i], weight) | 0xff000000u)
            << "blend width " << w << " weight " << weight << " at " << i;
      }
      ASSERT_EQ(dst.back(), kGuard) << "blend width " << w << " weight " << weight;
    }
    // One row scaled to each width, from sources smaller, equal and larger,
    // in whole and from the middle.
    for (int32_t source : {1, 2, 5, w, 2 * w + 1}) {
      scaler.prepare(source, w);
      const auto src = noise32(static_cast<size_t>(source), 3);
      for (int32_t left : {0, w / 3}) {
        std::vector<uint32_t> dst(static_cast<size_t>(w - left) + 1, kGuard);
        scaler.scaleRow(reinterpret_cast<const uint8_t*>(src.data()),
                        reinterpret_cast<uint8_t*>(dst.data()), left, w - left);
        for (int32_t i = 0; i < w - left; ++i) {
          const BilinearScaler::Tap t = BilinearScaler::tap(left + i, source, w);
          const uint32_t want =
              t.weight == 0 ? src[t.index] : blend(src[t.index], src[t.index + 1], t.weight);
          ASSERT_EQ(dst[i], want) << source << " -> " << w << " from " << left << " at " << i;
        }
        ASSERT_EQ(dst.back(), kGuard) << source << " -> " << w;
      }
    }
  }
}

QRgb yuvPixel(int y, int u, int v) {
  // Scaled-luma equations of the colour converters.
  const double l = 1.164 * (y - 16);
  auto c = [](double x) { return static_cast<int>(std::clamp(std::lround(x), 0L, 255L)); };
  return qRgb(c(l + 1.793 * (v - 128)), c(l - 0.213 * (u - 128) - 0.534 * (v - 128)),
              c(l + 2.115 * (u - 128)));
}

bool near(QRgb a, QRgb b, int tolerance) {
  return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
         std::abs(qBlue(a) - qBlue(b)) <= tolerance && qAlpha(a) == qAlpha(b);
}

struct Picture {
  OutputFormat format;
  int32_t width, height, stride;
  std::vector<uint8_t> bytes;
};

// Opens r on a picture of noise and returns what it holds.
Picture openNoise(GdiRenderer& r, WindowSurface* surface, OutputFormat f, int32_t w, int32_t h) {
  EXPECT_TRUE(r.open(surface, 0, 0, w, h, f));
  uint8_t* bits = nullptr;
  int32_t size = 0, stride = 0;
  EXPECT_TRUE(r.lockBuffer(bits, size, stride));
  std::memcpy(bits, noise32(static_cast<size_t>(size) / 4 + 1, static_cast<uint32_t>(w)).data(),
              static_cast<size_t>(size));
  return {f, w, h, stride, std::vector<uint8_t>(bits, bits + size)};
}

// Pixel (x, y) of the picture converted on its own. The last pixel of an odd
// packed 4:2:2 row has U but no V: neutral V.
QRgb expectedAt(const Picture& p, int32_t x, int32_t y) {
  const uint8_t* row = p.bytes.data() + static_cast<size_t>(y) * p.stride;
  if (p.format == kFormatBgr24) return qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
  if (p.format == kFormatBgrx32) return qRgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
  const uint8_t* pair = row + 4 * (x / 2);
  return yuvPixel(row[2 * x], pair[1], (x | 1) < p.width ? pair[3] : 128);
}

// Pixel (x, y) of the picture drawn out.width() x out.height(): nearest takes
// source (2d + 1) S / 2D, smooth blends the converted pixels around the
// centre with BilinearScaler's taps, across and then down.
QRgb expectedScaled(const Picture& p, QSize out, int32_t x, int32_t y, bool smooth) {
  if (!smooth) {
    return expectedAt(p, (2 * x + 1) * p.width / (2 * out.width()),
                      (2 * y + 1) * p.height / (2 * out.height()));
  }
  const auto tx = BilinearScaler::tap(x, p.width, out.width());
  const auto ty = BilinearScaler::tap(y, p.height, out.height());
  auto row = [&](int32_t sy) {
    const QRgb a = expectedAt(p, tx.index, sy);
    return tx.weight == 0 ? a : blend(a, expectedAt(p, tx.index + 1, sy), tx.weight);
  };
  return ty.weight == 0 ? row(ty.index) : blend(row(ty.index), row(ty.index + 1), ty.weight);
}

constexpr OutputFormat kFormats[] = {kFormatBgr24, kFormatBgrx32, kFormatYuy2};

// Unscaled, enlarged and reduced, smooth and nearest, every pixel is what
// the pixel-by-pixel reference makes of the source, whatever the width: the
// vector steps and the pixels after them alike; nothing is drawn past the
// display rectangle.
TEST(GdiRendererPresent, EveryPixelMatchesThePixelByPixelReference) {
  struct Size {
    int32_t w, h, outW, outH;
  };
  std::vector<Size> sizes = {{67, 3, 67, 3}, {130, 2, 130, 2}, {5, 3, 15, 9},   {8, 4, 4, 2},
                             {9, 5, 21, 7},  {6, 6, 5, 9},     {17, 9, 40, 23}, {40, 20, 11, 7}};
  for (int32_t w = 1; w <= 17; ++w) sizes.push_back({w, 3, w, 3});
  for (const bool smooth : {false, true}) {
    for (OutputFormat format : kFormats) {
      for (const Size& s : sizes) {
        SCOPED_TRACE((smooth ? "smooth format " : "nearest format ") + std::to_string(format) +
                     " " + std::to_string(s.w) + "x" + std::to_string(s.h) + " -> " +
                     std::to_string(s.outW) + "x" + std::to_string(s.outH));
        MemoryWindowSurface surface(s.outW + 3, s.outH + 2);
        GdiRenderer r;
        if (!smooth) r.setScaling(GdiRenderer::Scaling::kNearest);
        const Picture p = openNoise(r, &surface, format, s.w, s.h);
        ASSERT_TRUE(r.setOutputRect(1, 1, s.outW, s.outH));
        ASSERT_TRUE(r.present());
        // The fitted rectangle; black around it.
        const QRect d(r.displayX(), r.displayY(), r.displayWidth(), r.displayHeight());
        const QImage img = surface.snapshot();
        for (int32_t y = 0; y < img.height(); ++y) {
          for (int32_t x = 0; x < img.width(); ++x) {
            const QRgb want = d.contains(x, y)
                                  ? expectedScaled(p, d.size(), x - d.x(), y - d.y(), smooth)
                                  : kUntouched;
            ASSERT_TRUE(near(img.pixel(x, y), want, format == kFormatYuy2 ? 4 : 0))
                << "at " << x << "," << y << ": " << std::hex << img.pixel(x, y) << " want "
                << want;
          }
        }
      }
    }
  }
}

// Clipped by the surface, a scaled picture shows exactly the pixels it shows
// unclipped; a rectangle entirely outside draws nothing, successfully.
TEST(GdiRendererPresent, ClippingShowsThePartOfTheWholePicture) {
  for (GdiRenderer::Scaling scaling :
       {GdiRenderer::Scaling::kSmooth, GdiRenderer::Scaling::kNearest}) {
    for (OutputFormat format : kFormats) {
      MemoryWindowSurface whole(40, 15), part(20, 15);
      GdiRenderer a, b;
      a.setScaling(scaling);
      b.setScaling(scaling);
      openNoise(a, &whole, format, 16, 6);
      openNoise(b, &part, format, 16, 6);
      ASSERT_TRUE(a.setOutputRect(0, 0, 40, 15));
      ASSERT_TRUE(b.setOutputRect(-20, 3, 40, 15));
      part.takeInvalidated();
      ASSERT_TRUE(a.present());
      ASSERT_TRUE(b.present());
      EXPECT_EQ(part.takeInvalidated(), QRect(0, 3, 20, 12));
      const QImage wi = whole.snapshot(), pi = part.snapshot();
      for (int32_t y = 0; y < 12; ++y) {
        for (int32_t x = 0; x < 20; ++x) {
          ASSERT_EQ(pi.pixel(x, y + 3), wi.pixel(20 + x, y)) << format << " at " << x << "," << y;
        }
      }
      ASSERT_TRUE(b.setOutputRect(50, 50, 8, 8));
      EXPECT_TRUE(b.present());
      EXPECT_TRUE(part.takeInvalidated().isNull());
    }
  }
}

}  // namespace
}  // namespace strevana
