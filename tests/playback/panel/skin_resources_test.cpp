#include "playback/panel/skin_resources.h"

#include <gtest/gtest.h>

#include <set>

namespace strevana {
namespace {

struct Expected {
  int32_t id, width, height;
};

TEST(SkinResources, EveryPictureHasItsListedSize) {
  const Expected expected[] = {
      {133, 15, 13},  {134, 17, 13},  {139, 369, 13}, {137, 15, 216},  {138, 17, 216},
      {135, 15, 72},  {140, 303, 72}, {136, 122, 72}, {166, 4, 8},     {167, 4, 8},
      {168, 1, 8},    {169, 16, 8},
  };
  for (const Expected& e : expected) {
    const auto bitmap = loadSkinBitmap(e.id);
    ASSERT_NE(bitmap, nullptr) << e.id;
    EXPECT_EQ(bitmap->width(), e.width) << e.id;
    EXPECT_EQ(bitmap->height(), e.height) << e.id;
    EXPECT_EQ(bitmap->image().format(), QImage::Format_RGB32) << e.id;
  }
  for (int32_t id : {132, 141, 142, 143, 145, 146, 147, 148, 161, 157, 158, 160, 162, 163, 164,
                     165, 156, 153, 154, 155, 151, 149, 152, 150}) {
    const auto bitmap = loadSkinBitmap(id);
    ASSERT_NE(bitmap, nullptr) << id;
    EXPECT_EQ(bitmap->width(), 28) << id;
    EXPECT_EQ(bitmap->height(), 28) << id;
  }
}

TEST(SkinResources, ButtonStatesLookDifferent) {
  for (size_t b = 0; b < 6; ++b) {
    std::set<QByteArray> seen;
    for (size_t s = 0; s < 4; ++s) {
      const auto bitmap = loadSkinBitmap(kSkinLoadOrder[8 + 4 * b + s]);
      ASSERT_NE(bitmap, nullptr);
      const QImage& img = bitmap->image();
      seen.insert(QByteArray(reinterpret_cast<const char*>(img.constBits()),
                             static_cast<qsizetype>(img.sizeInBytes())));
    }
    EXPECT_EQ(seen.size(), 4u) << "button " << b;
  }
}

TEST(SkinResources, LoadOrderCoversThe36SkinIdsOnceAndUnknownIdsGiveNothing) {
  std::set<int32_t> ids(kSkinLoadOrder.begin(), kSkinLoadOrder.end());
  EXPECT_EQ(ids.size(), 36u);
  EXPECT_EQ(*ids.begin(), 132);
  EXPECT_EQ(*ids.rbegin(), 169);
  EXPECT_EQ(ids.count(144), 0u);
  EXPECT_EQ(ids.count(159), 0u);
  // Unknown ids give nothing.
  EXPECT_EQ(loadSkinBitmap(144), nullptr);
  EXPECT_EQ(loadSkinBitmap(159), nullptr);
  EXPECT_EQ(loadSkinBitmap(0), nullptr);
  EXPECT_TRUE(loadIconImages(109).empty());
}

TEST(SkinResources, StillPictureAndIcons) {
  const QImage still = loadStillPicture();
  EXPECT_EQ(still.size(), QSize(320, 240));
  EXPECT_EQ(still.format(), QImage::Format_RGB32);
  const auto still179 = loadSkinBitmap(kStillPictureId);
  ASSERT_NE(still179, nullptr);
  EXPECT_EQ(still179->width(), 320);

  const auto large = loadIconImages(kIconLarge);
  const auto small = loadIconImages(kIconSmall);
  ASSERT_EQ(large.size(), 5u);
  ASSERT_EQ(small.size(), 3u);
  EXPECT_EQ(small.front().size(), QSize(16, 16));
  EXPECT_EQ(large.back().size(), QSize(256, 256));
  EXPECT_TRUE(large.front().hasAlphaChannel());
}

}  // namespace
}  // namespace strevana
