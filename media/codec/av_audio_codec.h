#pragma once
// AvAudioCodec: the audio decoder library (audio_codec_if.h) on libavcodec's
// "aac", "amrnb" and "amrwb" decoders, with libswresample turning whatever
// sample layout the decoder gives into interleaved signed 16-bit PCM at the
// decoder's own rate and channel count. For LATM the AudioSpecificConfig is
// taken out of the StreamMuxConfig and each element's PayloadLengthInfo is
// stripped before the AAC payload reaches the decoder.
//
// Threads: one caller at a time. Ownership: owns the libavcodec and
// libswresample contexts; the pins are the caller's.
#include <vector>

#include "media/codec/audio_codec_if.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

namespace strevana {

// The AudioSpecificConfig carried in a StreamMuxConfig (single program, single
// layer), byte-aligned; empty when the configuration is not of that kind.
std::vector<uint8_t> audioSpecificConfigFromStreamMuxConfig(const uint8_t* data, size_t size);

class AvAudioCodec final : public CAudioCodecIf {
 public:
  explicit AvAudioCodec(int32_t kind) : kind_(kind) {}
  ~AvAudioCodec() override;

  int32_t init() override;
  int32_t stop() override;
  int32_t decode() override;
  int32_t connectInput(CInStrmPin* pin, int32_t index) override;
  int32_t connectOutput(COutStrmPin* pin, int32_t index) override;
  int32_t setChannels(int32_t count) override;
  int32_t getChannels(int32_t& count) override;
  int32_t setSampleRate(int32_t rate) override;
  int32_t getSampleRate(int32_t& rate) override;
  int32_t setConfig(CBufferElem* element) override;
  int32_t setFormat(int32_t code) override;

 private:
  bool sendAndReceive(const AVPacket* packet);
  bool deliver(const AVFrame* frame);

  const int32_t kind_;
  int32_t format_ = -1;
  int32_t channels_ = 0;
  int32_t rate_ = 0;
  std::vector<uint8_t> config_;
  CInStrmPin* input_ = nullptr;
  COutStrmPin* output_ = nullptr;
  AVCodecContext* context_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  SwrContext* swr_ = nullptr;
  int swrFormat_ = -1;
  int swrRate_ = 0;
  int swrChannels_ = 0;
  bool drained_ = false;
};

}  // namespace strevana
