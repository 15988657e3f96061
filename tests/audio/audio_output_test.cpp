// AudioOutput driven without a device: the queue, the callback body (fill),
// the clock and the format negotiation rules.
#include "audio/audio_output.h"

#include "base/millisecond_clock.h"

#include <gtest/gtest.h>
#include <portaudio.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

namespace strevana {
namespace {

// A chunk whose bytes count up from first (mod 256), so order is checkable.
AudioChunk* makeChunk(int32_t size, uint8_t first) {
  auto* chunk = new AudioChunk(size);
  for (int32_t i = 0; i < size; ++i)
    chunk->data[static_cast<size_t>(i)] = static_cast<uint8_t>(first + i);
  return chunk;
}

AudioChunk* chain(std::initializer_list<AudioChunk*> chunks) {
  AudioChunk* head = nullptr;
  AudioChunk* last = nullptr;
  for (AudioChunk* c : chunks) {
    if (last)
      last->next = c;
    else
      head = c;
    last = c;
  }
  return head;
}

// Every AudioOutput initialises the audio library, which enumerates the
// devices when nothing holds it yet; one object kept for the whole suite makes
// the others' initialisation a reference count.
class LibraryHeld : public ::testing::Test {
 public:
  static void SetUpTestSuite() { keeper() = std::make_unique<AudioOutput>(); }
  static void TearDownTestSuite() { keeper().reset(); }

 private:
  static std::unique_ptr<AudioOutput>& keeper() {
    static std::unique_ptr<AudioOutput> held;
    return held;
  }
};

class AudioOutputQueue : public LibraryHeld {};
class AudioOutputClock : public LibraryHeld {};

std::vector<uint8_t> fillBytes(AudioOutput& out, uint32_t frames) {
  std::vector<uint8_t> buffer(
      static_cast<size_t>(frames) * static_cast<size_t>(out.bytesPerFrame()), 0xEE);
  out.fill(buffer.data(), frames);
  return buffer;
}

// ---- queue and callback body -------------------------------------------------

TEST_F(AudioOutputQueue, ChainOfChunksIsCountedAndConsumedAcrossBufferBoundaries) {
  AudioOutput out;
  ASSERT_TRUE(out.setFormat(8000, 1, 16));  // 2 bytes per frame
  ASSERT_TRUE(out.enqueue(chain({makeChunk(6, 0), makeChunk(10, 6), makeChunk(4, 16)})));
  EXPECT_EQ(out.queuedBytes(), 20);
  EXPECT_DOUBLE_EQ(out.queuedMs(), 20 * 1000.0 / (2 * 8000));

  // 3 frames = 6 bytes: exactly the first chunk.
  std::vector<uint8_t> first = fillBytes(out, 3);
  EXPECT_EQ(first, (std::vector<uint8_t>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(out.queuedBytes(), 14);
  // 4 frames = 8 bytes: inside the second chunk.
  std::vector<uint8_t> second = fillBytes(out, 4);
  EXPECT_EQ(second, (std::vector<uint8_t>{6, 7, 8, 9, 10, 11, 12, 13}));
  EXPECT_EQ(out.queuedBytes(), 6);
  // 3 frames: rest of the second chunk and the whole third one.
  std::vector<uint8_t> third = fillBytes(out, 3);
  EXPECT_EQ(third, (std::vector<uint8_t>{14, 15, 16, 17, 18, 19}));
  EXPECT_EQ(out.queuedBytes(), 0);
  EXPECT_EQ(out.playedFrames(), 10);
  EXPECT_EQ(out.silentFrames(), 0);
}

TEST_F(AudioOutputQueue, EnqueueAfterDrainingAndZeroSizedChunksKeepTheChainIntact) {
  AudioOutput out;
  ASSERT_TRUE(out.setFormat(8000, 1, 8));
  out.enqueue(makeChunk(2, 10));
  fillBytes(out, 2);
  EXPECT_EQ(out.queuedBytes(), 0);
  // The queue was emptied by the callback: the next chain must become the head.
  out.enqueue(chain({makeChunk(0, 0), makeChunk(3, 40)}));
  out.enqueue(makeChunk(1, 43));
  EXPECT_EQ(out.queuedBytes(), 4);
  EXPECT_EQ(fillBytes(out, 4), (std::vector<uint8_t>{40, 41, 42, 43}));
  EXPECT_TRUE(out.enqueue(nullptr));
  EXPECT_EQ(out.queuedBytes(), 0);
}

TEST_F(AudioOutputQueue, UnderrunPadsWithTheSilenceOfTheSampleFormat) {
  AudioOutput eight;
  ASSERT_TRUE(eight.setFormat(8000, 2, 8));  // 2 bytes per frame
  eight.enqueue(makeChunk(4, 1));
  std::vector<uint8_t> bytes = fillBytes(eight, 5);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 2, 3, 4, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80}));
  EXPECT_EQ(eight.playedFrames(), 2);
  EXPECT_EQ(eight.silentFrames(), 3);

  AudioOutput sixteen;
  ASSERT_TRUE(sixteen.setFormat(8000, 2, 16));  // 4 bytes per frame
  std::vector<uint8_t> silent = fillBytes(sixteen, 3);
  EXPECT_EQ(silent, std::vector<uint8_t>(12, 0));
  EXPECT_EQ(sixteen.silentFrames(), 3);
  EXPECT_EQ(sixteen.playedFrames(), 0);
}

TEST_F(AudioOutputQueue, FlushDropsEverythingAndTheDeviceGetsSilence) {
  AudioOutput out;
  ASSERT_TRUE(out.setFormat(8000, 1, 8));
  out.enqueue(chain({makeChunk(5, 0), makeChunk(5, 5)}));
  fillBytes(out, 3);  // part of the head is consumed
  out.flush();
  EXPECT_EQ(out.queuedBytes(), 0);
  EXPECT_DOUBLE_EQ(out.queuedMs(), 0);
  EXPECT_EQ(fillBytes(out, 2), (std::vector<uint8_t>{0x80, 0x80}));
  // A new chain starts at its first byte, not at the old read offset.
  out.enqueue(makeChunk(4, 20));
  EXPECT_EQ(fillBytes(out, 4), (std::vector<uint8_t>{20, 21, 22, 23}));
}

TEST_F(AudioOutputQueue, DestructionFreesQueuedChunks) {
  // The sanitizer build's leak check is what fails here if chunks are lost.
  AudioOutput out;
  ASSERT_TRUE(out.setFormat(8000, 1, 16));
  out.enqueue(chain({makeChunk(100, 0), makeChunk(100, 0), makeChunk(100, 0)}));
  fillBytes(out, 10);
}

TEST_F(AudioOutputQueue, SetFormatAcceptsOnlyWhatTheDeviceCanBeOpenedWith) {
  AudioOutput out;
  EXPECT_FALSE(out.setFormat(44100, 2, 24));
  EXPECT_FALSE(out.setFormat(44100, 0, 16));
  EXPECT_FALSE(out.setFormat(0, 2, 16));
  EXPECT_FALSE(out.setFormat(std::numeric_limits<double>::quiet_NaN(), 2, 16));
  ASSERT_TRUE(out.setFormat(44100, 6, 8));
  EXPECT_EQ(out.bytesPerFrame(), 6);
  ASSERT_TRUE(out.setFormat(44100, 6, 16));
  EXPECT_EQ(out.bytesPerFrame(), 12);
}

TEST_F(AudioOutputQueue, NothingQueuedNoFormatNoCrash) {
  AudioOutput out;
  uint8_t buffer[8] = {};
  out.fill(buffer, 4);  // no format yet: nothing to do
  EXPECT_DOUBLE_EQ(out.queuedMs(), 0);
  EXPECT_TRUE(std::isfinite(out.playedTimeMs()));
  EXPECT_FALSE(out.stop());
  EXPECT_FALSE(out.close());
  EXPECT_TRUE(out.start());  // not opened: nothing happens
  EXPECT_FALSE(out.isStarted());
}

// The callback thread consumes while the playback thread keeps appending:
// every byte must come out once and in order (run under ThreadSanitizer too).
TEST_F(AudioOutputQueue, ConcurrentEnqueueAndFillLoseNothing) {
  AudioOutput out;
  ASSERT_TRUE(out.setFormat(48000, 1, 8));
  constexpr int kChunks = 400;
  constexpr int32_t kChunkSize = 37;  // deliberately not a divisor of the buffer size
  constexpr size_t kTotal = static_cast<size_t>(kChunks) * kChunkSize;
  std::vector<uint8_t> received;
  received.reserve(kTotal);

  std::thread callback([&] {
    std::vector<uint8_t> buffer(64);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (received.size() < kTotal && std::chrono::steady_clock::now() < deadline) {
      const int64_t before = out.playedFrames();
      out.fill(buffer.data(), static_cast<uint32_t>(buffer.size()));
      const auto real = static_cast<size_t>(out.playedFrames() - before);
      received.insert(received.end(), buffer.begin(),
                      buffer.begin() + static_cast<std::ptrdiff_t>(real));
      if (real == 0) std::this_thread::yield();
    }
  });
  uint8_t next = 0;
  for (int i = 0; i < kChunks; ++i) {
    out.enqueue(makeChunk(kChunkSize, next));
    next = static_cast<uint8_t>(next + kChunkSize);
    if (i % 16 == 0) std::this_thread::yield();
  }
  callback.join();

  ASSERT_EQ(received.size(), kTotal);
  for (size_t i = 0; i < kTotal; ++i) {
    ASSERT_EQ(received[i], static_cast<uint8_t>(i)) << "at byte " << i;
  }
  EXPECT_EQ(out.queuedBytes(), 0);
}

// ---- the clock -------------------------------------------------------------

TEST_F(AudioOutputClock, SetTimeRebasesTheClockBehindTheDeviceLatency) {
  AudioOutput out;
  ASSERT_TRUE(out.setFormat(44100, 2, 16));
  out.setOutputLatencyMs(400);
  out.enqueue(makeChunk(400, 0));
  EXPECT_TRUE(out.setTime(10000));
  EXPECT_DOUBLE_EQ(out.playedTimeMs(), 9600);
  EXPECT_EQ(out.queuedBytes(), 0);  // setTime flushes
  EXPECT_EQ(out.playedFrames(), 441000);

  // With a measured latency the clock subtracts that instead.
  out.setOutputLatencyMs(42.5);
  EXPECT_DOUBLE_EQ(out.playedTimeMs(), 10000 - 42.5);
}

TEST_F(AudioOutputClock, FollowsRealAudioWhileQueuedAndSilenceDuringAnUnderrun) {
  AudioOutput out;
  ASSERT_TRUE(out.setFormat(1000, 1, 16));  // 1 frame = 1 ms = 2 bytes
  out.setOutputLatencyMs(400);
  out.setTime(5000);

  out.enqueue(makeChunk(200, 0));  // 100 ms
  fillBytes(out, 60);
  EXPECT_DOUBLE_EQ(out.playedTimeMs(), 5060 - 400);

  // Underrun: the buffer holds 40 ms of audio and 60 ms of silence; the clock
  // runs on with the silence.
  fillBytes(out, 100);
  EXPECT_EQ(out.queuedBytes(), 0);
  EXPECT_EQ(out.silentFrames(), 60);
  EXPECT_DOUBLE_EQ(out.playedTimeMs(), 5160 - 400);
  fillBytes(out, 100);
  EXPECT_DOUBLE_EQ(out.playedTimeMs(), 5260 - 400);

  // Audio returns: as soon as it is queued the silence no longer counts.
  out.enqueue(makeChunk(20, 0));
  EXPECT_DOUBLE_EQ(out.playedTimeMs(), 5100 - 400);
  fillBytes(out, 5);
  EXPECT_DOUBLE_EQ(out.playedTimeMs(), 5105 - 400);
  EXPECT_EQ(out.silentFrames(), 0);
}

TEST_F(AudioOutputClock, MovesOnSmoothlyFromTheTimeEachBufferReachesTheOutput) {
  // 1000 frames a second: 1 frame = 1 ms. Buffers of 20 ms; each reaches the
  // converter 30 ms after its callback.
  ManualMillisecondClock clock;
  AudioOutput out;
  out.setClock(&clock);
  ASSERT_TRUE(out.setFormat(1000, 1, 16));
  out.setTime(5000);
  out.enqueue(makeChunk(2 * 200, 0));
  auto callback = [&](int64_t atMs) {
    clock.set(atMs);
    fillBytes(out, 20);
    out.noteOutputTime(atMs / 1000.0, atMs / 1000.0 + 0.030, 20);
  };
  callback(1000);  // frames 5000..5019 heard from 1030
  callback(1020);  // frames 5020..5039 heard from 1050
  struct {
    int64_t now;
    double clockMs;
  } const expected[] = {
      {1030, 5000},
      {1031, 5001},
      {1037, 5007},
      {1049, 5019},
      {1050, 5020},
      {1059, 5029},
      // Never past what was handed over: the device has nothing after 5040.
      {1070, 5040},
      {1090, 5040},
  };
  for (const auto& e : expected) {
    clock.set(e.now);
    EXPECT_DOUBLE_EQ(out.playedTimeMs(), e.clockMs) << "at " << e.now;
  }
  // A late callback anchors behind where the clock stood: it holds still
  // rather than going back.
  callback(1100);  // 5040..5059 heard from 1130
  EXPECT_DOUBLE_EQ(out.playedTimeMs(), 5040);
  clock.set(1135);
  EXPECT_DOUBLE_EQ(out.playedTimeMs(), 5045);
  // The reported latency follows the callbacks: the first as it is, later
  // ones an eighth of the way.
  EXPECT_NEAR(out.outputLatencyMs(), 30, 1e-6);
  out.noteOutputTime(1.2, 1.2 + 0.110, 20);
  EXPECT_NEAR(out.outputLatencyMs(), 40, 1e-6);
}

TEST_F(AudioOutputClock, SetTimeTruncatesToWholeFrames) {
  AudioOutput out;
  ASSERT_TRUE(out.setFormat(44100, 1, 16));
  out.setOutputLatencyMs(0);
  out.setTime(1.0);  // 44.1 frames
  EXPECT_EQ(out.playedFrames(), 44);
  out.setTime(0.999);  // 44.06 frames
  EXPECT_EQ(out.playedFrames(), 44);
}

// ---- negotiation rules -------------------------------------------------------

struct Negotiated {
  bool ok;
  double rate;
  int32_t channels;
  int32_t bits;
};

Negotiated negotiate(const AudioDeviceDescription* device, double rate, int32_t channels,
                     int32_t bits) {
  const bool ok = AudioOutput::negotiateFormat(device, rate, channels, bits);
  return {ok, rate, channels, bits};
}

AudioDeviceDescription listed(std::vector<double> rates, int32_t maxChannels = 2) {
  AudioDeviceDescription d;
  d.sampleRates = std::move(rates);
  d.maxOutputChannels = maxChannels;
  return d;
}

TEST(AudioOutputNegotiation, RateIsTheNearestListedOneOrClampedToARange) {
  const struct {
    std::vector<double> rates;
    bool continuous;
    double asked, got;
  } cases[] = {
      {{8000, 11025, 22050, 44100}, false, 22050, 22050},
      {{8000, 11025, 22050, 44100}, false, 12000, 11025},
      {{8000, 11025, 22050, 44100}, false, 96000, 44100},
      {{22050, 44100}, false, 32000, 22050},  // 9950 away from 22050, 12100 from 44100
      // Equal distances keep the earlier list entry.
      {{22050, 44100}, false, 33075, 22050},
      {{44100, 22050}, false, 33075, 44100},
      {{8000, 48000}, true, 32000, 32000},
      {{8000, 48000}, true, 96000, 48000},
      {{8000, 48000}, true, 4000, 8000},
  };
  for (const auto& c : cases) {
    AudioDeviceDescription device = listed(c.rates);
    device.continuousRange = c.continuous;
    const Negotiated n = negotiate(&device, c.asked, 2, 16);
    EXPECT_TRUE(n.ok) << c.asked;
    EXPECT_DOUBLE_EQ(n.rate, c.got) << c.asked << (c.continuous ? " in a range" : "");
  }
}

TEST(AudioOutputNegotiation, BitsBecomeEightOrSixteen) {
  const AudioDeviceDescription device = listed({44100});
  for (auto [asked, got] : {std::pair{24, 16}, {32, 16}, {16, 16}, {8, 8}, {4, 8}}) {
    EXPECT_EQ(negotiate(&device, 44100, 2, asked).bits, got) << asked;
  }
}

TEST(AudioOutputNegotiation, ChannelsAreLimitedToTheDevice) {
  const AudioDeviceDescription stereo = listed({44100}, 2);
  EXPECT_EQ(negotiate(&stereo, 44100, 6, 16).channels, 2);
  EXPECT_EQ(negotiate(&stereo, 44100, 1, 16).channels, 1);
  const Negotiated none = negotiate(&stereo, 44100, 0, 16);
  EXPECT_TRUE(none.ok);
  EXPECT_EQ(none.channels, 1);
}

// Each object, and each device query, holds one initialisation of the audio
// library and gives it back: none is left once they are done.
TEST(AudioOutputLibrary, IsInitialisedOnlyWhileAnObjectOrAQueryHoldsIt) {
  {
    AudioOutput out;
    EXPECT_GE(Pa_GetDeviceCount(), 0);
  }
  EXPECT_EQ(Pa_GetDeviceCount(), paNotInitialized);
  (void)AudioOutput::defaultDeviceDescription();
  EXPECT_EQ(Pa_GetDeviceCount(), paNotInitialized);
}

TEST(AudioOutputNegotiation, FailsWithoutADeviceOrAUsableRate) {
  EXPECT_FALSE(negotiate(nullptr, 44100, 2, 16).ok);

  const AudioDeviceDescription empty = listed({});
  EXPECT_FALSE(negotiate(&empty, 44100, 2, 16).ok);

  // Nothing within the starting difference of 1,000,000 Hz.
  const AudioDeviceDescription device = listed({44100});
  EXPECT_FALSE(negotiate(&device, 2000000, 2, 16).ok);

  EXPECT_FALSE(negotiate(&device, std::numeric_limits<double>::quiet_NaN(), 2, 16).ok);
  AudioDeviceDescription range = listed({8000, 48000});
  range.continuousRange = true;
  EXPECT_FALSE(negotiate(&range, std::numeric_limits<double>::quiet_NaN(), 2, 16).ok);
}

}  // namespace
}  // namespace strevana
