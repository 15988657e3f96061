#include "audio/audio_output.h"
#include "audio/audio_sink.h"

namespace strevana {

namespace {

class SoundDeviceSinkFactory final : public AudioSinkFactory {
 public:
  std::unique_ptr<AudioSink> create() const override { return std::make_unique<AudioOutput>(); }
  bool negotiateFormat(double& sampleRate, int32_t& channels, int32_t& bits) const override {
    return AudioOutput::negotiateFormat(sampleRate, channels, bits);
  }
};

}  // namespace

const AudioSinkFactory& soundDeviceSinkFactory() {
  static const SoundDeviceSinkFactory factory;
  return factory;
}

}  // namespace strevana
