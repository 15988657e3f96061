// Stream saving from the MP4 source: the elementary streams hold the
// configuration and every sample exactly as fed (again after a seek back),
// raw video the pictures stepped to, raw audio the decoder's PCM.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "media/mp4_file_source.h"
#include "media/mp4_test_support.h"
#include "support/temp_folder.h"

namespace strevana {
namespace {

using test::Bytes;
using test::fixture;
using test::readFile;

// Saving targets: elementary video, elementary audio, raw video, raw audio.
struct Targets {
  const char *m4v = nullptr, *m4a = nullptr, *yuv = nullptr, *pcm = nullptr;
  int32_t yuvPerFrame = 0;
};

std::unique_ptr<Mp4FileSource> openSaving(const std::string& clip, const Targets& t) {
  return std::make_unique<Mp4FileSource>(fixture(clip).c_str(), 0, kFormatYuy2, kPostfilterNone,
                                         t.m4v, t.m4a, t.yuv, t.pcm, t.yuvPerFrame, 0, 0, nullptr);
}

bool step(Mp4FileSource& source, FrameRequest request) {
  Bytes buffer(static_cast<size_t>(bufferBytes(source.outputFormat, source.width, source.height)));
  int32_t position = 0;
  return source.getVideoFrame(request, rowBytes(source.outputFormat, source.width), nullptr, 0, 0,
                              buffer.data(), position);
}

// Sound from position 0, then the next samples to the end, as the engine plays it.
void playSound(Mp4FileSource& source) {
  AudioChunk* chunks = nullptr;
  int32_t timeMs = 0;
  uint8_t changed = 0;
  for (FrameRequest r = kRequestAtPosition; source.getAudio(r, chunks, timeMs, changed);
       r = kRequestNext) {
    freeAudioChunkList(chunks);
    chunks = nullptr;
  }
}

void append(Bytes& to, const Bytes& what) { to.insert(to.end(), what.begin(), what.end()); }

class Mp4StreamSaving : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return dir_.file(name); }
  testing::ScratchFolder dir_{"mp4-saving"};
};

TEST_F(Mp4StreamSaving, SeeksFeedFromTheSyncSampleAgainAndWriteNoPictureFile) {
  const std::string m4v = path("video.m4v"), yuv = path("clip.out.yuv");
  auto source = openSaving("mpeg4_aac.mp4", {m4v.c_str(), nullptr, yuv.c_str(), nullptr, 1});
  const auto samples = test::readTrack("mpeg4_aac.mp4", 1).samples;
  const auto reference = test::loadReference("mpeg4_aac.mp4", "yuv420p");
  // Opening decodes the first picture: its sample follows the configuration.
  Bytes expected = source->videoConfig();
  ASSERT_FALSE(expected.empty());
  for (size_t i = 0; i < 10; ++i) {
    ASSERT_TRUE(i == 0 || step(*source, kRequestNext)) << i;
    append(expected, samples[i]);
    const Bytes picture = readFile(path("clip000" + std::to_string(i) + ".yuv"));
    EXPECT_EQ(test::md5Of(picture.data(), picture.size()), reference[i].md5) << i;
  }
  // One step back decodes again from the sync sample (the first, GOP of 12);
  // a seek decodes from there too, and neither writes a picture file.
  ASSERT_TRUE(step(*source, kRequestPrevious));
  for (size_t i = 0; i < 9; ++i) append(expected, samples[i]);
  ASSERT_TRUE(step(*source, kRequestAtPosition));
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
    auto source = openSaving(clip, {m4v.c_str(), m4a.c_str(), yuv.c_str(), pcm.c_str()});
    ASSERT_TRUE(source->hasVideo && source->hasAudio);
    source->outputRate = source->decodedRate / 2;  // raw audio is saved before conversion
    source->outputChannels = 1;
    source->outputBits = 8;
    int pictures = 1;
    while (step(*source, kRequestNext)) ASSERT_LT(++pictures, 100000);
    EXPECT_GT(pictures, 1);
    playSound(*source);
  }
  const std::string& dir = dir_.path();
  for (const std::string kind : {"v", "a"}) {
    const auto config = test::ffmpegConfig(clip, kind, dir);
    ASSERT_TRUE(config.has_value()) << kind;
    Bytes stream = *config;
    append(stream, test::ffmpegOutput(clip, "-map 0:" + kind + ":0 -c copy -f data", dir, "es"));
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
