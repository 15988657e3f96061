// RtspStreamSource end to end, against real peers on 127.0.0.1: ffmpeg as an
// RTP sender writing the session description, GStreamer's RTSP server, and a
// lossy relay between sender and source.
#include "streaming/rtsp_stream_source.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "stream_test_support.h"

namespace strevana {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::fixture;
using testing::freePort;
using testing::Playback;
using testing::TempFolder;
using testing::waitFor;

constexpr const char* kClip = "mpeg4_aac.mp4";  // 176x144, 25 fps, 75 pictures; AAC stereo 44.1 kHz
constexpr int32_t kWidth = 176;
constexpr int32_t kHeight = 144;
constexpr int kPictures = 75;
constexpr int kFrameMs = 40;
constexpr size_t kPictureBytes = static_cast<size_t>(kWidth) * kHeight * 2;  // YUY2

// ffmpeg's own decode of the clip's pictures, as YUY2.
const std::vector<uint8_t>& referencePictures() {
  static const std::vector<uint8_t> pictures = testing::decodedPictures(fixture(kClip), "yuyv422");
  return pictures;
}

// Compares what was shown with the reference: each picture is one of the
// sent pictures within 40 dB, found near the one its time stamp names (a
// sender's clock mapping may move stamps by a picture or two), and they come
// in the order sent, none twice. Returns the number of pictures matched.
int expectSamePictures(const Playback& played) {
  const std::vector<uint8_t>& reference = referencePictures();
  EXPECT_EQ(reference.size(), kPictureBytes * kPictures);
  if (played.pictures.empty() || reference.size() != kPictureBytes * kPictures) return 0;
  const auto bestMatch = [&](const Playback::Picture& picture, int from, int to, double& quality) {
    int best = -1;
    quality = -1.0;
    for (int k = std::max(0, from); k <= std::min(kPictures - 1, to); ++k) {
      const double p =
          testing::psnr(picture.bytes.data(), &reference[k * kPictureBytes], kPictureBytes);
      if (p > quality) {
        quality = p;
        best = k;
      }
    }
    return best;
  };
  // The stream's clock starts at its first packet: find which picture that was.
  double quality = 0.0;
  const Playback::Picture& first = played.pictures.front();
  const int offset =
      bestMatch(first, 0, kPictures - 1, quality) - (first.ms + kFrameMs / 2) / kFrameMs;
  int matched = 0;
  int previous = -1;
  for (const Playback::Picture& picture : played.pictures) {
    const int expected = (picture.ms + kFrameMs / 2) / kFrameMs + offset;
    const int index = bestMatch(picture, expected - 2, expected + 2, quality);
    EXPECT_GE(quality, 40.0) << "picture at " << picture.ms << " ms (near sent picture " << expected
                             << ")";
    EXPECT_GT(index, previous) << "picture at " << picture.ms << " ms";
    if (quality >= 40.0 && index > previous) ++matched;
    previous = std::max(previous, index);
  }
  return matched;
}

double audioMs(const Playback& played, const MediaSource& source) {
  const int frameBytes = source.decodedChannels * 2;
  return frameBytes && source.decodedRate
             ? played.audioBytes * 1000.0 / frameBytes / source.decodedRate
             : 0.0;
}

std::unique_ptr<RtspStreamSource> openStream(
    const char* base, const std::string& name, int32_t udpPort, int32_t bufferMs, int32_t timeoutMs,
    const std::vector<std::string>& saveTo = {}, OutputFormat format = kFormatYuy2,
    const MillisecondClock& clock = SteadyMillisecondClock::instance()) {
  auto path = [&](size_t i) {
    return i < saveTo.size() && !saveTo[i].empty() ? saveTo[i].c_str() : nullptr;
  };
  return std::make_unique<RtspStreamSource>(base, name.c_str(), format, kPostfilterNone, udpPort,
                                            bufferMs, timeoutMs, 0, 0, nullptr, path(0), path(1),
                                            path(2), path(3), 0, clock);
}

// ---- ffmpeg as the sender -------------------------------------------------
// Sound as MP4A-LATM here and as mpeg4-generic from GStreamer below: each
// payload format goes through the whole source once (ffmpeg_reception_test
// checks both formats' access units byte for byte).

TEST(FfmpegSenderTest, DescriptionFilePlaysTheSentPicturesAndSoundAndSavesThem) {
  TempFolder folder;
  const int videoPort = freePort(SOCK_DGRAM, true);
  const int audioPort = freePort(SOCK_DGRAM, true);
  ASSERT_TRUE(videoPort != 0 && audioPort != 0);
  const std::string sdp = folder.file("stream.sdp");
  ASSERT_TRUE(testing::writeDescription(fixture(kClip), videoPort, audioPort, true, sdp));
  const std::vector<std::string> saves = {folder.file("v.m4v"), folder.file("a.m4a"),
                                          folder.file("v.yuv"), folder.file("a.pcm")};
  // The source listens before the sender starts, so nothing sent is missed.
  auto source = openStream(nullptr, sdp, 0, 300, 1500, saves);
  ASSERT_TRUE(source->hasVideo);
  ASSERT_TRUE(source->hasAudio);
  EXPECT_EQ(source->videoKind(), PayloadKind::kMp4vEs);
  EXPECT_EQ(source->audioKind(), PayloadKind::kMp4aLatm);
  EXPECT_EQ(source->width, kWidth);
  EXPECT_EQ(source->height, kHeight);
  EXPECT_EQ(source->durationMs, RtspStreamSource::kUnknownDurationMs);
  EXPECT_TRUE(source->live && source->streaming);

  ChildProcess ffmpeg(testing::ffmpegSender(fixture(kClip), videoPort, audioPort, true, ""),
                      folder.file("sender.log"));
  // To the end: the last pictures come once the source stops waiting for more.
  const Playback played = testing::pull(*source, 15000, [](const Playback& p) {
    return p.pictures.size() >= static_cast<size_t>(kPictures) && p.audioChunks > 120;
  });
  // The last two pictures stay queued when the sound ends the stream first.
  EXPECT_GE(played.pictures.size(), static_cast<size_t>(kPictures) - 2) << ffmpeg.output();
  EXPECT_EQ(expectSamePictures(played), static_cast<int>(played.pictures.size()));
  // One picture time apart; the first sender reports may move the video
  // timeline onto the sound's by a millisecond or two.
  for (size_t i = 1; i < played.pictures.size(); ++i) {
    EXPECT_NEAR(played.pictures[i].ms - played.pictures[i - 1].ms, kFrameMs, 5) << i;
  }
  EXPECT_GT(audioMs(played, *source), 2500.0);
  EXPECT_GT(played.audioEnergy, 100.0) << "silence instead of the clip's sound";
  EXPECT_TRUE(played.timeChanged);
  EXPECT_GT(source->videoPacketsReceived(), static_cast<uint64_t>(kPictures) - 1);
  EXPECT_GT(source->audioPacketsReceived(), 15u);  // several access units to a packet
  EXPECT_EQ(source->videoPacketsLost() + source->audioPacketsLost(), 0u);

  // Saved: the coded streams as received (each behind its whole
  // configuration), every picture as planar
  // 4:2:0, the decoder's PCM.
  const size_t config = source->videoConfig().size();
  const auto m4v = testing::readFile(saves[0]);
  ASSERT_GT(m4v.size(), config);
  EXPECT_TRUE(std::equal(source->videoConfig().begin(), source->videoConfig().end(), m4v.begin()));
  const auto m4a = testing::readFile(saves[1]);
  ASSERT_GT(m4a.size(), source->audioConfig().size());
  EXPECT_TRUE(std::equal(source->audioConfig().begin(), source->audioConfig().end(), m4a.begin()));
  EXPECT_EQ(testing::readFile(saves[2]).size(), played.pictures.size() * kWidth * kHeight * 3 / 2);
  EXPECT_EQ(static_cast<int64_t>(testing::readFile(saves[3]).size()), played.audioBytes);
}

// A change of output format in mid-stream re-creates the decoder: pictures
// come in the new format at once, black until the next key picture (the
// new decoder starts in the middle of a group), then the stream's own.
TEST(StreamFormatChangeTest, NewFormatIsBlackUntilTheNextKeyPictureThenPlays) {
  TempFolder folder;
  const int videoPort = freePort(SOCK_DGRAM, true);
  const int audioPort = freePort(SOCK_DGRAM, true);
  const std::string sdp = folder.file("stream.sdp");
  ASSERT_TRUE(testing::writeDescription(fixture(kClip), videoPort, audioPort, false, sdp));
  auto source = openStream(nullptr, sdp, 0, 300, 1500);
  ASSERT_TRUE(source->hasVideo);
  ChildProcess ffmpeg(testing::ffmpegSender(fixture(kClip), videoPort, audioPort, false, ""),
                      folder.file("sender.log"));
  std::vector<uint8_t> frame(static_cast<size_t>(kWidth) * kHeight * 4);
  int shown = 0, blackAfterChange = 0, pictureAfterChange = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(12);
  while (std::chrono::steady_clock::now() < end && pictureAfterChange < 10) {
    int32_t ms = 0;
    if (!source->getVideoFrame(kRequestNext, rowBytes(source->outputFormat, kWidth), nullptr, 0, 0,
                               frame.data(), ms)) {
      if (!source->awaitingData()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    if (++shown == 6) {
      ASSERT_TRUE(source->setOutputFormat(kFormatBgr24));
      EXPECT_EQ(source->outputFormat, kFormatBgr24);
      EXPECT_EQ(source->width, kWidth);
      continue;
    }
    if (shown < 6) continue;
    const size_t bytes = static_cast<size_t>(kWidth) * kHeight * 3;
    const bool black = std::all_of(frame.begin(), frame.begin() + static_cast<ptrdiff_t>(bytes),
                                   [](uint8_t b) { return b == 0; });
    if (black) {
      EXPECT_EQ(pictureAfterChange, 0) << "black again after a picture, at " << ms << " ms";
      ++blackAfterChange;
    } else {
      ++pictureAfterChange;
    }
  }
  EXPECT_GT(blackAfterChange, 0);
  EXPECT_EQ(pictureAfterChange, 10);
}

// ---- GStreamer's RTSP server ------------------------------------------------

class GstServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = freePort(SOCK_STREAM, false);
    ASSERT_NE(port_, 0);
    std::string why;
    server_ = testing::startGstServer(port_, fixture(kClip), folder.file("server.log"), why);
    ASSERT_NE(server_, nullptr)
        << "GStreamer's RTSP server did not start (scripts/install-deps.sh installs it): " << why;
  }
  void TearDown() override { server_.reset(); }

  std::string base() const { return "rtsp://127.0.0.1:" + std::to_string(port_); }

  TempFolder folder;
  int port_ = 0;
  std::unique_ptr<ChildProcess> server_;
};

TEST_F(GstServerTest, RtspUrlPlaysThroughDescribeSetupPlayAndTearsDown) {
  const char* mount = "generic";
  auto source = openStream(base().c_str(), mount, freePort(SOCK_DGRAM, true), 300, 1500);
  ASSERT_TRUE(source->hasVideo) << server_->output();
  ASSERT_TRUE(source->hasAudio);
  EXPECT_EQ(source->audioKind(), PayloadKind::kMpeg4Generic);
  EXPECT_STREQ(source->name, (base() + "/" + mount).c_str());
  ASSERT_NE(source->session(), nullptr);
  EXPECT_TRUE(source->session()->playing());
  // The server announces "npt=now-3": a live range, of unknown duration.
  EXPECT_EQ(source->durationMs, RtspStreamSource::kUnknownDurationMs);

  const Playback played = testing::pull(*source, 15000, [](const Playback& p) {
    return p.pictures.size() >= static_cast<size_t>(kPictures) && p.audioChunks > 120;
  });
  EXPECT_GE(played.pictures.size(), static_cast<size_t>(kPictures) - 2);
  EXPECT_EQ(expectSamePictures(played), static_cast<int>(played.pictures.size()));
  EXPECT_GT(audioMs(played, *source), 2500.0);
  EXPECT_GT(played.audioEnergy, 100.0);
  EXPECT_EQ(source->videoPacketsLost() + source->audioPacketsLost(), 0u);

  // Closing the source ends the RTSP session, without keeping the closer
  // waiting.
  const auto closing = std::chrono::steady_clock::now();
  source.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::seconds(1));
  const auto handled = [&](const char* method) {
    return server_->output().find(std::string("received a request ") + method) != std::string::npos;
  };
  EXPECT_TRUE(waitFor([&] { return handled("TEARDOWN"); }, 5000));
  for (const char* method : {"DESCRIBE", "SETUP", "PLAY"}) EXPECT_TRUE(handled(method)) << method;
}

}  // namespace
}  // namespace strevana
