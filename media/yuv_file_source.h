#pragma once
// YuvFileSource: plays a headerless file of raw YUV frames whose size, rate
// and layout the user stated (layout 1: planar 4:2:0, layout 5: packed 4:2:2
// YUY2). Every frame is read whole by index, so each is a random-access point;
// a trailing partial frame is ignored. Frames are converted into output format
// 5 (both layouts) or 10 / 11 (planar 4:2:0 only) by the accelerated colour
// converter. No audio.
//
// Choices where the file's description leaves room:
// - a frame rate below 1 is used as 1 frame per second (it divides);
// - sizes not in 1..32767 or an unknown layout give a source without video;
// - a request that cannot be converted (null destination, a stride smaller
//   than one output row, a format/layout pair with no conversion) fails before
//   anything is read, so the current frame stays where it was;
// - the name field holds the path when it fits in 255 characters, else stays
//   empty (the file is still opened by its full path).
//
// Threads and ownership: called by the engine with the controller's lock held;
// owns its file, frame buffer and converter. The engine owns the source.
#include <cstdio>
#include <memory>
#include <vector>

#include "media/colour/yuv_converter.h"
#include "media/media_source.h"

namespace strevana {

class YuvFileSource : public MediaSource {
 public:
  static constexpr int32_t kLayoutPlanar420 = 1;
  static constexpr int32_t kLayoutPacked422 = 5;
  static constexpr int32_t kMaxDimension = 32767;

  YuvFileSource(const char* path, int32_t width, int32_t height, int32_t framesPerSecond,
                int32_t layout, OutputFormat outputFormat);
  ~YuvFileSource() override;

  bool getVideoFrame(FrameRequest request, int32_t dstStride, const uint8_t* backgroundBits,
                     int32_t backgroundWidth, int32_t backgroundHeight, uint8_t* dst,
                     int32_t& positionMs) override;
  // Always false: raw YUV files carry no sound.
  bool getAudio(FrameRequest request, AudioChunk*& chunks, int32_t& timeMs,
                uint8_t& timeChanged) override;

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };

  // Reads frame `index` into the buffer, seeking only when the file does not
  // already stand at it (stepping forward reads sequentially).
  void readFrame(int32_t index);
  bool canConvert(int32_t dstStride, const uint8_t* dst) const;
  void convert(int32_t dstStride, uint8_t* dst) const;

  std::unique_ptr<std::FILE, FileCloser> file_;
  int64_t frameBytes_ = 0;
  int32_t framesPerSecond_ = 1;
  int32_t layout_ = 0;
  int32_t currentFrame_ = 0;
  int64_t filePosition_ = -1;  // -1: unknown, seek before the next read
  std::vector<uint8_t> frame_;
  std::unique_ptr<YuvConverter> converter_;
};

}  // namespace strevana
