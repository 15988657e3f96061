#pragma once
// Test doubles for the engine and controller tests: a scripted media source
// (for live streams and audio-only media, which have no real source to drive
// deterministically) and raw YUV fixture writing; the renderer is the shared
// one in support/fake_renderer.h.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/media_source.h"
#include "playback/playback_engine.h"
#include "support/fake_renderer.h"
#include "video/video_renderer.h"

namespace strevana::testing {

// Frames are frameMs apart, numbered from 0; each picture is filled with one
// grey value (10 + 20 x index, so frames are told apart by their pixels).
class FakeMediaSource : public MediaSource {
 public:
  struct Options {
    int32_t width = 32;
    int32_t height = 16;
    int32_t frames = 10;
    int32_t frameMs = 40;
    bool video = true;
    bool audio = false;
    bool live = false;
    bool rgbOnly = false;  // refuses format 5 in getVideoFrame
  };

  explicit FakeMediaSource(const Options& o) : options(o) {
    width = displayWidth = o.width;
    height = displayHeight = o.height;
    hasVideo = o.video ? 1 : 0;
    hasAudio = o.audio ? 1 : 0;
    live = streaming = o.live ? 1 : 0;
    frameCount = o.frames;
    durationMs = o.live ? 2000000000 : o.frames * o.frameMs;
    decodedRate = 8000;
    decodedChannels = 1;
    decodedBits = 16;
    outputFormat = 5;
  }
  ~FakeMediaSource() override {
    if (destroyed) *destroyed = true;
  }

  void setPostfilter(PostfilterMode mode) override { postfilterCalls.push_back(mode); }
  bool setOutputFormat(OutputFormat format) override {
    formatCalls.push_back(format);
    return MediaSource::setOutputFormat(format);
  }

  bool getVideoFrame(FrameRequest request, int32_t dstStride, const uint8_t*, int32_t, int32_t,
                     uint8_t* dst, int32_t& positionMs) override {
    videoRequests.push_back(request);
    if (failFrames || awaiting) return false;
    int32_t next = current;
    switch (request) {
      case 1: next = 0; break;
      case 2: next = options.frames - 1; break;
      case 3:
      case 5: next = current + 1; break;
      case 4: next = current - 1; break;
      case 7: next = options.frameMs > 0 ? positionMs / options.frameMs : 0; break;
      default: break;
    }
    if (!options.live && (next < 0 || next >= options.frames)) return false;
    if (next < 0) next = 0;
    if (next >= options.frames && options.frames > 0) next = options.frames - 1;
    current = next;
    if (!hasVideo) {
      if (outputFormat != 11) return false;
      drawStillPicture(dstStride, dst);
    } else {
      const int32_t bpp = outputFormat == 10 ? 3 : outputFormat == 11 ? 4 : 2;
      if (outputFormat == 5 && options.rgbOnly) return false;
      if (outputFormat != 5 && outputFormat != 10 && outputFormat != 11) return false;
      const uint8_t v = greyOf(current);
      for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = dst + static_cast<size_t>(y) * static_cast<size_t>(dstStride);
        if (outputFormat == 5) {
          for (int32_t x = 0; x < width; ++x) {
            row[2 * x] = v;
            row[2 * x + 1] = 0x80;
          }
        } else {
          std::memset(row, v, static_cast<size_t>(width * bpp));
        }
      }
    }
    positionMs = current * options.frameMs + positionOffsetMs;
    return true;
  }

  bool getAudio(FrameRequest request, AudioChunk*& chunks, int32_t& timeMs,
                uint8_t& timeChanged) override {
    timeChanged = 0;
    audioRequests.push_back(request);
    if (failAudio || awaiting || !hasAudio) return false;
    if (request == 7 && reportAudioTimeMs >= 0) {
      timeMs = reportAudioTimeMs;
      timeChanged = 1;
    }
    // 20 ms of silence in the output format.
    const int32_t rate = outputRate > 0 ? outputRate : 8000;
    const int32_t channels = outputChannels > 0 ? outputChannels : 1;
    const int32_t bytes = (outputBits == 8 ? 1 : 2) * channels * rate / 50;
    auto* chunk = new AudioChunk(bytes);
    std::memset(chunk->data.get(), outputBits == 8 ? 0x80 : 0, static_cast<size_t>(bytes));
    chunks = chunk;
    return true;
  }

  bool awaitingData() const override { return awaiting; }

  static uint8_t greyOf(int32_t frame) { return static_cast<uint8_t>(10 + 20 * (frame % 12)); }

  int count(FrameRequest r) const {
    int n = 0;
    for (FrameRequest x : videoRequests) n += (x == r);
    return n;
  }

  Options options;
  int32_t current = 0;
  int32_t positionOffsetMs = 0;  // added to every reported time stamp
  int32_t reportAudioTimeMs = -1;
  bool failFrames = false;
  bool failAudio = false;
  bool awaiting = false;  // requests fail as a buffering live source's do
  bool* destroyed = nullptr;
  std::vector<FrameRequest> videoRequests;
  std::vector<FrameRequest> audioRequests;
  std::vector<PostfilterMode> postfilterCalls;
  std::vector<OutputFormat> formatCalls;
};

// A source factory for the engine that hands out one prepared fake and
// records what it was asked for.
struct FakeSourceFactory {
  // Installs the factory; the next open gets a fake made from o, returned here.
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

// Luma of frame i in the files writeYuv420File makes.
inline uint8_t yuvFrameLuma(int32_t i) { return static_cast<uint8_t>(60 + 6 * (i % 25)); }
// The grey that luma becomes on screen (video range expanded to full range).
inline int yuvGrey(int32_t i) { return (yuvFrameLuma(i) - 16) * 255 / 219; }

// Writes frames of a planar 4:2:0 file: frame i has luma yuvFrameLuma(i) and
// neutral chroma. Returns the path.
inline std::string writeYuv420File(const std::filesystem::path& path, int32_t width, int32_t height,
                                   int32_t frames) {
  const size_t luma = static_cast<size_t>(width) * static_cast<size_t>(height);
  std::vector<uint8_t> frame(luma * 3 / 2);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return {};
  for (int32_t i = 0; i < frames; ++i) {
    std::memset(frame.data(), yuvFrameLuma(i), luma);
    std::memset(frame.data() + luma, 0x80, frame.size() - luma);
    std::fwrite(frame.data(), 1, frame.size(), f);
  }
  std::fclose(f);
  return path.string();
}

// A fresh directory under the system temporary folder, removed with the object.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/strevana-playback-XXXXXX";
    const char* made = mkdtemp(pattern);
    path_ = made ? made : "/tmp";
  }
  ~TempDir() {
    std::error_code ec;
    if (path_ != "/tmp") std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace strevana::testing
