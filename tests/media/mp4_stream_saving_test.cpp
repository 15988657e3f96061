// Stream saving from the MP4 source: the elementary streams hold the
// configuration and every sample exactly as fed (again after a seek back),
// raw video the pictures stepped to, raw audio the decoder's PCM.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "media/mp4_test_support.h"
#include "support/temp_folder.h"

namespace strevana {
namespace {

using namespace test;  // NOLINT: the source-driving helpers

void append(Bytes& to, const Bytes& what) { to.insert(to.end(), what.begin(), what.end()); }

class Mp4StreamSaving : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return dir_.file(name); }
  testing::ScratchFolder dir_{"mp4-saving"};
};

TEST_F(Mp4StreamSaving, SeeksFeedFromTheSyncSampleAgainAndWriteNoPictureFile) {
  const std::string m4v = path("video.m4v"), yuv = path("clip.out.yuv");
  auto source =
      openClip("mpeg4_aac.mp4", kFormatYuy2, 0, {m4v.c_str(), nullptr, yuv.c_str(), nullptr, 1});
  const auto samples = test::readTrack("mpeg4_aac.mp4", 1).samples;
  const auto reference = test::loadReference("mpeg4_aac.mp4", "yuv420p");
  // Opening decodes the first picture: its sample follows the configuration.
  Bytes expected = source->videoConfig();
  ASSERT_FALSE(expected.empty());
  for (size_t i = 0; i < 10; ++i) {
    ASSERT_TRUE(i == 0 || request(*source, kRequestNext).ok) << i;
    append(expected, samples[i]);
    const Bytes picture = readFile(path("clip000" + std::to_string(i) + ".yuv"));
    EXPECT_EQ(test::md5Of(picture.data(), picture.size()), reference[i].md5) << i;
  }
  // One step back decodes again from the sync sample (the first, GOP of 12);
  // a seek decodes from there too, and neither writes a picture file.
  ASSERT_TRUE(request(*source, kRequestPrevious).ok);
  for (size_t i = 0; i < 9; ++i) append(expected, samples[i]);
  ASSERT_TRUE(request(*source, kRequestAtPosition).ok);
  append(expected, samples[0]);
  EXPECT_EQ(readFile(m4v), expected);
  EXPECT_FALSE(std::filesystem::exists(path("clip0010.yuv")));
}

// Played straight through from the start as the engine does (the picture
// decoded at open, then next pictures; sound from position 0, then next
// samples), each saved file equals what ffmpeg writes for the same file.
class Mp4StreamSavingStraightThrough : public Mp4StreamSaving,
                                       public ::testing::WithParamInterface<const char*> {};

TEST_P(Mp4StreamSavingStraightThrough, EverySampleOnceInOrderAsFfmpegWritesIt) {
  const std::string clip = GetParam();
  const std::string m4v = path("saved.m4v"), m4a = path("saved.m4a"), yuv = path("saved.yuv"),
                    pcm = path("saved.pcm");
  {
    auto source =
        openClip(clip, kFormatYuy2, 0, {m4v.c_str(), m4a.c_str(), yuv.c_str(), pcm.c_str()});
    ASSERT_TRUE(source->hasVideo && source->hasAudio);
    source->outputRate = source->decodedRate / 2;  // raw audio is saved before conversion
    source->outputChannels = 1;
    source->outputBits = 8;
    int pictures = 1;
    while (request(*source, kRequestNext).ok) ASSERT_LT(++pictures, 100000);
    EXPECT_GT(pictures, 1);
    soundRequests(*source, kRequestAtPosition);  // from 0, then on to the end
  }
  const std::string& dir = dir_.path();
  for (const std::string kind : {"v", "a"}) {
    // ffmpeg's dump_extra filter puts the configuration before the first packet.
    const std::string map = "-map 0:" + kind + ":0 -c copy -f data",
                      one = " -frames:" + kind + " 1";
    const Bytes first = ffmpegOutput(clip, map + one, dir, "first");
    Bytes stream = ffmpegOutput(clip, map + one + " -bsf:" + kind + " dump_extra", dir, "config");
    const Bytes all = ffmpegOutput(clip, map, dir, "all");
    ASSERT_TRUE(!first.empty() && stream.size() >= first.size() && all.size() > first.size())
        << kind;
    stream.insert(stream.end(), all.begin() + static_cast<std::ptrdiff_t>(first.size()), all.end());
    EXPECT_TRUE(readFile(kind == "v" ? m4v : m4a) == stream) << kind;
  }
  const Bytes raw = test::ffmpegOutput(clip, "-map 0:v:0 -f rawvideo -pix_fmt yuv420p", dir, "y");
  const Bytes sound = test::ffmpegOutput(clip, "-map 0:a:0 -f s16le", dir, "p");
  ASSERT_FALSE(raw.empty() || sound.empty());
  EXPECT_TRUE(readFile(yuv) == raw);
  EXPECT_TRUE(readFile(pcm) == sound);
}

INSTANTIATE_TEST_SUITE_P(Clips, Mp4StreamSavingStraightThrough,
                         ::testing::Values("mpeg4_aac.mp4", "mpeg4_bframes.mp4", "edit_midgop.mp4",
                                           "h263_amrnb.3gp"),
                         [](const auto& info) {
                           std::string name = info.param;
                           for (char& c : name) c = std::isalnum(c) ? c : '_';
                           return name;
                         });

}  // namespace
}  // namespace strevana
