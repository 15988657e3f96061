// Streams through firewalls and logins, against GStreamer's RTSP server on
// 127.0.0.1: media inside the RTSP connection when the server allows only
// TCP, the fall-back to TCP when UDP is refused or blocked, Digest logins,
// and a redirect to another server.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "rtsp_peer.h"
#include "stream_test_support.h"
#include "streaming/rtsp_stream_source.h"
#include "udp_blocking_proxy.h"

namespace strevana {
namespace {

using namespace std::chrono_literals;
using testing::fixture;
using testing::freePort;
using testing::Playback;
using testing::TempFolder;

constexpr const char* kClip = "mpeg4_aac.mp4";  // 176x144, 25 fps, 3 s, AAC
constexpr size_t kPicturesToPlay = 25;

std::unique_ptr<RtspStreamSource> openStream(const std::string& base, const char* name,
                                             RtspTransport transport) {
  return std::make_unique<RtspStreamSource>(base.c_str(), name, kFormatYuy2, kPostfilterNone,
                                            freePort(SOCK_DGRAM, true), 300, 1500, 0, 0, nullptr,
                                            nullptr, nullptr, nullptr, nullptr, 0,
                                            SteadyMillisecondClock::instance(), transport);
}

// Pictures and sound until kPicturesToPlay pictures have been shown.
Playback play(RtspStreamSource& source) {
  return testing::pull(source, 8000,
                       [](const Playback& p) { return p.pictures.size() >= kPicturesToPlay; });
}

class GstTransportTest : public ::testing::Test {
 protected:
  // Starts the server with the script's options; skips without GStreamer.
  void start(const std::vector<std::string>& options) {
    port_ = freePort(SOCK_STREAM, false);
    ASSERT_NE(port_, 0);
    std::string why;
    server_ =
        testing::startGstServer(port_, fixture(kClip), folder_.file("server.log"), why, options);
    if (!server_)
      GTEST_SKIP()
          << "GStreamer's RTSP server did not start (scripts/install-deps.sh installs it): " << why;
  }
  std::string base(const std::string& userinfo = "", int port = 0) const {
    return "rtsp://" + userinfo + "127.0.0.1:" + std::to_string(port ? port : port_);
  }

  TempFolder folder_;
  int port_ = 0;
  std::unique_ptr<testing::ChildProcess> server_;
};

// A server that sends only inside the connection: TCP plays, and automatic
// moves there after the 461 to its UDP SETUP.
TEST_F(GstTransportTest, TcpOnlyServerPlaysOverTcp) {
  start({"--tcp-only"});
  for (const RtspTransport transport : {RtspTransport::kTcp, RtspTransport::kAutomatic}) {
    SCOPED_TRACE(transport == RtspTransport::kTcp ? "TCP" : "automatic");
    auto source = openStream(base(), "generic", transport);
    ASSERT_TRUE(source->hasVideo && source->hasAudio) << server_->output();
    EXPECT_TRUE(source->session()->interleaved());
    const Playback played = play(*source);
    EXPECT_GE(played.pictures.size(), kPicturesToPlay);
    EXPECT_GT(played.audioEnergy, 100.0);
    EXPECT_EQ(source->videoPacketsLost() + source->audioPacketsLost(), 0u);
  }
}

// No UDP gets through (the proxy sends the server's datagrams nowhere):
// automatic transport gives up on UDP and plays over TCP within 5 s of the
// open.
TEST_F(GstTransportTest, BlockedUdpFallsBackToTcpWithinFiveSeconds) {
  start({});
  testing::UdpBlockingProxy proxy(static_cast<uint16_t>(port_));
  ASSERT_TRUE(proxy.ok());
  const auto opening = std::chrono::steady_clock::now();
  auto source = openStream(base("", proxy.port()), "latm", RtspTransport::kAutomatic);
  ASSERT_TRUE(source->hasVideo && source->hasAudio) << server_->output();
  const Playback first =
      testing::pull(*source, 5000, [](const Playback& p) { return !p.pictures.empty(); });
  ASSERT_FALSE(first.pictures.empty());
  const auto toFirstPicture = std::chrono::steady_clock::now() - opening;
  RecordProperty(
      "first_picture_ms",
      static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(toFirstPicture).count()));
  EXPECT_LT(toFirstPicture, 5s);
  EXPECT_TRUE(source->session()->interleaved());
  EXPECT_EQ(proxy.rewrittenSetups(), 2);  // both UDP SETUPs, none after
  EXPECT_GE(play(*source).pictures.size(), kPicturesToPlay);
}

// A Digest-protected server: the right password plays and stays out of the
// source's name; a wrong or missing one fails the open at once with 401.
TEST_F(GstTransportTest, DigestLoginPlaysOrFailsClearly) {
  start({"--digest", "alice:s3cret"});
  {
    auto source = openStream(base("alice:s3cret@"), "generic", RtspTransport::kAutomatic);
    ASSERT_TRUE(source->hasVideo && source->hasAudio) << server_->output();
    EXPECT_STREQ(source->name, (base("alice@") + "/generic").c_str());
    EXPECT_GE(play(*source).pictures.size(), kPicturesToPlay);
  }
  for (const char* userinfo : {"alice:wrong@", "mallory:s3cret@", ""}) {
    SCOPED_TRACE(userinfo);
    const auto opening = std::chrono::steady_clock::now();
    auto source = openStream(base(userinfo), "generic", RtspTransport::kAutomatic);
    EXPECT_LT(std::chrono::steady_clock::now() - opening, 2s);
    EXPECT_FALSE(source->hasVideo || source->hasAudio);
    EXPECT_EQ(source->openFailureStatus(), 401);
  }
}

// A server that sends the client on to another one (another port of
// 127.0.0.1 here): the stream plays from there.
TEST_F(GstTransportTest, RedirectToAnotherServerPlays) {
  start({});
  testing::RtspPeer redirector([&](const testing::RtspRequestSeen& r) {
    return testing::rtspReply(r, "302 Moved Temporarily", "Location: " + base() + "/generic\r\n");
  });
  auto source = openStream("rtsp://127.0.0.1:" + std::to_string(redirector.port()), "moved",
                           RtspTransport::kUdp);
  ASSERT_TRUE(source->hasVideo && source->hasAudio) << server_->output();
  EXPECT_EQ(source->session()->description()->control, base() + "/generic");
  EXPECT_GE(play(*source).pictures.size(), kPicturesToPlay);
  EXPECT_EQ(redirector.requests().size(), 1u);
}

}  // namespace
}  // namespace strevana
