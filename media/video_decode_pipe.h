#pragma once
// VideoDecodePipe: one video decoder (Mpeg4CodecIf) with its input pin, its
// picture output pin and, when raw video saving is on, its raw-save output;
// the picture last taken from it (the current picture); and the copy of that
// picture into a renderer's buffer (stride-aware, or composited over a
// background when the pictures carry an alpha channel). The MP4 file source
// feeds it samples by number, the streaming source feeds it access units
// from its receive thread; both decode, take and copy through it.
//
// Threads: one caller at a time for everything except input(), whose pin may
// be fed from another thread (pins are thread-safe). Ownership: the pipe owns
// the decoder, its pins and the current picture; it destroys the decoder
// before the pins. A configuration handed to create() stays the caller's.
// Save targets are the owning source's (passed to the calls that write).
#include <cstdint>
#include <memory>

#include "media/codec/mpeg4_codec_if.h"
#include "media/media_types.h"

namespace strevana {

class MediaSource;

class VideoDecodePipe {
 public:
  static constexpr uint32_t kPinCapacity = 1024;
  // Configurations larger than this are not believed.
  static constexpr uint32_t kMaxConfigBytes = 1u << 20;

  struct Setup {
    OutputFormat format = kFormatYuy2;
    PostfilterMode postfilter = kPostfilterNone;
    // The picture size the container or description announces (0 unknown).
    int32_t width = 0;
    int32_t height = 0;
    bool h263 = false;
    // The decoder configuration (VOS/VOL headers), may be empty.
    const uint8_t* config = nullptr;
    uint32_t configLength = 0;
    // A second output with each picture as planar YUV 4:2:0 for raw saving.
    bool rawSaveOutput = false;
  };

  // Creates, configures and starts the decoder: null when the format has no
  // decoder format, a part cannot be made, or the decoder refuses to start.
  static std::unique_ptr<VideoDecodePipe> create(const Setup& setup);
  ~VideoDecodePipe();
  VideoDecodePipe(const VideoDecodePipe&) = delete;
  VideoDecodePipe& operator=(const VideoDecodePipe&) = delete;

  CInStrmPin& input() { return *input_; }
  COutStrmPin& output() { return *output_; }
  // Pixel aspect ratio the decoder reports (1 when it reports none).
  double pixelAspect() const { return pixelAspect_; }
  int32_t info() const { return info_; }

  // Non-zero when the decoder cannot go on.
  int32_t status() { return decoder_->status(); }
  // Decodes what the input pin holds.
  void step();
  // Forgets everything queued; pictures before time are dropped.
  void seek(uint64_t time) { control_->seek(time); }
  void setPostfilter(PostfilterMode mode) { control_->setPostfilter(mode); }
  PostfilterMode postfilter();
  // The decoder delivers pictures with an alpha (shape) channel.
  bool hasAlpha();
  // The picture size the decoder knows: the decoded one, else the announced
  // one, else what its configuration says (0 when nothing does).
  void pictureSize(int32_t& width, int32_t& height) { control_->getPictureSize(width, height); }

  // Gives the current picture back and takes the next one from the output
  // pin (null when it holds none). The matching raw picture is written to
  // saveTo's raw video target when saveTo is given, else dropped unwritten.
  void takePicture(MediaSource* saveTo);
  // Gives the current picture back; there is none afterwards.
  void dropCurrentPicture();
  CBufferElem* currentPicture() const { return current_; }

  // Copies the current picture into dst (rows dstStride bytes apart) as
  // source's width x height in source.outputFormat: composited over the
  // background at source's object position when the decoder reports alpha
  // and the format is 32-bit RGB, else as one block when the rows are
  // contiguous, else row by row. A picture of another size than announced is
  // clipped, never overrun. False without a current picture.
  bool copyPicture(const MediaSource& source, uint8_t* dst, int32_t dstStride,
                   const uint8_t* backgroundBits, int32_t backgroundWidth,
                   int32_t backgroundHeight);

 private:
  VideoDecodePipe() = default;

  Mpeg4CodecIf* decoder_ = nullptr;
  Mpeg4CodecControl* control_ = nullptr;
  CInStrmPin* input_ = nullptr;
  COutStrmPin* output_ = nullptr;
  COutStrmPin* rawOutput_ = nullptr;
  CBufferElem* current_ = nullptr;
  double pixelAspect_ = 1.0;
  int32_t info_ = 0;
};

}  // namespace strevana
