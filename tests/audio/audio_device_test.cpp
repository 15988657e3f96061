// AudioOutput on the real default output device. In CI that is a private
// sound server's null sink (scripts/test-audio.sh), which consumes audio in
// real time. Tests that need a device skip only when none can be opened.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "audio/audio_output.h"

namespace strevana {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Polls condition every 5 ms until it holds or timeoutSeconds pass.
bool waitFor(const std::function<bool()>& condition, double timeoutSeconds) {
  const auto start = Clock::now();
  while (!condition()) {
    if (secondsSince(start) > timeoutSeconds) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// A sine tone of the given length in the given format, as one chunk.
AudioChunk* makeTone(double rate, int32_t channels, int32_t bits, double seconds) {
  const auto frames = static_cast<int32_t>(rate * seconds);
  const int32_t bytesPerFrame = bits == 8 ? channels : 2 * channels;
  auto* chunk = new AudioChunk(frames * bytesPerFrame);
  uint8_t* p = chunk->data.get();
  for (int32_t i = 0; i < frames; ++i) {
    const double v = 0.25 * std::sin(2 * M_PI * 440.0 * i / rate);
    for (int32_t c = 0; c < channels; ++c) {
      if (bits == 8) {
        *p++ = static_cast<uint8_t>(128 + static_cast<int>(v * 127));
      } else {
        const auto s = static_cast<int16_t>(v * 32767);
        *p++ = static_cast<uint8_t>(s & 0xFF);
        *p++ = static_cast<uint8_t>((s >> 8) & 0xFF);
      }
    }
  }
  return chunk;
}

// Opens the default device at a negotiated format. Without a device the
// test is skipped (why says so); a device that refuses the stream fails it.
bool openNegotiated(AudioOutput& out, double& rate, int32_t& channels, int32_t& bits,
                    std::string& why) {
  if (!AudioOutput::negotiateFormat(rate, channels, bits)) {
    why = "no audio output device (no sound server or card; scripts/test-audio.sh starts one)";
    return false;
  }
  if (!out.open(rate, channels, bits, AudioOutput::kDefaultLatencyMs)) {
    ADD_FAILURE() << "the default audio output device refused a stream";
    why = "refused";
    return false;
  }
  return true;
}

// Everything the audio library writes to fd 2 while body runs.
std::string captureStderr(const std::function<void()>& body) {
  std::fflush(stderr);
  char path[] = "/tmp/strevana-stderr-XXXXXX";
  const int file = mkstemp(path);
  if (file < 0) return "(mkstemp failed)";
  const int saved = dup(2);
  dup2(file, 2);
  body();
  std::fflush(stderr);
  dup2(saved, 2);
  ::close(saved);
  std::string text;
  lseek(file, 0, SEEK_SET);
  char buffer[4096];
  for (ssize_t n; (n = read(file, buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<size_t>(n));
  ::close(file);
  unlink(path);
  return text;
}

// One object holds the library for the suite, so that each test's own
// initialisation does not enumerate the devices again.
class AudioDevice : public ::testing::Test {
 public:
  static void SetUpTestSuite() { keeper() = std::make_unique<AudioOutput>(); }
  static void TearDownTestSuite() { keeper().reset(); }

 protected:
  // Opens `out` on the default device at the negotiated form of the format asked for.
  bool open(double askedRate = 44100, int32_t askedChannels = 2, int32_t askedBits = 16) {
    rate = askedRate;
    channels = askedChannels;
    bits = askedBits;
    return openNegotiated(out, rate, channels, bits, why);
  }
  AudioChunk* tone(double seconds) const { return makeTone(rate, channels, bits, seconds); }

  AudioOutput out;
  double rate = 0;
  int32_t channels = 0, bits = 0;
  std::string why;

 private:
  static std::unique_ptr<AudioOutput>& keeper() {
    static std::unique_ptr<AudioOutput> held;
    return held;
  }
};

// Runs first and holds nothing beforehand, so the library really enumerates.
TEST(AudioLibraryStart, PrintsNothingOnTheTerminal) {
  // Without a sound card ALSA and JACK complain about every device they probe;
  // with or without a device, none of it may reach the user's terminal.
  const std::string printed = captureStderr([] {
    double rate = 44100;
    int32_t channels = 2;
    int32_t bits = 16;
    AudioOutput out;
    if (AudioOutput::negotiateFormat(rate, channels, bits)) {
      if (out.open(rate, channels, bits, AudioOutput::kDefaultLatencyMs)) out.close();
    }
  });
  EXPECT_EQ(printed, "");
}

TEST_F(AudioDevice, DefaultDeviceListsOnlyStandardRates) {
  const std::optional<AudioDeviceDescription> device = AudioOutput::defaultDeviceDescription();
  if (!device) GTEST_SKIP() << "no audio output device (scripts/test-audio.sh starts one)";
  EXPECT_GE(device->maxOutputChannels, 1);
  ASSERT_FALSE(device->sampleRates.empty());
  EXPECT_FALSE(device->continuousRange);
}

TEST_F(AudioDevice, ToneDrainsAndTheClockRunsAtRealTimeThenOnWithSilence) {
  if (!open()) GTEST_SKIP() << why;
  EXPECT_TRUE(out.isOpened());
  EXPECT_FALSE(out.isStarted());  // nothing queued yet

  out.setTime(0);
  out.enqueue(tone(1.0));
  EXPECT_NEAR(out.queuedMs(), 1000, 1);
  const auto started = Clock::now();
  out.start();
  EXPECT_TRUE(out.isStarted());
  out.start();  // already running: no effect

  // Playback takes about a second on a real-time device, never much less.
  ASSERT_TRUE(waitFor([&] { return out.queuedBytes() == 0; }, 5.0)) << "queue never drained";
  const double drained = secondsSince(started);
  EXPECT_GT(drained, 0.6);
  EXPECT_LT(drained, 3.0);

  const double latency = out.outputLatencyMs();
  EXPECT_GE(latency, 0);
  EXPECT_LT(latency, 1000);
  std::printf("[ measured  ] drained 1 s of tone in %.3f s, reported output latency %.1f ms\n",
              drained, latency);

  // Now the device plays silence and the clock runs on with it.
  const double clock0 = out.playedTimeMs();
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const double clock1 = out.playedTimeMs();
  const double elapsedMs = secondsSince(t0) * 1000;
  EXPECT_GT(out.silentFrames(), 0);
  EXPECT_GT(clock1, 1000 - latency);
  const double ratio = (clock1 - clock0) / elapsedMs;
  std::printf("[ measured  ] clock advanced %.1f ms in %.1f ms of wall time (ratio %.3f)\n",
              clock1 - clock0, elapsedMs, ratio);
  EXPECT_GT(ratio, 0.5);
  EXPECT_LT(ratio, 1.5);

  EXPECT_TRUE(out.stop());
  EXPECT_FALSE(out.stop());
  EXPECT_TRUE(out.close());
  EXPECT_FALSE(out.isOpened());
}

// The playback thread's pattern: start once per tick, top the queue up to
// 100 ms with small chunks while the callback drains it on its own thread.
TEST_F(AudioDevice, FeedingLikeThePlaybackThreadLosesNoFrame) {
  if (!open()) GTEST_SKIP() << why;
  out.setTime(0);
  const int32_t bytesPerFrame = out.bytesPerFrame();
  int64_t enqueuedFrames = 0;
  const auto begin = Clock::now();
  while (secondsSince(begin) < 0.6) {
    out.start();
    while (out.queuedMs() < 100) {
      AudioChunk* chunk = tone(0.01);
      enqueuedFrames += chunk->size / bytesPerFrame;
      out.enqueue(chunk);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const double elapsedMs = secondsSince(begin) * 1000;
  ASSERT_TRUE(out.stop());

  // Every frame queued was either handed to the device or is still queued.
  EXPECT_EQ(out.playedFrames() + out.queuedBytes() / bytesPerFrame, enqueuedFrames);
  const double playedMs = out.playedFrames() * 1000.0 / rate;
  // The device drained on its own thread at about real time (a loaded
  // machine may starve the sound server for a while).
  EXPECT_GT(playedMs, elapsedMs * 0.25);
  EXPECT_LT(playedMs, elapsedMs + 300);
}

TEST_F(AudioDevice, EightBitOutputIsAccepted) {
  if (!open(22050, 1, 8)) GTEST_SKIP() << why;
  ASSERT_EQ(bits, 8);
  out.enqueue(tone(0.2));
  out.start();
  ASSERT_TRUE(waitFor([&] { return out.queuedBytes() == 0; }, 5.0)) << "8-bit queue never drained";
  EXPECT_TRUE(out.close());
}

TEST_F(AudioDevice, StopKeepsTheQueueAndStartResumesIt) {
  if (!open()) GTEST_SKIP() << why;
  out.enqueue(tone(2.0));
  const int32_t full = out.queuedBytes();
  out.start();
  ASSERT_TRUE(waitFor([&] { return out.queuedBytes() < full; }, 5.0))
      << "device never pulled audio";

  ASSERT_TRUE(out.stop());
  EXPECT_FALSE(out.isStarted());
  const int32_t left = out.queuedBytes();
  EXPECT_GT(left, 0);  // the queue stays

  out.start();
  ASSERT_TRUE(waitFor([&] { return out.queuedBytes() < left; }, 5.0)) << "no resume after stop";

  // setTime while running stops, flushes and rebases.
  out.setTime(3000);
  EXPECT_FALSE(out.isStarted());
  EXPECT_EQ(out.queuedBytes(), 0);
  EXPECT_NEAR(out.playedTimeMs(), 3000 - out.outputLatencyMs(), 0.01);
}

TEST_F(AudioDevice, OpenWithQueuedAudioStartsAtOnceAndReopenReplacesTheStream) {
  if (!open()) GTEST_SKIP() << why;
  out.close();
  out.enqueue(tone(0.3));
  ASSERT_TRUE(out.open(rate, channels, bits, AudioOutput::kDefaultLatencyMs));
  EXPECT_TRUE(out.isStarted());
  // A second open without close must not leave the first stream running.
  ASSERT_TRUE(out.open(rate, channels, bits, AudioOutput::kDefaultLatencyMs));
  EXPECT_FALSE(out.isStarted());  // the close in between flushed the queue
  EXPECT_EQ(out.queuedBytes(), 0);
}

}  // namespace
}  // namespace strevana
