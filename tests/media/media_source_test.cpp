#include "media/media_source.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "media/bare_source.h"

namespace strevana {
namespace {

namespace fs = std::filesystem;

TEST(MediaSourceTest, DefaultsAndBaseSlotsAnswerWithoutEffect) {
  BareSource s;
  EXPECT_STREQ(s.name, "");
  EXPECT_EQ(s.pixelAspect, 1.0);
  EXPECT_EQ(s.objectPositionX, 0.5f);
  EXPECT_EQ(s.objectPositionY, 0.5f);
  EXPECT_EQ(s.hasVideo + s.hasAudio + s.live + s.streaming + s.frameCount + s.width + s.height, 0);
  EXPECT_EQ(s.metadataText, nullptr);
  EXPECT_EQ(s.stillPicture, nullptr);
  EXPECT_FALSE(s.prefersRgbOutput());
  EXPECT_TRUE(s.setOutputFormat(kFormatBgr24));
  EXPECT_EQ(s.outputFormat, kFormatBgr24);
  EXPECT_EQ(s.videoByteCount() + s.audioByteCount(), -2);
  int32_t h = 1, m = 2, sec = 3, f = 4;
  EXPECT_FALSE(s.getTimecode(h, m, sec, f));
  EXPECT_EQ(h * 1000 + m * 100 + sec * 10 + f, 1234);  // left alone
  EXPECT_FALSE(s.setTimecode(1, 2, 3, 4));
  EXPECT_EQ(s.videoPacketsReceived() + s.videoPacketsLost() + s.audioPacketsReceived() +
                s.audioPacketsLost(),
            0u);
  EXPECT_FALSE(s.awaitingData());
  MediaSource::ReceptionFigures video, audio;
  EXPECT_FALSE(s.receptionFigures(video, audio));
}

TEST(MediaSourceTest, NamesUpTo255CharactersAreKept) {
  BareSource s;
  EXPECT_TRUE(s.setName("clip.mp4"));
  EXPECT_STREQ(s.name, "clip.mp4");
  const std::string longest(255, 'n');
  EXPECT_TRUE(s.setName(longest.c_str()));
  EXPECT_EQ(std::string(s.name), longest);
  EXPECT_FALSE(s.setName(std::string(256, 'n').c_str()));
  EXPECT_STREQ(s.name, "");
  EXPECT_FALSE(s.setName(nullptr));
}

// ---- still picture ----------------------------------------------------------

struct StillFixture {
  StillFixture(int32_t w, int32_t h) : pixels(static_cast<size_t>(w) * h) {
    for (size_t i = 0; i < pixels.size(); ++i)
      pixels[i] = 0x01020304u * static_cast<uint32_t>(i + 1);
    source.width = w;
    source.height = h;
    source.stillPicture = pixels.data();
  }
  std::vector<uint32_t> pixels;
  BareSource source;
};

TEST(MediaSourceStillPictureTest, CopiesWholeOrRowByRowIntoFourByteFormats) {
  StillFixture f(5, 3);
  const auto* src = reinterpret_cast<const uint8_t*>(f.pixels.data());
  for (OutputFormat format : {kFormatBgrx32, 8}) {
    f.source.setOutputFormat(format);
    std::vector<uint8_t> tight(5 * 4 * 3, 0xCC);
    f.source.drawStillPicture(20, tight.data());
    EXPECT_EQ(0, std::memcmp(tight.data(), src, tight.size()));

    const int32_t stride = 20 + 12;
    std::vector<uint8_t> wide(static_cast<size_t>(stride) * 3, 0xCC);
    f.source.drawStillPicture(stride, wide.data());
    f.source.drawStillPicture(stride, wide.data());  // each call starts from the first row again
    for (int32_t row = 0; row < 3; ++row) {
      EXPECT_EQ(0, std::memcmp(&wide[static_cast<size_t>(row * stride)], src + row * 20, 20));
      for (int32_t x = 20; x < stride; ++x)
        EXPECT_EQ(wide[static_cast<size_t>(row * stride + x)], 0xCC);
    }
  }
}

TEST(MediaSourceStillPictureTest, OtherFormatsAndNarrowStridesLeaveTheBufferUntouched) {
  StillFixture f(4, 2);
  for (OutputFormat format : {kFormatIyuv, kFormatYuy2, kFormatBgr24, 7, 0}) {
    f.source.setOutputFormat(format);
    std::vector<uint8_t> out(64, 0xCC);
    f.source.drawStillPicture(16, out.data());
    EXPECT_EQ(out, std::vector<uint8_t>(64, 0xCC)) << format;
  }
  f.source.setOutputFormat(kFormatBgrx32);
  std::vector<uint8_t> out(64, 0xCC);
  f.source.drawStillPicture(15, out.data());
  f.source.drawStillPicture(-16, out.data() + 32);
  EXPECT_EQ(out, std::vector<uint8_t>(64, 0xCC));
}

}  // namespace
}  // namespace strevana
