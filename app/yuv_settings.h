#pragma once
// YuvSettings: what the YUV Settings dialog asks about a raw YUV file (frame
// size, frame rate, colour layout), kept for the whole run so the user's last
// choices come back. Reading the record gives what a YuvFileSource is made
// with.
//
// A user rate above 0 but below 1 would truncate to 0 frames per second,
// which cannot be played; it is used as 1 frame per second, like rates of 0
// and below.
//
// Threads: UI thread. Plain value type.
#include <cstdint>

namespace strevana {

struct YuvOpenParameters {
  int32_t width = 0;
  int32_t height = 0;
  double frameRate = 0.0;
  int32_t framesPerSecond = 0;  // the rate truncated toward zero, at least 1
  int32_t layout = 1;           // 1 planar 4:2:0, 5 packed 4:2:2
};

struct YuvSettings {
  static constexpr int32_t kUserDefinedSize = 6;
  static constexpr int32_t kUserDefinedRate = 3;

  int32_t sizeChoice = 1;   // 0 QCIF, 1 CIF, 2 4CIF, 3 QVGA, 4 VGA, 5 SDTV, 6 user
  int32_t rateChoice = 0;   // 0 25 Hz, 1 30 Hz, 2 15 Hz, 3 user
  int32_t colourSpace = 0;  // 0 YUV 4:2:0 planar, 1 YUV 4:2:2 packed
  int32_t userWidth = 352;
  int32_t userHeight = 288;
  double userRate = 25.0;

  YuvOpenParameters read() const;
};

}  // namespace strevana
