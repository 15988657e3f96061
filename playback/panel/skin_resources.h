#pragma once
// The program's own pictures, compiled in with the Qt resource system and
// looked up by their resource ids:
//   132..169 skin pictures (frame pieces, six buttons x four states, slider),
//   179      still picture shown for audio-only media (320 x 240),
//   107      program icon (large: 32, 48, 64, 128 and 256 pixels),
//   108      program icon (small: 16, 24 and 32 pixels).
// Every call reads the compiled-in data afresh; callers own what they get.
// Threads: any (QImage decoding only; no QGuiApplication needed).
#include <QImage>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "playback/panel/skin_bitmap.h"

namespace strevana {

constexpr int32_t kIconLarge = 107;
constexpr int32_t kIconSmall = 108;
constexpr int32_t kStillPictureId = 179;

// Frame pieces by role (sizes in the skin's README).
constexpr int32_t kFrameTopLeft = 133;      // 15 x 13
constexpr int32_t kFrameTopRight = 134;     // 17 x 13
constexpr int32_t kFrameBottomLeft = 135;   // 15 x 72
constexpr int32_t kFrameBottomRight = 136;  // 122 x 72
constexpr int32_t kFrameLeft = 137;         // 15 x 216, stretched vertically
constexpr int32_t kFrameRight = 138;        // 17 x 216, stretched vertically
constexpr int32_t kFrameTop = 139;          // 369 x 13, stretched horizontally
constexpr int32_t kFrameBottom = 140;       // 303 x 72, stretched horizontally

// The 36 skin ids in the order the shell hands them to the controller: the
// eight frame pieces in id order 133..140 (note: corners first, then the LEFT
// and RIGHT edges, then TOP and BOTTOM), then the normal/pressed-or-on/hover/
// disabled pictures of play, pause, step forward, step backward, rewind and
// end, then the slider's left end, right end, middle and knob (all 28 x 28
// buttons; slider 4 x 8, 4 x 8, 1 x 8, 16 x 8).
// clang-format off
constexpr std::array<int32_t, 36> kSkinLoadOrder = {
    133, 134, 135, 136, 137, 138, 139, 140,  // frame
    132, 141, 142, 143,                      // play
    145, 146, 147, 148,                      // pause
    151, 149, 152, 150,                      // step forward
    156, 153, 154, 155,                      // step backward
    161, 157, 158, 160,                      // rewind
    162, 163, 164, 165,                      // end
    166, 167, 168, 169};                     // slider
// clang-format on

// The picture with that id (skin ids and 179), or null for an unknown id.
std::unique_ptr<SkinBitmap> loadSkinBitmap(int32_t resourceId);

// The still picture (179) as a Format_RGB32 image, ready to hand to the
// engine as width, height and B G R X pixels.
QImage loadStillPicture();

// The sizes of the program icon with that id (107 or 108), smallest first;
// empty for an unknown id.
std::vector<QImage> loadIconImages(int32_t resourceId);

}  // namespace strevana
