// The plain and the accelerated converters against the published formula,
// computed here in floating point, pixel by pixel; and the compositing of
// pictures with transparent pixels over a background.
#include "media/colour/yuv_converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "media/colour/yuv_converter_mmx.h"
#include "media/picture_compositor.h"

namespace strevana {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kUntouched = 0xA5;

struct Planes {
  int32_t width, height, yStride, uvStride;
  std::vector<uint8_t> y, alpha, u, v;
};

// A random planar 4:2:0 picture whose strides are `extra` bytes wider than its rows.
Planes randomPlanes(int32_t w, int32_t h, int32_t extra, uint32_t seed) {
  const size_t luma = static_cast<size_t>(w + extra) * h;
  const size_t chroma = static_cast<size_t>(w / 2 + extra) * std::max(1, h / 2);
  Planes p{w, h, w + extra, w / 2 + extra, {}, {}, {}, {}};
  std::mt19937 rng(seed);
  for (auto* plane : {&p.y, &p.alpha, &p.u, &p.v}) {
    plane->resize(plane == &p.y || plane == &p.alpha ? luma : chroma);
    for (auto& b : *plane) b = static_cast<uint8_t>(rng());
  }
  return p;
}

enum class Op { kRgb565, kBgr24, kRgb24, kBgra32, kRgba32, kRgbx32Rgb, kRgbx32Bgr, kYuy2, kUyvy };
constexpr Op kAllOps[] = {Op::kRgb565,    Op::kBgr24,     Op::kRgb24, Op::kBgra32, Op::kRgba32,
                          Op::kRgbx32Rgb, Op::kRgbx32Bgr, Op::kYuy2,  Op::kUyvy};

int bytesOf(Op op) {
  if (op == Op::kBgr24 || op == Op::kRgb24) return 3;
  return op == Op::kRgb565 || op == Op::kYuy2 || op == Op::kUyvy ? 2 : 4;
}

// One conversion into rows `stride` bytes apart, pre-filled so untouched bytes show.
std::vector<uint8_t> run(YuvConverter& c, Op op, const Planes& p, int32_t stride, int flip) {
  std::vector<uint8_t> out(static_cast<size_t>(stride) * std::max(1, p.height), kUntouched);
  uint8_t* d = out.data();
  const uint8_t *y = p.y.data(), *a = p.alpha.data(), *u = p.u.data(), *v = p.v.data();
  const int32_t w = p.width, h = p.height, ys = p.yStride, cw = w / 2, ch = h / 2, cs = p.uvStride;
  switch (op) {
    case Op::kRgb565: c.toRgb565(d, stride, y, w, h, ys, u, v, cw, ch, cs, flip); break;
    case Op::kBgr24: c.toBgr24(d, stride, y, w, h, ys, u, v, cw, ch, cs, flip); break;
    case Op::kRgb24: c.toRgb24(d, stride, y, w, h, ys, u, v, cw, ch, cs, flip); break;
    case Op::kBgra32: c.toBgra32(d, stride, y, a, w, h, ys, u, v, cw, ch, cs, flip); break;
    case Op::kRgba32: c.toRgba32(d, stride, y, a, w, h, ys, u, v, cw, ch, cs, flip); break;
    case Op::kRgbx32Rgb: c.toRgbx32(d, stride, y, w, h, ys, u, v, cw, ch, cs, 0, flip); break;
    case Op::kRgbx32Bgr: c.toRgbx32(d, stride, y, w, h, ys, u, v, cw, ch, cs, 1, flip); break;
    case Op::kYuy2: c.toYuy2(d, stride / 2, y, w, h, ys, u, v, cw, ch, cs); break;
    case Op::kUyvy: c.toUyvy(d, stride / 2, y, w, h, ys, u, v, cw, ch, cs); break;
  }
  return out;
}

int term(double coefficient, int value) {
  return static_cast<int>(std::trunc(coefficient * value));
}

// R, G, B of one pixel. The plain rule: luma scaled for the 24-bit formats,
// raw otherwise. The accelerated 24-bit rule: quarter-scale terms added with
// byte wrap-around, the bias of 64 taken off with saturation at 0, then two
// saturating doublings.
void colour(int y, int u, int v, bool scaledLuma, bool quarter, int rgb[3]) {
  if (quarter) {
    const auto q = [](double x, int lo, int hi) { return std::clamp(term(x, 1), lo, hi); };
    const int luma = 64 + q(1.164 * (y - 16) / 4, 0, 64);
    const int terms[3] = {q(1.793 * (v - 128) / 4, -64, 64),
                          q(-0.213 * (u - 128) / 4, -64, 64) + q(-0.534 * (v - 128) / 4, -64, 64),
                          q(2.115 * (u - 128) / 4, -64, 64)};
    for (int i = 0; i < 3; ++i)
      rgb[i] = std::min(4 * std::max(static_cast<uint8_t>(luma + terms[i]) - 64, 0), 255);
    return;
  }
  const int l = scaledLuma ? term(1.164, y - 16) : y;
  rgb[0] = std::clamp(l + term(1.793, v - 128), 0, 255);
  rgb[1] = std::clamp(l - (term(0.213, u - 128) + term(0.534, v - 128)), 0, 255);
  rgb[2] = std::clamp(l + term(2.115, u - 128), 0, 255);
}

// The whole expected output: 2x2 blocks share a chroma sample; a last odd
// column or row is left alone; `quarter` for the accelerated 24-bit rule.
std::vector<uint8_t> expected(Op op, const Planes& p, int32_t stride, int flip, bool quarter) {
  std::vector<uint8_t> out(static_cast<size_t>(stride) * std::max(1, p.height), kUntouched);
  const int bpp = bytesOf(op);
  const bool packed = op == Op::kYuy2 || op == Op::kUyvy;
  for (int32_t row = 0; row < p.height / 2 * 2; ++row) {
    uint8_t* line =
        &out[static_cast<size_t>((flip && !packed ? p.height - 1 - row : row) * stride)];
    for (int32_t x = 0; x < p.width / 2 * 2; ++x) {
      const int y = p.y[row * p.yStride + x], a = p.alpha[row * p.yStride + x];
      const int u = p.u[row / 2 * p.uvStride + x / 2], v = p.v[row / 2 * p.uvStride + x / 2];
      int c[3];
      colour(y, u, v, bpp == 3, quarter, c);
      const int word = (c[0] >> 3) << 11 | (c[1] >> 2) << 5 | (c[2] >> 3);
      const int bytes[][4] = {
          {word & 0xFF, word >> 8}, {c[2], c[1], c[0]},    {c[0], c[1], c[2]},
          {c[2], c[1], c[0], a},    {c[0], c[1], c[2], a}, {c[0], c[1], c[2], 255},
          {c[2], c[1], c[0], 255},  {y, x % 2 ? v : u},    {x % 2 ? v : u, y}};
      std::copy_n(bytes[static_cast<int>(op)], bpp, line + x * bpp);
    }
  }
  return out;
}

TEST(YuvConverterTest, EveryConversionFollowsTheFormulaAtOddSizesStridesAndFlips) {
  // Widths around the accelerated units of 16 and 32 pixels and the 24-bit
  // rule's multiples of four (174 is none), odd sizes, height 1.
  // clang-format off
  const int32_t sizes[][3] = {{6, 4, 0}, {5, 5, 0}, {35, 5, 3}, {8, 1, 0}, {2, 2, 0}, {4, 7, 5},
                              {16, 6, 1}, {18, 9, 2}, {20, 36, 0}, {30, 2, 0}, {32, 6, 2},
                              {48, 9, 0}, {64, 2, 0}, {174, 10, 0}, {176, 6, 1}, {352, 4, 4},
                              {366, 9, 0}, {512, 512, 0}};
  // clang-format on
  YuvConverter plain;
  YuvConverterMmx fast;
  uint32_t seed = 1;
  for (const auto& size : sizes) {
    Planes p = randomPlanes(size[0], size[1], size[2], seed++);
    // 512x512: every chroma pair (u, v) once and every luma value in every
    // column position, so each table entry of both rules is used.
    for (size_t i = 0; p.width == 512 && i < p.u.size(); ++i)
      p.u[i] = static_cast<uint8_t>(i), p.v[i] = static_cast<uint8_t>(i / 256);
    for (size_t i = 0; p.width == 512 && i < p.y.size(); ++i)
      p.y[i] = static_cast<uint8_t>(i * 7 + i / 512);
    for (Op op : kAllOps) {
      const int32_t stride = p.width * bytesOf(op) + 4;
      const bool quarter = bytesOf(op) == 3 && p.width % 4 == 0;
      for (int flip : {0, 1}) {
        SCOPED_TRACE(::testing::Message() << "op " << static_cast<int>(op) << " " << p.width << "x"
                                          << p.height << " flip " << flip);
        ASSERT_EQ(run(plain, op, p, stride, flip), expected(op, p, stride, flip, false));
        ASSERT_EQ(run(fast, op, p, stride, flip), expected(op, p, stride, flip, quarter));
      }
    }
  }
}

TEST(YuvConverterTest, FactoryChoosesThePlainOrTheAcceleratedClass) {
  EXPECT_EQ(dynamic_cast<YuvConverterMmx*>(createYuvConverter(0).get()), nullptr);
#if defined(__x86_64__)
  EXPECT_NE(dynamic_cast<YuvConverterMmx*>(createYuvConverter(1).get()), nullptr);
#endif
}

// ---- compositing ----

// A picture whose pixel bytes say where they came from; alpha 0 on every
// third diagonal so both kinds of pixel occur.
Bytes makePicture(int32_t w, int32_t h) {
  Bytes p(static_cast<size_t>(w) * h * 4);
  for (size_t i = 0; i < p.size(); ++i) {
    const int x = static_cast<int>(i / 4 % w), y = static_cast<int>(i / 4 / w);
    const int bytes[4] = {x, y, 0x77, (x + y) % 3 == 0 ? 0 : 1 + x};
    p[i] = static_cast<uint8_t>(bytes[i % 4]);
  }
  return p;
}

Bytes makeBackground(int32_t w, int32_t h) {
  Bytes b(static_cast<size_t>(w) * h * 4);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(0x80 + i % 61);
  return b;
}

// The placement rule written out: the background's top left (black without
// one), then every opaque pixel moved by position x size - size / 2, clipped.
Bytes expectedComposite(const Bytes& picture, int32_t w, int32_t h, const Bytes* background,
                        int32_t bgWidth, float px, float py, int32_t stride) {
  Bytes out(static_cast<size_t>(stride) * h, 0xCC);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w * 4; ++x)
      out[y * stride + x] = background ? (*background)[y * bgWidth * 4 + x] : 0;
  const double tx0 = std::trunc(static_cast<double>(w) * px - w / 2);
  for (int32_t y = 0; y < h; ++y) {
    const double ty = std::trunc(static_cast<double>(h) * py + y - h / 2);
    for (int32_t x = 0; x < w; ++x) {
      const double tx = tx0 + x;
      const uint8_t* src = &picture[static_cast<size_t>((y * w + x) * 4)];
      if (src[3] != 0 && tx >= 0 && tx < w && ty >= 0 && ty < h)
        std::memcpy(&out[static_cast<size_t>(ty * stride + tx * 4)], src, 4);
    }
  }
  return out;
}

TEST(PictureCompositorTest, PositionsClipAtEveryEdgeOverTheCroppedBackgroundOrBlack) {
  const int32_t w = 8, h = 6;
  const Bytes picture = makePicture(w, h);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  // Backgrounds smaller than the picture (0: none) give black; they are
  // exactly sized, so reading them as w x h would overrun. Larger ones are cropped.
  // clang-format off
  const struct { float x, y; int32_t bgWidth, bgHeight, gap; } cases[] = {
      {0.5f, 0.5f, w, h, 0}, {0.75f, 0.25f, w, h, 8}, {0.0f, 0.0f, w, h, 0}, {1.0f, 1.0f, w, h, 8},
      {0.1f, 0.9f, w, h, 0}, {0.9f, 0.1f, w, h, 8},   {-3.0f, 0.5f, w, h, 0}, {0.5f, 7.0f, w, h, 8},
      {nan, 0.5f, w, h, 0},  {0.5f, nan, w, h, 8},    {1e30f, -1e30f, w, h, 0},
      {0.5f, 0.5f, 0, 0, 4}, {0.5f, 0.5f, w - 1, h, 4}, {0.5f, 0.5f, w, h - 1, 4},
      {0.25f, 0.5f, 1, 1, 0}, {0.5f, 0.75f, w + 3, h + 2, 4},
  };
  // clang-format on
  for (const auto& c : cases) {
    const Bytes background = makeBackground(c.bgWidth, c.bgHeight);
    const int32_t stride = w * 4 + c.gap;
    const bool fits = c.bgWidth >= w && c.bgHeight >= h;
    Bytes out(static_cast<size_t>(stride) * h, 0xCC);
    EXPECT_TRUE(compositePicture(picture.data(), w, h, c.bgWidth ? background.data() : nullptr,
                                 c.bgWidth, c.bgHeight, c.x, c.y, stride, out.data()));
    EXPECT_EQ(out, expectedComposite(picture, w, h, fits ? &background : nullptr, c.bgWidth, c.x,
                                     c.y, stride))
        << c.x << "," << c.y << " background " << c.bgWidth << "x" << c.bgHeight;
  }
  // By hand: x 0.75 moves the picture 2 columns right: its column 4 lands in column 6.
  Bytes out(static_cast<size_t>(w) * h * 4);
  compositePicture(picture.data(), w, h, nullptr, 0, 0, 0.75f, 0.5f, w * 4, out.data());
  EXPECT_EQ(out[(w + 2) * 4 + 1], 1);  // picture (0,1) at (2,1)
  EXPECT_EQ(out[(w + 6) * 4], 4);      // picture (4,1) at (6,1)
  EXPECT_EQ(out[(w + 7) * 4 + 3], 0);  // (5,1) is transparent: black shows
  // Rows closer than one picture row fail without writing.
  out.assign(64, 0xCC);
  EXPECT_FALSE(compositePicture(picture.data(), 4, 2, nullptr, 0, 0, 0.5f, 0.5f, 15, out.data()));
  EXPECT_FALSE(
      compositePicture(picture.data(), 4, 2, nullptr, 0, 0, 0.5f, 0.5f, -16, out.data() + 32));
  EXPECT_EQ(out, Bytes(64, 0xCC));
}

}  // namespace
}  // namespace strevana
