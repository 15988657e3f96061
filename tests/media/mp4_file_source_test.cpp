#include "media/mp4_file_source.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "media/mp4_test_support.h"

namespace strevana {
namespace {

using test::fixture;

std::unique_ptr<Mp4FileSource> openClip(const std::string& name, OutputFormat format = kFormatYuy2,
                                        PostfilterMode postfilter = 0) {
  return std::make_unique<Mp4FileSource>(fixture(name).c_str(), 0, format, postfilter, nullptr,
                                         nullptr, nullptr, nullptr, 0, 64, 48, nullptr);
}

[[maybe_unused]] const char* pixfmtOf(OutputFormat format) {
  switch (format) {
    case kFormatIyuv: return "yuv420p";
    case kFormatYuy2: return "yuyv422";
    case kFormatBgr24: return "bgr24";
    default: return "bgra";
  }
}

// Decodes one picture of a source into a tightly packed buffer.
struct Picture {
  bool ok = false;
  int32_t positionMs = 0;
  std::string md5;
};

Picture request(Mp4FileSource& source, FrameRequest what, int32_t positionMs = 0) {
  const int32_t stride = rowBytes(source.outputFormat, source.width);
  std::vector<uint8_t> buffer(static_cast<size_t>(bufferBytes(source.outputFormat, source.width, source.height)));
  Picture p;
  p.positionMs = positionMs;
  p.ok = source.getVideoFrame(what, stride, nullptr, 0, 0, buffer.data(), p.positionMs);
  if (p.ok) p.md5 = test::md5Of(buffer.data(), buffer.size());
  return p;
}

TEST(Mp4FileSourceOpen, ChoosesTracksAndReadsSizes) {
  auto source = openClip("mpeg4_aac.mp4");
  ASSERT_TRUE(source->hasVideo);
  ASSERT_TRUE(source->hasAudio);
  EXPECT_EQ(source->videoCodec, kVideoCodecMpeg4);
  EXPECT_EQ(source->audioCodec, kAudioCodecAac);
  EXPECT_EQ(source->width, 176);
  EXPECT_EQ(source->height, 144);
  EXPECT_EQ(source->displayWidth, 176);
  EXPECT_EQ(source->displayHeight, 144);
  EXPECT_EQ(source->frameCount, 75);
  EXPECT_EQ(source->durationMs, 3000);
  EXPECT_EQ(source->videoTimeScale(), 25u);
  EXPECT_EQ(source->decodedRate, 44100);
  EXPECT_EQ(source->decodedChannels, 2);
  EXPECT_EQ(source->decodedBits, 16);
  EXPECT_GT(source->audioSampleCount, 100);
  ASSERT_TRUE(source->metadataText);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(source->metadataText.get())),
            "Title: Fixture clip;Date: 2026-12-06;(c): Korvello test media;Description: Test pattern with tone");
  EXPECT_EQ(source->metadataLength, std::string("Title: Fixture clip;Date: 2026-12-06;(c): Korvello test media;Description: Test pattern with tone").size());
}

TEST(Mp4FileSourceSeek, SmokeFirstPicture) {
  auto source = openClip("mpeg4_bframes.mp4", kFormatIyuv);
  auto reference = test::loadReference("mpeg4_bframes.mp4", "yuv420p");
  ASSERT_FALSE(reference.empty());
  Picture p = request(*source, kRequestFirst);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.md5, reference[0].md5);
  for (size_t i = 1; i < reference.size(); ++i) {
    p = request(*source, kRequestNext);
    ASSERT_TRUE(p.ok) << i;
    EXPECT_EQ(p.md5, reference[i].md5) << i;
  }
  EXPECT_FALSE(request(*source, kRequestNext).ok);
}

}  // namespace
}  // namespace strevana
