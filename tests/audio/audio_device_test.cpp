// AudioOutput on the real default output device. In CI that is a private
// sound server's null sink (scripts/test-audio.sh), which consumes audio in
// real time; where that script started the server a missing device fails the
// tests, elsewhere they skip.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_output.h"

namespace strevana {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}
// Polls every 5 ms until condition holds or timeoutSeconds pass.
bool waitFor(const std::function<bool()>& condition, double timeoutSeconds = 5) {
  for (const auto start = Clock::now(); !condition();
       std::this_thread::sleep_for(std::chrono::milliseconds(5)))
    if (secondsSince(start) > timeoutSeconds) return false;
  return true;
}

// A sine tone at a quarter of full scale, as one chunk.
AudioChunk* makeTone(double rate, int32_t channels, int32_t bits, double seconds, double hz = 440) {
  const auto frames = static_cast<int32_t>(rate * seconds);
  auto* chunk = new AudioChunk(frames * channels * bits / 8);
  uint8_t* p = chunk->data.get();
  for (int32_t i = 0; i < frames; ++i) {
    const double v = 0.25 * std::sin(2 * M_PI * hz * i / rate);
    for (int32_t c = 0; c < channels; ++c) {
      const auto s = static_cast<int16_t>(v * 32767);
      if (bits == 8) *p++ = static_cast<uint8_t>(128 + static_cast<int>(v * 127));
      if (bits == 16) p = std::copy_n(reinterpret_cast<const uint8_t*>(&s), 2, p);
    }
  }
  return chunk;
}

// The child runs argv with its output into a new file at path; ended by pid.
pid_t spawn(const std::vector<const char*>& argv, const std::string& path) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 1);
    execvp(argv[0], const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  return pid;
}

bool deviceExpected() { return std::getenv("STREVANA_TEST_AUDIO_STATE") != nullptr; }
#define SKIP_WITHOUT_DEVICE(ok)                                                    \
  if (!(ok)) {                                                                     \
    EXPECT_FALSE(deviceExpected()) << "the test sound server runs, yet no device"; \
    GTEST_SKIP() << "no audio output device (scripts/test-audio.sh starts one)";   \
  }

// Runs first, with nothing holding the library, so that it really enumerates:
// without a sound card ALSA and JACK complain about every device they probe,
// and none of it may reach the user's terminal.
TEST(AudioLibraryStart, PrintsNothingOnTheTerminal) {
  const std::string path = ::testing::TempDir() + "stderr.txt";
  std::fflush(stderr);
  const int saved = dup(2), file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(file, 2);
  {
    double rate = 44100;
    int32_t channels = 2, bits = 16;
    AudioOutput out;
    if (AudioOutput::negotiateFormat(rate, channels, bits) && out.open(rate, channels, bits, 50))
      out.close();
  }
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  close(file);
  std::ifstream in(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "");
}

class AudioDevice : public ::testing::Test {
 public:
  static void SetUpTestSuite() { held = std::make_unique<AudioOutput>(); }
  static void TearDownTestSuite() { held.reset(); }
  static inline std::unique_ptr<AudioOutput> held;  // one library initialisation for the suite

 protected:
  // Opens `out` at the negotiated form of the format asked for; false without a device.
  bool open(double r = 44100, int32_t c = 2, int32_t b = 16) {
    rate = r, channels = c, bits = b;
    if (!AudioOutput::negotiateFormat(rate, channels, bits)) return false;
    EXPECT_TRUE(out.open(rate, channels, bits, AudioOutput::kDefaultLatencyMs)) << "device refused";
    return true;
  }
  AudioChunk* tone(double seconds, double hz = 440) const {
    return makeTone(rate, channels, bits, seconds, hz);
  }

  AudioOutput out;
  double rate = 0;
  int32_t channels = 0, bits = 0;
};

TEST_F(AudioDevice, DefaultDeviceListsTheStandardRatesItTakes) {
  const std::optional<AudioDeviceDescription> device = AudioOutput::defaultDeviceDescription();
  SKIP_WITHOUT_DEVICE(device);
  EXPECT_GE(device->maxOutputChannels, 1);
  EXPECT_FALSE(device->continuousRange);
  EXPECT_GE(device->sampleRates.size(), 2u);  // the sound server takes every standard rate
  for (double r : device->sampleRates)
    EXPECT_NE(std::find(std::begin(AudioOutput::kStandardRates),
                        std::end(AudioOutput::kStandardRates), r),
              std::end(AudioOutput::kStandardRates))
        << r;
}

TEST_F(AudioDevice, ToneDrainsInRealTimeThenTheClockRunsOnWithSilence) {
  SKIP_WITHOUT_DEVICE(open());
  EXPECT_FALSE(out.isStarted());  // nothing queued yet
  out.setTime(0);
  out.enqueue(tone(1.0));
  EXPECT_NEAR(out.queuedMs(), 1000, 1);
  const auto started = Clock::now();
  out.start();
  out.start();  // already running: no effect
  ASSERT_TRUE(waitFor([&] { return out.queuedBytes() == 0; })) << "queue never drained";
  const double drained = secondsSince(started);
  EXPECT_GT(drained, 0.6);
  EXPECT_LT(drained, 3.0);
  const double latency = out.outputLatencyMs();
  EXPECT_GE(latency, 0);
  EXPECT_LT(latency, 1000);
  const double clock0 = out.playedTimeMs();
  const auto t0 = Clock::now();
  ASSERT_TRUE(waitFor([&] { return out.silentFrames() > rate * 0.3; }));
  const double ratio = (out.playedTimeMs() - clock0) / (secondsSince(t0) * 1000);
  EXPECT_GT(out.playedTimeMs(), 1000 - latency);
  EXPECT_GT(ratio, 0.5);
  EXPECT_LT(ratio, 1.5);
  EXPECT_TRUE(out.stop());
  EXPECT_FALSE(out.stop());
  EXPECT_TRUE(out.close());
  EXPECT_FALSE(out.isOpened());
}

// The playback thread's pattern: start once per tick and top the queue up to
// 100 ms with small chunks while the callback drains it on its own thread.
TEST_F(AudioDevice, FeedingLikeThePlaybackThreadLosesNoFrame) {
  SKIP_WITHOUT_DEVICE(open());
  const int32_t bytesPerFrame = out.bytesPerFrame();
  int64_t enqueued = 0;
  const auto begin = Clock::now();
  while (secondsSince(begin) < 0.6) {
    out.start();
    while (out.queuedMs() < 100) {
      AudioChunk* chunk = tone(0.01);
      enqueued += chunk->size / bytesPerFrame;
      out.enqueue(chunk);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const double elapsedMs = secondsSince(begin) * 1000;
  ASSERT_TRUE(out.stop());
  EXPECT_EQ(out.playedFrames() + out.queuedBytes() / bytesPerFrame, enqueued);
  const double playedMs = out.playedFrames() * 1000.0 / rate;
  EXPECT_GT(playedMs, elapsedMs * 0.25);  // a loaded machine may starve the server a while
  EXPECT_LT(playedMs, elapsedMs + 300);
}

TEST_F(AudioDevice, StopKeepsTheQueueStartResumesItAndSetTimeFlushes) {
  SKIP_WITHOUT_DEVICE(open());
  out.enqueue(tone(2.0));
  const int32_t full = out.queuedBytes();
  out.start();
  ASSERT_TRUE(waitFor([&] { return out.queuedBytes() < full; })) << "device never pulled audio";
  ASSERT_TRUE(out.stop());
  EXPECT_FALSE(out.isStarted());
  const int32_t left = out.queuedBytes();
  EXPECT_GT(left, 0);
  out.start();
  ASSERT_TRUE(waitFor([&] { return out.queuedBytes() < left; })) << "no resume after stop";
  out.setTime(3000);
  EXPECT_FALSE(out.isStarted());
  EXPECT_EQ(out.queuedBytes(), 0);
  EXPECT_NEAR(out.playedTimeMs(), 3000 - out.outputLatencyMs(), 0.01);
}

TEST_F(AudioDevice, OpenStartsOnlyWithQueuedAudioAndReopenReplacesTheStream) {
  SKIP_WITHOUT_DEVICE(open());
  // Opened with nothing queued it waits for start: while a second output
  // plays 300 ms, the first keeps what is queued.
  out.enqueue(tone(0.5));
  const int32_t full = out.queuedBytes();
  AudioOutput other;
  ASSERT_TRUE(other.open(rate, channels, bits, AudioOutput::kDefaultLatencyMs));
  other.enqueue(tone(1.0));
  other.start();
  ASSERT_TRUE(waitFor([&] { return other.playedFrames() > rate * 0.3; }));
  EXPECT_EQ(out.queuedBytes(), full);
  ASSERT_TRUE(out.open(rate, channels, bits, AudioOutput::kDefaultLatencyMs));
  EXPECT_FALSE(out.isStarted());  // reopening closed the old stream, which flushed the queue
  out.enqueue(tone(0.3));
  ASSERT_TRUE(out.open(rate, channels, bits, AudioOutput::kDefaultLatencyMs));
  EXPECT_FALSE(out.isStarted());
  out.close();
  out.enqueue(tone(0.3));
  ASSERT_TRUE(out.open(rate, channels, bits, AudioOutput::kDefaultLatencyMs));
  EXPECT_TRUE(out.isStarted());
}

// What the sink plays, recorded from its monitor: an 8-bit 1 kHz tone comes
// out as that tone at a quarter of full scale (other tests' 440 Hz tones may
// be mixed in).
TEST_F(AudioDevice, EightBitToneIsPlayedAsThatTone) {
  SKIP_WITHOUT_DEVICE(open(22050, 1, 8));
  ASSERT_EQ(bits, 8);
  const std::string path = ::testing::TempDir() + "monitor.raw";
  const pid_t recorder = spawn({"timeout", "20", "parec", "-d", "@DEFAULT_MONITOR@", "--raw",
                                "--format=s16le", "--rate=8000", "--channels=1", nullptr},
                               path);
  ASSERT_GT(recorder, 0);
  auto recorded = [&] {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return in ? static_cast<long>(in.tellg()) : 0L;
  };
  if (!waitFor([&] { return recorded() > 1600; })) {
    kill(recorder, SIGTERM);
    waitpid(recorder, nullptr, 0);
    GTEST_SKIP() << "parec records nothing from the sound server";
  }
  out.enqueue(tone(1.0, 1000));
  out.start();
  ASSERT_TRUE(waitFor([&] { return out.queuedBytes() == 0; }));
  const long drained = recorded();
  ASSERT_TRUE(waitFor([&] { return recorded() > drained + 8000; }));  // the last 0.5 s
  kill(recorder, SIGTERM);
  waitpid(recorder, nullptr, 0);
  std::ifstream in(path, std::ios::binary);
  std::vector<int16_t> s(static_cast<size_t>(recorded() / 2));
  in.read(reinterpret_cast<char*>(s.data()), static_cast<std::streamsize>(s.size() * 2));
  // The 1 kHz amplitude in the loudest 0.1 s window.
  double best = 0;
  for (size_t at = 0; at + 800 <= s.size(); at += 200) {
    std::complex<double> sum;
    for (size_t i = 0; i < 800; ++i)
      sum += std::polar(static_cast<double>(s[at + i]), -2 * M_PI * 1000 * i / 8000);
    best = std::max(best, 2 * std::abs(sum) / 800);
  }
  EXPECT_NEAR(best, 0.25 * 32767, 0.25 * 32767 * 0.3);
}

}  // namespace
}  // namespace strevana
