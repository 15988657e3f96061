#include "media/yuv_file_source.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

namespace strevana {
namespace {

namespace fs = std::filesystem;

class YuvFileSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "yuv_source_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Writes `frames` frames of the given layout; every byte of frame i is
  // 10 + i, so a converted frame tells which one it was. `extra` bytes of 0xEE
  // follow (a partial frame).
  std::string writeFile(const char* name, int32_t w, int32_t h, int32_t layout, int frames,
                        size_t extra = 0) {
    const size_t frameBytes =
        layout == 1 ? static_cast<size_t>(w) * h * 3 / 2 : static_cast<size_t>(w) * h * 2;
    std::vector<char> data;
    for (int i = 0; i < frames; ++i) data.insert(data.end(), frameBytes, static_cast<char>(10 + i));
    data.insert(data.end(), extra, static_cast<char>(0xEE));
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary)
        .write(data.data(), static_cast<std::streamsize>(data.size()));
    return path;
  }

  // Requests a frame in YUY2 and returns which frame it was (its luma byte),
  // or -1 when the request failed.
  static int frameOf(YuvFileSource& s, FrameRequest request, int32_t& positionMs) {
    std::vector<uint8_t> out(static_cast<size_t>(s.width) * s.height * 2, 0);
    if (!s.getVideoFrame(request, s.width * 2, nullptr, 0, 0, out.data(), positionMs)) return -1;
    return out[0] - 10;
  }

  fs::path dir_;
};

TEST_F(YuvFileSourceTest, CountsWholeFramesOnlyAndDerivesTheDuration) {
  const std::string path = writeFile("cif.yuv", 352, 288, 1, 10, 100);
  ASSERT_EQ(fs::file_size(path), 152064u * 10 + 100);
  YuvFileSource s(path.c_str(), 352, 288, 25, 1, kFormatYuy2);
  EXPECT_EQ(s.hasVideo, 1);
  EXPECT_EQ(s.hasAudio, 0);
  EXPECT_EQ(s.frameCount, 10);
  EXPECT_EQ(s.durationMs, 400);
  EXPECT_EQ(s.width, 352);
  EXPECT_EQ(s.displayWidth, 352);
  EXPECT_EQ(s.displayHeight, 288);
  EXPECT_STREQ(s.name, path.c_str());
  EXPECT_EQ(s.videoByteCount(), -1);
  EXPECT_EQ(s.audioByteCount(), -1);
  AudioChunk* chunks = nullptr;
  int32_t time = 500;
  uint8_t changed = 7;
  EXPECT_FALSE(s.getAudio(kRequestNext, chunks, time, changed));
  EXPECT_EQ(chunks, nullptr);
  EXPECT_EQ(changed, 0);
  EXPECT_EQ(time, 500);
  // The last frame is a whole one, not the trailing 100 bytes.
  int32_t pos = 0;
  EXPECT_EQ(frameOf(s, kRequestLast, pos), 9);
  EXPECT_EQ(pos, 360);
}

TEST_F(YuvFileSourceTest, EveryRequestCodeIncludingTheEnds) {
  const std::string path = writeFile("steps.yuv", 16, 8, 1, 5);
  YuvFileSource s(path.c_str(), 16, 8, 25, 1, kFormatYuy2);
  ASSERT_EQ(s.hasVideo, 1);
  int32_t pos = -7;
  EXPECT_EQ(frameOf(s, kRequestCurrent, pos), 0);  // read at opening
  EXPECT_EQ(pos, 0);
  EXPECT_EQ(frameOf(s, kRequestNext, pos), 1);
  EXPECT_EQ(pos, 40);
  EXPECT_EQ(frameOf(s, kRequestNextCatchingUp, pos), 2);
  EXPECT_EQ(frameOf(s, kRequestNext, pos), 3);
  EXPECT_EQ(frameOf(s, kRequestNext, pos), 4);
  pos = 1234;
  EXPECT_EQ(frameOf(s, kRequestNext, pos), -1);  // past the end
  EXPECT_EQ(pos, 1234);
  EXPECT_EQ(frameOf(s, kRequestNextCatchingUp, pos), -1);
  EXPECT_EQ(frameOf(s, kRequestCurrent, pos), 4);  // the buffer still holds the last
  EXPECT_EQ(pos, 160);
  EXPECT_EQ(frameOf(s, kRequestPrevious, pos), 3);
  EXPECT_EQ(frameOf(s, kRequestPerSource, pos), 2);  // steps back like 4
  EXPECT_EQ(frameOf(s, kRequestFirst, pos), 0);
  EXPECT_EQ(frameOf(s, kRequestPrevious, pos), -1);  // before the first
  EXPECT_EQ(frameOf(s, kRequestPerSource, pos), -1);
  EXPECT_EQ(frameOf(s, kRequestNext, pos), 1);  // sequential read after a failed step back
  EXPECT_EQ(frameOf(s, kRequestLast, pos), 4);
  EXPECT_EQ(frameOf(s, 9, pos), 4);  // unknown codes show the current frame again
  EXPECT_EQ(frameOf(s, kRequestFirst, pos), 0);
  EXPECT_EQ(frameOf(s, kRequestNext, pos), 1);
}

TEST_F(YuvFileSourceTest, PositionRequestsConvertMillisecondsAndClamp) {
  const std::string path = writeFile("seek.yuv", 8, 4, 1, 20);
  YuvFileSource s(path.c_str(), 8, 4, 15, 1, kFormatYuy2);
  // 999 ms is 14.985 frames; positions clamp to the file.
  for (auto [asked, frame, shown] :
       {std::tuple{1000, 15, 1000}, {999, 14, 933}, {-500, 0, 0}, {1000000, 19, 1266}}) {
    int32_t pos = asked;
    EXPECT_EQ(frameOf(s, kRequestAtPosition, pos), frame) << asked;
    EXPECT_EQ(pos, shown) << asked;
  }

  // A shorter file shows its last frame for a position beyond it.
  const std::string shortPath = writeFile("short.yuv", 8, 4, 1, 6);
  YuvFileSource shortSource(shortPath.c_str(), 8, 4, 15, 1, kFormatYuy2);
  int32_t pos = 1000;
  EXPECT_EQ(frameOf(shortSource, kRequestAtPosition, pos), 5);
}

TEST_F(YuvFileSourceTest, FrameRatesBelowOneAndTruncatedRates) {
  const std::string path = writeFile("rates.yuv", 8, 4, 1, 30);
  YuvFileSource r29(path.c_str(), 8, 4, 29, 1, kFormatYuy2);  // 29.97 reaches the source as 29
  EXPECT_EQ(r29.durationMs, 30 * 1000 / 29);
  int32_t pos = 0;
  frameOf(r29, kRequestNext, pos);
  frameOf(r29, kRequestNext, pos);
  frameOf(r29, kRequestNext, pos);
  EXPECT_EQ(pos, 103);  // trunc(3000 / 29)

  for (int32_t rate : {0, -5}) {
    YuvFileSource slow(path.c_str(), 8, 4, rate, 1, kFormatYuy2);
    EXPECT_EQ(slow.hasVideo, 1);
    EXPECT_EQ(slow.durationMs, 30000);
    EXPECT_EQ(frameOf(slow, kRequestNext, pos), 1);
    EXPECT_EQ(pos, 1000);
    pos = 2500;
    EXPECT_EQ(frameOf(slow, kRequestAtPosition, pos), 2);
  }
}

TEST_F(YuvFileSourceTest, PlanarFramesConvertToEveryEngineFormat) {
  // One real picture: a gradient, so the converter's output is checked.
  const int32_t w = 16, h = 4;
  std::vector<uint8_t> frame(static_cast<size_t>(w) * h * 3 / 2);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 13);
  const std::string path = (dir_ / "grad.yuv").string();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(frame.data()),
             static_cast<std::streamsize>(frame.size()));
  const uint8_t* y = frame.data();
  const uint8_t* u = y + w * h;
  const uint8_t* v = y + w * h * 5 / 4;
  auto reference = createYuvConverter(1);

  YuvFileSource s(path.c_str(), w, h, 25, 1, kFormatYuy2);
  int32_t pos = 0;
  std::vector<uint8_t> got(static_cast<size_t>(w) * h * 4), want(got.size());
  ASSERT_TRUE(s.getVideoFrame(kRequestCurrent, w * 2, nullptr, 0, 0, got.data(), pos));
  reference->toYuy2(want.data(), w, y, w, h, w, u, v, w / 2, h / 2, w / 2);
  EXPECT_EQ(got, want);

  ASSERT_TRUE(s.setOutputFormat(kFormatBgr24));
  ASSERT_TRUE(s.getVideoFrame(kRequestCurrent, w * 3, nullptr, 0, 0, got.data(), pos));
  reference->toBgr24(want.data(), w * 3, y, w, h, w, u, v, w / 2, h / 2, w / 2, 0);
  EXPECT_EQ(got, want);

  ASSERT_TRUE(s.setOutputFormat(kFormatBgrx32));
  ASSERT_TRUE(s.getVideoFrame(kRequestCurrent, w * 4, nullptr, 0, 0, got.data(), pos));
  reference->toRgbx32(want.data(), w * 4, y, w, h, w, u, v, w / 2, h / 2, w / 2, 1, 0);
  EXPECT_EQ(got, want);
  EXPECT_EQ(got[3], 255);

  // Formats without a conversion fail and write nothing.
  for (OutputFormat f : {kFormatIyuv, kFormatYv12, 7, 0}) {
    ASSERT_TRUE(s.setOutputFormat(f));
    std::vector<uint8_t> untouched(got.size(), 0x5A);
    EXPECT_FALSE(s.getVideoFrame(kRequestCurrent, w * 4, nullptr, 0, 0, untouched.data(), pos))
        << f;
    EXPECT_EQ(untouched, std::vector<uint8_t>(got.size(), 0x5A));
  }
}

TEST_F(YuvFileSourceTest, PackedFramesShowOnlyAsYuy2) {
  const std::string path = writeFile("packed.yuv", 6, 3, 5, 3);
  YuvFileSource s(path.c_str(), 6, 3, 25, 5, kFormatYuy2);
  ASSERT_EQ(s.hasVideo, 1);
  EXPECT_EQ(s.frameCount, 3);
  // A stride wider than the row: rows land dstStride apart, gaps untouched.
  const int32_t stride = 6 * 2 + 5;
  std::vector<uint8_t> out(static_cast<size_t>(stride) * 3, 0);
  int32_t pos = 0;
  ASSERT_TRUE(s.getVideoFrame(kRequestNext, stride, nullptr, 0, 0, out.data(), pos));
  for (int32_t r = 0; r < 3; ++r) {
    for (int32_t x = 0; x < stride; ++x) {
      EXPECT_EQ(out[static_cast<size_t>(r * stride + x)], x < 12 ? 11 : 0) << r << "," << x;
    }
  }
  for (OutputFormat f : {kFormatBgr24, kFormatBgrx32}) {
    ASSERT_TRUE(s.setOutputFormat(f));
    std::vector<uint8_t> big(6 * 3 * 4, 0);
    EXPECT_FALSE(s.getVideoFrame(kRequestCurrent, 6 * 4, nullptr, 0, 0, big.data(), pos)) << f;
    EXPECT_FALSE(s.getVideoFrame(kRequestNext, 6 * 4, nullptr, 0, 0, big.data(), pos)) << f;
  }
  // The failed requests did not move: the next YUY2 step shows frame 2.
  ASSERT_TRUE(s.setOutputFormat(kFormatYuy2));
  ASSERT_TRUE(s.getVideoFrame(kRequestNext, stride, nullptr, 0, 0, out.data(), pos));
  EXPECT_EQ(out[0], 12);
}

TEST_F(YuvFileSourceTest, StridesSmallerThanARowOrNullDestinationsFail) {
  const std::string path = writeFile("stride.yuv", 16, 4, 1, 2);
  for (OutputFormat f : {kFormatYuy2, kFormatBgr24, kFormatBgrx32}) {
    YuvFileSource s(path.c_str(), 16, 4, 25, 1, f);
    const int32_t row = rowBytes(f, 16);
    std::vector<uint8_t> out(static_cast<size_t>(row) * 4, 0x33);
    int32_t pos = 0;
    EXPECT_FALSE(s.getVideoFrame(kRequestCurrent, row - 1, nullptr, 0, 0, out.data(), pos)) << f;
    EXPECT_FALSE(s.getVideoFrame(kRequestNext, 0, nullptr, 0, 0, out.data(), pos)) << f;
    EXPECT_FALSE(s.getVideoFrame(kRequestNext, -row, nullptr, 0, 0, out.data(), pos)) << f;
    EXPECT_EQ(out, std::vector<uint8_t>(out.size(), 0x33));
    EXPECT_FALSE(s.getVideoFrame(kRequestCurrent, row, nullptr, 0, 0, nullptr, pos)) << f;
    EXPECT_TRUE(s.getVideoFrame(kRequestCurrent, row, nullptr, 0, 0, out.data(), pos)) << f;
  }
}

TEST_F(YuvFileSourceTest, MissingShortOrMisdescribedFilesHaveNoVideo) {
  int32_t pos = 0;
  std::vector<uint8_t> out(64 * 64 * 4);
  YuvFileSource missing((dir_ / "none.yuv").string().c_str(), 16, 16, 25, 1, kFormatYuy2);
  EXPECT_EQ(missing.hasVideo, 0);
  EXPECT_FALSE(missing.getVideoFrame(kRequestFirst, 32, nullptr, 0, 0, out.data(), pos));

  const std::string tiny = writeFile("tiny.yuv", 16, 16, 1, 0, 383);  // one byte short of a frame
  YuvFileSource shortFile(tiny.c_str(), 16, 16, 25, 1, kFormatYuy2);
  EXPECT_EQ(shortFile.hasVideo, 0);
  EXPECT_EQ(shortFile.frameCount, 0);
  for (FrameRequest r : {kRequestCurrent, kRequestFirst, kRequestLast, kRequestNext,
                         kRequestPrevious, kRequestAtPosition}) {
    EXPECT_FALSE(shortFile.getVideoFrame(r, 32, nullptr, 0, 0, out.data(), pos)) << r;
  }

  const std::string good = writeFile("good.yuv", 16, 16, 1, 2);
  for (auto [w, h, layout] : {std::tuple{0, 16, 1}, std::tuple{16, -2, 1}, std::tuple{16, 16, 3},
                              std::tuple{40000, 16, 1}}) {
    YuvFileSource bad(good.c_str(), w, h, 25, layout, kFormatYuy2);
    EXPECT_EQ(bad.hasVideo, 0) << w << "x" << h << " layout " << layout;
    EXPECT_FALSE(bad.getVideoFrame(kRequestFirst, 64 * 4, nullptr, 0, 0, out.data(), pos));
  }
}

long peakResidentKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TEST_F(YuvFileSourceTest, AFrameLargerThanTheFileCostsNoFrameBuffer) {
  // 32767 x 32767 packed 4:2:2 is a 2 GiB frame: neither a missing file nor
  // a small one may allocate (and touch) it before finding it cannot play.
  const std::string small = writeFile("small.yuv", 16, 16, 5, 4);
  const long before = peakResidentKb();
  for (const std::string& path : {(dir_ / "none.yuv").string(), small}) {
    YuvFileSource s(path.c_str(), 32767, 32767, 25, 5, kFormatYuy2);
    EXPECT_EQ(s.hasVideo, 0) << path;
    EXPECT_EQ(s.frameCount, 0) << path;
  }
  EXPECT_LT(peakResidentKb() - before, 256 * 1024);
}

}  // namespace
}  // namespace strevana
