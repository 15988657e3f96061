#pragma once
// AudioSink: where the playback engine sends a medium's decoded sound, and
// the clock of every medium with sound. AudioOutput is the sound device's
// sink; AudioSinkFactory is how the engine gets one, so that the engine's
// rules can run against a sink of the caller's (a silent one on a test clock).
//
// Obligations of a sink:
// - Threads: the engine calls it from the user-interface or the playback
//   thread, always with the controller's lock held, so calls never overlap.
//   A sink that plays on a thread of its own guards its queue itself and
//   never makes the caller wait for that thread.
// - Ownership: enqueue takes the whole chain (null is allowed) whatever it
//   returns; the sink frees every chunk it was given once played, dropped by
//   setTime or close, or when the sink is destroyed. The engine owns the sink.
// - Clock: playedTimeMs is the time of the sound leaving the output now. It
//   moves only while started and never backwards except through setTime;
//   queued audio that has not been played is counted by queuedMs.
#include <cstdint>
#include <memory>

#include "media/audio_chunk.h"

namespace strevana {

class AudioSink {
 public:
  virtual ~AudioSink() = default;

  // Opens the output for rate, channels and bits (8 or 16), the format a
  // factory's negotiateFormat agreed to; false when the output refuses.
  virtual bool open(double sampleRate, int32_t channels, int32_t bits, int32_t latencyMs) = 0;
  // Starts (or resumes) playing what is queued.
  virtual bool start() = 0;
  // Pauses: the clock stands still, the queue stays.
  virtual bool stop() = 0;
  // Appends a chain of chunks; the sink owns them from now on.
  virtual bool enqueue(AudioChunk* list) = 0;
  // Stops, drops the queue and sets the clock to ms.
  virtual bool setTime(double ms) = 0;
  virtual double playedTimeMs() const = 0;
  virtual double queuedMs() const = 0;
};

// Makes the engine's sinks. Called on the engine's threads under the same
// lock as the sinks; an implementation is lent to the engine and outlives it.
class AudioSinkFactory {
 public:
  virtual ~AudioSinkFactory() = default;
  // A new sink, not yet open; null when none can be made.
  virtual std::unique_ptr<AudioSink> create() const = 0;
  // Adjusts rate, channels and bits to what the output can play; false when
  // it plays nothing (the arguments may have been changed then).
  virtual bool negotiateFormat(double& sampleRate, int32_t& channels, int32_t& bits) const = 0;
};

// The default sound output device (AudioOutput); lives as long as the process.
const AudioSinkFactory& soundDeviceSinkFactory();

}  // namespace strevana
