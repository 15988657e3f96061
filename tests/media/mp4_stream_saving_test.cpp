// Stream saving from the MP4 source: the elementary streams hold the
// configuration and every sample exactly as fed (again after a seek back),
// raw video holds the pictures stepped to, raw audio the decoder's PCM before
// conversion. The file-level rules (targets, per-picture names) are in
// stream_saving_test.cpp.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "media/codec/mp4_file.h"
#include "media/mp4_file_source.h"
#include "media/ffmpeg_output.h"
#include "media/mp4_test_support.h"

namespace strevana {
namespace {

using test::fixture;
using test::readFile;

class Mp4StreamSaving : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ::testing::TempDir() + "mp4_saving_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Sample bytes straight from the container, track by type.
  static std::vector<std::vector<uint8_t>> samplesOf(const std::string& clip, int32_t wantedType) {
    std::vector<std::vector<uint8_t>> result;
    CMp4File* file = nullptr;
    CMp4File::createInstance(file);
    if (file->open(fixture(clip).c_str(), 0, 0) == kMp4Ok) {
      uint32_t tracks = 0;
      file->getTrackCount(tracks);
      for (uint32_t t = 1; t <= tracks; ++t) {
        CMp4Track* track = nullptr;
        file->getTrack(t, track);
        int32_t type = 0;
        track->getType(type);
        if (type != wantedType) continue;
        uint32_t count = 0;
        track->getSampleCount(count);
        for (uint32_t n = 1; n <= count; ++n) {
          uint32_t size = 0, length = 0;
          track->getSampleSize(n, size);
          std::vector<uint8_t> bytes(size);
          track->readSample(n, size, length, bytes.data());
          result.push_back(bytes);
        }
      }
    }
    CMp4File::destroyInstance(file);
    return result;
  }

  static void append(std::vector<uint8_t>& to, const std::vector<uint8_t>& what) {
    to.insert(to.end(), what.begin(), what.end());
  }

  static std::vector<uint8_t> picture(Mp4FileSource& source, FrameRequest request) {
    std::vector<uint8_t> buffer(
        static_cast<size_t>(bufferBytes(source.outputFormat, source.width, source.height)));
    int32_t position = 0;
    if (!source.getVideoFrame(request, rowBytes(source.outputFormat, source.width), nullptr, 0, 0,
                              buffer.data(), position)) {
      buffer.clear();
    }
    return buffer;
  }

  std::string dir_;
};

TEST_F(Mp4StreamSaving, VideoElementaryStreamIsConfigPlusSamplesAsFed) {
  const std::string path = dir_ + "video.m4v";
  Mp4FileSource source(fixture("mpeg4_aac.mp4").c_str(), 0, kFormatYuy2, 0, path.c_str(), nullptr,
                       nullptr, nullptr, 0, 0, 0, nullptr);
  ASSERT_TRUE(source.hasVideo);
  const auto samples = samplesOf("mpeg4_aac.mp4", kMp4TrackVideo);
  const auto& config = source.videoConfig();
  ASSERT_FALSE(config.empty());

  // Opening decodes the first picture: its sample follows the configuration.
  std::vector<uint8_t> expected(config.begin(), config.end());
  append(expected, samples[0]);
  EXPECT_EQ(readFile(path), expected);

  for (int i = 1; i < 10; ++i) {
    ASSERT_FALSE(picture(source, kRequestNext).empty());
    append(expected, samples[static_cast<size_t>(i)]);
  }
  EXPECT_EQ(readFile(path), expected);

  // One step back decodes again from the sync sample (the first, GOP of 12).
  ASSERT_FALSE(picture(source, kRequestPrevious).empty());
  for (int i = 0; i < 9; ++i) append(expected, samples[static_cast<size_t>(i)]);
  EXPECT_EQ(readFile(path), expected);
}

TEST_F(Mp4StreamSaving, RawAudioHoldsDecoderPcmBeforeConversion) {
  const std::string path = dir_ + "audio.pcm";
  Mp4FileSource converted(fixture("mpeg4_aac.mp4").c_str(), 0, kFormatYuy2, 0, nullptr, nullptr,
                          nullptr, path.c_str(), 0, 0, 0, nullptr);
  Mp4FileSource plain(fixture("mpeg4_aac.mp4").c_str(), 0, kFormatYuy2, 0, nullptr, nullptr,
                      nullptr, nullptr, 0, 0, 0, nullptr);
  converted.outputRate = 22050;
  converted.outputChannels = 1;
  converted.outputBits = 8;
  plain.outputRate = plain.decodedRate;
  plain.outputChannels = plain.decodedChannels;
  plain.outputBits = 16;

  std::vector<uint8_t> decoded;
  int64_t convertedBytes = 0;
  for (int i = 0; i < 5; ++i) {
    AudioChunk* a = nullptr;
    AudioChunk* b = nullptr;
    int32_t timeMs = 0;
    uint8_t changed = 0;
    const FrameRequest r = i ? kRequestNext : kRequestFirst;
    ASSERT_TRUE(converted.getAudio(r, a, timeMs, changed));
    ASSERT_TRUE(plain.getAudio(r, b, timeMs, changed));
    for (AudioChunk* c = a; c; c = c->next) convertedBytes += c->size;
    for (AudioChunk* c = b; c; c = c->next)
      decoded.insert(decoded.end(), c->data.get(), c->data.get() + c->size);
    freeAudioChunkList(a);
    freeAudioChunkList(b);
  }
  EXPECT_EQ(readFile(path), decoded);
  EXPECT_EQ(static_cast<int64_t>(decoded.size()),
            convertedBytes * 8);  // 16-bit stereo vs 8-bit mono, half rate
}

TEST_F(Mp4StreamSaving, RawVideoPerFrameFilesAreTheSteppedPictures) {
  const std::string path = dir_ + "clip.out.yuv";
  Mp4FileSource source(fixture("mpeg4_bframes.mp4").c_str(), 0, kFormatYuy2, 0, nullptr, nullptr,
                       path.c_str(), nullptr, 1, 0, 0, nullptr);
  ASSERT_TRUE(source.hasVideo);
  auto reference = test::loadReference("mpeg4_bframes.mp4", "yuv420p");
  // The picture decoded at open is the first file; pictures decoded by
  // seeks are not written.
  EXPECT_TRUE(std::filesystem::exists(dir_ + "clip0000.yuv"));
  ASSERT_FALSE(picture(source, kRequestAtPosition).empty());
  EXPECT_FALSE(std::filesystem::exists(dir_ + "clip0001.yuv"));

  for (int i = 1; i <= 3; ++i) ASSERT_FALSE(picture(source, kRequestNext).empty());
  for (int i = 0; i <= 3; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "clip%04d.yuv", i);
    const auto bytes = readFile(dir_ + name);
    ASSERT_EQ(bytes.size(), 320u * 240u * 3u / 2u) << name;
    EXPECT_EQ(test::md5Of(bytes.data(), bytes.size()), reference[static_cast<size_t>(i)].md5)
        << name;
  }
}

// Played straight through from the start, as the engine does (the picture
// decoded at open, then next pictures; sound from position 0, then next
// samples), each saved file equals what ffmpeg writes for the same file.
struct StraightThroughCase {
  const char* clip;
  bool audioStream;  // the audio track's access units are ffmpeg's packets
};

class Mp4StreamSavingStraightThrough : public Mp4StreamSaving,
                                       public ::testing::WithParamInterface<StraightThroughCase> {};

TEST_P(Mp4StreamSavingStraightThrough, EverySampleOnceInOrderAsFfmpegWritesIt) {
  const std::string clip = GetParam().clip;
  const std::string m4v = dir_ + "saved.m4v", m4a = dir_ + "saved.m4a", yuv = dir_ + "saved.yuv",
                    pcm = dir_ + "saved.pcm";
  {
    Mp4FileSource source(fixture(clip).c_str(), 0, kFormatYuy2, kPostfilterNone, m4v.c_str(),
                         m4a.c_str(), yuv.c_str(), pcm.c_str(), 0, 0, 0, nullptr);
    ASSERT_TRUE(source.hasVideo && source.hasAudio);
    source.outputRate = source.decodedRate;
    source.outputChannels = source.decodedChannels;
    source.outputBits = 16;
    int pictures = 1;
    while (!picture(source, kRequestNext).empty()) ASSERT_LT(++pictures, 100000);
    EXPECT_GT(pictures, 1);
    AudioChunk* chunks = nullptr;
    int32_t timeMs = 0;
    uint8_t changed = 0;
    for (FrameRequest r = kRequestAtPosition; source.getAudio(r, chunks, timeMs, changed);
         r = kRequestNext) {
      freeAudioChunkList(chunks);
      chunks = nullptr;
    }
    freeAudioChunkList(chunks);
  }

  const auto videoConfig = test::ffmpegConfig(clip, "v", dir_);
  ASSERT_TRUE(videoConfig.has_value());
  std::vector<uint8_t> video = *videoConfig;
  append(video, test::ffmpegOutput(clip, "-map 0:v:0 -c:v copy -f m4v", dir_, "ffmpeg.m4v"));
  EXPECT_EQ(readFile(m4v), video);

  if (GetParam().audioStream) {
    const auto audioConfig = test::ffmpegConfig(clip, "a", dir_);
    ASSERT_TRUE(audioConfig.has_value());
    std::vector<uint8_t> audio = *audioConfig;
    append(audio, test::ffmpegOutput(clip, "-map 0:a:0 -c:a copy -f data", dir_, "ffmpeg.m4a"));
    EXPECT_EQ(readFile(m4a), audio);
  }

  const auto raw =
      test::ffmpegOutput(clip, "-map 0:v:0 -f rawvideo -pix_fmt yuv420p", dir_, "ffmpeg.yuv");
  ASSERT_FALSE(raw.empty());
  const auto savedRaw = readFile(yuv);
  EXPECT_EQ(savedRaw.size(), raw.size());
  EXPECT_TRUE(savedRaw == raw);

  const auto sound = test::ffmpegOutput(clip, "-map 0:a:0 -f s16le", dir_, "ffmpeg.pcm");
  ASSERT_FALSE(sound.empty());
  const auto savedSound = readFile(pcm);
  EXPECT_EQ(savedSound.size(), sound.size());
  EXPECT_TRUE(savedSound == sound);
}

INSTANTIATE_TEST_SUITE_P(Clips, Mp4StreamSavingStraightThrough,
                         ::testing::Values(StraightThroughCase{"mpeg4_aac.mp4", true},
                                           StraightThroughCase{"mpeg4_bframes.mp4", true},
                                           StraightThroughCase{"edit_midgop.mp4", true},
                                           StraightThroughCase{"h263_amrnb.3gp", true}),
                         [](const auto& info) {
                           std::string name = info.param.clip;
                           for (char& c : name)
                             c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

}  // namespace
}  // namespace strevana
