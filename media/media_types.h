#pragma once
// Codes shared by the engine, the sources and the renderers.
#include <cstdint>

namespace strevana {

// Pixel format of a renderer buffer and of what a source writes into it.
using OutputFormat = int32_t;
constexpr OutputFormat kFormatIyuv = 1;     // planar 4:2:0, Y U V
constexpr OutputFormat kFormatYv12 = 3;     // planar 4:2:0, Y V U
constexpr OutputFormat kFormatYuy2 = 5;     // packed 4:2:2, Y0 U Y1 V
constexpr OutputFormat kFormatBgr24 = 10;   // B G R, top row first
constexpr OutputFormat kFormatBgrx32 = 11;  // B G R A/X, top row first

// Bytes per pixel of a format (1.5 for planar 4:2:0); 0 for unknown codes.
double bytesPerPixel(OutputFormat format);
// truncate(bytesPerPixel x width): the row size of a buffer in that format.
int32_t rowBytes(OutputFormat format, int32_t width);
// truncate(bytesPerPixel x width x height): the size of a whole buffer.
int64_t bufferBytes(OutputFormat format, int32_t width, int32_t height);
// The video decoder's code for a format, 0 when a decoder cannot deliver it.
int32_t videoDecoderFormat(OutputFormat format);

// What a frame or audio request asks for.
using FrameRequest = int32_t;
constexpr FrameRequest kRequestCurrent = 0;
constexpr FrameRequest kRequestFirst = 1;
constexpr FrameRequest kRequestLast = 2;
constexpr FrameRequest kRequestNext = 3;
constexpr FrameRequest kRequestPrevious = 4;
constexpr FrameRequest kRequestNextCatchingUp = 5;
constexpr FrameRequest kRequestPerSource = 6;
constexpr FrameRequest kRequestAtPosition = 7;

// 0 none, 1 de-blocking, 2 de-ringing, 3 both, 4 automatic (engine only).
using PostfilterMode = int32_t;
constexpr PostfilterMode kPostfilterNone = 0;
constexpr PostfilterMode kPostfilterDeblock = 1;
constexpr PostfilterMode kPostfilterDering = 2;
constexpr PostfilterMode kPostfilterBoth = 3;
constexpr PostfilterMode kPostfilterAuto = 4;

using VideoCodecType = int32_t;
constexpr VideoCodecType kVideoCodecMpeg4 = 1;
constexpr VideoCodecType kVideoCodecH263 = 4;

using AudioCodecType = int32_t;
constexpr AudioCodecType kAudioCodecAac = 2;
constexpr AudioCodecType kAudioCodecAmrWb = 5;
constexpr AudioCodecType kAudioCodecAmrNb = 6;

// A 32-bit picture (B G R X per pixel, top row first) shown for audio-only
// media and used as the background for video with transparency. Not owned.
struct StillPicture {
  const uint32_t* bits = nullptr;
  int32_t width = 0;
  int32_t height = 0;
};

}  // namespace strevana
