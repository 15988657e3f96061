#include "media/codec/mp4_file.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace strevana
