#include "media/stream_saving.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media/bare_source.h"

namespace strevana {
namespace {

namespace fs = std::filesystem;

// ---- stream saving ----------------------------------------------------------

class StreamSavingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "stream_saving_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string path(const char* name) const { return (dir_ / name).string(); }
  static std::vector<uint8_t> contents(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  fs::path dir_;
  BareSource source;
};

TEST_F(StreamSavingTest, VideoStreamStartsWithTheWholeConfiguration) {
  // Short and long configurations alike: nothing of the VOS/VOL headers may be
  // cut, or the saved stream cannot be decoded.
  std::vector<uint8_t> config(24);
  for (size_t i = 0; i < config.size(); ++i) config[i] = static_cast<uint8_t>(i);
  const std::string ten = path("ten.m4v"), full = path("full.m4v");
  source.setVideoStreamFile(ten.c_str(), config.data(), 10);
  EXPECT_EQ(contents(ten), std::vector<uint8_t>(config.begin(), config.begin() + 10));

  source.setVideoStreamFile(full.c_str(), config.data(), 24);
  EXPECT_EQ(contents(full), config);
  const uint8_t sample[] = {0xAA, 0xBB};
  appendVideoStream(source, sample, 2);
  appendVideoStream(source, sample, 1);
  auto want = config;
  want.insert(want.end(), {0xAA, 0xBB, 0xAA});
  EXPECT_EQ(contents(full), want);
  EXPECT_EQ(contents(ten).size(), 10u);  // the earlier target is no longer written

  // Setting the same path again truncates; a null path switches saving off.
  source.setVideoStreamFile(full.c_str(), nullptr, 0);
  EXPECT_TRUE(contents(full).empty());
  source.setVideoStreamFile(nullptr, nullptr, 0);
  appendVideoStream(source, sample, 2);
  EXPECT_TRUE(contents(full).empty());
  EXPECT_TRUE(source.videoStreamFile.empty());
}

TEST_F(StreamSavingTest, AudioStreamStartsWithTheWholeConfiguration) {
  const uint8_t config[] = {0x12, 0x10};
  const std::string p = path("a.m4a");
  source.setAudioStreamFile(p.c_str(), config, 2);
  appendAudioStream(source, config, 1);
  EXPECT_EQ(contents(p), (std::vector<uint8_t>{0x12, 0x10, 0x12}));
  source.setAudioStreamFile(p.c_str(), config, 0);
  EXPECT_TRUE(contents(p).empty());
}

TEST_F(StreamSavingTest, UncreatableTargetsLeaveSavingOff) {
  const std::string bad = path("missing-folder/x.m4v");
  const uint8_t data[] = {1, 2, 3};
  source.setVideoStreamFile(bad.c_str(), data, 3);
  source.setAudioStreamFile(bad.c_str(), data, 3);
  source.setRawAudioFile(bad.c_str());
  source.setRawVideoFile(bad.c_str(), 0);
  EXPECT_TRUE(source.videoStreamFile.empty());
  EXPECT_TRUE(source.audioStreamFile.empty());
  EXPECT_TRUE(source.rawAudioFile.empty());
  EXPECT_TRUE(source.rawVideoFile.empty());
  source.setRawAudioFile("");
  EXPECT_TRUE(source.rawAudioFile.empty());
  EXPECT_FALSE(fs::exists(dir_ / "missing-folder"));
}

TEST_F(StreamSavingTest, RawAudioAndSingleFileRawVideoAppend) {
  const std::string pcm = path("a.pcm"), yuv = path("v.yuv");
  source.setRawAudioFile(pcm.c_str());
  source.setRawVideoFile(yuv.c_str(), 0);
  EXPECT_TRUE(fs::exists(pcm));
  EXPECT_TRUE(fs::exists(yuv));
  const uint8_t block[] = {9, 8, 7};
  appendRawAudio(source, block, 3);
  appendRawAudio(source, block, 2);
  writeRawVideoPicture(source, block, 3);
  writeRawVideoPicture(source, block, 1);
  EXPECT_EQ(contents(pcm), (std::vector<uint8_t>{9, 8, 7, 9, 8}));
  EXPECT_EQ(contents(yuv), (std::vector<uint8_t>{9, 8, 7, 9}));
}

TEST_F(StreamSavingTest, PerFrameRawVideoNumbersFilesAndWrapsAfter9999) {
  const std::string p = path("clip.out.yuv");
  source.setRawVideoFile(p.c_str(), 1);
  EXPECT_FALSE(fs::exists(p));  // nothing is created up front
  EXPECT_EQ(source.rawVideoPerFrame, 1);
  const uint8_t first[] = {1}, second[] = {2, 2};
  writeRawVideoPicture(source, first, 1);
  writeRawVideoPicture(source, second, 2);
  EXPECT_EQ(contents(path("clip0000.yuv")), std::vector<uint8_t>{1});
  EXPECT_EQ(contents(path("clip0001.yuv")), (std::vector<uint8_t>{2, 2}));

  source.rawVideoFileCounter = 9998;
  EXPECT_EQ(nextPerFrameName(source), path("clip9998.yuv"));
  EXPECT_EQ(nextPerFrameName(source), path("clip9999.yuv"));
  EXPECT_EQ(nextPerFrameName(source), path("clip0000.yuv"));
  EXPECT_EQ(source.rawVideoFileCounter, 1);
}

TEST_F(StreamSavingTest, PerFrameBaseIgnoresDotsInFolderNames) {
  fs::create_directory(dir_ / "takes.d");
  const std::string p = (dir_ / "takes.d" / "clip.yuv").string();
  source.setRawVideoFile(p.c_str(), 1);
  EXPECT_EQ(nextPerFrameName(source), (dir_ / "takes.d" / "clip0000.yuv").string());
  source.setRawVideoFile((dir_ / "takes.d" / "noext").string().c_str(), 1);
  EXPECT_EQ(nextPerFrameName(source), (dir_ / "takes.d" / "noext0001.yuv").string());
}

}  // namespace
}  // namespace strevana
