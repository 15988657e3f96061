#include "media/codec/mp4_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "media/mp4_test_support.h"

namespace strevana {
namespace {

using test::fixture;

struct OpenFile {
  explicit OpenFile(const std::string& name) {
    CMp4File::createInstance(file);
    result = file->open(fixture(name).c_str(), 0, 0);
  }
  ~OpenFile() { CMp4File::destroyInstance(file); }
  CMp4Track* track(uint32_t index) {
    CMp4Track* t = nullptr;
    return file->getTrack(index, t) == kMp4Ok ? t : nullptr;
  }
  CMp4File* file = nullptr;
  MP4Err result = -1;
};

TEST(Mp4File, TracksAndTheirDescriptions) {
  OpenFile f("mpeg4_aac.mp4");
  ASSERT_EQ(f.result, kMp4Ok);
  uint32_t count = 0, scale = 0;
  ASSERT_EQ(f.file->getTrackCount(count), kMp4Ok);
  EXPECT_EQ(count, 2u);
  ASSERT_EQ(f.file->getTimeScale(scale), kMp4Ok);
  EXPECT_EQ(scale, kMp4FileTimeScale);
  CMp4Track* video = f.track(1);
  CMp4Track* audio = f.track(2);
  ASSERT_TRUE(video && audio);
  EXPECT_EQ(f.track(3), nullptr);
  EXPECT_EQ(f.track(0), nullptr);

  int32_t type = 0, code = 0;
  video->getType(type);
  EXPECT_EQ(type, kMp4TrackVideo);
  video->getCodec(code);
  EXPECT_EQ(code, 1);
  audio->getType(type);
  EXPECT_EQ(type, kMp4TrackAudio);
  audio->getCodec(code);
  EXPECT_EQ(code, 2);
  uint64_t duration = 0;
  ASSERT_EQ(video->getDuration(duration), kMp4Ok);
  EXPECT_EQ(duration, 3u * kMp4FileTimeScale);
  int16_t w = 0, h = 0;
  ASSERT_EQ(video->getPictureSize(w, h), kMp4Ok);
  EXPECT_EQ(w, 176);
  EXPECT_EQ(h, 144);
  EXPECT_NE(audio->getPictureSize(w, h), kMp4Ok);
  int16_t channels = 0;
  uint32_t rate = 0;
  ASSERT_EQ(audio->getChannels(channels), kMp4Ok);
  ASSERT_EQ(audio->getSampleRate(rate), kMp4Ok);
  EXPECT_EQ(channels, 2);
  EXPECT_EQ(rate, 44100u);

  // Configuration: the size first, and never more than the buffer holds.
  uint32_t size = 0, length = 99;
  ASSERT_EQ(video->getConfigSize(1, size), kMp4Ok);
  ASSERT_GT(size, 10u);
  std::vector<uint8_t> config(size + 4, 0xEE);
  EXPECT_EQ(video->getConfig(1, size - 1, length, config.data()), kMp4ErrBufferTooSmall);
  EXPECT_EQ(config[0], 0xEE);
  ASSERT_EQ(video->getConfig(1, size, length, config.data()), kMp4Ok);
  EXPECT_EQ(length, size);
  EXPECT_EQ(config[size], 0xEE);
  // MPEG-4 visual configuration starts with a start code.
  EXPECT_EQ(config[0], 0);
  EXPECT_EQ(config[1], 0);
  EXPECT_EQ(config[2], 1);
  EXPECT_EQ(f.file->releaseTrack(video), kMp4Ok);
}

TEST(Mp4File, UserTextIsBoundedByTheBuffer) {
  OpenFile f("mpeg4_aac.mp4");
  uint32_t length = 0;
  ASSERT_EQ(f.file->getUserText("eng", nullptr, length, 0), kMp4Ok);
  const std::string expected =
      "Title: Fixture clip;Date: 2026-12-06;(c): Korvello test media;Description: Test pattern "
      "with tone";
  ASSERT_EQ(length, expected.size());
  std::string buffer(length + 8, '#');
  uint32_t small = length - 1;
  EXPECT_EQ(f.file->getUserText("eng", buffer.data(), small, 0), kMp4ErrBufferTooSmall);
  EXPECT_EQ(buffer, std::string(length + 8, '#'));
  uint32_t room = length;
  ASSERT_EQ(f.file->getUserText("eng", buffer.data(), room, 0), kMp4Ok);
  EXPECT_EQ(buffer.substr(0, room), expected);
  EXPECT_EQ(buffer[length], '#');
  EXPECT_NE(f.file->getUserText("deu", nullptr, length, 0), kMp4Ok);

  OpenFile none("mpeg4_bframes.mp4");
  EXPECT_NE(none.file->getUserText("eng", nullptr, length, 0), kMp4Ok);
}

TEST(Mp4File, SamplesAreReadAtTheirOffsetsWithinTheBuffer) {
  OpenFile f("mpeg4_aac.mp4");
  CMp4Track* video = f.track(1);
  uint32_t count = 0;
  video->getSampleCount(count);
  ASSERT_EQ(count, 75u);
  uint32_t size = 0, length = 0;
  ASSERT_EQ(video->getSampleSize(1, size), kMp4Ok);
  std::vector<uint8_t> buffer(size + 2, 0xCD);
  EXPECT_EQ(video->readSample(1, size - 1, length, buffer.data()), kMp4ErrBufferTooSmall);
  EXPECT_EQ(buffer[0], 0xCD);
  ASSERT_EQ(video->readSample(1, size + 2, length, buffer.data()), kMp4Ok);
  EXPECT_EQ(length, size);
  EXPECT_EQ(buffer[size], 0xCD);
  // A start code (group of VOPs or VOP).
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[1], 0);
  EXPECT_EQ(buffer[2], 1);
  EXPECT_NE(video->getSampleSize(0, size), kMp4Ok);
  EXPECT_NE(video->getSampleSize(count + 1, size), kMp4Ok);
  EXPECT_NE(video->readSample(count + 1, 100, length, buffer.data()), kMp4Ok);

  // Time scale 25: sample n is shown at n - 1; sync samples every 12.
  uint64_t t = 0;
  uint32_t n = 0;
  ASSERT_EQ(video->getSampleTime(10, t), kMp4Ok);
  EXPECT_EQ(t, 9u);
  ASSERT_EQ(video->findSample(9, n), kMp4Ok);
  EXPECT_EQ(n, 10u);
  ASSERT_EQ(video->findSample(1000, n), kMp4Ok);
  EXPECT_EQ(n, 75u);
  ASSERT_EQ(video->findSyncSample(20, n), kMp4Ok);
  EXPECT_EQ(n, 13u);
  ASSERT_EQ(video->findSyncSample(11, n), kMp4Ok);
  EXPECT_EQ(n, 1u);
}

TEST(Mp4File, ReorderedTracksReportPresentationTimes) {
  OpenFile f("mpeg4_bframes.mp4");
  CMp4Track* video = f.track(1);
  uint32_t count = 0;
  video->getSampleCount(count);
  std::vector<uint64_t> times;
  for (uint32_t n = 1; n <= count; ++n) {
    uint64_t t = 0;
    ASSERT_EQ(video->getSampleTime(n, t), kMp4Ok);
    times.push_back(t);
  }
  EXPECT_FALSE(std::is_sorted(times.begin(), times.end()));
  // As a set they are the display slots 0, 512, 1024, ...
  std::vector<uint64_t> sorted = times;
  std::sort(sorted.begin(), sorted.end());
  for (size_t i = 0; i < sorted.size(); ++i) EXPECT_EQ(sorted[i], i * 512) << i;
  // findSample gives the sample shown at a time, whatever its decode position.
  for (uint64_t t : {0ull, 511ull, 512ull, 1600ull, 20000ull, 37888ull, 99999ull}) {
    uint32_t n = 0;
    ASSERT_EQ(video->findSample(t, n), kMp4Ok);
    EXPECT_EQ(times[n - 1], std::min<uint64_t>(t / 512 * 512, sorted.back())) << t;
    uint32_t k = 0;
    ASSERT_EQ(video->findSyncSample(times[n - 1], k), kMp4Ok);
    EXPECT_LE(k, n);
    EXPECT_LE(times[k - 1], times[n - 1]);
  }
}

TEST(Mp4File, DamagedFiles) {
  OpenFile garbage("mpeg4_aac.mp4.yuv420p.framemd5");  // text, not MP4
  EXPECT_NE(garbage.result, kMp4Ok);
  uint32_t count = 0;
  EXPECT_EQ(garbage.file->getTrackCount(count), kMp4ErrNotOpen);
  CMp4Track* t = nullptr;
  EXPECT_NE(garbage.file->getTrack(1, t), kMp4Ok);

  OpenFile cut("truncated.mp4");
  ASSERT_EQ(cut.result, kMp4Ok);
  CMp4Track* video = cut.track(1);
  video->getSampleCount(count);
  EXPECT_EQ(count, 75u);
  uint32_t readable = 0, size = 0;
  for (uint32_t n = 1; n <= count; ++n) readable += video->getSampleSize(n, size) == kMp4Ok;
  EXPECT_GT(readable, 5u);
  EXPECT_LT(readable, count);
}

}  // namespace
}  // namespace strevana
