#pragma once
// PictureConverter: writes a decoded picture (an AVFrame in the decoder's
// pixel format) into a caller's buffer in one of the output pixel formats,
// through libswscale; planar YUV 4:2:0 is copied as it stands.
//
// libswscale writes whole SIMD blocks and so runs past the end of rows whose
// byte length is not a multiple of 64. Rows that are whole 64-byte blocks, in
// a buffer aligned to 16 bytes, it fills exactly (checked with a guard page
// behind the buffer for every such width up to 4096 and the packed formats
// used here); those are converted straight into the caller's buffer. Other
// sizes go through a scratch picture with FFmpeg's own alignment and padding,
// and only the visible bytes are copied.
//
// Threads: any; calls are serialised by the converter's own mutex (decoded
// pictures held in a pin share their decoder's converter). Ownership: owns the
// libswscale context and the scratch picture; pictures and buffers stay the
// caller's.
#include <cstdint>
#include <mutex>

extern "C" {
#include <libavutil/pixfmt.h>
}

struct AVFrame;
struct SwsContext;

namespace strevana {

// Copies a YUV 4:2:0 picture into one contiguous Y, U, V block (no padding).
void copyPlanar(const AVFrame* picture, uint8_t* dst, int width, int height);

class PictureConverter {
 public:
  PictureConverter() = default;
  ~PictureConverter();
  PictureConverter(const PictureConverter&) = delete;
  PictureConverter& operator=(const PictureConverter&) = delete;

  // Writes the top left width x height pixels of the picture into dst as
  // target: packed formats as rows dstStride bytes apart, YUV 4:2:0 as
  // copyPlanar does (dstStride unused). False when libswscale cannot convert.
  bool convert(const AVFrame* picture, int width, int height, AVPixelFormat target, uint8_t* dst,
               int32_t dstStride);

 private:
  std::mutex mutex_;
  SwsContext* sws_ = nullptr;
  AVFrame* scratch_ = nullptr;  // libswscale's output, padded as it requires
};

}  // namespace strevana
