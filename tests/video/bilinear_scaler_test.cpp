#include "video/bilinear_scaler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace strevana {
namespace {

// Centre-sampled taps worked out by hand: s = (d + 0.5) S / D - 0.5.
TEST(BilinearScalerTap, SamplesAtPixelCentresAndHoldsTheEdges) {
  const struct {
    int64_t d, source, dest;
    int32_t index;
    uint32_t weight;
  } cases[] = {
      {0, 2, 4, 0, 0},                       // s = -0.25: before the first centre, edge pixel alone
      {1, 2, 4, 0, 64},                      // s = 0.25
      {2, 2, 4, 0, 192},                     // s = 0.75
      {3, 2, 4, 1, 0},                       // s = 1.25: past the last centre
      {0, 4, 2, 0, 128},                     // halving: the mean of each pair
      {1, 4, 2, 2, 128}, {5, 7, 7, 5, 0},    // same size: the pixel itself
      {0, 1, 9, 0, 0},                       // one source pixel
      {8, 1, 9, 0, 0},   {2, 3, 8, 0, 112},  // s = 0.4375
  };
  for (const auto& c : cases) {
    const BilinearScaler::Tap t = BilinearScaler::tap(c.d, c.source, c.dest);
    EXPECT_EQ(t.index, c.index) << c.d << " of " << c.dest << " over " << c.source;
    EXPECT_EQ(t.weight, c.weight) << c.d << " of " << c.dest << " over " << c.source;
  }
}

std::vector<uint8_t> pixels(std::initializer_list<uint32_t> values) {
  std::vector<uint8_t> bytes(values.size() * 4);
  size_t i = 0;
  for (uint32_t v : values) std::memcpy(bytes.data() + 4 * i++, &v, 4);
  return bytes;
}

uint32_t at(const std::vector<uint8_t>& bytes, size_t i) {
  uint32_t v;
  std::memcpy(&v, bytes.data() + 4 * i, 4);
  return v;
}

TEST(BilinearScalerRow, DoublingARampBlendsPerByteWithoutCarries) {
  const auto src = pixels({0x00000000u, 0x00ffffffu});
  BilinearScaler scaler;
  scaler.prepare(2, 4);
  std::vector<uint8_t> dst(16);
  scaler.scaleRow(src.data(), dst.data(), 0, 4);
  // 255 x 64 / 256 = 63.75 and 255 x 192 / 256 = 191.25, truncated.
  EXPECT_EQ(at(dst, 0), 0x00000000u);
  EXPECT_EQ(at(dst, 1), 0x003f3f3fu);
  EXPECT_EQ(at(dst, 2), 0x00bfbfbfu);
  EXPECT_EQ(at(dst, 3), 0x00ffffffu);
  // A column range gives the same pixels as the whole row.
  std::vector<uint8_t> part(8);
  scaler.scaleRow(src.data(), part.data(), 1, 2);
  EXPECT_EQ(at(part, 0), 0x003f3f3fu);
  EXPECT_EQ(at(part, 1), 0x00bfbfbfu);
}

TEST(BilinearScalerRow, OneColourStaysExactAtEverySize) {
  const uint32_t colour = 0x00c83214u;
  for (int32_t source : {1, 2, 7, 176}) {
    std::vector<uint8_t> src(static_cast<size_t>(source) * 4);
    for (int32_t i = 0; i < source; ++i) std::memcpy(src.data() + 4 * i, &colour, 4);
    for (int32_t dest : {1, 3, 176, 401, 1920}) {
      BilinearScaler scaler;
      scaler.prepare(source, dest);
      std::vector<uint8_t> dst(static_cast<size_t>(dest) * 4);
      scaler.scaleRow(src.data(), dst.data(), 0, dest);
      for (int32_t i = 0; i < dest; ++i) {
        ASSERT_EQ(at(dst, static_cast<size_t>(i)), colour)
            << source << " -> " << dest << " at " << i;
      }
    }
  }
}

// The renderer keeps one scaler and prepares it for each new size.
TEST(BilinearScalerRow, APreparedScalerServesANewSizeLikeAFreshOne) {
  const auto src = pixels({0x00000000u, 0x00404040u, 0x00808080u, 0x00c0c0c0u});
  BilinearScaler reused;
  const struct { int32_t source, dest; } sizes[] = {{4, 9}, {4, 5}, {3, 5}};
  for (const auto& s : sizes) {
    BilinearScaler fresh;
    fresh.prepare(s.source, s.dest);
    reused.prepare(s.source, s.dest);
    std::vector<uint8_t> want(static_cast<size_t>(s.dest) * 4), got(want.size());
    fresh.scaleRow(src.data(), want.data(), 0, s.dest);
    reused.scaleRow(src.data(), got.data(), 0, s.dest);
    EXPECT_EQ(got, want) << s.source << " -> " << s.dest;
  }
}

TEST(BilinearScalerBlend, RowsBlendByTheWeightAndComeOutOpaque) {
  const auto a = pixels({0x00000000u, 0x12345678u});
  const auto b = pixels({0x00ff8040u, 0x12345678u});
  std::vector<uint8_t> dst(8);
  BilinearScaler::blendRows(a.data(), b.data(), 128, dst.data(), 2);
  EXPECT_EQ(at(dst, 0), 0xff7f4020u);
  EXPECT_EQ(at(dst, 1), 0xff345678u);
  BilinearScaler::blendRows(a.data(), b.data(), 0, dst.data(), 2);
  EXPECT_EQ(at(dst, 0), 0xff000000u);
}

}  // namespace
}  // namespace strevana
