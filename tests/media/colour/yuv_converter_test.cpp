#include "media/colour/yuv_converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "media/colour/yuv_converter_mmx.h"

namespace strevana {
namespace {

constexpr uint8_t kUntouched = 0xA5;

// A planar 4:2:0 picture with room for strides wider than the rows.
struct Planes {
  Planes(int32_t w, int32_t h, int32_t extra = 0)
      : width(w),
        height(h),
        yStride(w + extra),
        uvStride(w / 2 + extra),
        y(static_cast<size_t>(yStride) * h),
        alpha(y.size()),
        u(static_cast<size_t>(uvStride) * std::max(1, h / 2)),
        v(u.size()) {}
  void fill(uint8_t ys, uint8_t us, uint8_t vs) {
    std::fill(y.begin(), y.end(), ys);
    std::fill(u.begin(), u.end(), us);
    std::fill(v.begin(), v.end(), vs);
  }
  void randomise(uint32_t seed) {
    std::mt19937 rng(seed);
    for (auto* plane : {&y, &alpha, &u, &v}) {
      for (auto& b : *plane) b = static_cast<uint8_t>(rng());
    }
  }
  int32_t width, height, yStride, uvStride;
  std::vector<uint8_t> y, alpha, u, v;
};

// Reference colour from the published coefficients, computed in floating
// point independently of the converter's tables.
struct Rgb {
  int r, g, b;
};

int clamp255(int x) { return std::clamp(x, 0, 255); }

Rgb referenceColour(int y, int u, int v, bool scaledLuma) {
  const int l = scaledLuma ? static_cast<int>(std::trunc(1.164 * (y - 16))) : y;
  const int crR = static_cast<int>(std::trunc(1.793 * (v - 128)));
  const int cbG = static_cast<int>(std::trunc(0.213 * (u - 128)));
  const int crG = static_cast<int>(std::trunc(0.534 * (v - 128)));
  const int cbB = static_cast<int>(std::trunc(2.115 * (u - 128)));
  return {clamp255(l + crR), clamp255(l - (cbG + crG)), clamp255(l + cbB)};
}

// B, G, R of one pixel under the accelerated 24-bit rule: quarter-scale
// terms added with byte wrap-around, the bias of 64 taken off with saturation
// at 0, then two saturating doublings.
void quarterPixel(int y, int u, int v, uint8_t out[3]) {
  const auto q = [](double x, int lo, int hi) {
    return std::clamp(static_cast<int>(std::trunc(x)), lo, hi);
  };
  const int luma = 64 + q(1.164 * (y - 16) / 4, 0, 64);
  const int terms[3] = {q(2.115 * (u - 128) / 4, -64, 64),
                        q(-0.213 * (u - 128) / 4, -64, 64) + q(-0.534 * (v - 128) / 4, -64, 64),
                        q(1.793 * (v - 128) / 4, -64, 64)};
  for (int i = 0; i < 3; ++i) {
    const auto sum = static_cast<uint8_t>(luma + terms[i]);
    out[i] = static_cast<uint8_t>(std::min(4 * std::max(sum - 64, 0), 255));
  }
}

enum class Op { kRgb565, kBgr24, kRgb24, kBgra32, kRgba32, kRgbx32Rgb, kRgbx32Bgr, kYuy2, kUyvy };

int bytesOf(Op op) {
  if (op == Op::kBgr24 || op == Op::kRgb24) return 3;
  return op == Op::kRgb565 || op == Op::kYuy2 || op == Op::kUyvy ? 2 : 4;
}

// Runs one conversion into a buffer of rows `stride` bytes, pre-filled with a
// marker so untouched bytes show.
std::vector<uint8_t> run(YuvConverter& c, Op op, const Planes& p, int32_t stride, int flip = 0) {
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

constexpr Op kAllOps[] = {Op::kRgb565,    Op::kBgr24,     Op::kRgb24, Op::kBgra32, Op::kRgba32,
                          Op::kRgbx32Rgb, Op::kRgbx32Bgr, Op::kYuy2,  Op::kUyvy};
// The conversions whose accelerated output must equal the plain one.
constexpr Op kExactOps[] = {Op::kRgb565,    Op::kBgra32, Op::kRgba32, Op::kRgbx32Rgb,
                            Op::kRgbx32Bgr, Op::kYuy2,   Op::kUyvy};

// Expected bytes of a pair of pixels of a uniform picture in the plain conversions.
std::vector<uint8_t> plainPair(Op op, uint8_t y, uint8_t u, uint8_t v, uint8_t alpha) {
  const Rgb c = referenceColour(y, u, v, op == Op::kBgr24 || op == Op::kRgb24);
  const auto r = static_cast<uint8_t>(c.r), g = static_cast<uint8_t>(c.g),
             b = static_cast<uint8_t>(c.b);
  const int word = (c.r >> 3) << 11 | (c.g >> 2) << 5 | (c.b >> 3);
  const auto lo = static_cast<uint8_t>(word & 0xFF), hi = static_cast<uint8_t>(word >> 8);
  switch (op) {
    case Op::kRgb565: return {lo, hi, lo, hi};
    case Op::kBgr24: return {b, g, r, b, g, r};
    case Op::kRgb24: return {r, g, b, r, g, b};
    case Op::kBgra32: return {b, g, r, alpha, b, g, r, alpha};
    case Op::kRgba32: return {r, g, b, alpha, r, g, b, alpha};
    case Op::kRgbx32Rgb: return {r, g, b, 255, r, g, b, 255};
    case Op::kRgbx32Bgr: return {b, g, r, 255, b, g, r, 255};
    case Op::kYuy2: return {y, u, y, v};
    case Op::kUyvy: return {u, y, v, y};
  }
  return {};
}

TEST(YuvConverterTest, UniformColoursGiveTheFormulaValuesInEveryConversion) {
  struct Colour {
    const char* name;
    uint8_t y, u, v;
  };
  // clang-format off
  const Colour colours[] = {{"black", 16, 128, 128}, {"white", 235, 128, 128}, {"red", 81, 90, 240},
                            {"green", 145, 54, 34}, {"blue", 41, 240, 110},
                            {"extremes", 255, 0, 255}, {"zero", 0, 0, 0}};
  // clang-format on
  YuvConverter plain;
  for (const Colour& colour : colours) {
    Planes p(6, 4);
    p.fill(colour.y, colour.u, colour.v);
    std::fill(p.alpha.begin(), p.alpha.end(), 77);
    for (Op op : kAllOps) {
      const auto out = run(plain, op, p, 6 * bytesOf(op));
      const auto pair = plainPair(op, colour.y, colour.u, colour.v, 77);
      for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], pair[i % pair.size()]) << colour.name << " op " << int(op) << " " << i;
    }
  }
}

TEST(YuvConverterTest, FlipPutsTheFirstLumaRowLast) {
  YuvConverter plain;
  Planes p(4, 4);
  p.fill(128, 128, 128);
  std::fill(p.y.begin(), p.y.begin() + 4, 200);  // first row bright
  for (int flip = 0; flip < 2; ++flip) {
    const auto out = run(plain, Op::kRgbx32Rgb, p, 16, flip);
    const size_t brightRow = flip ? 3 : 0;
    for (size_t row = 0; row < 4; ++row) {
      EXPECT_EQ(out[row * 16], row == brightRow ? 200 : 128) << "flip " << flip << " row " << row;
    }
  }
}

TEST(YuvConverterTest, OddSizesLeaveTheLastColumnAndRowAndHeightOneWritesNothing) {
  for (bool accelerated : {false, true}) {
    auto c = accelerated ? std::unique_ptr<YuvConverter>(new YuvConverterMmx)
                         : std::make_unique<YuvConverter>();
    for (Op op : kAllOps) {
      const int32_t bpp = bytesOf(op);
      for (auto [w, h] : {std::pair{5, 5}, std::pair{35, 5}, std::pair{8, 1}}) {
        Planes p(w, h);
        p.randomise(7);
        const int32_t stride = (w + 1) * bpp;  // one spare pixel per row
        const auto out = run(*c, op, p, stride);
        for (size_t i = 0; i < out.size(); ++i) {
          const int32_t row = static_cast<int32_t>(i) / stride, x = i % stride / bpp;
          if (row < h / 2 * 2 && x < w / 2 * 2) continue;
          ASSERT_EQ(out[i], kUntouched) << "op " << int(op) << " " << w << "x" << h << " " << i;
        }
      }
    }
  }
}

TEST(YuvConverterTest, StridesWiderThanTheRowAreHonoured) {
  YuvConverter plain;
  Planes tight(8, 4), wide(8, 4, 9);
  tight.randomise(11);
  const auto copyRows = [](const std::vector<uint8_t>& from, int32_t fromStride,
                           std::vector<uint8_t>& to, int32_t toStride, int32_t rows, int32_t n) {
    for (int32_t r = 0; r < rows; ++r) std::memcpy(&to[r * toStride], &from[r * fromStride], n);
  };
  copyRows(tight.y, 8, wide.y, wide.yStride, 4, 8);
  copyRows(tight.alpha, 8, wide.alpha, wide.yStride, 4, 8);
  copyRows(tight.u, 4, wide.u, wide.uvStride, 2, 4);
  copyRows(tight.v, 4, wide.v, wide.uvStride, 2, 4);
  for (Op op : kAllOps) {
    const int32_t row = 8 * bytesOf(op);
    std::vector<uint8_t> packed(static_cast<size_t>(row) * 4);
    copyRows(run(plain, op, wide, row + 6), row + 6, packed, row, 4, row);
    EXPECT_EQ(run(plain, op, tight, row), packed) << "op " << static_cast<int>(op);
  }
}

// Expected accelerated 24-bit output.
std::vector<uint8_t> quarterExpected(const Planes& p, int32_t stride, bool redFirst, int flip) {
  std::vector<uint8_t> out(static_cast<size_t>(stride) * p.height, kUntouched);
  for (int32_t row = 0; row < p.height / 2 * 2; ++row) {
    for (int32_t x = 0; x < p.width / 2 * 2; ++x) {
      const size_t c = static_cast<size_t>(row / 2 * p.uvStride + x / 2);
      uint8_t bgr[3];
      quarterPixel(p.y[static_cast<size_t>(row * p.yStride + x)], p.u[c], p.v[c], bgr);
      if (redFirst) std::swap(bgr[0], bgr[2]);
      std::memcpy(&out[static_cast<size_t>((flip ? p.height - 1 - row : row) * stride + x * 3)],
                  bgr, 3);
    }
  }
  return out;
}

TEST(YuvConverterMmxTest, ExactConversionsEqualThePlainOnesOnRandomPictures) {
  YuvConverter plain;
  YuvConverterMmx fast;
  uint32_t seed = 1;
  for (int32_t w : {2, 16, 18, 30, 32, 48, 174, 176, 352, 366}) {
    for (int32_t h : {2, 6, 9}) {
      Planes p(w, h, w % 3);
      p.randomise(seed++);
      for (Op op : kExactOps) {
        const int32_t stride = w * bytesOf(op) + 4;
        for (int flip = 0; flip < 2; ++flip) {
          ASSERT_EQ(run(plain, op, p, stride, flip), run(fast, op, p, stride, flip))
              << "op " << static_cast<int>(op) << " " << w << "x" << h << " flip " << flip;
        }
      }
    }
  }
}

TEST(YuvConverterMmxTest, Rgb24FollowsTheQuarterPrecisionRuleWhenTheWidthIsAMultipleOfFour) {
  YuvConverterMmx fast;
  uint32_t seed = 100;
  for (int32_t w : {4, 8, 12, 20, 36, 176, 352}) {
    for (int32_t h : {2, 7, 288 / 8}) {
      Planes p(w, h, 5);
      p.randomise(seed++);
      for (int flip = 0; flip < 2; ++flip) {
        const int32_t stride = w * 3 + 2;
        EXPECT_EQ(run(fast, Op::kBgr24, p, stride, flip), quarterExpected(p, stride, false, flip))
            << w << "x" << h << " flip " << flip;
        EXPECT_EQ(run(fast, Op::kRgb24, p, stride, flip), quarterExpected(p, stride, true, flip))
            << w << "x" << h << " flip " << flip;
      }
    }
  }
  // Black and white on the quarter scale: 16 -> 0; 235 -> 4 x trunc(63.7) = 252.
  Planes grey(16, 2);
  grey.fill(235, 128, 128);
  EXPECT_EQ(run(fast, Op::kBgr24, grey, 48)[0], 252);
  grey.fill(16, 128, 128);
  EXPECT_EQ(run(fast, Op::kBgr24, grey, 48)[0], 0);
  // Width 174 is no multiple of four: the plain rule, where 176 differs from it.
  YuvConverter plain;
  for (int32_t w : {174, 176}) {
    Planes p(w, 10);
    p.randomise(42);
    for (Op op : {Op::kBgr24, Op::kRgb24})
      EXPECT_EQ(run(plain, op, p, w * 3) == run(fast, op, p, w * 3), w == 174) << w;
  }
}

// Every chroma pair (u, v) once and every luma value in every column position:
// covers each table entry of both the full- and the quarter-precision rules.
TEST(YuvConverterMmxTest, EveryChromaAndLumaValueMatches) {
  YuvConverter plain;
  YuvConverterMmx fast;
  Planes p(512, 512);
  for (int32_t row = 0; row < 256; ++row) {
    for (int32_t c = 0; c < 256; ++c) {
      p.u[static_cast<size_t>(row * 256 + c)] = static_cast<uint8_t>(c);
      p.v[static_cast<size_t>(row * 256 + c)] = static_cast<uint8_t>(row);
    }
  }
  for (size_t i = 0; i < p.y.size(); ++i) p.y[i] = static_cast<uint8_t>(i * 7 + i / 512);
  for (Op op : kExactOps) {
    const int32_t stride = 512 * bytesOf(op);
    ASSERT_EQ(run(plain, op, p, stride), run(fast, op, p, stride)) << "op " << static_cast<int>(op);
  }
  EXPECT_EQ(run(fast, Op::kBgr24, p, 512 * 3), quarterExpected(p, 512 * 3, false, 0));
  EXPECT_EQ(run(fast, Op::kRgb24, p, 512 * 3), quarterExpected(p, 512 * 3, true, 0));
}

TEST(YuvConverterFactoryTest, ChoosesTheClassAndBuildsTablesOnceUnderConcurrentUse) {
  EXPECT_EQ(dynamic_cast<YuvConverterMmx*>(createYuvConverter(0).get()), nullptr);
#if defined(__x86_64__)
  EXPECT_NE(dynamic_cast<YuvConverterMmx*>(createYuvConverter(1).get()), nullptr);
#endif
  // Converters made and used on several threads at once agree.
  Planes p(64, 8);
  p.randomise(5);
  std::vector<std::vector<uint8_t>> results(4);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < results.size(); ++i) {
    threads.emplace_back([&, i] {
      auto c = createYuvConverter(static_cast<int32_t>(i % 2));
      results[i] = run(*c, Op::kRgbx32Bgr, p, 64 * 4);
    });
  }
  for (auto& t : threads) t.join();
  for (const auto& r : results) EXPECT_EQ(r, results[0]);
}

}  // namespace
}  // namespace strevana
