#include "media/yuv_file_source.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "media/mp4_test_support.h"
#include "support/temp_folder.h"

namespace strevana {
namespace {

using test::Bytes;

class YuvFileSourceTest : public ::testing::Test {
 protected:
  // `frames` frames of a layout (1 planar 4:2:0, 5 packed 4:2:2), every byte
  // of frame i being 10 + i, then `extra` bytes of 0xEE (a partial frame).
  std::string writeFile(const char* name, int32_t w, int32_t h, int32_t layout, int frames,
                        size_t extra = 0) {
    const size_t frameBytes = static_cast<size_t>(w) * h * (layout == 1 ? 3 : 4) / 2;
    Bytes data;
    for (int i = 0; i < frames; ++i) data.insert(data.end(), frameBytes, 10 + i);
    data.insert(data.end(), extra, 0xEE);
    test::writeFile(dir_.file(name), data);
    return dir_.file(name);
  }
  testing::ScratchFolder dir_{"yuv-source"};
};

// Requests a frame in YUY2: which one it was (its luma byte), or -1 when the request failed.
int frameOf(YuvFileSource& s, FrameRequest request, int32_t& positionMs) {
  Bytes out(static_cast<size_t>(s.width) * s.height * 2, 0);
  if (!s.getVideoFrame(request, s.width * 2, nullptr, 0, 0, out.data(), positionMs)) return -1;
  return out[0] - 10;
}

TEST_F(YuvFileSourceTest, EveryRequestCodeIncludingTheEnds) {
  const std::string path = writeFile("steps.yuv", 16, 8, 1, 5, 100);  // and part of a frame
  YuvFileSource s(path.c_str(), 16, 8, 25, 1, kFormatYuy2);
  EXPECT_EQ(s.frameCount * 1000 + s.durationMs, 5200);  // whole frames only
  EXPECT_EQ(s.displayWidth * 1000 + s.displayHeight, 16008);
  EXPECT_STREQ(s.name, path.c_str());
  AudioChunk* chunks = nullptr;
  int32_t time = 500;
  uint8_t changed = 7;
  EXPECT_FALSE(s.hasAudio || s.getAudio(kRequestNext, chunks, time, changed) || chunks);
  EXPECT_EQ(changed * 1000 + time, 500);
  // A failed request leaves the position; unknown codes show the current frame again.
  // clang-format off
  const struct { FrameRequest request; int frame; int32_t position; } steps[] = {
      {kRequestCurrent, 0, 0},  // read at opening
      {kRequestNext, 1, 40}, {kRequestNextCatchingUp, 2, 80}, {kRequestNext, 3, 120},
      {kRequestNext, 4, 160}, {kRequestNext, -1, 160}, {kRequestNextCatchingUp, -1, 160},
      {kRequestCurrent, 4, 160}, {kRequestPrevious, 3, 120},
      {kRequestPerSource, 2, 80},  // steps back like 4
      {kRequestFirst, 0, 0}, {kRequestPrevious, -1, 0}, {kRequestPerSource, -1, 0},
      {kRequestNext, 1, 40},  // sequential read after a failed step back
      {kRequestLast, 4, 160}, {9, 4, 160}, {kRequestFirst, 0, 0}, {kRequestNext, 1, 40},
  };
  // clang-format on
  int32_t pos = -7;
  for (const auto& step : steps) {
    EXPECT_EQ(frameOf(s, step.request, pos), step.frame) << step.request;
    EXPECT_EQ(pos, step.position) << step.request;
  }
}

TEST_F(YuvFileSourceTest, PositionsAndRatesConvertToFrames) {
  const std::string path = writeFile("seek.yuv", 8, 4, 1, 20);
  const std::string shortPath = writeFile("short.yuv", 8, 4, 1, 6);
  // Rates below one play one frame a second; 29.97 reaches the source as 29.
  // clang-format off
  const struct { const std::string& file; int32_t rate, asked, frame, shown, duration; } cases[] = {
      {path, 15, 1000, 15, 1000, 1333},    {path, 15, 999, 14, 933, 1333},  // 14.985 frames
      {path, 15, -500, 0, 0, 1333},        {path, 15, 1000000, 19, 1266, 1333},
      {shortPath, 15, 1000, 5, 333, 400},  {path, 29, 3000 / 29 + 1, 3, 103, 689},
      {path, 0, 2500, 2, 2000, 20000},     {path, -5, 1000, 1, 1000, 20000},
  };
  // clang-format on
  for (const auto& c : cases) {
    YuvFileSource s(c.file.c_str(), 8, 4, c.rate, 1, kFormatYuy2);
    EXPECT_EQ(s.durationMs, c.duration) << c.rate;
    int32_t pos = c.asked;
    EXPECT_EQ(frameOf(s, kRequestAtPosition, pos), c.frame) << c.rate << " " << c.asked;
    EXPECT_EQ(pos, c.shown) << c.rate << " " << c.asked;
  }
}

TEST_F(YuvFileSourceTest, PlanarFramesConvertToEveryEngineFormatWithWideEnoughStrides) {
  const int32_t w = 16, h = 4;
  Bytes frame(static_cast<size_t>(w) * h * 3 / 2);  // a gradient, so the conversion shows
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 13);
  test::writeFile(dir_.file("grad.yuv"), frame);
  const uint8_t *y = frame.data(), *u = y + w * h, *v = y + w * h * 5 / 4;
  auto reference = createYuvConverter(1);
  YuvFileSource s(dir_.file("grad.yuv").c_str(), w, h, 25, 1, kFormatYuy2);
  // Formats without a conversion, narrow strides and null destinations fail and write nothing.
  for (OutputFormat f :
       {kFormatYuy2, kFormatBgr24, kFormatBgrx32, kFormatIyuv, kFormatYv12, 7, 0}) {
    ASSERT_TRUE(s.setOutputFormat(f));
    const int32_t row = std::max(rowBytes(f, w), 8);
    Bytes got(static_cast<size_t>(row) * h, 0x5A), want = got;
    int32_t pos = 0;
    for (int32_t stride : {row - 1, 0, -row})
      EXPECT_FALSE(s.getVideoFrame(kRequestCurrent, stride, nullptr, 0, 0, got.data(), pos)) << f;
    EXPECT_FALSE(s.getVideoFrame(kRequestCurrent, row, nullptr, 0, 0, nullptr, pos)) << f;
    if (f == kFormatYuy2) reference->toYuy2(want.data(), w, y, w, h, w, u, v, w / 2, h / 2, w / 2);
    if (f == kFormatBgr24) reference->toBgr24(want.data(), row, y, w, h, w, u, v, 8, 2, 8, 0);
    if (f == kFormatBgrx32) reference->toRgbx32(want.data(), row, y, w, h, w, u, v, 8, 2, 8, 1, 0);
    EXPECT_EQ(s.getVideoFrame(kRequestCurrent, row, nullptr, 0, 0, got.data(), pos),
              f == kFormatYuy2 || f == kFormatBgr24 || f == kFormatBgrx32);
    EXPECT_EQ(got, want) << f;
  }
}

TEST_F(YuvFileSourceTest, PackedFramesShowOnlyAsYuy2) {
  const std::string path = writeFile("packed.yuv", 6, 3, 5, 3);
  YuvFileSource s(path.c_str(), 6, 3, 25, 5, kFormatYuy2);
  EXPECT_EQ(s.frameCount, 3);
  const int32_t stride = 6 * 2 + 5;  // rows land stride apart, gaps untouched
  Bytes out(6 * 4 * 3, 0);
  int32_t pos = 0;
  for (OutputFormat f : {kFormatBgr24, kFormatBgrx32, kFormatYuy2}) {
    ASSERT_TRUE(s.setOutputFormat(f));
    const int32_t rowStride = f == kFormatYuy2 ? stride : 6 * 4;
    const bool current =
        s.getVideoFrame(kRequestCurrent, rowStride, nullptr, 0, 0, out.data(), pos);
    EXPECT_EQ(current + s.getVideoFrame(kRequestNext, rowStride, nullptr, 0, 0, out.data(), pos),
              f == kFormatYuy2 ? 2 : 0)
        << f;
  }
  // The refused requests did not move: the first step gave frame 1.
  for (size_t i = 0; i < out.size(); ++i)
    EXPECT_EQ(out[i], i < 3u * stride && i % stride < 12 ? 11 : 0) << i;
}

TEST_F(YuvFileSourceTest, MissingShortOrMisdescribedFilesHaveNoVideoNorFrameBuffer) {
  const std::string good = writeFile("good.yuv", 16, 16, 1, 2);
  const std::string tiny = writeFile("tiny.yuv", 16, 16, 1, 0, 383);  // one byte short of a frame
  const std::string small = writeFile("small.yuv", 16, 16, 5, 4), none = dir_.file("none.yuv");
  // 32767 x 32767 packed 4:2:2 is a 2 GiB frame: not to be allocated before
  // finding that it cannot play.
  const long before = test::peakResidentKb();
  // clang-format off
  const std::tuple<std::string, int32_t, int32_t, int32_t> cases[] = {
      {none, 16, 16, 1}, {tiny, 16, 16, 1}, {good, 0, 16, 1}, {good, 16, -2, 1}, {good, 16, 16, 3},
      {good, 40000, 16, 1}, {none, 32767, 32767, 5}, {small, 32767, 32767, 5},
  };
  // clang-format on
  for (const auto& [path, w, h, layout] : cases) {
    YuvFileSource s(path.c_str(), w, h, 25, layout, kFormatYuy2);
    EXPECT_EQ(s.hasVideo + s.frameCount, 0) << path << " " << w << "x" << h;
    Bytes out(64 * 64 * 4);
    int32_t pos = 0;
    for (FrameRequest r : {kRequestCurrent, kRequestFirst, kRequestLast, kRequestNext,
                           kRequestPrevious, kRequestAtPosition})
      EXPECT_FALSE(s.getVideoFrame(r, 64 * 4, nullptr, 0, 0, out.data(), pos)) << r;
  }
  EXPECT_LT(test::peakResidentKb() - before, 256 * 1024);
}

}  // namespace
}  // namespace strevana
