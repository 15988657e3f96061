#pragma once
// Raw planar YUV 4:2:0 files for the tests: frame i is one grey, luma
// yuvLuma(i) with neutral chroma; yuvGrey(i) is that luma on screen (video
// range expanded to full range).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace strevana::testing {

inline uint8_t yuvLuma(int32_t i) { return static_cast<uint8_t>(60 + 6 * (i % 25)); }
inline int yuvGrey(int32_t i) { return (yuvLuma(i) - 16) * 255 / 219; }

// The path, or "" when the file could not be written.
inline std::string writeYuv420File(const std::string& path, int32_t w, int32_t h, int32_t frames) {
  std::vector<uint8_t> frame(static_cast<size_t>(w * h * 3 / 2), 0x80);
  FILE* f = std::fopen(path.c_str(), "wb");
  for (int32_t i = 0; f && i < frames; ++i) {
    std::fill_n(frame.begin(), w * h, yuvLuma(i));
    std::fwrite(frame.data(), 1, frame.size(), f);
  }
  return f && std::fclose(f) == 0 ? path : "";
}

}  // namespace strevana::testing
