// Live streams end to end through the playback engine and the streaming
// source the engine's own factory makes, from real senders on 127.0.0.1:
// ffmpeg writing a .sdp (AAC as mpeg4-generic and as MP4A-LATM), GStreamer's
// RTSP server (both audio formats), and a scripted RTSP server with absolute
// per-media control URLs that are not Content-Base + control, payload type
// 96 for both media, and a 404 without CSeq for a missing stream. Every
// picture presented must be one of the clip's pictures as ffmpeg decodes it
// (40 dB or better, post-filter off), in order, and the sound must not be
// silence.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <regex>
#include <thread>

#include "null_audio_sink.h"
#include "playback/playback_engine.h"
#include "playback_fakes.h"
#include "streaming/rtsp_peer.h"
#include "streaming/stream_test_support.h"
#include "video/memory_window_surface.h"

namespace strevana {
namespace {

using testing::ChildProcess;
using testing::fixture;
using testing::freePort;
using testing::TempFolder;

constexpr const char* kClip = "mpeg4_aac.mp4";  // 176x144, 25 fps, 75 pictures; AAC stereo
constexpr int32_t kWidth = 176;
constexpr int32_t kHeight = 144;
constexpr size_t kPictureBytes = static_cast<size_t>(kWidth) * kHeight * 2;  // YUY2
constexpr size_t kPicturesWanted = 40;  // distinct pictures shown before a case ends

enum class Peer { kFfmpegSdp, kGstreamer, kScripted };

struct StreamCase {
  const char* name;
  Peer peer;
  bool latm;
};

// The scripted server: DESCRIBE gives ffmpeg's description of the clip with
// both media on payload type 96 and absolute control URLs under /media/
// (Content-Base is /live, no final slash); SETUP takes the client's ports
// from those URLs only; PLAY starts ffmpeg sending to them; any other path
// gets "404 Not Found" without a CSeq.
class ScriptedStreamServer {
 public:
  explicit ScriptedStreamServer(const TempFolder& folder)
      : folder_(folder), peer_([this](const testing::RtspRequestSeen& r) { return answer(r); }) {
    const std::string sdp = folder.file("scripted.sdp");
    ready_ = testing::writeDescription(fixture(kClip), 9, 11, false, sdp, {"-payload_type", "96"});
    const std::vector<uint8_t> bytes = testing::readFile(sdp);
    std::string text(bytes.begin(), bytes.end());
    // One control URL per m= line, after it; ffmpeg writes none.
    const char* tracks[] = {"video", "audio"};
    size_t track = 0, at = 0;
    while ((at = text.find("m=", at)) != std::string::npos && track < 2) {
      const size_t end = text.find('\n', at);
      text.insert(end + 1, "a=control:" + url("/media/" + std::string(tracks[track++])) + "\r\n");
      at = end;
    }
    description_ = text;
  }
  bool ready() const { return ready_; }
  // The requests handled, for failure messages.
  std::string log() const {
    std::string text;
    for (const auto& r : peer_.requests()) text += r.text + "\n";
    return text;
  }
  std::string url(const std::string& path) const { return peer_.url(path); }

 private:
  std::string answer(const testing::RtspRequestSeen& r) {
    using testing::rtspReply;
    const std::string session = "Session: 7a11ed;timeout=60\r\n";
    const std::string media = url("/media/");
    if (r.method == "OPTIONS")
      return rtspReply(r, "200 OK", "Public: DESCRIBE, SETUP, PLAY, TEARDOWN\r\n");
    if (r.method == "DESCRIBE" && r.url == url("/live")) {
      return rtspReply(r, "200 OK",
                       "Content-Base: " + url("/live") + "\r\nContent-Type: application/sdp\r\n",
                       description_);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (r.method == "SETUP" && r.url.rfind(media, 0) == 0) {
      std::smatch m;
      const std::string transport = r.header("Transport");
      if (!std::regex_search(transport, m, std::regex("client_port=(\\d+)")))
        return rtspReply(r, "400 Bad Request");
      const int client = std::stoi(m[1].str());
      const int server = freePort(SOCK_DGRAM, true);
      ports_[r.url.substr(media.size())] = {client, server};
      return rtspReply(
          r, "200 OK",
          session + "Transport: RTP/AVP;unicast;client_port=" + std::to_string(client) + "-" +
              std::to_string(client + 1) + ";server_port=" + std::to_string(server) + "-" +
              std::to_string(server + 1) + "\r\n");
    }
    if (r.method == "PLAY" && ports_.count("video") && ports_.count("audio")) {
      std::vector<std::string> argv =
          testing::ffmpegSender(fixture(kClip), ports_["video"].first, ports_["audio"].first, false,
                                "", {"-payload_type", "96"});
      // Sent from the server ports SETUP announced: the client accepts no others.
      for (std::string& a : argv) {
        for (const auto& [name, pair] : ports_) {
          if (a == "rtp://127.0.0.1:" + std::to_string(pair.first)) {
            a += "?localrtpport=" + std::to_string(pair.second) +
                 "&localrtcpport=" + std::to_string(pair.second + 1);
          }
        }
      }
      sender_ = std::make_unique<ChildProcess>(argv, folder_.file("sender.log"));
      return rtspReply(r, "200 OK", session);
    }
    if (r.method == "TEARDOWN" || r.method == "GET_PARAMETER")
      return rtspReply(r, "200 OK", session);
    return "RTSP/1.0 404 Not Found\r\n\r\n";
  }

  const TempFolder& folder_;
  std::string description_;
  bool ready_ = false;
  std::mutex mutex_;
  std::map<std::string, std::pair<int, int>> ports_;  // media: client and server port
  std::unique_ptr<ChildProcess> sender_;
  testing::RtspPeer peer_;  // last: its thread stops before the rest goes
};

// One colour all over (YUY2: every 4-byte group alike), as the blank picture
// shown before the first clean picture is.
bool isBlank(const std::vector<uint8_t>& picture) {
  for (size_t i = 4; i < picture.size(); ++i) {
    if (picture[i] != picture[i % 4]) return false;
  }
  return true;
}

class StreamEngineTest : public ::testing::TestWithParam<StreamCase> {
 protected:
  StreamEngineTest() : sinks(SteadyMillisecondClock::instance()), surface(kWidth, kHeight) {
    engine.setAudioSinkFactory(&sinks);
    engine.setPostfilter(kPostfilterNone);
    engine.setBufferMs(300);
    engine.setTimeoutMs(1500);
    // A renderer that keeps what it presents, in the decoder's YUY2.
    engine.setRendererFactory([this](WindowSurface* w, int32_t x, int32_t y, int32_t width,
                                     int32_t height, int32_t, OutputFormat format) {
      auto r = std::make_unique<testing::FakeRenderer>();
      if (!r->open(w, x, y, width, height, format)) return std::unique_ptr<VideoRenderer>();
      r->onPresent = [this](const std::vector<uint8_t>& picture) { presented.push_back(picture); };
      return std::unique_ptr<VideoRenderer>(std::move(r));
    });
    engine.setVideoWindow(&surface, 0, 0, kWidth, kHeight);
  }

  // Ticks as the playback thread does until enough distinct pictures were
  // presented or limitMs passed.
  void play(int limitMs) {
    ASSERT_EQ(engine.play(), 1);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (std::chrono::steady_clock::now() < end && distinctPictures() < kPicturesWanted) {
      if (!engine.tick()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(std::max(1, engine.msUntilNextTick())));
    }
  }

  // Checks each presented picture against ffmpeg's decode: one of the clip's
  // pictures within 40 dB, never an earlier one than before (a repeat is a
  // repaint). Returns the number of distinct pictures.
  size_t distinctPictures() {
    const std::vector<uint8_t>& reference = referencePictures();
    while (checked_ < presented.size()) {
      const std::vector<uint8_t>& picture = presented[checked_++];
      if (picture.size() != kPictureBytes || reference.size() % kPictureBytes != 0) {
        ADD_FAILURE() << "picture of " << picture.size() << " bytes";
        continue;
      }
      // Until a clean picture has been decoded the stream shows a blank one.
      if (last_ < 0 && isBlank(picture)) continue;
      int best = -1;
      double quality = -1.0;
      for (size_t k = 0; k < reference.size() / kPictureBytes; ++k) {
        const double p =
            testing::psnr(picture.data(), &reference[k * kPictureBytes], kPictureBytes);
        if (p > quality) {
          quality = p;
          best = static_cast<int>(k);
        }
      }
      EXPECT_GE(quality, 40.0) << "presented picture " << checked_ - 1;
      EXPECT_GE(best, last_) << "presented picture " << checked_ - 1 << " goes back";
      if (quality >= 40.0 && best > last_) ++distinct_;
      last_ = std::max(last_, best);
    }
    return distinct_;
  }

  static const std::vector<uint8_t>& referencePictures() {
    static const std::vector<uint8_t> pictures =
        testing::decodedPictures(fixture(kClip), "yuyv422");
    return pictures;
  }

  TempFolder folder;
  testing::NullAudioSinkFactory sinks;
  MemoryWindowSurface surface;
  PlaybackEngine engine;
  std::vector<std::vector<uint8_t>> presented;

 private:
  size_t checked_ = 0;
  size_t distinct_ = 0;
  int last_ = -1;
};

TEST_P(StreamEngineTest, ShowsTheSentPicturesWithSound) {
  const StreamCase& c = GetParam();
  ASSERT_FALSE(referencePictures().empty());
  std::unique_ptr<ChildProcess> sender, gst;
  std::unique_ptr<ScriptedStreamServer> scripted;
  switch (c.peer) {
    case Peer::kFfmpegSdp: {
      const int videoPort = freePort(SOCK_DGRAM, true);
      int audioPort = freePort(SOCK_DGRAM, true);
      while (audioPort == videoPort) audioPort = freePort(SOCK_DGRAM, true);
      const std::string sdp = folder.file("stream.sdp");
      ASSERT_TRUE(testing::writeDescription(fixture(kClip), videoPort, audioPort, c.latm, sdp));
      // The source listens before the sender starts.
      ASSERT_EQ(engine.openFile(sdp.c_str()), 1);
      sender = std::make_unique<ChildProcess>(
          testing::ffmpegSender(fixture(kClip), videoPort, audioPort, c.latm, ""),
          folder.file("sender.log"));
      break;
    }
    case Peer::kGstreamer: {
      const int port = freePort(SOCK_STREAM, false);
      std::string why;
      gst = testing::startGstServer(port, fixture(kClip), folder.file("server.log"), why);
      if (!gst)
        GTEST_SKIP()
            << "GStreamer's RTSP server did not start (scripts/install-deps.sh installs it): "
            << why;
      engine.setUdpPort(freePort(SOCK_DGRAM, true));
      const std::string url =
          "rtsp://127.0.0.1:" + std::to_string(port) + (c.latm ? "/latm" : "/generic");
      ASSERT_EQ(engine.openUrl(url.c_str()), 1) << gst->output();
      break;
    }
    case Peer::kScripted: {
      scripted = std::make_unique<ScriptedStreamServer>(folder);
      ASSERT_TRUE(scripted->ready());
      engine.setUdpPort(freePort(SOCK_DGRAM, true));
      // A 404 without CSeq answers the DESCRIBE at once, not after the
      // client's receive time-out.
      const auto asked = std::chrono::steady_clock::now();
      EXPECT_EQ(engine.openUrl(scripted->url("/missing").c_str()), 0);
      EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(3));
      ASSERT_EQ(engine.openUrl(scripted->url("/live").c_str()), 1) << scripted->log();
      break;
    }
  }
  play(15000);
  EXPECT_GE(distinctPictures(), kPicturesWanted);
  ASSERT_NE(sinks.last, nullptr);
  EXPECT_GT(sinks.last->sampleCount,
            static_cast<int64_t>(sinks.rate) * sinks.channels / 2);  // half a second
  EXPECT_GT(
      sinks.last->loudness / static_cast<double>(std::max<int64_t>(1, sinks.last->sampleCount)),
      100.0)
      << "silence instead of the clip's sound";
  engine.closeMedia();
}

INSTANTIATE_TEST_SUITE_P(
    Peers, StreamEngineTest,
    ::testing::Values(StreamCase{"ffmpeg_sdp_mpeg4_generic", Peer::kFfmpegSdp, false},
                      StreamCase{"ffmpeg_sdp_latm", Peer::kFfmpegSdp, true},
                      StreamCase{"gstreamer_mpeg4_generic", Peer::kGstreamer, false},
                      StreamCase{"gstreamer_latm", Peer::kGstreamer, true},
                      StreamCase{"scripted_absolute_controls_one_payload_type", Peer::kScripted,
                                 false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace strevana
