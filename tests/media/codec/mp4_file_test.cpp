#include "media/codec/mp4_file.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "media/mp4_test_support.h"

namespace strevana {
namespace {

using Read = std::function<MP4Err(uint32_t room, uint32_t& length, uint8_t* into)>;

TEST(Mp4File, ConfigSamplesAndUserTextNeverOverrunTheBuffer) {
  CMp4File* file = nullptr;
  CMp4File::createInstance(file);
  ASSERT_EQ(file->open(test::fixture("mpeg4_aac.mp4").c_str(), 0, 0), kMp4Ok);
  CMp4Track* video = nullptr;
  ASSERT_EQ(file->getTrack(1, video), kMp4Ok);
  uint32_t configSize = 0, sampleSize = 0, textSize = 0, length = 0;
  ASSERT_EQ(video->getConfigSize(1, configSize), kMp4Ok);
  ASSERT_EQ(video->getSampleSize(1, sampleSize), kMp4Ok);
  ASSERT_EQ(file->getUserText("eng", nullptr, textSize, 0), kMp4Ok);
  const struct {
    uint32_t size;
    Read read;
  } readers[] = {{configSize, [&](uint32_t n, uint32_t& l,
                                  uint8_t* d) { return video->getConfig(1, n, l, d); }},
                 {sampleSize, [&](uint32_t n, uint32_t& l,
                                  uint8_t* d) { return video->readSample(1, n, l, d); }},
                 {textSize, [&](uint32_t n, uint32_t& l, uint8_t* d) {
                    l = n;
                    return file->getUserText("eng", reinterpret_cast<char*>(d), l, 0);
                  }}};
  for (const auto& r : readers) {
    ASSERT_GT(r.size, 10u);
    std::vector<uint8_t> buffer(r.size + 4, 0xEE);
    EXPECT_EQ(r.read(r.size - 1, length, buffer.data()), kMp4ErrBufferTooSmall) << r.size;
    EXPECT_EQ(buffer, std::vector<uint8_t>(r.size + 4, 0xEE)) << r.size;
    ASSERT_EQ(r.read(r.size, length, buffer.data()), kMp4Ok) << r.size;
    EXPECT_EQ(length, r.size);
    EXPECT_EQ(buffer[r.size], 0xEE) << r.size;
    buffer.resize(r.size);
    const std::string text(buffer.begin(), buffer.end());
    EXPECT_TRUE(text.find("\0\0\1", 0, 3) == 0 || text.find("Title: Fixture clip;") == 0) << text;
  }
  EXPECT_NE(video->getSampleSize(0, sampleSize), kMp4Ok);
  EXPECT_NE(video->getSampleSize(76, sampleSize), kMp4Ok);
  std::vector<uint8_t> buffer(100);
  EXPECT_NE(video->readSample(76, 100, length, buffer.data()), kMp4Ok);
  EXPECT_NE(file->getUserText("deu", nullptr, length, 0), kMp4Ok);
  file->releaseTrack(video);
  CMp4File::destroyInstance(file);
}

}  // namespace
}  // namespace strevana
