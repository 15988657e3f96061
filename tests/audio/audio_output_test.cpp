// AudioOutput driven without a device: the queue, the callback body (fill),
// the clock and the format negotiation rules.
#include "audio/audio_output.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "base/millisecond_clock.h"

namespace strevana {
namespace {

// A chain of chunks of the given sizes whose bytes count up from first.
AudioChunk* chain(std::initializer_list<int32_t> sizes, uint8_t first = 0) {
  AudioChunk *head = nullptr, **link = &head;
  for (int32_t size : sizes) {
    *link = new AudioChunk(size);
    for (int32_t i = 0; i < size; ++i) (*link)->data[static_cast<size_t>(i)] = first++;
    link = &(*link)->next;
  }
  return head;
}

std::vector<uint8_t> fillBytes(AudioOutput& out, uint32_t frames) {
  std::vector<uint8_t> buffer(frames * static_cast<size_t>(out.bytesPerFrame()), 0xEE);
  out.fill(buffer.data(), frames);
  return buffer;
}
using Bytes = std::vector<uint8_t>;

// One object holds the audio library for the suite, so that the others'
// initialisation does not enumerate the devices again.
class AudioOutputTest : public ::testing::Test {
 public:
  static void SetUpTestSuite() { held = std::make_unique<AudioOutput>(); }
  static void TearDownTestSuite() { held.reset(); }
  static inline std::unique_ptr<AudioOutput> held;
  AudioOutput out;
};

TEST_F(AudioOutputTest, ChunksAreConsumedInOrderAcrossBufferBoundaries) {
  ASSERT_TRUE(out.setFormat(8000, 1, 16));  // 2 bytes a frame
  ASSERT_TRUE(out.enqueue(chain({6, 10, 4})));
  EXPECT_DOUBLE_EQ(out.queuedMs(), 20 * 1000.0 / (2 * 8000));
  EXPECT_EQ(fillBytes(out, 3), (Bytes{0, 1, 2, 3, 4, 5}));  // exactly the first chunk
  EXPECT_EQ(fillBytes(out, 4), (Bytes{6, 7, 8, 9, 10, 11, 12, 13}));
  EXPECT_EQ(fillBytes(out, 3), (Bytes{14, 15, 16, 17, 18, 19}));
  EXPECT_EQ(std::make_pair(out.playedFrames(), out.silentFrames()), std::make_pair(10L, 0L));
  // Emptied by the callback: the next chain becomes the head, empty chunks
  // and the last single byte included.
  ASSERT_TRUE(out.setFormat(8000, 1, 8));
  out.enqueue(chain({0, 3}, 40));
  out.enqueue(chain({1}, 43));
  EXPECT_EQ(fillBytes(out, 4), (Bytes{40, 41, 42, 43}));
}

TEST_F(AudioOutputTest, UnderrunAndFlushLeaveTheSilenceOfTheSampleFormat) {
  ASSERT_TRUE(out.setFormat(8000, 2, 8));
  out.enqueue(chain({4, 6}, 1));
  EXPECT_EQ(fillBytes(out, 1), (Bytes{1, 2}));
  out.flush();  // the next chain starts at its first byte
  EXPECT_EQ(out.queuedMs(), 0);
  out.enqueue(chain({4}, 1));
  EXPECT_EQ(fillBytes(out, 5), (Bytes{1, 2, 3, 4, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80}));
  EXPECT_EQ(std::make_pair(out.playedFrames(), out.silentFrames()), std::make_pair(3L, 3L));
  ASSERT_TRUE(out.setFormat(8000, 2, 16));
  EXPECT_EQ(fillBytes(out, 3), Bytes(12, 0));
  EXPECT_EQ(std::make_pair(out.playedFrames(), out.silentFrames()), std::make_pair(0L, 3L));
  out.enqueue(chain({100, 100}));  // left for the destructor (the leak check sees a loss)
}

TEST_F(AudioOutputTest, FormatsAreOnlyWhatTheDeviceCanBeOpenedWith) {
  // clang-format off
  const struct { double rate; int32_t channels, bits, bytesPerFrame; } cases[] = {
      {44100, 2, 24, 0}, {44100, 0, 16, 0}, {0, 2, 16, 0},
      {std::numeric_limits<double>::quiet_NaN(), 2, 16, 0}, {44100, 6, 8, 6}, {44100, 6, 16, 12}};
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(out.setFormat(c.rate, c.channels, c.bits), c.bytesPerFrame > 0) << c.bits;
    EXPECT_TRUE(!c.bytesPerFrame || out.bytesPerFrame() == c.bytesPerFrame) << c.channels;
  }
}

// The callback thread consumes while the playback thread appends: every byte
// comes out once and in order (run under ThreadSanitizer too).
TEST_F(AudioOutputTest, ConcurrentEnqueueAndFillLoseNothing) {
  ASSERT_TRUE(out.setFormat(48000, 1, 8));
  constexpr int kChunks = 400, kChunkSize = 37;  // not a divisor of the buffer
  constexpr size_t kTotal = kChunks * kChunkSize;
  std::vector<uint8_t> received;
  std::thread callback([&] {
    std::vector<uint8_t> buffer(64);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (received.size() < kTotal && std::chrono::steady_clock::now() < deadline) {
      const int64_t before = out.playedFrames();
      out.fill(buffer.data(), 64);
      received.insert(received.end(), buffer.begin(),
                      buffer.begin() + (out.playedFrames() - before));
      std::this_thread::yield();
    }
  });
  for (int i = 0; i < kChunks; ++i)
    out.enqueue(chain({kChunkSize}, static_cast<uint8_t>(i * kChunkSize)));
  callback.join();
  ASSERT_EQ(received.size(), kTotal);
  for (size_t i = 0; i < kTotal; ++i) ASSERT_EQ(received[i], static_cast<uint8_t>(i)) << i;
}

// ---- the clock: 1000 frames a second, 1 frame = 1 ms = 2 bytes

TEST_F(AudioOutputTest, SetTimeRebasesTheClockBehindTheLatencyToWholeFrames) {
  ASSERT_TRUE(out.setFormat(44100, 1, 16));
  out.setTime(0.999);  // 44.06 frames
  EXPECT_EQ(out.playedFrames(), 44);
  ASSERT_TRUE(out.setFormat(1000, 1, 16));
  out.setOutputLatencyMs(400);
  out.enqueue(chain({400}));
  EXPECT_TRUE(out.setTime(5000));
  EXPECT_EQ(out.queuedBytes(), 0);  // flushed
  out.enqueue(chain({200}));  // 100 ms; the clock follows it and silence only while none is queued
  // clang-format off
  const struct { uint32_t fill; int32_t enqueue; double clockMs; } steps[] = {
      {60, 0, 5060}, {100, 0, 5160}, {100, 0, 5260}, {0, 20, 5100}, {5, 0, 5105}};
  // clang-format on
  for (const auto& s : steps) {
    if (s.fill) fillBytes(out, s.fill);
    if (s.enqueue) out.enqueue(chain({s.enqueue}));
    EXPECT_DOUBLE_EQ(out.playedTimeMs(), s.clockMs - 400) << s.clockMs;
  }
}

TEST_F(AudioOutputTest, ClockMovesOnSmoothlyFromTheTimeEachBufferReachesTheOutput) {
  ManualMillisecondClock clock;
  out.setClock(&clock);
  ASSERT_TRUE(out.setFormat(1000, 1, 16));
  out.setTime(5000);
  out.enqueue(chain({400}));
  auto callback = [&](int64_t atMs) {  // 20 ms buffers reaching the converter 30 ms later
    clock.set(atMs);
    fillBytes(out, 20);
    out.noteOutputTime(atMs / 1000.0, atMs / 1000.0 + 0.030, 20);
  };
  callback(1000);
  callback(1020);
  // Never past what was handed over (5040), never backwards after a late callback.
  // clang-format off
  for (auto [now, ms] : {std::pair{1030, 5000.0}, {1031, 5001.0}, {1049, 5019.0}, {1050, 5020.0},
                         {1070, 5040.0}, {1090, 5040.0}}) {
    // clang-format on
    clock.set(now);
    EXPECT_DOUBLE_EQ(out.playedTimeMs(), ms) << "at " << now;
  }
  callback(1100);
  EXPECT_DOUBLE_EQ(out.playedTimeMs(), 5040);
  clock.set(1135);
  EXPECT_DOUBLE_EQ(out.playedTimeMs(), 5045);
  // The reported latency: the first as it is, later ones an eighth of the way.
  EXPECT_NEAR(out.outputLatencyMs(), 30, 1e-6);
  out.noteOutputTime(1.2, 1.2 + 0.110, 20);
  EXPECT_NEAR(out.outputLatencyMs(), 40, 1e-6);
  // A new format (as open sets) starts the clock afresh: no old anchor or count.
  ASSERT_TRUE(out.setFormat(1000, 1, 16));
  EXPECT_EQ(out.playedFrames(), 0);
  EXPECT_NEAR(out.playedTimeMs(), -40, 1e-6);
}

// ---- negotiation

struct Negotiated {
  bool ok;
  double rate;
  int32_t channels, bits;
};
Negotiated negotiate(std::vector<double> rates, bool continuous, double rate, int32_t channels = 2,
                     int32_t bits = 16) {
  const AudioDeviceDescription device{std::move(rates), continuous, 2};
  const bool ok = AudioOutput::negotiateFormat(&device, rate, channels, bits);
  return {ok, rate, channels, bits};
}

TEST(AudioOutputNegotiation, RateIsTheNearestListedOneOrClampedToARange) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> four = {8000, 11025, 22050, 44100}, two = {22050, 44100};
  // clang-format off
  const struct { std::vector<double> rates; bool continuous; double asked, got; } cases[] = {
      {four, false, 22050, 22050}, {four, false, 12000, 11025}, {four, false, 96000, 44100},
      {two, false, 32000, 22050}, {two, false, 33075, 22050},  // ties: the earlier
      {{44100, 22050}, false, 33075, 44100}, {{8000, 48000}, true, 32000, 32000},
      {{8000, 48000}, true, 96000, 48000}, {{8000, 48000}, true, 4000, 8000},
      // no usable rate: none listed, none within 1,000,000 Hz, not a number
      {{}, false, 44100, 0}, {{44100}, false, 2000000, 0}, {{44100}, false, nan, 0},
      {{8000, 48000}, true, nan, 0}};
  // clang-format on
  for (const auto& c : cases) {
    const Negotiated n = negotiate(c.rates, c.continuous, c.asked);
    EXPECT_EQ(n.ok, c.got > 0) << c.asked;
    EXPECT_TRUE(c.got == 0 || n.rate == c.got) << c.asked << " gave " << n.rate;
  }
}

TEST(AudioOutputNegotiation, BitsBecomeEightOrSixteenAndChannelsFitTheDevice) {
  for (auto [asked, got] : {std::pair{24, 16}, {16, 16}, {9, 16}, {8, 8}, {4, 8}})
    EXPECT_EQ(negotiate({44100}, false, 44100, 2, asked).bits, got) << asked;
  for (auto [asked, got] : {std::pair{6, 2}, {1, 1}, {0, 1}})
    EXPECT_EQ(negotiate({44100}, false, 44100, asked).channels, got) << asked;
  double rate = 44100;
  int32_t channels = 2, bits = 16;
  EXPECT_FALSE(AudioOutput::negotiateFormat(nullptr, rate, channels, bits));  // no device
}

}  // namespace
}  // namespace strevana
