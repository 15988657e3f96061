#pragma once
// Test doubles for the playback tests: a factory handing the scripted media
// source to the engine, a silent sound output on a test clock, raw YUV files.
#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio_sink.h"
#include "base/millisecond_clock.h"
#include "media/media_source.h"
#include "playback/panel/skin_bitmap.h"
#include "playback/playback_engine.h"
#include "support/fake_media_source.h"
#include "support/fake_renderer.h"
#include "support/qt_application.h"
#include "support/yuv_file.h"

namespace strevana::testing {

static_assert(FakeMediaSource::kLiveDurationMs == PlaybackEngine::kLiveDurationMs);

// Makes the engine's next openFile/openUrl hand out a fake and records what
// the factory was asked for.
struct FakeSourceFactory {
  FakeMediaSource* next(PlaybackEngine& engine, const FakeMediaSource::Options& o) {
    pending = std::make_unique<FakeMediaSource>(o);
    FakeMediaSource* raw = pending.get();
    engine.setSourceFactory([this](const char* b, const char* n, int32_t, OutputFormat,
                                   PostfilterMode mode, int32_t, int32_t, int32_t, const char*,
                                   const char*, const char*, const char*, int32_t, int32_t, int32_t,
                                   const uint32_t* still) {
      base = b ? b : "";
      name = n ? n : "";
      postfilter = mode;
      if (pending) pending->stillPicture = still;
      return std::unique_ptr<MediaSource>(std::move(pending));
    });
    return raw;
  }
  std::unique_ptr<FakeMediaSource> pending;
  std::string base, name;
  PostfilterMode postfilter = -1;
};

// A silent sound output: plays what was queued as its clock moves and stands
// still once the queue runs dry; sums what it was given (16-bit samples).
class NullAudioSink final : public AudioSink {
 public:
  explicit NullAudioSink(const MillisecondClock& clock) : clock_(clock) {}
  bool open(double rate, int32_t channels, int32_t bits, int32_t) override {
    return (bytesPerMs_ = rate * channels * (bits / 8) / 1000.0) > 0;
  }
  bool start() override { return settle(), started = true; }
  bool stop() override { return settle(), !(started = false); }
  bool enqueue(AudioChunk* list) override {
    settle();
    for (const AudioChunk* c = list; c; c = c->next) {
      queued_ += c->size / bytesPerMs_;
      const auto* samples = reinterpret_cast<const int16_t*>(c->data.get());
      for (int32_t i = 0; i < c->size / 2; ++i, ++sampleCount) loudness += std::abs(samples[i]);
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
  void settle() const {
    const double step = started ? std::min<double>(clock_.nowMs() - lastMs_, queued_) : 0;
    played_ += step;
    queued_ -= step;
    lastMs_ = clock_.nowMs();
  }
  const MillisecondClock& clock_;
  double bytesPerMs_ = 0;
  mutable double played_ = 0, queued_ = 0;
  mutable int64_t lastMs_ = 0;
};

// Null sinks on `clock` that agree to rate x channels, 16-bit (rate 0: no output).
struct NullAudioSinkFactory final : public AudioSinkFactory {
  explicit NullAudioSinkFactory(const MillisecondClock& c) : clock(c) {}
  std::unique_ptr<AudioSink> create() const override {
    auto sink = std::make_unique<NullAudioSink>(clock);
    last = sink.get();
    return sink;
  }
  bool negotiateFormat(double& r, int32_t& c, int32_t& b) const override {
    r = rate, c = channels, b = 16;
    return rate > 0;
  }
  const MillisecondClock& clock;
  double rate = 16000;  // 64 bytes a millisecond in stereo
  int32_t channels = 2;
  mutable NullAudioSink* last = nullptr;  // the sink made last (the engine owns it)
};

inline uint32_t rgbAt(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xffffffu; }
// A picture of one colour (0xRRGGBB).
inline std::unique_ptr<SkinBitmap> solid(int w, int h, uint32_t rgb) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(0xff000000u | rgb);
  return std::make_unique<SkinBitmap>(img);
}

}  // namespace strevana::testing
