// The base source's own rules: its name, the still picture, and where the
// stream-saving helpers write. Stream saving from the MP4 source: the
// elementary streams hold the configuration and every sample exactly as fed
// (again after a seek back), raw video the pictures stepped to, raw audio the
// decoder's PCM. The raw YUV file source.
#include "media/media_source.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>

#include "media/mp4_test_support.h"
#include "media/stream_saving.h"
#include "media/yuv_file_source.h"
#include "support/fake_media_source.h"
#include "support/temp_folder.h"

namespace strevana {
namespace {

using namespace test;  // NOLINT: the source-driving helpers

using testing::FakeMediaSource;

TEST(MediaSourceTest, NamesUpTo255CharactersAreKept) {
  FakeMediaSource s;
  const std::string longest(255, 'n'), tooLong(256, 'n');
  // clang-format off
  const struct { const char* given; bool kept; } cases[] = {
      {"clip.mp4", true}, {longest.c_str(), true}, {tooLong.c_str(), false}, {nullptr, false}};
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(s.setName(c.given), c.kept);
    EXPECT_STREQ(s.name, c.kept ? c.given : "");
  }
}

TEST(MediaSourceStillPictureTest, OnlyFourByteFormatsAndWideEnoughStridesGetIt) {
  std::vector<uint32_t> pixels(5 * 3);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = 0x01020304u * static_cast<uint32_t>(i + 1);
  const auto* src = reinterpret_cast<const uint8_t*>(pixels.data());
  FakeMediaSource source;
  source.width = 5;
  source.height = 3;
  source.stillPicture = pixels.data();
  // clang-format off
  const struct { OutputFormat format; int32_t stride; bool drawn; } cases[] = {
      {kFormatBgrx32, 20, true}, {kFormatBgrx32, 32, true}, {8, 20, true}, {8, 27, true},
      {kFormatBgrx32, 19, false}, {kFormatBgrx32, -20, false}, {kFormatIyuv, 20, false},
      {kFormatYuy2, 20, false}, {kFormatBgr24, 20, false}, {7, 20, false}, {0, 20, false},
  };
  // clang-format on
  for (const auto& c : cases) {
    source.setOutputFormat(c.format);
    Bytes out(200, 0xCC);
    uint8_t* dst = out.data() + (c.stride < 0 ? 100 : 0);
    source.drawStillPicture(c.stride, dst);
    source.drawStillPicture(c.stride, dst);  // each call starts from the first row again
    Bytes want(200, 0xCC);
    for (int32_t row = 0; c.drawn && row < 3; ++row)
      std::memcpy(&want[static_cast<size_t>(row * c.stride)], src + row * 20, 20);
    EXPECT_EQ(out, want) << c.format << " stride " << c.stride;
  }
}

// ---- stream saving ----

void append(Bytes& to, const Bytes& what) { to.insert(to.end(), what.begin(), what.end()); }

class StreamSavingTest : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return dir_.file(name); }
  testing::ScratchFolder dir_{"stream-saving"};
  FakeMediaSource source;
};

TEST_F(StreamSavingTest, StreamsStartWithTheWholeConfigurationWhenTheTargetCanBeMade) {
  // Short and long configurations alike: nothing of the headers may be cut.
  Bytes config(24);
  for (size_t i = 0; i < config.size(); ++i) config[i] = static_cast<uint8_t>(i);
  const std::string ten = path("ten.m4v"), full = path("full.m4v"), audio = path("a.m4a");
  source.setVideoStreamFile(ten.c_str(), config.data(), 10);
  source.setVideoStreamFile(full.c_str(), config.data(), 24);
  source.setAudioStreamFile(audio.c_str(), config.data(), 2);
  appendVideoStream(source, config.data() + 5, 2);
  appendAudioStream(source, config.data() + 7, 1);
  EXPECT_EQ(readFile(ten), Bytes(config.begin(), config.begin() + 10));  // no longer written
  config.insert(config.end(), {5, 6});
  EXPECT_EQ(readFile(full), config);
  EXPECT_EQ(readFile(audio), (Bytes{0, 1, 7}));
  // Setting the same path again truncates; a null path switches saving off.
  source.setVideoStreamFile(full.c_str(), nullptr, 0);
  source.setAudioStreamFile(nullptr, nullptr, 0);
  appendAudioStream(source, config.data(), 2);
  EXPECT_EQ(readFile(full).size() + readFile(audio).size() + source.audioStreamFile.size(), 3u);
  // Targets that cannot be created leave saving off.
  const std::string bad = path("missing-folder/x.m4v");
  source.setVideoStreamFile(bad.c_str(), config.data(), 3);
  source.setAudioStreamFile(bad.c_str(), config.data(), 3);
  source.setRawAudioFile(bad.c_str());
  source.setRawVideoFile(bad.c_str(), 0);
  EXPECT_EQ(
      source.videoStreamFile + source.audioStreamFile + source.rawAudioFile + source.rawVideoFile,
      "");
  EXPECT_FALSE(std::filesystem::exists(path("missing-folder")));
}

TEST_F(StreamSavingTest, PerFrameNamesNumberTheFileNameUpToItsFirstDot) {
  // Numbered from 0000 and wrapping after 9999; nothing is created up front.
  source.setRawVideoFile(path("clip.out.yuv").c_str(), 1);
  const uint8_t first[] = {1}, second[] = {2, 2};
  writeRawVideoPicture(source, first, 1);
  writeRawVideoPicture(source, second, 2);
  EXPECT_FALSE(std::filesystem::exists(path("clip.out.yuv")));
  EXPECT_EQ(readFile(path("clip0000.yuv")), Bytes{1});
  EXPECT_EQ(readFile(path("clip0001.yuv")), (Bytes{2, 2}));
  source.rawVideoFileCounter = 9999;
  EXPECT_EQ(nextPerFrameName(source), path("clip9999.yuv"));
  EXPECT_EQ(nextPerFrameName(source), path("clip0000.yuv"));
  std::filesystem::create_directory(path("takes.d"));
  // A name longer than a save path can hold skips the picture.
  const std::string longest(MediaSource::kSavePathCapacity - 10 - dir_.path().size(), 'n');
  // clang-format off
  const struct { std::string given, expected; } cases[] = {
      {"takes.d/clip.yuv", path("takes.d/clip0000.yuv")},
      {"takes.d/noext", path("takes.d/noext0000.yuv")},
      {"takes.d/.hidden.yuv", path("takes.d/0000.yuv")},
      {longest, path(longest + "0000.yuv")},
      {longest + "n", ""},
  };
  // clang-format on
  for (const auto& c : cases) {
    source.setRawVideoFile(path(c.given).c_str(), 1);
    ASSERT_EQ(source.rawVideoFile, path(c.given));
    source.rawVideoFileCounter = 0;
    EXPECT_EQ(nextPerFrameName(source), c.expected) << c.given;
  }
}

// ---- from the MP4 source ----

TEST_F(StreamSavingTest, SeeksFeedFromTheSyncSampleAgainAndWriteNoPictureFile) {
  const std::string m4v = path("video.m4v"), yuv = path("clip.out.yuv");
  auto source =
      openClip("mpeg4_aac.mp4", kFormatYuy2, 0, {m4v.c_str(), nullptr, yuv.c_str(), nullptr, 1});
  const auto samples = test::readTrack("mpeg4_aac.mp4", 1).samples;
  const auto reference = test::loadReference("mpeg4_aac.mp4", "yuv420p");
  // Opening decodes the first picture: its sample follows the configuration.
  Bytes expected = source->videoConfig();
  ASSERT_FALSE(expected.empty());
  for (size_t i = 0; i < 10; ++i) {
    ASSERT_TRUE(i == 0 || request(*source, kRequestNext).ok) << i;
    append(expected, samples[i]);
    const Bytes picture = readFile(path("clip000" + std::to_string(i) + ".yuv"));
    EXPECT_EQ(test::md5Of(picture.data(), picture.size()), reference[i].md5) << i;
  }
  // One step back decodes again from the sync sample (the first, GOP of 12);
  // a seek decodes from there too, and neither writes a picture file.
  ASSERT_TRUE(request(*source, kRequestPrevious).ok);
  for (size_t i = 0; i < 9; ++i) append(expected, samples[i]);
  ASSERT_TRUE(request(*source, kRequestAtPosition).ok);
  append(expected, samples[0]);
  EXPECT_EQ(readFile(m4v), expected);
  EXPECT_FALSE(std::filesystem::exists(path("clip0010.yuv")));
}

// Played straight through from the start as the engine does (the picture
// decoded at open, then next pictures; sound from position 0, then next
// samples), each saved file equals what ffmpeg writes for the same file.
class Mp4StreamSavingStraightThrough : public StreamSavingTest,
                                       public ::testing::WithParamInterface<const char*> {};

TEST_P(Mp4StreamSavingStraightThrough, EverySampleOnceInOrderAsFfmpegWritesIt) {
  const std::string clip = GetParam();
  const std::string m4v = path("saved.m4v"), m4a = path("saved.m4a"), yuv = path("saved.yuv"),
                    pcm = path("saved.pcm");
  {
    auto source =
        openClip(clip, kFormatYuy2, 0, {m4v.c_str(), m4a.c_str(), yuv.c_str(), pcm.c_str()});
    ASSERT_TRUE(source->hasVideo && source->hasAudio);
    setOutput(*source, source->decodedRate / 2, 1, 8);  // raw audio is saved before conversion
    int pictures = 1;
    while (request(*source, kRequestNext).ok) ASSERT_LT(++pictures, 100000);
    EXPECT_GT(pictures, 1);
    soundRequests(*source, kRequestAtPosition);  // from 0, then on to the end
  }
  const std::string& dir = dir_.path();
  for (const std::string kind : {"v", "a"}) {
    // ffmpeg's dump_extra filter puts the configuration before the first packet.
    const std::string map = "-map 0:" + kind + ":0 -c copy -f data",
                      one = " -frames:" + kind + " 1";
    const Bytes first = ffmpegOutput(clip, map + one, dir, "first");
    Bytes stream = ffmpegOutput(clip, map + one + " -bsf:" + kind + " dump_extra", dir, "config");
    const Bytes all = ffmpegOutput(clip, map, dir, "all");
    ASSERT_TRUE(!first.empty() && stream.size() >= first.size() && all.size() > first.size())
        << kind;
    stream.insert(stream.end(), all.begin() + static_cast<std::ptrdiff_t>(first.size()), all.end());
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

// ---- raw YUV files ----

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
