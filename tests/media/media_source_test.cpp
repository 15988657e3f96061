// The base source's own rules: its name, the still picture, and where the
// stream-saving helpers write.
#include "media/media_source.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "media/mp4_test_support.h"
#include "media/stream_saving.h"
#include "support/temp_folder.h"

namespace strevana {
namespace {

using test::Bytes;
using test::readFile;

// The smallest concrete source, for the base class's own behaviour.
class BareSource : public MediaSource {
 public:
  bool getVideoFrame(FrameRequest, int32_t, const uint8_t*, int32_t, int32_t, uint8_t*,
                     int32_t&) override {
    return false;
  }
  bool getAudio(FrameRequest, AudioChunk*&, int32_t&, uint8_t&) override { return false; }
};

TEST(MediaSourceTest, NamesUpTo255CharactersAreKept) {
  BareSource s;
  const std::string longest(255, 'n'), tooLong(256, 'n');
  // clang-format off
  const struct { const char* given; bool kept; } cases[] = {
      {"clip.mp4", true}, {longest.c_str(), true}, {tooLong.c_str(), false}, {nullptr, false}};
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(s.setName(c.given), c.kept);
    EXPECT_STREQ(s.name, c.kept ? c.given : "");
  }
}

TEST(MediaSourceStillPictureTest, OnlyFourByteFormatsAndWideEnoughStridesGetIt) {
  std::vector<uint32_t> pixels(5 * 3);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = 0x01020304u * static_cast<uint32_t>(i + 1);
  const auto* src = reinterpret_cast<const uint8_t*>(pixels.data());
  BareSource source;
  source.width = 5;
  source.height = 3;
  source.stillPicture = pixels.data();
  // clang-format off
  const struct { OutputFormat format; int32_t stride; bool drawn; } cases[] = {
      {kFormatBgrx32, 20, true}, {kFormatBgrx32, 32, true}, {8, 20, true}, {8, 27, true},
      {kFormatBgrx32, 19, false}, {kFormatBgrx32, -20, false}, {kFormatIyuv, 20, false},
      {kFormatYuy2, 20, false}, {kFormatBgr24, 20, false}, {7, 20, false}, {0, 20, false},
  };
  // clang-format on
  for (const auto& c : cases) {
    source.setOutputFormat(c.format);
    Bytes out(200, 0xCC);
    uint8_t* dst = out.data() + (c.stride < 0 ? 100 : 0);
    source.drawStillPicture(c.stride, dst);
    source.drawStillPicture(c.stride, dst);  // each call starts from the first row again
    Bytes want(200, 0xCC);
    for (int32_t row = 0; c.drawn && row < 3; ++row)
      std::memcpy(&want[static_cast<size_t>(row * c.stride)], src + row * 20, 20);
    EXPECT_EQ(out, want) << c.format << " stride " << c.stride;
  }
}

// ---- stream saving ----

class StreamSavingTest : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return dir_.file(name); }
  testing::ScratchFolder dir_{"stream-saving"};
  BareSource source;
};

TEST_F(StreamSavingTest, StreamsStartWithTheWholeConfiguration) {
  // Short and long configurations alike: nothing of the headers may be cut.
  Bytes config(24);
  for (size_t i = 0; i < config.size(); ++i) config[i] = static_cast<uint8_t>(i);
  const std::string ten = path("ten.m4v"), full = path("full.m4v"), audio = path("a.m4a");
  source.setVideoStreamFile(ten.c_str(), config.data(), 10);
  source.setVideoStreamFile(full.c_str(), config.data(), 24);
  source.setAudioStreamFile(audio.c_str(), config.data(), 2);
  appendVideoStream(source, config.data() + 5, 2);
  appendAudioStream(source, config.data() + 7, 1);
  EXPECT_EQ(readFile(ten), Bytes(config.begin(), config.begin() + 10));  // no longer written
  config.insert(config.end(), {5, 6});
  EXPECT_EQ(readFile(full), config);
  EXPECT_EQ(readFile(audio), (Bytes{0, 1, 7}));
  // Setting the same path again truncates; a null path switches saving off.
  source.setVideoStreamFile(full.c_str(), nullptr, 0);
  source.setAudioStreamFile(nullptr, nullptr, 0);
  appendAudioStream(source, config.data(), 2);
  EXPECT_EQ(readFile(full).size() + readFile(audio).size() + source.audioStreamFile.size(), 3u);
}

TEST_F(StreamSavingTest, UncreatableTargetsLeaveSavingOff) {
  const std::string bad = path("missing-folder/x.m4v");
  const uint8_t data[] = {1, 2, 3};
  source.setVideoStreamFile(bad.c_str(), data, 3);
  source.setAudioStreamFile(bad.c_str(), data, 3);
  source.setRawAudioFile(bad.c_str());
  source.setRawVideoFile(bad.c_str(), 0);
  EXPECT_EQ(
      source.videoStreamFile + source.audioStreamFile + source.rawAudioFile + source.rawVideoFile,
      "");
  EXPECT_FALSE(std::filesystem::exists(path("missing-folder")));
}

TEST_F(StreamSavingTest, PerFrameNamesNumberTheFileNameUpToItsFirstDot) {
  // Numbered from 0000 and wrapping after 9999; nothing is created up front.
  source.setRawVideoFile(path("clip.out.yuv").c_str(), 1);
  const uint8_t first[] = {1}, second[] = {2, 2};
  writeRawVideoPicture(source, first, 1);
  writeRawVideoPicture(source, second, 2);
  EXPECT_FALSE(std::filesystem::exists(path("clip.out.yuv")));
  EXPECT_EQ(readFile(path("clip0000.yuv")), Bytes{1});
  EXPECT_EQ(readFile(path("clip0001.yuv")), (Bytes{2, 2}));
  source.rawVideoFileCounter = 9999;
  EXPECT_EQ(nextPerFrameName(source), path("clip9999.yuv"));
  EXPECT_EQ(nextPerFrameName(source), path("clip0000.yuv"));
  std::filesystem::create_directory(path("takes.d"));
  // A name longer than a save path can hold skips the picture.
  const std::string longest(MediaSource::kSavePathCapacity - 10 - dir_.path().size(), 'n');
  // clang-format off
  const struct { std::string given, expected; } cases[] = {
      {"takes.d/clip.yuv", path("takes.d/clip0000.yuv")},
      {"takes.d/noext", path("takes.d/noext0000.yuv")},
      {"takes.d/.hidden.yuv", path("takes.d/0000.yuv")},
      {longest, path(longest + "0000.yuv")},
      {longest + "n", ""},
  };
  // clang-format on
  for (const auto& c : cases) {
    source.setRawVideoFile(path(c.given).c_str(), 1);
    ASSERT_EQ(source.rawVideoFile, path(c.given));
    source.rawVideoFileCounter = 0;
    EXPECT_EQ(nextPerFrameName(source), c.expected) << c.given;
  }
}

}  // namespace
}  // namespace strevana
