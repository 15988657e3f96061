#pragma once
// What an MPEG-4 Visual configuration's video object layer header
// (ISO/IEC 14496-2 6.2.3) says before any picture is decoded, and the time
// stamp a VOP header (6.2.5) carries. Used by the video decoder (picture
// size and aspect before the first picture) and by the MP4V-ES payload
// format (times of several VOPs sent in one packet). Pure functions over
// bytes the caller owns; any thread.
#include <cstddef>
#include <cstdint>

namespace strevana {

struct Mpeg4VolHeader {
  bool found = false;
  // Pixel aspect ratio (0/0 when the header gives none).
  uint32_t aspectNumerator = 0;
  uint32_t aspectDenominator = 0;
  // Picture size, for rectangular shapes only (0 otherwise).
  int32_t width = 0;
  int32_t height = 0;
  // vop_time_increment_resolution (ticks per second) and the width of a
  // vop_time_increment field in bits.
  uint32_t timeResolution = 0;
  int timeIncrementBits = 0;
};

// The first video object layer header in data (searched by its start code).
Mpeg4VolHeader parseMpeg4VolHeader(const uint8_t* data, size_t size);

// A VOP's time from its header (data at its 00 00 01 B6 start code): the
// whole seconds of modulo_time_base and the vop_time_increment. False when
// the header is cut short.
bool parseMpeg4VopTime(const uint8_t* data, size_t size, int timeIncrementBits, uint32_t& seconds,
                       uint32_t& increment);

}  // namespace strevana
