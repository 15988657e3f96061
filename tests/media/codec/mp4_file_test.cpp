#include "media/codec/mp4_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "media/mp4_test_support.h"

namespace strevana {
namespace {

struct OpenFile {
  explicit OpenFile(const std::string& name) {
    CMp4File::createInstance(file);
    result = file->open(test::fixture(name).c_str(), 0, 0);
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
  uint32_t count = 0, scale = 0, rate = 0;
  ASSERT_EQ(f.file->getTrackCount(count), kMp4Ok);
  EXPECT_EQ(count, 2u);
  f.file->getTimeScale(scale);
  EXPECT_EQ(scale, kMp4FileTimeScale);
  CMp4Track* video = f.track(1);
  CMp4Track* audio = f.track(2);
  ASSERT_TRUE(video && audio);
  EXPECT_EQ(f.track(3), nullptr);
  EXPECT_EQ(f.track(0), nullptr);
  int32_t vType = 0, vCode = 0, aType = 0, aCode = 0;
  video->getType(vType);
  video->getCodec(vCode);
  audio->getType(aType);
  audio->getCodec(aCode);
  EXPECT_EQ(std::vector<int32_t>({vType, vCode, aType, aCode}),
            std::vector<int32_t>({kMp4TrackVideo, 1, kMp4TrackAudio, 2}));
  uint64_t duration = 0;
  video->getDuration(duration);
  EXPECT_EQ(duration, 3u * kMp4FileTimeScale);
  int16_t w = 0, h = 0, channels = 0;
  ASSERT_EQ(video->getPictureSize(w, h), kMp4Ok);
  EXPECT_EQ(w * 1000 + h, 176144);
  EXPECT_NE(audio->getPictureSize(w, h), kMp4Ok);
  audio->getChannels(channels);
  audio->getSampleRate(rate);
  EXPECT_EQ(channels, 2);
  EXPECT_EQ(rate, 44100u);
}

TEST(Mp4File, ConfigSamplesAndUserTextNeverOverrunTheBuffer) {
  OpenFile f("mpeg4_aac.mp4");
  CMp4Track* video = f.track(1);
  uint32_t size = 0, length = 0;
  ASSERT_EQ(video->getConfigSize(1, size), kMp4Ok);
  ASSERT_GT(size, 10u);
  std::vector<uint8_t> buffer(size + 4, 0xEE);
  EXPECT_EQ(video->getConfig(1, size - 1, length, buffer.data()), kMp4ErrBufferTooSmall);
  EXPECT_EQ(buffer[0], 0xEE);
  ASSERT_EQ(video->getConfig(1, size, length, buffer.data()), kMp4Ok);
  EXPECT_EQ(length, size);
  EXPECT_EQ(buffer[size], 0xEE);
  EXPECT_EQ(buffer[2] + buffer[1] + buffer[0], 1);  // a start code

  ASSERT_EQ(video->getSampleSize(1, size), kMp4Ok);
  buffer.assign(size + 2, 0xCD);
  EXPECT_EQ(video->readSample(1, size - 1, length, buffer.data()), kMp4ErrBufferTooSmall);
  EXPECT_EQ(buffer[0], 0xCD);
  ASSERT_EQ(video->readSample(1, size + 2, length, buffer.data()), kMp4Ok);
  EXPECT_EQ(length, size);
  EXPECT_EQ(buffer[size], 0xCD);
  EXPECT_EQ(buffer[2] + buffer[1] + buffer[0], 1);
  EXPECT_NE(video->getSampleSize(0, size), kMp4Ok);
  EXPECT_NE(video->getSampleSize(76, size), kMp4Ok);
  EXPECT_NE(video->readSample(76, 100, length, buffer.data()), kMp4Ok);

  const std::string text =
      "Title: Fixture clip;Date: 2026-12-06;(c): Korvello test media;Description: Test pattern "
      "with tone";
  ASSERT_EQ(f.file->getUserText("eng", nullptr, length, 0), kMp4Ok);
  ASSERT_EQ(length, text.size());
  std::string into(length + 8, '#');
  uint32_t room = length - 1;
  EXPECT_EQ(f.file->getUserText("eng", into.data(), room, 0), kMp4ErrBufferTooSmall);
  EXPECT_EQ(into, std::string(length + 8, '#'));
  room = length;
  ASSERT_EQ(f.file->getUserText("eng", into.data(), room, 0), kMp4Ok);
  EXPECT_EQ(into, text + std::string(8, '#'));
  EXPECT_NE(f.file->getUserText("deu", nullptr, length, 0), kMp4Ok);
  EXPECT_NE(OpenFile("mpeg4_bframes.mp4").file->getUserText("eng", nullptr, length, 0), kMp4Ok);
}

TEST(Mp4File, SampleTimesAndSearches) {
  // Time scale 25: sample n is shown at n - 1; sync samples every 12.
  OpenFile f("mpeg4_aac.mp4");
  CMp4Track* video = f.track(1);
  uint64_t t = 0;
  ASSERT_EQ(video->getSampleTime(10, t), kMp4Ok);
  EXPECT_EQ(t, 9u);
  // clang-format off
  const struct { bool sync; uint64_t time; uint32_t sample; } searches[] = {
      {false, 0, 1}, {false, 9, 10}, {false, 1000, 75}, {true, 20, 13}, {true, 11, 1}, {true, 12, 13},
  };
  // clang-format on
  for (const auto& s : searches) {
    uint32_t n = 0;
    ASSERT_EQ(s.sync ? video->findSyncSample(s.time, n) : video->findSample(s.time, n), kMp4Ok);
    EXPECT_EQ(n, s.sample) << s.sync << " " << s.time;
  }
}

TEST(Mp4File, ReorderedTracksReportPresentationTimes) {
  OpenFile f("mpeg4_bframes.mp4");
  CMp4Track* video = f.track(1);
  uint32_t count = 0;
  video->getSampleCount(count);
  std::vector<uint64_t> times(count);
  for (uint32_t n = 1; n <= count; ++n) ASSERT_EQ(video->getSampleTime(n, times[n - 1]), kMp4Ok);
  EXPECT_FALSE(std::is_sorted(times.begin(), times.end()));
  std::vector<uint64_t> sorted = times;  // as a set: the display slots 0, 512, 1024, ...
  std::sort(sorted.begin(), sorted.end());
  for (size_t i = 0; i < sorted.size(); ++i) EXPECT_EQ(sorted[i], i * 512) << i;
  // findSample gives the sample shown at a time, whatever its decode position.
  for (uint64_t t : {0ull, 511ull, 512ull, 1600ull, 20000ull, 37888ull, 99999ull}) {
    uint32_t n = 0, k = 0;
    ASSERT_EQ(video->findSample(t, n), kMp4Ok);
    EXPECT_EQ(times[n - 1], std::min<uint64_t>(t / 512 * 512, sorted.back())) << t;
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
  EXPECT_EQ(garbage.track(1), nullptr);

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
