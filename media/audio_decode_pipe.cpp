#include "media/audio_decode_pipe.h"

#include <algorithm>
#include <cstring>

#include "media/audio_conversion.h"
#include "media/media_source.h"
#include "media/stream_saving.h"

namespace strevana {

std::unique_ptr<AudioDecodePipe> AudioDecodePipe::create(const Setup& setup) {
  std::unique_ptr<AudioDecodePipe> pipe(new AudioDecodePipe());
  pipe->decoder_ = CAudioCodecIf::createInstance(setup.kind);
  if (!pipe->decoder_) return nullptr;
  pipe->input_ = CInStrmPin::createInstance(kPinCapacity);
  pipe->output_ = COutStrmPin::createInstance(kPinCapacity);
  if (!pipe->input_ || !pipe->output_) return nullptr;
  CAudioCodecIf& decoder = *pipe->decoder_;
  decoder.connectInput(pipe->input_, 0);
  decoder.connectOutput(pipe->output_, 0);
  if (setup.kind == kAudioKindAac && setup.config && setup.configLength > 0 &&
      setup.configLength <= kMaxConfigBytes) {
    CBufferElem* config = nullptr;
    if (CIOStrmPin::allocateBufferElem(config, setup.configLength) == kPinOk) {
      std::memcpy(config->data(), setup.config, setup.configLength);
      decoder.setConfig(config);
      CIOStrmPin::freeBufferElem(config);
    }
  }
  if (setup.kind == kAudioKindAmr) {
    decoder.setChannels(setup.channels);
    decoder.setSampleRate(setup.rate);
  }
  decoder.setFormat(setup.format);
  if (!decoder.init()) return nullptr;
  decoder.getSampleRate(pipe->rate_);
  decoder.getChannels(pipe->channels_);
  return pipe;
}

AudioDecodePipe::~AudioDecodePipe() {
  if (decoder_) decoder_->stop();
  CAudioCodecIf::destroyInstance(decoder_);
  CInStrmPin::destroyInstance(input_);
  COutStrmPin::destroyInstance(output_);
}

AudioChunk* AudioDecodePipe::takeChunk(const MediaSource& source, uint64_t* time, uint32_t* frames,
                                       uint64_t* skipFrames) {
  CBufferElem* element = nullptr;
  output_->take(element);
  if (!element) return nullptr;
  uint8_t* data = nullptr;
  uint32_t bytes = 0;
  CIOStrmPin::getData(element, data, bytes);
  if (skipFrames && *skipFrames > 0 && data) {
    const uint32_t frameBytes = static_cast<uint32_t>(std::max(1, channels_)) * 2;
    const uint64_t available = bytes / frameBytes;
    const uint64_t skipped = std::min<uint64_t>(*skipFrames, available);
    *skipFrames -= skipped;
    data += skipped * frameBytes;
    bytes -= static_cast<uint32_t>(skipped * frameBytes);
  }
  if (time) *time = element->desc().time();
  if (frames) {
    const uint32_t frameBytes = static_cast<uint32_t>(std::max(1, channels_)) * 2;
    *frames = bytes / frameBytes;
  }
  appendRawAudio(source, data, bytes);
  auto* chunk = new AudioChunk(static_cast<int32_t>(std::min<uint32_t>(bytes, INT32_MAX)));
  if (chunk->size > 0) std::memcpy(chunk->data.get(), data, static_cast<size_t>(chunk->size));
  CIOStrmPin::freeBufferElem(element);
  convertAudioChunk(chunk, source);
  return chunk;
}

}  // namespace strevana
