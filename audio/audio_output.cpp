#include "audio/audio_output.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <portaudio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

namespace strevana {

namespace {

// ALSA reports every PCM it fails to open while PortAudio enumerates devices
// (missing cards, the jack and oss plugins, a sound server that is not
// running); none of it concerns the user, so it must not reach the terminal.
void ignoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}
void ignoreJackMessage(const char*) {}

using JackMessageHook = void (*)(void (*)(const char*));

// Installs silent handlers in the libraries that would otherwise print. The
// handlers are process-wide hooks of those libraries; installing them once is
// enough. JACK is reached indirectly (PortAudio links it, and ALSA's jack
// plugin loads it), so it is looked up at run time rather than linked: the
// same library instance is the one those callers use.
void quietAudioLibraries() {
  static std::once_flag once;
  std::call_once(once, [] {
    snd_lib_error_set_handler(&ignoreAlsaMessage);
    void* jack = dlopen("libjack.so.0", RTLD_LAZY | RTLD_NOLOAD);
    if (!jack) {
      // Not loaded yet: load it now so that the hooks are in place before the
      // ALSA jack plugin loads it; the handle stays open for the process.
      jack = dlopen("libjack.so.0", RTLD_LAZY);
    }
    if (!jack) return;
    for (const char* name : {"jack_set_error_function", "jack_set_info_function"}) {
      if (void* symbol = dlsym(jack, name)) {
        reinterpret_cast<JackMessageHook>(symbol)(&ignoreJackMessage);
      }
    }
  });
}

// One initialisation of the audio library for the duration of a query.
class ScopedAudioLibrary {
 public:
  ScopedAudioLibrary() {
    quietAudioLibraries();
    ok_ = Pa_Initialize() == paNoError;
  }
  ~ScopedAudioLibrary() {
    if (ok_) Pa_Terminate();
  }
  ScopedAudioLibrary(const ScopedAudioLibrary&) = delete;
  ScopedAudioLibrary& operator=(const ScopedAudioLibrary&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

// Reports from the library larger than this are taken as nonsense (some host
// APIs leave the times at 0 or use another time base).
constexpr double kMaxPlausibleLatencySeconds = 5.0;

}  // namespace

// Bridges the library's callback signature to the object.
class AudioOutputStreamGlue {
 public:
  static int callback(const void* /*input*/, void* output, unsigned long frames,
                      const PaStreamCallbackTimeInfo* timeInfo,
                      PaStreamCallbackFlags /*statusFlags*/, void* userData) {
    auto* self = static_cast<AudioOutput*>(userData);
    self->fill(output, static_cast<uint32_t>(frames));
    self->noteOutputTime(timeInfo ? timeInfo->currentTime : 0.0,
                         timeInfo ? timeInfo->outputBufferDacTime : 0.0,
                         static_cast<uint32_t>(frames));
    return paContinue;  // an empty queue plays silence; the stream never ends by itself
  }
};

AudioOutput::AudioOutput() {
  quietAudioLibraries();
  libraryInitialised_ = Pa_Initialize() == paNoError;
}

AudioOutput::~AudioOutput() {
  close();
  if (libraryInitialised_) Pa_Terminate();
  flush();
}

std::optional<AudioDeviceDescription> AudioOutput::defaultDeviceDescription() {
  ScopedAudioLibrary library;
  if (!library.ok()) return std::nullopt;
  const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
  if (device == paNoDevice) return std::nullopt;
  const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
  if (!info || info->maxOutputChannels < 1) return std::nullopt;

  AudioDeviceDescription description;
  description.maxOutputChannels = info->maxOutputChannels;
  PaStreamParameters output{};
  output.device = device;
  output.channelCount = std::min(info->maxOutputChannels, 2);
  output.sampleFormat = paInt16;
  output.suggestedLatency = info->defaultLowOutputLatency;
  output.hostApiSpecificStreamInfo = nullptr;
  for (double rate : kStandardRates) {
    if (Pa_IsFormatSupported(nullptr, &output, rate) == paFormatIsSupported) {
      description.sampleRates.push_back(rate);
    }
  }
  // A device that accepts none of the probed rates still has the rate it
  // prefers; offering that beats playing without sound.
  if (description.sampleRates.empty() && info->defaultSampleRate > 0) {
    description.sampleRates.push_back(info->defaultSampleRate);
  }
  return description;
}

bool AudioOutput::negotiateFormat(double& sampleRate, int32_t& channels, int32_t& bits) {
  const std::optional<AudioDeviceDescription> device = defaultDeviceDescription();
  return negotiateFormat(device ? &*device : nullptr, sampleRate, channels, bits);
}

bool AudioOutput::negotiateFormat(const AudioDeviceDescription* device, double& sampleRate,
                                  int32_t& channels, int32_t& bits) {
  if (!device) return false;

  channels = std::min(channels, device->maxOutputChannels);
  if (channels < 1) channels = 1;

  if (device->continuousRange && device->sampleRates.size() >= 2) {
    const double low = device->sampleRates[0];
    const double high = device->sampleRates[1];
    if (!std::isnan(sampleRate)) sampleRate = std::max(low, std::min(sampleRate, high));
  } else {
    double bestDifference = 1000000.0;
    double best = 0;
    for (double rate : device->sampleRates) {
      const double difference = std::fabs(rate - sampleRate);
      if (difference < bestDifference) {  // strict: the earlier of equal candidates stays
        bestDifference = difference;
        best = rate;
      }
    }
    sampleRate = best;
  }

  bits = bits <= 8 ? 8 : 16;

  return sampleRate > 0 && channels > 0;  // also false for a rate that is not a number
}

bool AudioOutput::setFormat(double sampleRate, int32_t channels, int32_t bits) {
  if (!(sampleRate > 0) || channels < 1 || (bits != 8 && bits != 16)) return false;
  sampleRate_ = sampleRate;
  channels_ = channels;
  bitsPerSample_ = bits;
  bytesPerFrame_ = bits == 8 ? channels : 2 * channels;
  readOffset_ = 0;
  playedFrames_.store(0, std::memory_order_relaxed);
  silentFrames_.store(0, std::memory_order_relaxed);
  dropAnchor();
  return true;
}

bool AudioOutput::open(double sampleRate, int32_t channels, int32_t bits, int32_t latencyMs) {
  // Re-opening without a close would leak the running stream.
  if (isOpened()) close();
  if (!libraryInitialised_) return false;
  if (!setFormat(sampleRate, channels, bits)) return false;

  const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
  if (device == paNoDevice) return false;

  PaStreamParameters output{};
  output.device = device;
  output.channelCount = channels;
  output.sampleFormat = bits == 8 ? paUInt8 : paInt16;
  output.suggestedLatency = std::max(latencyMs, 0) / 1000.0;
  output.hostApiSpecificStreamInfo = nullptr;
  // Three device buffers of a third of the latency each.
  const auto framesPerBuffer =
      static_cast<unsigned long>(std::max(latencyMs, 0) * sampleRate / 3000.0);

  PaStream* stream = nullptr;
  const PaError error =
      Pa_OpenStream(&stream, nullptr, &output, sampleRate, framesPerBuffer, paClipOff | paDitherOff,
                    &AudioOutputStreamGlue::callback, this);
  if (error != paNoError || !stream) return false;
  stream_ = stream;
  latencyReported_ = false;
  if (const PaStreamInfo* info = Pa_GetStreamInfo(stream);
      info && info->outputLatency > 0 && info->outputLatency < kMaxPlausibleLatencySeconds) {
    setOutputLatencyMs(info->outputLatency * 1000.0);
  }

  bool startNow = false;
  {
    std::lock_guard guard(lock_);
    opened_ = true;
    if (queuedBytes_.load(std::memory_order_relaxed) > 0) {
      started_ = true;
      startNow = true;
    }
  }
  if (startNow) Pa_StartStream(stream);
  return true;
}

bool AudioOutput::close() {
  {
    std::lock_guard guard(lock_);
    if (!opened_) return false;
  }
  // The callback may be waiting for the lock: stop the stream without holding it.
  if (stream_) {
    Pa_AbortStream(stream_);
    Pa_CloseStream(stream_);
    stream_ = nullptr;
  }
  {
    std::lock_guard guard(lock_);
    started_ = false;
    opened_ = false;
  }
  flush();
  return true;
}

bool AudioOutput::start() {
  bool startNow = false;
  bool restart = false;
  {
    std::lock_guard guard(lock_);
    if (!opened_ || queuedBytes_.load(std::memory_order_relaxed) <= 0) return true;
    if (started_) {
      if (Pa_IsStreamActive(stream_) == 1) return true;
      // Started but no longer running (the host stopped it): it must be
      // stopped properly before it can run again.
      restart = true;
    }
    started_ = true;
    startNow = true;
  }
  if (restart) Pa_AbortStream(stream_);
  if (startNow) Pa_StartStream(stream_);
  return true;
}

bool AudioOutput::stop() {
  {
    std::lock_guard guard(lock_);
    if (!started_) return false;
    started_ = false;
  }
  Pa_AbortStream(stream_);
  // What the device still held is gone; the next callback anchors afresh.
  dropAnchor();
  return true;
}

bool AudioOutput::enqueue(AudioChunk* list) {
  if (!list) return true;
  std::lock_guard guard(lock_);
  if (tail_) {
    tail_->next = list;
  } else {
    head_ = list;
  }
  int32_t added = 0;
  AudioChunk* last = list;
  for (AudioChunk* chunk = list; chunk; chunk = chunk->next) {
    added += std::max(chunk->size, 0);
    last = chunk;
  }
  tail_ = last;
  queuedBytes_.fetch_add(added, std::memory_order_release);
  return true;
}

void AudioOutput::flush() {
  // The callback consumes the head while the stream runs; freeing under it
  // would pull the chunk it copies from away. A running stream is stopped first
  // (the next start resumes it).
  if (isStarted()) stop();
  for (;;) {
    AudioChunk* chunk = nullptr;
    {
      std::lock_guard guard(lock_);
      chunk = head_;
      if (chunk) {
        head_ = chunk->next;
        if (!head_) tail_ = nullptr;
      }
      readOffset_ = 0;
    }
    if (!chunk) break;
    chunk->next = nullptr;
    delete chunk;
  }
  std::lock_guard guard(lock_);
  queuedBytes_.store(0, std::memory_order_relaxed);
}

bool AudioOutput::setTime(double ms) {
  stop();
  playedFrames_.store(static_cast<int64_t>(ms * sampleRate_ / 1000.0), std::memory_order_relaxed);
  silentFrames_.store(0, std::memory_order_relaxed);
  flush();
  return true;
}

void AudioOutput::dropAnchor() {
  std::lock_guard guard(lock_);
  anchored_ = false;
  lastDevice_ = static_cast<double>(deviceFrames_.load(std::memory_order_relaxed));
}

int64_t AudioOutput::mediaFrames() const {
  int64_t frames = playedFrames_.load(std::memory_order_relaxed);
  if (queuedBytes_.load(std::memory_order_relaxed) == 0) {
    frames += silentFrames_.load(std::memory_order_relaxed);
  }
  return frames;
}

double AudioOutput::playedTimeMs() const {
  const double latency = outputLatencyMs();
  if (!(sampleRate_ > 0)) return -latency;
  const int64_t media = mediaFrames();
  const int64_t handed = deviceFrames_.load(std::memory_order_relaxed);
  std::lock_guard guard(lock_);
  if (!anchored_) return static_cast<double>(media) / sampleRate_ * 1000.0 - latency;
  // The device frame at the output now, from the anchor and elapsed time.
  double device = static_cast<double>(anchorDevice_) +
                  (static_cast<double>(clock_->nowMs()) - anchorMs_) * sampleRate_ / 1000.0;
  device = std::min(device, static_cast<double>(std::min(ceilingDevice_, handed)));
  device = std::max(device, lastDevice_);
  lastDevice_ = device;
  // The frames handed over after it have not been heard yet.
  return (static_cast<double>(media) - (static_cast<double>(handed) - device)) / sampleRate_ *
         1000.0;
}

double AudioOutput::queuedMs() const {
  if (bytesPerFrame_ <= 0 || !(sampleRate_ > 0)) return 0;
  return queuedBytes_.load(std::memory_order_relaxed) * 1000.0 / (bytesPerFrame_ * sampleRate_);
}

int32_t AudioOutput::queuedBytes() const { return queuedBytes_.load(std::memory_order_relaxed); }

bool AudioOutput::isOpened() const {
  std::lock_guard guard(lock_);
  return opened_;
}

bool AudioOutput::isStarted() const {
  std::lock_guard guard(lock_);
  return started_;
}

void AudioOutput::fill(void* buffer, uint32_t frames) {
  if (!buffer || frames == 0 || bytesPerFrame_ <= 0) return;
  auto* out = static_cast<uint8_t*>(buffer);
  const auto bytesPerFrame = static_cast<uint64_t>(bytesPerFrame_);
  uint64_t need = bytesPerFrame * frames;

  while (need > 0 && queuedBytes_.load(std::memory_order_acquire) >= 1) {
    AudioChunk* chunk = nullptr;
    {
      std::lock_guard guard(lock_);
      chunk = head_;
    }
    if (!chunk) break;
    const auto size = static_cast<uint32_t>(std::max(chunk->size, 0));
    const uint64_t available = size > readOffset_ ? size - readOffset_ : 0;
    const auto n = static_cast<uint32_t>(std::min(available, need));
    if (n > 0) {
      std::memcpy(out, chunk->data.get() + readOffset_, n);
      out += n;
      need -= n;
      readOffset_ += n;
      playedFrames_.fetch_add(static_cast<int64_t>(n / bytesPerFrame), std::memory_order_relaxed);
      deviceFrames_.fetch_add(static_cast<int64_t>(n / bytesPerFrame), std::memory_order_relaxed);
      silentFrames_.store(0, std::memory_order_relaxed);
      std::lock_guard guard(lock_);
      queuedBytes_.fetch_sub(static_cast<int32_t>(n), std::memory_order_relaxed);
    }
    if (readOffset_ >= size) {
      {
        std::lock_guard guard(lock_);
        head_ = chunk->next;
        if (!head_) tail_ = nullptr;
      }
      readOffset_ = 0;
      chunk->next = nullptr;
      delete chunk;
    }
  }

  if (need > 0) {
    std::memset(out, bitsPerSample_ == 8 ? 0x80 : 0, need);
    silentFrames_.fetch_add(static_cast<int64_t>(need / bytesPerFrame), std::memory_order_relaxed);
    deviceFrames_.fetch_add(static_cast<int64_t>(need / bytesPerFrame), std::memory_order_relaxed);
  }
}

void AudioOutput::noteOutputTime(double currentTime, double dacTime, uint32_t frames) {
  // The time until the first frame of the buffer just filled reaches the
  // converter. Hosts without stream times leave currentTime at 0: the
  // stream's reported latency stands in.
  const double latency = dacTime - currentTime;
  const bool timed = currentTime > 0 && latency >= 0 && latency <= kMaxPlausibleLatencySeconds;
  if (timed) {
    // Kept (smoothed) for the clock before the first anchor and for callers.
    const double previous = outputLatencyMs();
    const double reported = latency * 1000.0;
    const bool first = !latencyReported_;
    latencyReported_ = true;
    setOutputLatencyMs(first ? reported : previous + (reported - previous) / 8.0);
  }
  const double untilOutputMs = timed ? latency * 1000.0 : outputLatencyMs();
  const int64_t handed = deviceFrames_.load(std::memory_order_relaxed);
  const double now = static_cast<double>(clock_->nowMs());
  std::lock_guard guard(lock_);
  anchored_ = true;
  anchorMs_ = now + untilOutputMs;
  anchorDevice_ = handed - static_cast<int64_t>(frames);
  ceilingDevice_ = handed;
}

}  // namespace strevana
