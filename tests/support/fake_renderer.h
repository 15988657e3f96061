#pragma once
// The one test renderer: a plain buffer that accepts every format, starts
// filled with a marker byte (so that clearing shows), counts its locks,
// unlocks and presents, and whose lock or present can be made to fail a
// given number of times. Used by the renderer base tests and the engine's.
#include <cstdint>
#include <functional>
#include <vector>

#include "video/video_renderer.h"

namespace strevana::testing {

class FakeRenderer final : public VideoRenderer {
 public:
  static constexpr uint8_t kMarker = 0x5a;

  bool open(WindowSurface* window, int32_t x, int32_t y, int32_t width, int32_t height,
            OutputFormat format) override {
    VideoRenderer::open(window, x, y, width, height, format);
    buffer.assign(static_cast<size_t>(bufferBytes(format, width, height)), kMarker);
    return !buffer.empty();
  }
  bool lockBuffer(uint8_t*& bits, int32_t& size, int32_t& stride) override {
    ++locks;
    if (failLocks > 0) {
      --failLocks;
      return false;
    }
    bits = buffer.data();
    size = static_cast<int32_t>(buffer.size());
    stride = rowBytes(format(), imageWidth());
    return true;
  }
  bool unlockBuffer() override {
    ++unlocks;
    return true;
  }
  bool present() override {
    ++presents;
    if (onPresent) onPresent(buffer);
    if (failPresents > 0) {
      --failPresents;
      return false;
    }
    return true;
  }

  std::vector<uint8_t> buffer;
  int failLocks = 0;
  int failPresents = 0;
  int locks = 0;
  int unlocks = 0;
  int presents = 0;
  std::function<void(const std::vector<uint8_t>&)> onPresent;  // sees each picture presented
};

}  // namespace strevana::testing
