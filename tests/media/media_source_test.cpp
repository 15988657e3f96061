#include "media/media_source.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

namespace strevana {
namespace {

namespace fs = std::filesystem;

// The smallest concrete source: the base behaviour is what is under test.
class BareSource : public MediaSource {
 public:
  bool getVideoFrame(FrameRequest, int32_t, const uint8_t*, int32_t, int32_t, uint8_t*,
                     int32_t&) override {
    return false;
  }
  bool getAudio(FrameRequest, AudioChunk*&, int32_t&, uint8_t& timeChanged) override {
    timeChanged = 0;
    return false;
  }
};

TEST(MediaSourceTest, DefaultsAndBaseSlotsAnswerWithoutEffect) {
  BareSource s;
  EXPECT_STREQ(s.name, "");
  EXPECT_EQ(s.pixelAspect, 1.0);
  EXPECT_EQ(s.objectPositionX, 0.5f);
  EXPECT_EQ(s.objectPositionY, 0.5f);
  EXPECT_EQ(s.hasVideo + s.hasAudio + s.live + s.streaming + s.frameCount + s.width + s.height, 0);
  EXPECT_EQ(s.metadataText, nullptr);
  EXPECT_EQ(s.stillPicture, nullptr);
  EXPECT_FALSE(s.prefersRgbOutput());
  EXPECT_TRUE(s.setOutputFormat(kFormatBgr24));
  EXPECT_EQ(s.outputFormat, kFormatBgr24);
  EXPECT_EQ(s.videoByteCount() + s.audioByteCount(), -2);
  int32_t h = 1, m = 2, sec = 3, f = 4;
  EXPECT_FALSE(s.getTimecode(h, m, sec, f));
  EXPECT_EQ(h * 1000 + m * 100 + sec * 10 + f, 1234);  // left alone
  EXPECT_FALSE(s.setTimecode(1, 2, 3, 4));
  EXPECT_EQ(s.videoPacketsReceived() + s.videoPacketsLost() + s.audioPacketsReceived() + s.audioPacketsLost(), 0u);
}

TEST(MediaSourceTest, NamesUpTo255CharactersAreKept) {
  BareSource s;
  EXPECT_TRUE(s.setName("clip.mp4"));
  EXPECT_STREQ(s.name, "clip.mp4");
  const std::string longest(255, 'n');
  EXPECT_TRUE(s.setName(longest.c_str()));
  EXPECT_EQ(std::string(s.name), longest);
  EXPECT_FALSE(s.setName(std::string(256, 'n').c_str()));
  EXPECT_STREQ(s.name, "");
  EXPECT_FALSE(s.setName(nullptr));
}

// ---- still picture ----------------------------------------------------------

struct StillFixture {
  StillFixture(int32_t w, int32_t h) : pixels(static_cast<size_t>(w) * h) {
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = 0x01020304u * static_cast<uint32_t>(i + 1);
    source.width = w;
    source.height = h;
    source.stillPicture = pixels.data();
  }
  std::vector<uint32_t> pixels;
  BareSource source;
};

TEST(MediaSourceStillPictureTest, CopiesWholeOrRowByRowIntoFourByteFormats) {
  StillFixture f(5, 3);
  const auto* src = reinterpret_cast<const uint8_t*>(f.pixels.data());
  for (OutputFormat format : {kFormatBgrx32, 8}) {
    f.source.setOutputFormat(format);
    std::vector<uint8_t> tight(5 * 4 * 3, 0xCC);
    f.source.drawStillPicture(20, tight.data());
    EXPECT_EQ(0, std::memcmp(tight.data(), src, tight.size()));

    const int32_t stride = 20 + 12;
    std::vector<uint8_t> wide(static_cast<size_t>(stride) * 3, 0xCC);
    f.source.drawStillPicture(stride, wide.data());
    f.source.drawStillPicture(stride, wide.data());  // each call starts from the first row again
    for (int32_t row = 0; row < 3; ++row) {
      EXPECT_EQ(0, std::memcmp(&wide[static_cast<size_t>(row * stride)], src + row * 20, 20));
      for (int32_t x = 20; x < stride; ++x) EXPECT_EQ(wide[static_cast<size_t>(row * stride + x)], 0xCC);
    }
  }
}

TEST(MediaSourceStillPictureTest, OtherFormatsAndNarrowStridesLeaveTheBufferUntouched) {
  StillFixture f(4, 2);
  for (OutputFormat format : {kFormatIyuv, kFormatYuy2, kFormatBgr24, 7, 0}) {
    f.source.setOutputFormat(format);
    std::vector<uint8_t> out(64, 0xCC);
    f.source.drawStillPicture(16, out.data());
    EXPECT_EQ(out, std::vector<uint8_t>(64, 0xCC)) << format;
  }
  f.source.setOutputFormat(kFormatBgrx32);
  std::vector<uint8_t> out(64, 0xCC);
  f.source.drawStillPicture(15, out.data());
  f.source.drawStillPicture(-16, out.data() + 32);
  EXPECT_EQ(out, std::vector<uint8_t>(64, 0xCC));
}

// ---- compositing ------------------------------------------------------------

// A picture whose pixel bytes say where they came from; alpha 0 on a checker
// pattern so both kinds of pixel occur.
std::vector<uint8_t> makePicture(int32_t w, int32_t h) {
  std::vector<uint8_t> p(static_cast<size_t>(w) * h * 4);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* px = &p[static_cast<size_t>((y * w + x) * 4)];
      px[0] = static_cast<uint8_t>(x);
      px[1] = static_cast<uint8_t>(y);
      px[2] = 0x77;
      px[3] = (x + y) % 3 == 0 ? 0 : static_cast<uint8_t>(1 + x);
    }
  }
  return p;
}

std::vector<uint8_t> makeBackground(int32_t w, int32_t h) {
  std::vector<uint8_t> b(static_cast<size_t>(w) * h * 4);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(0x80 + i % 61);
  return b;
}

// Straightforward restatement of the placement rule for the expected image.
std::vector<uint8_t> expectedComposite(const std::vector<uint8_t>& picture, int32_t w, int32_t h,
                                       const std::vector<uint8_t>* background, int32_t bgWidth,
                                       float px, float py, int32_t stride, uint8_t filler) {
  std::vector<uint8_t> out(static_cast<size_t>(stride) * h, filler);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w * 4; ++x) {
      out[static_cast<size_t>(y * stride + x)] =
          background ? (*background)[static_cast<size_t>(y * bgWidth * 4 + x)] : 0;
    }
  }
  const double tx0 = std::trunc(static_cast<double>(w) * px - w / 2);
  for (int32_t y = 0; y < h; ++y) {
    const double ty = std::trunc(static_cast<double>(h) * py + y - h / 2);
    if (!(ty >= 0 && ty < h)) continue;
    for (int32_t x = 0; x < w; ++x) {
      const double tx = tx0 + x;
      const uint8_t* src = &picture[static_cast<size_t>((y * w + x) * 4)];
      if (src[3] == 0 || !(tx >= 0 && tx < w)) continue;
      std::memcpy(&out[static_cast<size_t>(ty * stride + tx * 4)], src, 4);
    }
  }
  return out;
}

TEST(MediaSourceCompositeTest, DefaultPositionLandsExactlyOnTheBackground) {
  BareSource s;
  const int32_t w = 6, h = 4;
  const auto picture = makePicture(w, h);
  const auto background = makeBackground(w, h);
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4, 0xCC);
  EXPECT_TRUE(s.compositePicture(picture.data(), w, h, background.data(), w, h, w * 4, out.data()));
  for (size_t i = 0; i < out.size(); i += 4) {
    const bool opaque = picture[i + 3] != 0;
    EXPECT_EQ(0, std::memcmp(&out[i], opaque ? &picture[i] : &background[i], 4)) << i / 4;
  }
}

TEST(MediaSourceCompositeTest, MovedPositionsClipAtEveryEdge) {
  BareSource s;
  const int32_t w = 8, h = 6;
  const auto picture = makePicture(w, h);
  const auto background = makeBackground(w, h);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float positions[][2] = {{0.5f, 0.5f},  {0.75f, 0.25f}, {0.0f, 0.0f}, {1.0f, 1.0f},
                                {0.1f, 0.9f},  {0.9f, 0.1f},   {-3.0f, 0.5f}, {0.5f, 7.0f},
                                {1e30f, -1e30f}, {nan, 0.5f},   {0.5f, nan}};
  for (const auto& pos : positions) {
    s.setObjectPosition(pos[0], pos[1]);
    for (int32_t stride : {w * 4, w * 4 + 8}) {
      std::vector<uint8_t> out(static_cast<size_t>(stride) * h, 0xCC);
      EXPECT_TRUE(s.compositePicture(picture.data(), w, h, background.data(), w, h, stride, out.data()));
      EXPECT_EQ(out, expectedComposite(picture, w, h, &background, w, pos[0], pos[1], stride, 0xCC))
          << pos[0] << "," << pos[1] << " stride " << stride;
    }
  }
  // One placement by hand: x 0.75 moves the object 2 columns right, so the
  // picture's column 0 lands in column 2 and columns 6, 7 fall off.
  s.setObjectPosition(0.75f, 0.5f);
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4);
  s.compositePicture(picture.data(), w, h, nullptr, 0, 0, w * 4, out.data());
  const uint8_t* row1 = &out[static_cast<size_t>(1 * w * 4)];
  EXPECT_EQ(row1[2 * 4 + 0], 0);  // picture (0,1): opaque, x byte 0
  EXPECT_EQ(row1[2 * 4 + 1], 1);
  EXPECT_EQ(row1[6 * 4 + 0], 4);  // picture (4,1) lands in column 6
  EXPECT_EQ(row1[7 * 4 + 3], 0);  // (5,1) is transparent: black shows
}

TEST(MediaSourceCompositeTest, NullOrSmallBackgroundsGiveBlackAndLargerOnesAreCropped) {
  BareSource s;
  const int32_t w = 6, h = 4;
  const auto picture = makePicture(w, h);
  const int32_t stride = w * 4 + 4;
  std::vector<uint8_t> out(static_cast<size_t>(stride) * h, 0xCC);
  EXPECT_TRUE(s.compositePicture(picture.data(), w, h, nullptr, 0, 0, stride, out.data()));
  EXPECT_EQ(out, expectedComposite(picture, w, h, nullptr, 0, 0.5f, 0.5f, stride, 0xCC));

  // Exactly sized smaller buffers: reading them as w x h would overrun.
  for (auto [bw, bh] : {std::pair{w - 1, h}, std::pair{w, h - 1}, std::pair{1, 1}}) {
    const auto small = makeBackground(bw, bh);
    std::vector<uint8_t> o(static_cast<size_t>(stride) * h, 0xCC);
    EXPECT_TRUE(s.compositePicture(picture.data(), w, h, small.data(), bw, bh, stride, o.data()));
    EXPECT_EQ(o, expectedComposite(picture, w, h, nullptr, 0, 0.5f, 0.5f, stride, 0xCC)) << bw << "x" << bh;
  }

  const auto large = makeBackground(w + 3, h + 2);
  std::vector<uint8_t> o(static_cast<size_t>(w) * h * 4, 0xCC);
  EXPECT_TRUE(s.compositePicture(picture.data(), w, h, large.data(), w + 3, h + 2, w * 4, o.data()));
  EXPECT_EQ(o, expectedComposite(picture, w, h, &large, w + 3, 0.5f, 0.5f, w * 4, 0xCC));
}

TEST(MediaSourceCompositeTest, NarrowStrideFailsWithoutWriting) {
  BareSource s;
  const auto picture = makePicture(4, 2);
  std::vector<uint8_t> out(64, 0xCC);
  EXPECT_FALSE(s.compositePicture(picture.data(), 4, 2, nullptr, 0, 0, 15, out.data()));
  EXPECT_FALSE(s.compositePicture(picture.data(), 4, 2, nullptr, 0, 0, -16, out.data() + 32));
  EXPECT_EQ(out, std::vector<uint8_t>(64, 0xCC));
}

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

TEST_F(StreamSavingTest, VideoStreamStartsWithTheConfigurationFromItsEleventhByte) {
  std::vector<uint8_t> config(24);
  for (size_t i = 0; i < config.size(); ++i) config[i] = static_cast<uint8_t>(i);
  const std::string ten = path("ten.m4v"), full = path("full.m4v");
  source.setVideoStreamFile(ten.c_str(), config.data(), 10);
  EXPECT_TRUE(fs::exists(ten));
  EXPECT_TRUE(contents(ten).empty());

  source.setVideoStreamFile(full.c_str(), config.data(), 24);
  EXPECT_EQ(contents(full), std::vector<uint8_t>(config.begin() + 10, config.end()));
  const uint8_t sample[] = {0xAA, 0xBB};
  source.appendVideoStream(sample, 2);
  source.appendVideoStream(sample, 1);
  auto want = std::vector<uint8_t>(config.begin() + 10, config.end());
  want.insert(want.end(), {0xAA, 0xBB, 0xAA});
  EXPECT_EQ(contents(full), want);
  EXPECT_EQ(contents(ten).size(), 0u);  // the earlier target is no longer written

  // Setting the same path again truncates; a null path switches saving off.
  source.setVideoStreamFile(full.c_str(), nullptr, 0);
  EXPECT_TRUE(contents(full).empty());
  source.setVideoStreamFile(nullptr, nullptr, 0);
  source.appendVideoStream(sample, 2);
  EXPECT_TRUE(contents(full).empty());
  EXPECT_TRUE(source.videoStreamFile.empty());
}

TEST_F(StreamSavingTest, AudioStreamStartsWithTheWholeConfiguration) {
  const uint8_t config[] = {0x12, 0x10};
  const std::string p = path("a.m4a");
  source.setAudioStreamFile(p.c_str(), config, 2);
  source.appendAudioStream(config, 1);
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
  source.appendRawAudio(block, 3);
  source.appendRawAudio(block, 2);
  source.writeRawVideoPicture(block, 3);
  source.writeRawVideoPicture(block, 1);
  EXPECT_EQ(contents(pcm), (std::vector<uint8_t>{9, 8, 7, 9, 8}));
  EXPECT_EQ(contents(yuv), (std::vector<uint8_t>{9, 8, 7, 9}));
}

TEST_F(StreamSavingTest, PerFrameRawVideoNumbersFilesAndWrapsAfter9999) {
  const std::string p = path("clip.out.yuv");
  source.setRawVideoFile(p.c_str(), 1);
  EXPECT_FALSE(fs::exists(p));  // nothing is created up front
  EXPECT_EQ(source.rawVideoPerFrame, 1);
  const uint8_t first[] = {1}, second[] = {2, 2};
  source.writeRawVideoPicture(first, 1);
  source.writeRawVideoPicture(second, 2);
  EXPECT_EQ(contents(path("clip0000.yuv")), std::vector<uint8_t>{1});
  EXPECT_EQ(contents(path("clip0001.yuv")), (std::vector<uint8_t>{2, 2}));

  source.rawVideoFileCounter = 9998;
  EXPECT_EQ(source.nextPerFrameName(), path("clip9998.yuv"));
  EXPECT_EQ(source.nextPerFrameName(), path("clip9999.yuv"));
  EXPECT_EQ(source.nextPerFrameName(), path("clip0000.yuv"));
  EXPECT_EQ(source.rawVideoFileCounter, 1);
}

TEST_F(StreamSavingTest, PerFrameBaseIgnoresDotsInFolderNames) {
  fs::create_directory(dir_ / "takes.d");
  const std::string p = (dir_ / "takes.d" / "clip.yuv").string();
  source.setRawVideoFile(p.c_str(), 1);
  EXPECT_EQ(source.nextPerFrameName(), (dir_ / "takes.d" / "clip0000.yuv").string());
  source.setRawVideoFile((dir_ / "takes.d" / "noext").string().c_str(), 1);
  EXPECT_EQ(source.nextPerFrameName(), (dir_ / "takes.d" / "noext0001.yuv").string());
}

}  // namespace
}  // namespace strevana
