#pragma once
// Test doubles for the playback tests: a scripted media source (live streams
// and audio-only media have no real source to drive deterministically), a
// source factory handing it out, raw YUV fixture writing, the GUI application
// text needs and the panel every player window shows.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <algorithm>
#include <QImage>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "media/media_source.h"
#include "playback/panel/draw_context.h"
#include "playback/panel/skin_resources.h"
#include "playback/playback_engine.h"
#include "support/fake_renderer.h"

namespace strevana::testing {

// Frames are frameMs apart, numbered from 0; frame i is one grey, greyOf(i).
class FakeMediaSource : public MediaSource {
 public:
  struct Options {
    int32_t width = 32, height = 16, frames = 10, frameMs = 40;
    bool video = true, audio = false, live = false;
  };

  explicit FakeMediaSource(const Options& o) : options(o) {
    width = displayWidth = o.width;
    height = displayHeight = o.height;
    hasVideo = o.video;
    hasAudio = o.audio;
    live = streaming = o.live;
    frameCount = o.frames;
    durationMs = o.live ? PlaybackEngine::kLiveDurationMs : o.frames * o.frameMs;
    decodedRate = 8000;
    decodedChannels = 1;
    decodedBits = 16;
    outputFormat = kFormatYuy2;
  }
  ~FakeMediaSource() override {
    if (destroyed) *destroyed = true;
  }

  void setPostfilter(PostfilterMode mode) override { postfilterCalls.push_back(mode); }

  bool getVideoFrame(FrameRequest request, int32_t stride, const uint8_t*, int32_t, int32_t,
                     uint8_t* dst, int32_t& positionMs) override {
    videoRequests.push_back(request);
    if (failFrames || awaiting) return false;
    int32_t next = current;
    if (request == kRequestFirst) next = 0;
    if (request == kRequestLast) next = options.frames - 1;
    if (request == kRequestNext || request == kRequestNextCatchingUp) next = current + 1;
    if (request == kRequestPrevious) next = current - 1;
    if (request == kRequestAtPosition) next = positionMs / options.frameMs;
    if (!options.live && (next < 0 || next >= options.frames)) return false;
    current = std::max(0, std::min(next, options.frames - 1));
    if (!hasVideo) {
      if (outputFormat != kFormatBgrx32) return false;
      drawStillPicture(stride, dst);
    } else {
      const int bpp = outputFormat == kFormatBgr24 ? 3 : outputFormat == kFormatBgrx32 ? 4 : 2;
      for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = dst + static_cast<size_t>(y) * static_cast<size_t>(stride);
        for (int32_t x = 0; x < width * bpp; ++x) {
          row[x] = outputFormat == kFormatYuy2 && x % 2 ? 0x80 : greyOf(current);
        }
      }
    }
    positionMs = current * options.frameMs + positionOffsetMs;
    return true;
  }

  // 20 ms of silence in the output format.
  bool getAudio(FrameRequest request, AudioChunk*& chunks, int32_t& timeMs,
                uint8_t& timeChanged) override {
    timeChanged = 0;
    audioRequests.push_back(request);
    if (failAudio || awaiting || !hasAudio) return false;
    if (request == kRequestAtPosition && reportAudioTimeMs >= 0) {
      timeMs = reportAudioTimeMs;
      timeChanged = 1;
    }
    const int32_t bytes = 2 * std::max(outputChannels, 1) * std::max(outputRate, 8000) / 50;
    chunks = new AudioChunk(bytes);
    std::memset(chunks->data.get(), 0, static_cast<size_t>(bytes));
    return true;
  }

  bool awaitingData() const override { return awaiting; }

  static uint8_t greyOf(int32_t frame) { return static_cast<uint8_t>(10 + 20 * (frame % 12)); }
  int count(FrameRequest r) const {
    return static_cast<int>(std::count(videoRequests.begin(), videoRequests.end(), r));
  }

  Options options;
  int32_t current = 0;
  int32_t positionOffsetMs = 0;  // added to every reported time stamp
  int32_t reportAudioTimeMs = -1;
  bool failFrames = false, failAudio = false;
  bool awaiting = false;  // requests fail as a buffering live source's do
  bool* destroyed = nullptr;
  std::vector<FrameRequest> videoRequests, audioRequests;
  std::vector<PostfilterMode> postfilterCalls;
};

// Makes the engine's next openFile/openUrl hand out a fake and records what
// the factory was asked for.
struct FakeSourceFactory {
  FakeMediaSource* next(PlaybackEngine& engine, const FakeMediaSource::Options& o) {
    pending = std::make_unique<FakeMediaSource>(o);
    FakeMediaSource* raw = pending.get();
    engine.setSourceFactory([this](const char* b, const char* n, int32_t, OutputFormat,
                                   PostfilterMode mode, int32_t, int32_t, int32_t, const char*,
                                   const char*, const char*, const char*, int32_t, int32_t, int32_t,
                                   const uint32_t* still) {
      ++opens;
      base = b ? b : "";
      name = n ? n : "";
      postfilter = mode;
      if (pending) pending->stillPicture = still;
      return std::unique_ptr<MediaSource>(std::move(pending));
    });
    return raw;
  }
  std::unique_ptr<FakeMediaSource> pending;
  int opens = 0;
  std::string base, name;
  PostfilterMode postfilter = -1;
};

// Luma of frame i in the files writeYuv420File makes, and its grey on screen
// (video range expanded to full range).
inline uint8_t yuvFrameLuma(int32_t i) { return static_cast<uint8_t>(60 + 6 * (i % 25)); }
inline int yuvGrey(int32_t i) { return (yuvFrameLuma(i) - 16) * 255 / 219; }

// Writes a planar 4:2:0 file whose frame i has luma yuvFrameLuma(i).
inline std::string writeYuv420File(const std::string& path, int32_t width, int32_t height,
                                   int32_t frames) {
  const size_t luma = static_cast<size_t>(width) * static_cast<size_t>(height);
  std::vector<uint8_t> frame(luma * 3 / 2, 0x80);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return {};
  for (int32_t i = 0; i < frames; ++i) {
    std::memset(frame.data(), yuvFrameLuma(i), luma);
    std::fwrite(frame.data(), 1, frame.size(), f);
  }
  std::fclose(f);
  return path;
}

// Text needs a GUI application: one for the binary, destroyed at exit so that
// Qt releases its font caches before the leak check.
inline void ensureGuiApplication() {
  if (QCoreApplication::instance()) return;
  static int argc = 1;
  static char name[] = "strevana_playback_tests";
  static char* argv[] = {name, nullptr};
  static QGuiApplication app(argc, argv);
}

inline uint32_t rgbAt(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xffffffu; }

// A picture of one colour (0xRRGGBB).
inline std::unique_ptr<SkinBitmap> solid(int w, int h, uint32_t rgb) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(0xff000000u | rgb);
  return std::make_unique<SkinBitmap>(img);
}

// The panel of a w x h client area: frame corners, the six buttons, the
// slider's right end and the time text's box.
inline void expectPanel(const QImage& img, int w, int h) {
  ASSERT_EQ(img.size(), QSize(w, h));
  auto skin = [](int id, int x, int y) { return loadSkinBitmap(id)->image().pixel(x, y); };
  EXPECT_EQ(img.pixel(4, 4), skin(133, 4, 4));
  EXPECT_EQ(img.pixel(w - 17 + 3, 4), skin(134, 3, 4));
  EXPECT_EQ(img.pixel(4, h - 72 + 60), skin(135, 4, 60));
  EXPECT_EQ(img.pixel(w - 122 + 10, h - 72 + 5), skin(136, 10, 5));
  const int xs[] = {15, 44, 79, 108, 143, 173}, normal[] = {132, 145, 161, 162, 156, 151};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(img.pixel(xs[i] + 14, h - 41 + 14), skin(normal[i], 14, 14)) << "button " << i;
  }
  EXPECT_EQ(img.pixel(w - 106 + 17, h - 60 + 3), skin(167, 2, 3));  // slider's right end
  EXPECT_EQ(rgbAt(img, w - 100, h - 35), rgb(64, 80, 100));         // time text box
}

}  // namespace strevana::testing
