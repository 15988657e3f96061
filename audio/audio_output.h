#pragma once
// AudioOutput: plays the decoded PCM of one medium on the default sound output
// device and is the playback clock of every medium with sound (the engine's
// AudioSink; soundDeviceSinkFactory makes these).
//
// Sources hand out AudioChunk lists; the engine queues them with enqueue. A
// PortAudio callback on the audio library's own thread drains the queue into
// the device buffers (fill), pads with silence when the queue runs dry and
// counts the frames it handed over; playedTimeMs turns that count into the
// clock.
//
// Threads: every operation except fill is called on the playback or the
// user-interface thread, always with the controller's lock held, so those calls
// never overlap each other. fill runs on the callback thread. The object's own
// SpinLock guards the queue links, queuedBytes and the opened/started flags;
// the callback takes only that lock and never waits for anything else, and the
// stream is never stopped or closed while that lock is held.
//
// Ownership: the queue owns every chunk handed to enqueue and frees it once it
// has been played, flushed or the object is destroyed. The creator (the engine)
// owns the AudioOutput. Each object holds one initialisation of the audio
// library for its lifetime.
//
// Choices made here:
// - The clock is the frame that reaches the output now. Each callback tells
//   when the first frame of the buffer it fills reaches the converter (the
//   library's DAC time, or the stream's reported latency when the host gives
//   no times); between callbacks the clock moves on with elapsed time from
//   that anchor, never past the frames handed over and never backwards, so
//   it is smooth to the millisecond instead of stepping a buffer at a time.
//   Until the first callback after opening or setTime, it is the frames
//   handed over less the output latency (open takes the stream's reported
//   latency; setOutputLatencyMs overrides it for tests and tools).
// - Silence padded during an underrun counts as played only while the queue
//   is empty: once audio is queued again the clock goes back to that audio's
//   own time.
// - The device's rate list is made by probing kStandardRates (16-bit, up to
//   two channels); the nearest-rate rule then picks from that list. A device
//   accepting none of them is offered its own preferred rate.
// - Calls that would pull chunks from under a running callback are made
//   safe: flush stops a running stream first (start resumes it), and open on
//   an open object closes the old stream first.
// - start restarts a stream that was started but is no longer running (the
//   host stopped it), instead of leaving playback silent.
// - Starting the library silences ALSA's and JACK's diagnostics for the
//   process: without a sound card they fill the terminal on every start.
#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/millisecond_clock.h"
#include "audio/audio_sink.h"
#include "base/spin_lock.h"
#include "media/audio_chunk.h"

namespace strevana {

// What the format negotiation needs to know of an output device.
struct AudioDeviceDescription {
  // Supported rates in the order the device lists them. With continuousRange
  // the device accepts any rate between sampleRates[0] and sampleRates[1].
  std::vector<double> sampleRates;
  bool continuousRange = false;
  int32_t maxOutputChannels = 0;
};

class AudioOutput final : public AudioSink {
 public:
  // Rates probed on the default device to build its rate list.
  static constexpr double kStandardRates[] = {8000,  11025, 16000, 22050, 32000,
                                              44100, 48000, 88200, 96000};
  // Latency the engine asks for when it opens the stream.
  static constexpr int32_t kDefaultLatencyMs = 50;

  AudioOutput();
  ~AudioOutput() override;
  AudioOutput(const AudioOutput&) = delete;
  AudioOutput& operator=(const AudioOutput&) = delete;

  // Adjusts rate, channels and bits to what the default output device can
  // play. False when there is no output device or the result is unusable (rate
  // 0 or not a number, no channels); the arguments may have been changed then.
  static bool negotiateFormat(double& sampleRate, int32_t& channels, int32_t& bits);
  // The same rules over a given device description; null means no device.
  static bool negotiateFormat(const AudioDeviceDescription* device, double& sampleRate,
                              int32_t& channels, int32_t& bits);
  // Describes the default output device (rates probed over kStandardRates);
  // nothing when there is no such device. Initialises the library around it.
  static std::optional<AudioDeviceDescription> defaultDeviceDescription();

  // Opens the default device for rate, channels and bits (8 or 16); starts it
  // at once when audio is already queued. latencyMs is spread over three
  // device buffers. False when the device refuses the stream.
  bool open(double sampleRate, int32_t channels, int32_t bits, int32_t latencyMs) override;
  // Aborts and closes the stream, then flushes. False when it was not open.
  bool close();
  // Starts the stream when it is open and audio is queued. Always true.
  bool start() override;
  // Aborts the stream (pause): what the device had buffered is dropped, the
  // queue stays. False when it was not started.
  bool stop() override;
  // Appends a chain of chunks (null is allowed); the queue owns them from now on.
  bool enqueue(AudioChunk* list) override;
  // Frees every queued chunk. Only while the stream is stopped or never started.
  void flush();
  // Stops the stream, rebases the clock to ms and flushes.
  bool setTime(double ms) override;
  // The clock: the time of the frame now leaving the device, in ms.
  double playedTimeMs() const override;
  // Audio queued and not yet handed to the device, in ms.
  double queuedMs() const override;
  // Bytes queued and not yet handed to the device.
  int32_t queuedBytes() const;

  // Device callback body: copies frames of queued audio into buffer, padding
  // with silence when the queue runs dry. Callback thread only (or a test
  // driving the object without a stream).
  void fill(void* buffer, uint32_t frames);
  // Callback thread, right after fill: the library's stream times of the
  // callback and of the moment the buffer just filled (frames long) reaches
  // the converter. Anchors the clock (see above).
  void noteOutputTime(double currentTime, double dacTime, uint32_t frames);
  // The clock the anchors are taken on: the process's steady clock unless a
  // test installs another before any stream runs. Not owned.
  void setClock(const MillisecondClock* clock) {
    clock_ = clock ? clock : &SteadyMillisecondClock::instance();
  }

  // Sets the sample layout and resets the counters without touching the
  // device; open does this first. Lets tools and tests drive fill directly.
  // False for bits other than 8 or 16, or no channels, or a rate not above 0.
  bool setFormat(double sampleRate, int32_t channels, int32_t bits);

  // Output latency subtracted by the clock, in ms. Updated from the stream's
  // timing as the callback runs.
  double outputLatencyMs() const { return outputLatencyMs_.load(std::memory_order_relaxed); }
  void setOutputLatencyMs(double ms) { outputLatencyMs_.store(ms, std::memory_order_relaxed); }

  double sampleRate() const { return sampleRate_; }
  int32_t channels() const { return channels_; }
  int32_t bitsPerSample() const { return bitsPerSample_; }
  int32_t bytesPerFrame() const { return bytesPerFrame_; }
  int64_t playedFrames() const { return playedFrames_.load(std::memory_order_relaxed); }
  int64_t silentFrames() const { return silentFrames_.load(std::memory_order_relaxed); }
  bool isOpened() const;
  bool isStarted() const;

 private:
  // Frames of audio (played frames plus counted silence) the clock stands for.
  int64_t mediaFrames() const;
  // Forgets the anchor once the device no longer plays what was handed over.
  void dropAnchor();

  void* stream_ = nullptr;  // PaStream
  bool opened_ = false;
  bool started_ = false;
  double sampleRate_ = 0;
  int32_t channels_ = 0;
  int32_t bitsPerSample_ = 16;
  int32_t bytesPerFrame_ = 0;
  std::atomic<int32_t> queuedBytes_{0};
  uint32_t readOffset_ = 0;
  std::atomic<int64_t> playedFrames_{0};
  std::atomic<int64_t> silentFrames_{0};
  std::atomic<double> outputLatencyMs_{0};
  // Every frame handed to the device, sound or silence; never goes back.
  std::atomic<int64_t> deviceFrames_{0};
  // The clock's anchor (guarded by lock_): at anchorMs_ on clock_ the device
  // frame anchorDevice_ reaches the output; ceilingDevice_ frames had been
  // handed over then. lastDevice_ is the latest device frame reported.
  bool anchored_ = false;
  double anchorMs_ = 0;
  int64_t anchorDevice_ = 0;
  int64_t ceilingDevice_ = 0;
  mutable double lastDevice_ = 0;
  const MillisecondClock* clock_ = &SteadyMillisecondClock::instance();
  bool latencyReported_ = false;  // callback thread, once the stream runs
  AudioChunk* head_ = nullptr;
  AudioChunk* tail_ = nullptr;
  mutable SpinLock lock_;
  bool libraryInitialised_ = false;
};

}  // namespace strevana
