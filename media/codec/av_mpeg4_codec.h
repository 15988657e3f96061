#pragma once
// AvMpeg4Codec: the video decoder library (mpeg4_codec_if.h) on libavcodec's
// "mpeg4" and "h263" decoders, single-threaded so that decoding is
// deterministic and needs no locking. Post-filtering (modes 1 to 3) runs
// libpostproc on the decoded YUV 4:2:0 picture with the per-macroblock
// quantisers libavcodec exports as video encoding parameters; libswscale then
// converts to the output format (planar YUV is copied as it stands). FFmpeg
// writes only into pictures it allocated itself, with its own row alignment
// and padding; the caller's exactly-sized buffers receive copies of the
// visible bytes unless the rows allow libswscale to write them exactly
// (picture_converter.h). With holdPictures on, unfiltered packed pictures are
// delivered unconverted (held) and converted where they are copied out.
//
// Threads: one caller at a time. Ownership: owns the libavcodec, libswscale
// and libpostproc contexts; the pins are the caller's.
#include <memory>
#include <vector>

#include "media/codec/mpeg4_codec_if.h"
#include "media/codec/picture_converter.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace strevana {

class AvMpeg4Codec final : public Mpeg4CodecIf, public Mpeg4CodecControl {
 public:
  AvMpeg4Codec();
  ~AvMpeg4Codec() override;

  Mpeg4CodecControl* getInterface(int32_t id, int32_t reserved) override;
  int32_t step(int32_t* run) override;
  int32_t status() override { return failed_ ? 1 : 0; }

  int32_t connectInput(CInStrmPin* pin, int32_t index) override;
  int32_t connectOutput(COutStrmPin* pin, int32_t index) override;
  int32_t start() override;
  int32_t setPictureSize(int32_t width, int32_t height) override;
  int32_t getPictureSize(int32_t& width, int32_t& height) override;
  int32_t setPostfilter(int32_t mode) override;
  int32_t getPostfilter(int32_t& mode) override;
  int32_t setOutputFormat(int32_t decoderFormat, int32_t reserved) override;
  int32_t getInfo(int32_t& value) override;
  int32_t hasAlpha(int32_t& flag) override;
  int32_t getPixelAspect(uint32_t& numerator, uint32_t& denominator, uint32_t& third) override;
  int32_t seek(uint64_t time) override;
  int32_t setConfig(CBufferElem* element, int32_t reserved) override;
  int32_t setH263() override;
  int32_t holdPictures(int32_t on) override;

 private:
  bool sendAndReceive(const AVPacket* packet);
  void deliver(AVFrame* frame);
  // The picture to convert: the decoded one or its post-filtered copy.
  const AVFrame* postfilter(AVFrame* frame);
  void freePostfilter();

  CInStrmPin* input_ = nullptr;
  COutStrmPin* output_ = nullptr;
  COutStrmPin* rawOutput_ = nullptr;
  AVCodecContext* context_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVFrame* filtered_ = nullptr;  // post-filter output, whole macroblocks
  AVFrame* ppInput_ = nullptr;   // post-filter input with zeroed margins
  AVPacket* packet_ = nullptr;
  // Shared with the pictures held in the output pin, which may outlive us.
  std::shared_ptr<PictureConverter> converter_ = std::make_shared<PictureConverter>();
  void* ppContext_ = nullptr;
  void* ppMode_ = nullptr;
  int ppWidth_ = 0;
  int ppHeight_ = 0;
  int ppModeSet_ = -1;
  std::vector<int8_t> quantisers_;
  std::vector<uint8_t> config_;
  int32_t decoderFormat_ = 0;
  int32_t postfilter_ = 0;
  int32_t width_ = 0;
  int32_t height_ = 0;
  bool h263_ = false;
  bool holdPictures_ = false;
  bool failed_ = false;
  bool drained_ = false;
  bool skipping_ = false;
  // A key picture was decoded since start or the last seek; pictures before
  // it were predicted from nothing and are marked as needing blanking.
  bool clean_ = false;
  int64_t skipBefore_ = 0;
};

}  // namespace strevana
