#pragma once
// A silent sound output for the engine tests: it plays what was queued as its
// own clock moves and stands still once the queue runs dry, so the engine's
// sound-clocked rules run on a test clock. The real device is tested in
// tests/audio.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "audio/audio_sink.h"
#include "base/millisecond_clock.h"

namespace strevana::testing {

class NullAudioSink final : public AudioSink {
 public:
  explicit NullAudioSink(const MillisecondClock& clock) : clock_(clock) {}

  bool open(double rate, int32_t channels, int32_t bits, int32_t) override {
    bytesPerMs_ = rate * channels * (bits / 8) / 1000.0;
    return bytesPerMs_ > 0;
  }
  bool start() override { return run(true); }
  bool stop() override { return run(false); }
  bool enqueue(AudioChunk* list) override {
    settle();
    for (const AudioChunk* c = list; c; c = c->next) {
      queued_ += c->size / bytesPerMs_;
      const auto* samples = reinterpret_cast<const int16_t*>(c->data.get());  // 16-bit only
      for (int32_t i = 0; i < c->size / 2; ++i) loudness += std::abs(samples[i]);
      sampleCount += c->size / 2;
    }
    freeAudioChunkList(list);
    return true;
  }
  bool setTime(double ms) override {
    stop();
    queued_ = 0;
    played_ = ms;
    return true;
  }
  double playedTimeMs() const override { return settle(), played_; }
  double queuedMs() const override { return settle(), queued_; }

  bool started = false;
  double loudness = 0;  // sum of absolute sample values queued
  int64_t sampleCount = 0;

 private:
  bool run(bool on) {
    settle();
    started = on;
    return true;
  }
  void settle() const {
    const int64_t now = clock_.nowMs();
    const double step = started ? std::min(static_cast<double>(now - lastMs_), queued_) : 0;
    played_ += step;
    queued_ -= step;
    lastMs_ = now;
  }

  const MillisecondClock& clock_;
  double bytesPerMs_ = 0;
  mutable double played_ = 0, queued_ = 0;
  mutable int64_t lastMs_ = 0;
};

// Hands out null sinks on `clock` and agrees to rate x channels, 16-bit (rate
// 0: no output at all).
struct NullAudioSinkFactory final : public AudioSinkFactory {
  explicit NullAudioSinkFactory(const MillisecondClock& c) : clock(c) {}
  std::unique_ptr<AudioSink> create() const override {
    auto sink = std::make_unique<NullAudioSink>(clock);
    last = sink.get();
    return sink;
  }
  bool negotiateFormat(double& r, int32_t& c, int32_t& b) const override {
    r = rate;
    c = channels;
    b = 16;
    return rate > 0;
  }

  const MillisecondClock& clock;
  double rate = 16000;  // 64 bytes a millisecond in stereo
  int32_t channels = 2;
  mutable NullAudioSink* last = nullptr;  // the sink made last (the engine owns it)
};

}  // namespace strevana::testing
