// AudioOutput on the real default output device. In CI that is a private
// sound server's null sink (scripts/test-audio.sh), which consumes audio in
// real time; where that script started the server a missing device fails the
// tests, elsewhere they skip.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "audio/audio_output.h"

namespace strevana {
namespace {

using Clock = std::chrono::steady_clock;
double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}
// Polls every 5 ms until condition holds or 5 s pass.
bool waitFor(const std::function<bool()>& condition) {
  for (const auto start = Clock::now(); !condition(); usleep(5000))
    if (secondsSince(start) > 5) return false;
  return true;
}

#define SKIP_WITHOUT_DEVICE(ok)                                                  \
  if (!(ok)) {                                                                   \
    EXPECT_EQ(std::getenv("STREVANA_TEST_AUDIO_STATE"), nullptr)                 \
        << "the test sound server runs, yet there is no device";                 \
    GTEST_SKIP() << "no audio output device (scripts/test-audio.sh starts one)"; \
  }

// Runs first, with nothing holding the library, so that it really enumerates:
// without a sound card ALSA and JACK complain about every device they probe,
// and none of it may reach the user's terminal.
TEST(AudioLibraryStart, PrintsNothingOnTheTerminal) {
  const std::string path = ::testing::TempDir() + "stderr.txt";
  const int saved = dup(2), file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(file, 2);
  {
    double rate = 44100;
    int32_t channels = 2, bits = 16;
    AudioOutput out;
    if (AudioOutput::negotiateFormat(rate, channels, bits) && out.open(rate, channels, bits, 50))
      out.close();
  }
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
    EXPECT_TRUE(out.open(rate, channels, bits, AudioOutput::kDefaultLatencyMs)) << "refused";
    return true;
  }
  // A sine tone at a quarter of full scale, as one chunk.
  AudioChunk* tone(double seconds, double hz = 440) const {
    const auto frames = static_cast<int32_t>(rate * seconds);
    auto* chunk = new AudioChunk(frames * channels * bits / 8);
    uint8_t* p = chunk->data.get();
    for (int32_t i = 0; i < frames * channels; ++i) {
      const double v = 0.25 * std::sin(2 * M_PI * hz * (i / channels) / rate);
      const auto s = static_cast<int16_t>(v * 32767);
      if (bits == 8) *p++ = static_cast<uint8_t>(128 + static_cast<int>(v * 127));
      if (bits == 16) p = std::copy_n(reinterpret_cast<const uint8_t*>(&s), 2, p);
    }
    return chunk;
  }

  AudioOutput out;
  double rate = 0;
  int32_t channels = 0, bits = 0;
};

TEST_F(AudioDevice, DefaultDeviceListsTheStandardRatesItTakes) {
  const std::optional<AudioDeviceDescription> device = AudioOutput::defaultDeviceDescription();
  SKIP_WITHOUT_DEVICE(device);
  EXPECT_FALSE(device->continuousRange);
  EXPECT_GE(device->sampleRates.size(), 2u);  // the sound server takes every standard rate
  const auto& standard = AudioOutput::kStandardRates;
  for (double r : device->sampleRates)
    EXPECT_EQ(std::count(std::begin(standard), std::end(standard), r), 1) << r;
}

TEST_F(AudioDevice, ToneDrainsInRealTimeStopKeepsTheQueueAndSetTimeFlushes) {
  SKIP_WITHOUT_DEVICE(open());
  EXPECT_FALSE(out.isStarted());  // nothing queued yet
  out.enqueue(tone(1.0));
  const int32_t full = out.queuedBytes();
  const auto started = Clock::now();
  out.start();
  out.start();  // already running: no effect
  ASSERT_TRUE(waitFor([&] { return out.queuedBytes() < full; })) << "device never pulled audio";
  ASSERT_TRUE(out.stop());
  EXPECT_FALSE(out.stop());
  EXPECT_GT(out.queuedBytes(), 0);  // the queue stays
  out.start();
  ASSERT_TRUE(waitFor([&] { return out.queuedBytes() == 0; })) << "no resume after stop";
  EXPECT_GT(secondsSince(started), 0.6);  // a second of sound, in real time
  EXPECT_LT(secondsSince(started), 3.0);
  EXPECT_LT(out.outputLatencyMs(), 1000);
  ASSERT_TRUE(waitFor([&] { return out.playedTimeMs() > 1000 - out.outputLatencyMs(); }));
  out.enqueue(tone(1.0));
  out.setTime(3000);
  EXPECT_FALSE(out.isStarted());
  EXPECT_EQ(out.queuedBytes(), 0);
  EXPECT_NEAR(out.playedTimeMs(), 3000 - out.outputLatencyMs(), 0.01);
  EXPECT_TRUE(out.close());
  EXPECT_FALSE(out.isOpened());
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
  out.close();
  out.enqueue(tone(0.3));
  ASSERT_TRUE(out.open(rate, channels, bits, AudioOutput::kDefaultLatencyMs));
  EXPECT_TRUE(out.isStarted());
}

// What the sink plays, recorded from its monitor for 3 s: an 8-bit 1 kHz
// tone comes out as that tone at a quarter of full scale (other tests' 440 Hz
// tones may be mixed in).
TEST_F(AudioDevice, EightBitToneIsPlayedAsThatTone) {
  SKIP_WITHOUT_DEVICE(open(22050, 1, 8));
  ASSERT_EQ(bits, 8);
  FILE* recorder = popen(
      "exec timeout 3 parec -d @DEFAULT_MONITOR@ --raw --format=s16le "
      "--rate=8000 --channels=1 2>/dev/null",
      "r");
  ASSERT_NE(recorder, nullptr);
  std::vector<int16_t> s(800), more(800);
  if (std::fread(s.data(), 2, s.size(), recorder) < s.size()) {  // 0.1 s: it is recording
    pclose(recorder);
    GTEST_SKIP() << "parec records nothing from the sound server";
  }
  out.enqueue(tone(1.0, 1000));
  out.start();
  for (size_t n; (n = std::fread(more.data(), 2, more.size(), recorder)) > 0;)
    s.insert(s.end(), more.begin(), more.begin() + n);
  pclose(recorder);
  double best = 0;  // the 1 kHz amplitude in the loudest 0.1 s
  for (size_t at = 0; at + 800 <= s.size(); at += 200) {
    std::complex<double> sum;
    for (size_t i = 0; i < 800; ++i) sum += std::polar(1.0 * s[at + i], -2 * M_PI * i / 8);
    best = std::max(best, 2 * std::abs(sum) / 800);
  }
  EXPECT_NEAR(best, 0.25 * 32767, 0.25 * 32767 * 0.3);
}

}  // namespace
}  // namespace strevana
