#pragma once
// The scripted media source of the tests: live streams, audio-only media and
// failing sources have no real source to drive deterministically. Frames are
// frameMs apart, numbered from 0; frame i is one grey, greyOf(i) (neutral
// chroma in YUY2). Sound comes in 20 ms chunks of silence.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "media/media_source.h"

namespace strevana::testing {

class FakeMediaSource : public MediaSource {
 public:
  // What a live source without a known range reports.
  static constexpr int32_t kLiveDurationMs = 2000000000;
  struct Options {
    int32_t width = 32, height = 16, frames = 10, frameMs = 40;
    bool video = true, audio = false, live = false;
  };
  FakeMediaSource() : FakeMediaSource(Options()) {}
  explicit FakeMediaSource(const Options& o) : options(o) {
    width = displayWidth = o.width;
    height = displayHeight = o.height;
    hasVideo = o.video;
    hasAudio = o.audio;
    live = streaming = o.live;
    durationMs = o.live ? kLiveDurationMs : o.frames * o.frameMs;
    outputFormat = kFormatYuy2;
  }
  ~FakeMediaSource() override {
    if (destroyed) *destroyed = true;
  }
  void setPostfilter(PostfilterMode mode) override { postfilterCalls.push_back(mode); }
  bool getVideoFrame(FrameRequest request, int32_t stride, const uint8_t*, int32_t, int32_t,
                     uint8_t* dst, int32_t& positionMs) override {
    videoRequests.push_back(request);
    const int32_t next = request == kRequestFirst        ? 0
                         : request == kRequestLast       ? options.frames - 1
                         : request == kRequestPrevious   ? current - 1
                         : request == kRequestAtPosition ? positionMs / options.frameMs
                         : request == kRequestCurrent    ? current
                                                         : current + 1;
    if (failFrames || awaiting || (!live && (next < 0 || next >= options.frames))) return false;
    current = std::clamp(next, 0, options.frames - 1);
    if (!hasVideo) return outputFormat == kFormatBgrx32 && (drawStillPicture(stride, dst), true);
    for (int32_t y = 0; y < height; ++y) {
      std::memset(dst + y * stride, greyOf(current), rowBytes(outputFormat, width));
      for (int32_t x = 1; outputFormat == kFormatYuy2 && x < 2 * width; x += 2)
        dst[y * stride + x] = 0x80;
    }
    positionMs = current * options.frameMs + positionOffsetMs;
    return true;
  }
  bool getAudio(FrameRequest request, AudioChunk*& chunks, int32_t& timeMs,
                uint8_t& timeChanged) override {
    audioRequests.push_back(request);
    timeChanged = request == kRequestAtPosition && reportAudioTimeMs >= 0;
    if (timeChanged) timeMs = reportAudioTimeMs;
    if (failAudio || awaiting || !hasAudio) return false;
    const int32_t bytes = 2 * std::max(outputChannels, 1) * std::max(outputRate, 8000) / 50;
    chunks = new AudioChunk(bytes);
    std::memset(chunks->data.get(), 0, static_cast<size_t>(bytes));
    return true;
  }
  bool awaitingData() const override { return awaiting; }

  static uint8_t greyOf(int32_t frame) { return static_cast<uint8_t>(10 + 20 * (frame % 12)); }
  int count(FrameRequest r) const {
    return std::count(videoRequests.begin(), videoRequests.end(), r);
  }

  Options options;
  int32_t current = 0;
  int32_t positionOffsetMs = 0;  // added to every time stamp
  int32_t reportAudioTimeMs = -1;
  bool failFrames = false, failAudio = false;
  bool awaiting = false;  // requests fail as a buffering live source's do
  bool* destroyed = nullptr;
  std::vector<FrameRequest> videoRequests, audioRequests;
  std::vector<PostfilterMode> postfilterCalls;
};

}  // namespace strevana::testing
