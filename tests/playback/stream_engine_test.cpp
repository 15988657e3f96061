// Live streams end to end through the playback engine and the streaming
// source its own factory makes, from real senders on 127.0.0.1: ffmpeg with a
// .sdp (AAC as MP4A-LATM) and GStreamer's RTSP server (AAC as mpeg4-generic).
// Every picture presented must be one of the clip's pictures as ffmpeg decodes
// it (40 dB or better, post-filter off), in order, and the sound not silence.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "playback/playback_engine.h"
#include "streaming/stream_test_support.h"
#include "playback_fakes.h"
#include "support/temp_folder.h"
#include "video/memory_window_surface.h"

namespace strevana {
namespace {

using testing::freePort;
using Picture = std::vector<uint8_t>;

constexpr size_t kPictureBytes = 176 * 144 * 2;  // the clip's pictures in YUY2

// The clip's pictures as ffmpeg decodes them.
const Picture& reference() {
  static const Picture pictures = [] {
    const std::string out = ::testing::TempDir() + "reference.yuyv";
    testing::ChildProcess ffmpeg({"timeout", "60", "ffmpeg", "-nostdin", "-v", "error", "-i",
                                  testing::kClip, "-f", "rawvideo", "-pix_fmt", "yuyv422", out},
                                 out + ".log");
    testing::waitFor([&] { return ffmpeg.exited(); }, 60000);
    const std::string bytes = testing::readFile(out);
    return Picture(bytes.begin(), bytes.end());
  }();
  return pictures;
}

double psnr(const uint8_t* a, const uint8_t* b) {
  double squares = 0;
  for (size_t i = 0; i < kPictureBytes; ++i) squares += (a[i] - b[i]) * (a[i] - b[i]);
  return squares == 0 ? 100 : 10 * std::log10(255.0 * 255.0 * kPictureBytes / squares);
}

class StreamEngineTest : public ::testing::Test {
 protected:
  StreamEngineTest() : sinks(SteadyMillisecondClock::instance()), surface(176, 144) {
    engine.setAudioSinkFactory(&sinks);
    engine.setPostfilter(kPostfilterNone);
    engine.setBufferMs(300);
    engine.setTimeoutMs(1500);
    engine.setRendererFactory([this](WindowSurface* w, int32_t x, int32_t y, int32_t width,
                                     int32_t height, int32_t, OutputFormat format) {
      auto r = std::make_unique<testing::FakeRenderer>();  // keeps what it presents
      r->open(w, x, y, width, height, format);
      r->onPresent = [this](const Picture& picture) { presented.push_back(picture); };
      return std::unique_ptr<VideoRenderer>(std::move(r));
    });
    engine.setVideoWindow(&surface, 0, 0, 176, 144);
  }

  // Ticks as the playback thread does until 40 distinct pictures were shown
  // (15 s at most), checking each against ffmpeg's decode; a repeat is a repaint.
  void playAndCheck() {
    const Picture& all = reference();
    ASSERT_EQ(engine.play(), 1);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    size_t distinct = 0, checked = 0;
    int last = -1;
    while (std::chrono::steady_clock::now() < end && distinct < 40 && engine.tick()) {
      for (; checked < presented.size(); ++checked) {
        const Picture& p = presented[checked];
        ASSERT_EQ(p.size(), kPictureBytes);
        // Until a clean picture was decoded the stream shows one colour all over.
        if (last < 0 && std::equal(p.begin() + 4, p.end(), p.begin())) continue;
        int best = 0;
        double quality = -1;
        for (size_t k = 0; k < all.size() / kPictureBytes; ++k) {
          const double q = psnr(p.data(), &all[k * kPictureBytes]);
          if (q > quality) quality = q, best = static_cast<int>(k);
        }
        EXPECT_GE(quality, 40.0) << "picture " << checked;
        EXPECT_GE(best, last) << "picture " << checked << " goes back";
        distinct += quality >= 40.0 && best > last;
        last = std::max(last, best);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(std::max(1, engine.msUntilNextTick())));
    }
    EXPECT_GE(distinct, 40u);
    ASSERT_NE(sinks.last, nullptr);
    EXPECT_GT(sinks.last->sampleCount, sinks.rate * sinks.channels / 2);  // half a second
    EXPECT_GT(sinks.last->loudness / std::max<int64_t>(1, sinks.last->sampleCount), 100.0)
        << "silence instead of the clip's sound";
  }

  testing::ScratchFolder folder;
  testing::NullAudioSinkFactory sinks;
  MemoryWindowSurface surface;
  PlaybackEngine engine;
  std::vector<Picture> presented;
};

TEST_F(StreamEngineTest, FfmpegSenderWithASessionDescriptionAndLatmSound) {
  const int videoPort = freePort(SOCK_DGRAM, true);
  int audioPort = freePort(SOCK_DGRAM, true);
  while (audioPort == videoPort) audioPort = freePort(SOCK_DGRAM, true);
  const std::string sdp = folder.file("stream.sdp");
  ASSERT_TRUE(testing::writeDescription(videoPort, audioPort, true, sdp));
  ASSERT_EQ(engine.openFile(sdp.c_str()), 1);  // listening before the sender starts
  testing::ChildProcess sender(testing::ffmpegSender(videoPort, audioPort, true),
                               folder.file("sender.log"));
  playAndCheck();
  engine.closeMedia();
}

TEST_F(StreamEngineTest, GstreamerRtspServerWithMpeg4GenericSound) {
  const int port = freePort(SOCK_STREAM, false);
  std::string why;
  auto gst = testing::startGstServer(port, folder.file("server.log"), why, {});
  if (!gst) GTEST_SKIP() << "GStreamer's RTSP server did not start (install-deps.sh): " << why;
  engine.setUdpPort(freePort(SOCK_DGRAM, true));
  const std::string url = "rtsp://127.0.0.1:" + std::to_string(port) + "/generic";
  ASSERT_EQ(engine.openUrl(url.c_str()), 1) << gst->output();
  playAndCheck();
  engine.closeMedia();
}

}  // namespace
}  // namespace strevana
