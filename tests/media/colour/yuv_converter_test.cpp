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

// The accelerated 24-bit rule, emulated on its byte tables: a 4-byte luma
// entry, 8-byte chroma entries for two pixels, wrapping byte addition, bias
// subtraction with saturation at 0 and two saturating doublings.
struct QuarterReference {
  uint8_t luma[256][4];
  uint8_t cb[256][8];
  uint8_t cr[256][8];
  QuarterReference() {
    auto q = [](double x, int lo, int hi) {
      return std::clamp(static_cast<int>(std::trunc(x)), lo, hi);
    };
    for (int k = 0; k < 256; ++k) {
      const uint8_t l = static_cast<uint8_t>(64 + q(1.164 * (k - 16) / 4, 0, 64));
      luma[k][0] = luma[k][1] = luma[k][2] = l;
      luma[k][3] = 0;
      const auto b = static_cast<uint8_t>(q(2.115 * (k - 128) / 4, -64, 64));
      const auto gu = static_cast<uint8_t>(q(-0.213 * (k - 128) / 4, -64, 64));
      const auto gv = static_cast<uint8_t>(q(-0.534 * (k - 128) / 4, -64, 64));
      const auto r = static_cast<uint8_t>(q(1.793 * (k - 128) / 4, -64, 64));
      const uint8_t cbEntry[8] = {b, gu, 0, b, gu, 0, 0, 0};
      const uint8_t crEntry[8] = {0, gv, r, 0, gv, r, 0, 0};
      std::memcpy(cb[k], cbEntry, 8);
      std::memcpy(cr[k], crEntry, 8);
    }
  }
  // B, G, R of one pixel.
  void pixel(uint8_t y, uint8_t u, uint8_t v, uint8_t out[3]) const {
    for (int i = 0; i < 3; ++i) {
      uint8_t s = static_cast<uint8_t>(luma[y][i] + cb[u][i] + cr[v][i]);
      s = static_cast<uint8_t>(s > 64 ? s - 64 : 0);
      for (int d = 0; d < 2; ++d) s = static_cast<uint8_t>(std::min(2 * s, 255));
      out[i] = s;
    }
  }
};

const QuarterReference& quarterReference() {
  static const QuarterReference reference;
  return reference;
}

enum class Op { kRgb565, kBgr24, kRgb24, kBgra32, kRgba32, kRgbx32Rgb, kRgbx32Bgr, kYuy2, kUyvy };

int bytesOf(Op op) {
  switch (op) {
    case Op::kRgb565:
    case Op::kYuy2:
    case Op::kUyvy: return 2;
    case Op::kBgr24:
    case Op::kRgb24: return 3;
    default: return 4;
  }
}

// Runs one conversion into a buffer of rows `stride` bytes, pre-filled with a
// marker so untouched bytes show.
std::vector<uint8_t> run(YuvConverter& c, Op op, const Planes& p, int32_t stride, int flip = 0) {
  std::vector<uint8_t> out(static_cast<size_t>(stride) * std::max(1, p.height), kUntouched);
  uint8_t* d = out.data();
  const int32_t w = p.width, h = p.height, cw = w / 2, ch = h / 2;
  switch (op) {
    case Op::kRgb565:
      c.toRgb565(d, stride, p.y.data(), w, h, p.yStride, p.u.data(), p.v.data(), cw, ch, p.uvStride,
                 flip);
      break;
    case Op::kBgr24:
      c.toBgr24(d, stride, p.y.data(), w, h, p.yStride, p.u.data(), p.v.data(), cw, ch, p.uvStride,
                flip);
      break;
    case Op::kRgb24:
      c.toRgb24(d, stride, p.y.data(), w, h, p.yStride, p.u.data(), p.v.data(), cw, ch, p.uvStride,
                flip);
      break;
    case Op::kBgra32:
      c.toBgra32(d, stride, p.y.data(), p.alpha.data(), w, h, p.yStride, p.u.data(), p.v.data(), cw,
                 ch, p.uvStride, flip);
      break;
    case Op::kRgba32:
      c.toRgba32(d, stride, p.y.data(), p.alpha.data(), w, h, p.yStride, p.u.data(), p.v.data(), cw,
                 ch, p.uvStride, flip);
      break;
    case Op::kRgbx32Rgb:
      c.toRgbx32(d, stride, p.y.data(), w, h, p.yStride, p.u.data(), p.v.data(), cw, ch, p.uvStride,
                 0, flip);
      break;
    case Op::kRgbx32Bgr:
      c.toRgbx32(d, stride, p.y.data(), w, h, p.yStride, p.u.data(), p.v.data(), cw, ch, p.uvStride,
                 1, flip);
      break;
    case Op::kYuy2:
      c.toYuy2(d, stride / 2, p.y.data(), w, h, p.yStride, p.u.data(), p.v.data(), cw, ch,
               p.uvStride);
      break;
    case Op::kUyvy:
      c.toUyvy(d, stride / 2, p.y.data(), w, h, p.yStride, p.u.data(), p.v.data(), cw, ch,
               p.uvStride);
      break;
  }
  return out;
}

constexpr Op kAllOps[] = {Op::kRgb565,    Op::kBgr24,     Op::kRgb24, Op::kBgra32, Op::kRgba32,
                          Op::kRgbx32Rgb, Op::kRgbx32Bgr, Op::kYuy2,  Op::kUyvy};
// The conversions whose accelerated output must equal the plain one.
constexpr Op kExactOps[] = {Op::kRgb565,    Op::kBgra32, Op::kRgba32, Op::kRgbx32Rgb,
                            Op::kRgbx32Bgr, Op::kYuy2,   Op::kUyvy};

// Expected bytes of one pixel of a uniform picture in the plain conversions.
std::vector<uint8_t> plainPixel(Op op, int y, int u, int v, int alpha) {
  const bool scaled = op == Op::kBgr24 || op == Op::kRgb24;
  const Rgb c = referenceColour(y, u, v, scaled);
  const auto b = [](int x) { return static_cast<uint8_t>(x); };
  switch (op) {
    case Op::kRgb565: {
      const int word = (c.r >> 3) << 11 | (c.g >> 2) << 5 | (c.b >> 3);
      return {b(word & 0xFF), b(word >> 8)};
    }
    case Op::kBgr24: return {b(c.b), b(c.g), b(c.r)};
    case Op::kRgb24: return {b(c.r), b(c.g), b(c.b)};
    case Op::kBgra32: return {b(c.b), b(c.g), b(c.r), b(alpha)};
    case Op::kRgba32: return {b(c.r), b(c.g), b(c.b), b(alpha)};
    case Op::kRgbx32Rgb: return {b(c.r), b(c.g), b(c.b), 255};
    case Op::kRgbx32Bgr: return {b(c.b), b(c.g), b(c.r), 255};
    case Op::kYuy2: return {b(y), b(u)};  // first pixel of a pair: Y0 U
    case Op::kUyvy: return {b(u), b(y)};
  }
  return {};
}

struct Colour {
  const char* name;
  uint8_t y, u, v;
};
constexpr Colour kColours[] = {{"black", 16, 128, 128}, {"white", 235, 128, 128},
                               {"red", 81, 90, 240},    {"green", 145, 54, 34},
                               {"blue", 41, 240, 110},  {"extremes", 255, 0, 255},
                               {"zero", 0, 0, 0}};

TEST(YuvConverterTest, UniformColoursGiveTheFormulaValuesInEveryConversion) {
  YuvConverter plain;
  for (const Colour& colour : kColours) {
    Planes p(6, 4);
    p.fill(colour.y, colour.u, colour.v);
    std::fill(p.alpha.begin(), p.alpha.end(), 77);
    for (Op op : kAllOps) {
      const int bpp = bytesOf(op);
      const auto out = run(plain, op, p, 6 * bpp);
      const auto expected = plainPixel(op, colour.y, colour.u, colour.v, 77);
      for (int i = 0; i < 6 * 4; ++i) {
        for (int k = 0; k < bpp; ++k) {
          // Packed 4:2:2: odd pixels carry Y1 V / V Y1.
          uint8_t want = expected[static_cast<size_t>(k)];
          if ((op == Op::kYuy2 || op == Op::kUyvy) && i % 2 == 1) {
            want =
                op == Op::kYuy2 ? (k == 0 ? colour.y : colour.v) : (k == 0 ? colour.v : colour.y);
          }
          ASSERT_EQ(out[static_cast<size_t>(i * bpp + k)], want)
              << colour.name << " op " << static_cast<int>(op) << " pixel " << i << " byte " << k;
        }
      }
    }
  }
}

TEST(YuvConverterTest, BlackAndWhiteWithScaledAndRawLuma) {
  YuvConverter plain;
  Planes p(2, 2);
  p.fill(16, 128, 128);
  EXPECT_EQ(run(plain, Op::kBgr24, p, 6)[0], 0);
  EXPECT_EQ(run(plain, Op::kRgbx32Bgr, p, 8)[0], 16);
  p.fill(235, 128, 128);
  EXPECT_EQ(run(plain, Op::kRgb24, p, 6)[1], 254);
  EXPECT_EQ(run(plain, Op::kRgbx32Rgb, p, 8)[1], 235);
  // 5-6-5 of raw white 235: R 29, G 58, B 29.
  const auto w565 = run(plain, Op::kRgb565, p, 4);
  EXPECT_EQ(w565[0] | w565[1] << 8, 29 << 11 | 58 << 5 | 29);
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
      const int bpp = bytesOf(op);
      for (int32_t w : {5, 35}) {
        Planes p(w, 5);
        p.randomise(7);
        const int32_t stride = (w + 1) * bpp;  // one spare pixel per row
        const auto out = run(*c, op, p, stride);
        for (int32_t row = 0; row < 5; ++row) {
          for (int32_t x = 0; x < w + 1; ++x) {
            const bool written = row < 4 && x < w - 1;
            for (int k = 0; k < bpp; ++k) {
              const uint8_t b = out[static_cast<size_t>(row * stride + x * bpp + k)];
              if (!written) {
                ASSERT_EQ(b, kUntouched)
                    << "op " << static_cast<int>(op) << " w " << w << " row " << row << " x " << x;
              }
            }
          }
        }
      }
      Planes line(8, 1);
      line.randomise(3);
      const auto out = run(*c, op, line, 8 * bpp);
      EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == kUntouched; }))
          << "op " << static_cast<int>(op);
    }
  }
}

TEST(YuvConverterTest, StridesWiderThanTheRowAreHonoured) {
  YuvConverter plain;
  Planes tight(8, 4), wide(8, 4, 9);
  tight.randomise(11);
  for (int32_t row = 0; row < 4; ++row) {
    std::memcpy(&wide.y[static_cast<size_t>(row * wide.yStride)],
                &tight.y[static_cast<size_t>(row * 8)], 8);
    std::memcpy(&wide.alpha[static_cast<size_t>(row * wide.yStride)],
                &tight.alpha[static_cast<size_t>(row * 8)], 8);
  }
  for (int32_t row = 0; row < 2; ++row) {
    std::memcpy(&wide.u[static_cast<size_t>(row * wide.uvStride)],
                &tight.u[static_cast<size_t>(row * 4)], 4);
    std::memcpy(&wide.v[static_cast<size_t>(row * wide.uvStride)],
                &tight.v[static_cast<size_t>(row * 4)], 4);
  }
  for (Op op : kAllOps) {
    const int bpp = bytesOf(op);
    const auto a = run(plain, op, tight, 8 * bpp);
    const auto b = run(plain, op, wide, 8 * bpp + 6);
    for (int32_t row = 0; row < 4; ++row) {
      ASSERT_EQ(0, std::memcmp(&a[static_cast<size_t>(row * 8 * bpp)],
                               &b[static_cast<size_t>(row * (8 * bpp + 6))],
                               static_cast<size_t>(8 * bpp)))
          << "op " << static_cast<int>(op) << " row " << row;
    }
  }
}

// Expected accelerated 24-bit output from the emulated byte tables.
std::vector<uint8_t> quarterExpected(const Planes& p, int32_t stride, bool redFirst, int flip) {
  std::vector<uint8_t> out(static_cast<size_t>(stride) * p.height, kUntouched);
  const auto& ref = quarterReference();
  for (int32_t row = 0; row < p.height / 2 * 2; ++row) {
    const int32_t dstRow = flip ? p.height - 1 - row : row;
    for (int32_t x = 0; x < p.width / 2 * 2; ++x) {
      const size_t c = static_cast<size_t>(row / 2 * p.uvStride + x / 2);
      uint8_t bgr[3];
      ref.pixel(p.y[static_cast<size_t>(row * p.yStride + x)], p.u[c], p.v[c], bgr);
      uint8_t* o = &out[static_cast<size_t>(dstRow * stride + x * 3)];
      o[0] = redFirst ? bgr[2] : bgr[0];
      o[1] = bgr[1];
      o[2] = redFirst ? bgr[0] : bgr[2];
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
}

TEST(YuvConverterMmxTest, Width174FallsBackToThePlainConversion) {
  YuvConverter plain;
  YuvConverterMmx fast;
  Planes p(174, 10);
  p.randomise(42);
  for (Op op : {Op::kBgr24, Op::kRgb24}) {
    EXPECT_EQ(run(plain, op, p, 174 * 3), run(fast, op, p, 174 * 3));
  }
  // ...while 176 really takes the quarter-precision path, which differs.
  Planes q(176, 10);
  q.randomise(42);
  EXPECT_NE(run(plain, Op::kBgr24, q, 176 * 3), run(fast, Op::kBgr24, q, 176 * 3));
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

TEST(YuvConverterMmxTest, QuarterRuleSampleValues) {
  // Black and white on the quarter scale: 16 -> 0; 235 -> 4 x trunc(63.7) = 252.
  YuvConverterMmx fast;
  Planes p(16, 2);
  p.fill(16, 128, 128);
  EXPECT_EQ(run(fast, Op::kBgr24, p, 48)[0], 0);
  p.fill(235, 128, 128);
  EXPECT_EQ(run(fast, Op::kBgr24, p, 48)[0], 252);
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
