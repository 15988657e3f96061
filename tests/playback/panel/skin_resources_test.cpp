#include "playback/panel/skin_resources.h"

#include <gtest/gtest.h>

#include <set>

namespace strevana {
namespace {

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

TEST(SkinResources, IconSetsLoadAndUnknownIdsGiveNothing) {
  EXPECT_FALSE(loadIconImages(kIconLarge).empty());
  EXPECT_FALSE(loadIconImages(kIconSmall).empty());
  for (int32_t id : {0, 144, 159}) EXPECT_EQ(loadSkinBitmap(id), nullptr) << id;
  EXPECT_TRUE(loadIconImages(109).empty());
}

}  // namespace
}  // namespace strevana
