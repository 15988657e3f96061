// RtspSession against a scripted RTSP server and RTP senders on loopback, and
// in description mode (a local .sdp, no RTSP).
#include "streaming/rtsp_session.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ctime>

#include <map>

#include "stream_test_support.h"
#include "streaming/resolve_host.h"
#include "support/temp_folder.h"

namespace strevana {
namespace {

using namespace std::chrono_literals;
using testing::FrameLog;
using testing::rtpDatagram;
using testing::rtspReply;
using testing::RtspRequestSeen;
using testing::UdpPeer;
using Bytes = std::vector<uint8_t>;

std::unique_ptr<RtspSession> makeSession() {
  std::unique_ptr<RtspSession> session;
  RtspSession::create(session, nullptr, &CIOStrmPin::allocateBufferElem, &testing::elementData,
                      nullptr);
  return session;
}

std::string ports(int port) {
  return "RTP/AVP;unicast;client_port=" + std::to_string(port) + "-" + std::to_string(port + 1);
}

// An RTP datagram framed for the RTSP connection (RFC 2326 10.12).
std::string interleaved(uint8_t channel, const Bytes& d) {
  return std::string{'$', char(channel), char(d.size() >> 8), char(d.size())} +
         std::string(d.begin(), d.end());
}
Bytes videoRtp(uint16_t s, bool marker) {
  return rtpDatagram(s, 3600 * ((s + 1) / 2), marker, {0x10, uint8_t(s)});
}
Bytes audioRtp(uint16_t s) { return rtpDatagram(s, 1024 * s, true, {0x20, uint8_t(s)}, 96, 0x66); }

// A server with absolute control URLs and payload type 96 for both media;
// SETUP over UDP gets the senders' ports.
class RtspSessionTest : public ::testing::Test {
 protected:
  std::string answer(const RtspRequestSeen& r) {
    const std::string session = "Session: 12345678;timeout=" + std::to_string(timeout_) + "\r\n";
    if (r.method == "DESCRIBE") {
      const std::string media = "a=rtpmap:96 MP4V-ES/90000\r\na=control:" + url("/trackID=1") +
                                "\r\nm=audio 0 RTP/AVP 96\r\na=rtpmap:96 mpeg4-generic/44100/2";
      return rtspReply(r, "200 OK", "Content-Base: " + url() + "\r\n",
                       "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=clip\r\nc=IN IP4 0.0.0.0\r\nt=0 0\r\n"
                       "a=control:*\r\na=range:npt=0-10\r\nm=video 0 RTP/AVP 96\r\n" +
                           media + "\r\na=control:" + url("/trackID=2") + "\r\n");
    }
    if (r.method == "SETUP") {
      std::string transport = r.header("Transport");
      tcp_ = transport.find("RTP/AVP/TCP") == 0;
      const int sender = (r.url.find("trackID=1") != std::string::npos ? video_ : audio_).port();
      if (!tcp_ && withServerPort_)
        transport += ";server_port=" + std::to_string(sender) + "-" + std::to_string(sender + 1);
      return rtspReply(r, "200 OK", session + "Transport: " + transport + "\r\n");
    }
    if (r.method == "TEARDOWN") return rtspReply(r, "200 OK");
    const auto media = tcp_ ? aroundTcpReplies_[r.method] : std::pair<std::string, std::string>{};
    const bool refused = r.method == "GET_PARAMETER" && refuseGetParameter_;
    return media.first + rtspReply(r, refused ? "501 Not Implemented" : "200 OK", session) +
           media.second;
  }
  std::string url(const std::string& track = "") { return peer_.url("/clip.mp4") + track; }
  void describeAndAdd(uint32_t clientPort) {
    if (!session_) session_ = makeSession();
    ASSERT_EQ(session_->describe(url(), clientPort), kSessionOk);
    video = session_->firstMedia();
    ASSERT_NE(audio = video->next, nullptr);
    setDeliverCallback(video, &FrameLog::deliver, &videoFrames_);
    setDeliverCallback(audio, &FrameLog::deliver, &audioFrames_);
    ASSERT_EQ(session_->addStream(video), kSessionOk);
    ASSERT_EQ(session_->addStream(audio), kSessionOk);
  }

  UdpPeer video_, audio_;
  bool withServerPort_ = true, refuseGetParameter_ = false, tcp_ = false;
  int timeout_ = 60;
  std::map<std::string, std::pair<std::string, std::string>> aroundTcpReplies_;
  FrameLog videoFrames_, audioFrames_;  // outlive the session's receive thread
  testing::RtspPeer peer_{[this](const RtspRequestSeen& r) { return answer(r); }};
  std::unique_ptr<RtspSession> session_;
  MediaEntry* video = nullptr;
  MediaEntry* audio = nullptr;
};

// Client ports go in even pairs, a taken pair skipped. A stranger on the
// video port is not the server's sender; both media use payload type 96, so
// each packet goes by the RTP session it came on. A reply without
// server_port ends the set-ups, and then any port of the server may send.
TEST_F(RtspSessionTest, DescribeSetupPlayReceiveTeardown) {
  const int port = testing::freePort();
  std::optional<UdpPeer> takenRtp(uint16_t(port + 2)), takenRtcp(uint16_t(port + 3));
  describeAndAdd(port);
  EXPECT_TRUE(session_->aggregateAvailable());
  EXPECT_EQ(*video->media->control, url("/trackID=1"));  // absolute: as it is
  ASSERT_EQ(session_->setup(nullptr), kSessionOk);
  takenRtp.reset(), takenRtcp.reset();
  const auto setups = peer_.requests("SETUP");
  ASSERT_EQ(setups.size(), 2u);
  EXPECT_EQ(setups[0].url + " " + setups[0].header("Transport"), url("/trackID=1 ") + ports(port));
  EXPECT_EQ(setups[1].header("Transport"), ports(port + 4));
  EXPECT_EQ(setups[1].header("Accept"), "application/sdp");  // kept from DESCRIBE
  ASSERT_EQ(session_->play(), kSessionOk);
  const auto play = peer_.requests("PLAY").at(0);  // Range, no Transport, Session
  EXPECT_EQ(play.header("Range") + play.header("Transport") + ";" + play.header("Session"),
            "npt=0.000000-10.000000;12345678");
  UdpPeer stranger;
  for (uint16_t s = 1; s <= 2; ++s) stranger.sendTo(port, rtpDatagram(s, 0, s == 2, {0xEE}));
  for (uint16_t s = 1; s <= 4; ++s) video_.sendTo(port, videoRtp(s, s % 2 == 0));
  for (uint16_t s = 1; s <= 3; ++s) audio_.sendTo(port + 4, audioRtp(s));
  ASSERT_TRUE(videoFrames_.waitFor(2) && audioFrames_.waitFor(3));
  const auto v = videoFrames_.all();
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0].bytes, (Bytes{0x10, 1, 0x10, 2}));
  EXPECT_EQ(v[1].pts, 3600);
  EXPECT_EQ(audioFrames_.all().at(2).bytes, (Bytes{0x20, 3}));
  EXPECT_EQ(video->receiver->receivedCount(), 4u);
  RtspSession::destroy(session_);
  const auto teardown = peer_.requests("TEARDOWN").at(0);  // Session, no Accept
  EXPECT_EQ(teardown.header("Session") + teardown.header("Accept"), "12345678");
  withServerPort_ = false;
  describeAndAdd(port);
  ASSERT_EQ(session_->setup(nullptr), kSessionOk);
  EXPECT_EQ(peer_.requests("SETUP").size(), 3u);  // the first only
  EXPECT_EQ(audio->receiver->rtp, nullptr);
  ASSERT_EQ(session_->play(), kSessionOk);
  UdpPeer anyPort;  // a new source is taken after two packets in sequence
  for (uint16_t s = 7; s <= 8; ++s) anyPort.sendTo(port, rtpDatagram(s, 0, s == 8, {uint8_t(s)}));
  ASSERT_TRUE(videoFrames_.waitFor(3));
  EXPECT_EQ(videoFrames_.all()[2].bytes, (Bytes{7, 8}));
}

// A server drops sessions silent past the Session timeout (1 s here): while
// playing, a keep-alive goes at half of it, GET_PARAMETER on the stream PLAY
// used, or OPTIONS once GET_PARAMETER was refused. A session torn down and
// played again keeps alive again, on the same client ports; receivers with
// nothing to read meanwhile sleep instead of spinning (a fifth of a core at
// most, sanitizers included).
TEST_F(RtspSessionTest, KeepAliveAtHalfTheSessionTimeoutAcrossSessions) {
  timeout_ = 1;
  const int port = testing::freePort();
  for (const bool refused : {false, true}) {
    refuseGetParameter_ = refused;
    const std::string method = refused ? "OPTIONS" : "GET_PARAMETER";
    for (size_t round = 1; round <= 2; ++round) {
      SCOPED_TRACE(method + " round " + std::to_string(round));
      describeAndAdd(port);
      ASSERT_EQ(session_->setAggregateControl(refused), kSessionOk);
      ASSERT_EQ(session_->setup(nullptr), kSessionOk);
      EXPECT_EQ(peer_.requests("SETUP").back().header("Transport"), ports(port + 2));
      EXPECT_EQ(session_->keepAliveIntervalMs(), 0u);
      ASSERT_EQ(session_->play(), kSessionOk);
      EXPECT_EQ(session_->setAggregateControl(!refused), kSessionPlaying);
      EXPECT_EQ(peer_.requests("PLAY").back().url, refused ? url() : url("/trackID=2"));
      EXPECT_EQ(session_->keepAliveIntervalMs(), 500u);
      const std::clock_t cpu = std::clock();
      const auto wall = std::chrono::steady_clock::now();
      ASSERT_TRUE(peer_.waitFor(method, 2 * round));
      EXPECT_LT((std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC,
                (std::chrono::steady_clock::now() - wall) / 1ms / 5.0);
      const auto keepAlive = peer_.requests(method).back();
      EXPECT_EQ(keepAlive.url + " " + keepAlive.header("Session"),
                (refused ? url() : url("/trackID=2")) + " 12345678");
      ASSERT_EQ(session_->teardown(), kSessionOk);
      EXPECT_EQ(session_->keepAliveIntervalMs(), 0u);
      EXPECT_FALSE(session_->described() || session_->playing() || session_->firstMedia());
      EXPECT_EQ(peer_.requests().back().method, "TEARDOWN");
    }
  }
}

// Media before, after and between replies: every frame reaches its stream,
// one on a channel nobody set up reaches none, and every keep-alive reply is
// matched (the CSeq moves on only once the reply to it was read).
TEST_F(RtspSessionTest, TcpMediaAndKeepAliveRepliesShareTheConnection) {
  timeout_ = 1;
  aroundTcpReplies_["PLAY"] = {interleaved(0, videoRtp(1, false)),
                               interleaved(0, videoRtp(2, true)) +
                                   interleaved(9, videoRtp(3, true)) + interleaved(2, audioRtp(1)) +
                                   interleaved(2, audioRtp(2))};
  aroundTcpReplies_["GET_PARAMETER"] = {interleaved(0, videoRtp(3, false)),
                                        interleaved(0, videoRtp(4, true))};
  describeAndAdd(testing::freePort());
  session_->setTransport(RtspTransport::kTcp);
  ASSERT_EQ(session_->setup(nullptr), kSessionOk);
  EXPECT_TRUE(session_->interleaved());
  EXPECT_EQ(peer_.requests("SETUP").at(1).header("Transport"),
            "RTP/AVP/TCP;unicast;interleaved=2-3");
  ASSERT_EQ(session_->play(), kSessionOk);
  ASSERT_TRUE(peer_.waitFor("GET_PARAMETER", 3));
  ASSERT_TRUE(videoFrames_.waitFor(2) && audioFrames_.waitFor(2));
  const auto v = videoFrames_.all();
  ASSERT_EQ(v.size(), 2u);  // the repeated keep-alive media are duplicates
  EXPECT_EQ(v[0].bytes, (Bytes{0x10, 1, 0x10, 2}));
  EXPECT_EQ(v[1].bytes, (Bytes{0x10, 3, 0x10, 4}));
  EXPECT_EQ(audioFrames_.all().size(), 2u);
  EXPECT_EQ(video->receiver->lostCount(), 0);
  const auto closing = std::chrono::steady_clock::now();
  RtspSession::destroy(session_);
  EXPECT_LT(std::chrono::steady_clock::now() - closing, 2s);
  const auto requests = peer_.requests();
  for (size_t i = 1; i < requests.size(); ++i)
    EXPECT_EQ(requests[i].cseq, requests[i - 1].cseq + 1);
  EXPECT_EQ(requests.back().method, "TEARDOWN");
}

// The base for relative control URLs comes from Content-Base, else
// Content-Location; without either, or on a refusal or a broken reply, the
// description fails, at once. Redirected, the session lives on the server
// redirected to. The server's address is the URL's host, which ends at the
// port or the path (RFC 2326 §3.2), also where there is no path.
TEST(RtspSessionDescribeTest, DescribeReplies) {
  std::string status, headers, body;
  testing::RtspPeer peer([&](const RtspRequestSeen& r) {
    if (r.url.find("/a/") == std::string::npos)
      return rtspReply(r, "302 Moved", "Location: " + peer.url("/a/clip.mp4") + "\r\n");
    if (status.empty()) return std::string("RTSP/1.0 404 Not Found\r\n\r\n");  // no CSeq
    return rtspReply(r, status, headers, body);
  });
  const std::string url = peer.url("/a/clip.mp4"), base = "Content-Base: " + url;
  const auto sdp = [](const std::string& control) {
    return "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=x\r\nt=0 0\r\nm=audio 0 RTP/AVP 97\r\n"
           "m=video 0 RTP/AVP 96\r\na=rtpmap:96 MP4V-ES/90000\r\na=control:" +
           control + "\r\n";
  };
  // clang-format off
  const struct { std::string status, headers, body, url; int32_t rc; std::string control; } cases[] = {
      {"200 OK", base + "/\r\n", sdp("trackID=1"), url, kSessionOk, url + "/trackID=1"},
      {"200 OK", base + "\r\n", sdp("trackID=1"), url, kSessionOk, url + "trackID=1"},  // glued as it is
      {"200 OK", "Content-Location: " + url + "/\r\n", sdp("track1"), url, kSessionOk, url + "/track1"},
      {"200 OK", base + "/\r\n", sdp("*"), url, kSessionOk, url + "/"},
      {"200 OK", base + "/\r\n", sdp("trackID=1"), peer.url(""), kSessionOk, url + "/trackID=1"},
      {"200 OK", "", sdp("trackID=1"), url, kSessionNoBase, ""},
      {"404 Not Found", base + "/\r\n", "", url, kSessionRtspBase + kRtspStatusError, ""},
      {"", "", "", url, kSessionRtspBase + kRtspStatusError, ""},
      {"200 OK", base + "/\r\n", "o=- 1 1 IN IP4 0.0.0.0\r\n", url, kSessionSdpBase + kSdpErrorVersion, ""},
      {"200 OK", "", "", "http://127.0.0.1/x", kSessionBadArgument, ""},
      {"200 OK", "", "", "rtsp://127.0.0.1:" + std::to_string(UdpPeer().port()) + "/x", kSessionRtspBase + kRtspFailed, ""},  // nobody listens
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status + " " + c.headers + c.url);
    std::tie(status, headers, body) = std::tie(c.status, c.headers, c.body);
    auto session = makeSession();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(session->describe(c.url, 6970), c.rc);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    if (c.rc != kSessionOk) continue;
    EXPECT_EQ(session->serverAddress(), 0x7f000001u);
    EXPECT_EQ(session->firstMedia()->next, nullptr);  // media without control get no entry
    EXPECT_EQ(*session->firstMedia()->media->control, c.control);
    EXPECT_EQ(session->setAggregateControl(1), kSessionBadArgument);  // no session control
  }
  EXPECT_EQ(resolveHost("rtsp://127.0.0.1:554"), 0x7f000001u);  // no path: the port ends the host
}

TEST(RtspSessionStateTest, OperationsOutOfOrderAreRefused) {
  auto session = makeSession();
  for (const int32_t rc : {session->setup(nullptr), session->play(), session->teardown()})
    EXPECT_EQ(rc, kSessionWrongState);
  EXPECT_EQ(session->addStream(nullptr), kSessionBadArgument);
  const std::string video = testing::oneMedia("video", "MP4V-ES/90000");
  ASSERT_EQ(session->loadDescription("buff://" + video, 6970), kSessionOk);
  EXPECT_EQ(session->setup(nullptr), kSessionWrongState);  // no streams
  MediaEntry* entry = session->firstMedia();
  EXPECT_EQ(session->addStream(entry), kSessionBadArgument);  // no callback
  setDeliverCallback(entry, &FrameLog::deliver, nullptr);
  EXPECT_EQ(session->addStream(entry), kSessionOk);
  EXPECT_EQ(session->addStream(entry), kSessionStreamAdded);
  // A second description replaces the first, streams and all.
  const std::string audio = testing::oneMedia("audio", "MP4A-LATM/8000");
  ASSERT_EQ(session->loadDescription("buff://" + audio, 6970), kSessionOk);
  EXPECT_EQ(session->firstMedia()->next, nullptr);
  EXPECT_EQ(mediaEncodingName(session->firstMedia()), "MP4A-LATM");
  EXPECT_EQ(session->firstStream(), nullptr);
}

// Description mode: the RTP session listens on the description's port and
// takes packets from anyone, here from a multicast group that it must join.
// The test runs itself again under `unshare -rn` (its own user and network
// namespaces: only a loopback interface, brought up, with 224.0.0.0/4 routed
// to it), so the group is never joined on the machine's own interfaces; it
// is skipped where unprivileged namespaces are not allowed.
TEST(RtspSessionDescriptionTest, LocalDescriptionJoinsItsGroup) {
  if (!std::getenv("STREVANA_PRIVATE_NETWORK")) {
    if (std::system("unshare -rn true") != 0) GTEST_SKIP() << "no unprivileged namespaces";
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string(),
                      filter = " --gtest_filter=RtspSessionDescriptionTest.*";
    EXPECT_EQ(
        std::system(("STREVANA_PRIVATE_NETWORK=1 timeout 20 unshare -rn " + self + filter).c_str()),
        0);
    return;
  }
  ASSERT_EQ(std::system("ip link set lo up && ip route add 224.0.0.0/4 dev lo"), 0);
  testing::ScratchFolder folder;
  std::string sdp = testing::oneMedia("video", "MP4V-ES/90000") + "a=range:npt=1.5-20\r\n";
  std::ofstream(folder.file("group.sdp"))
      << sdp.replace(sdp.find("c=IN IP4 127.0.0.1"), 18, "c=IN IP4 239.255.12.7/1");
  FrameLog frames;
  auto session = makeSession();
  ASSERT_EQ(session->loadDescription(folder.file("group.sdp"), 6970), kSessionOk);
  EXPECT_TRUE(session->descriptionMode());
  EXPECT_EQ(std::make_pair(session->rangeStart(), session->rangeEnd()), std::make_pair(1.5, 20.0));
  setDeliverCallback(session->firstMedia(), &FrameLog::deliver, &frames);
  ASSERT_EQ(session->addStream(session->firstMedia()), kSessionOk);
  ASSERT_EQ(session->setup("127.0.0.1"), kSessionOk);
  ASSERT_EQ(session->play(), kSessionOk);
  const int sender = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in group{AF_INET, htons(5004), {}, {}};
  inet_pton(AF_INET, "239.255.12.7", &group.sin_addr);
  for (uint8_t i = 0; i < 10; ++i) {
    const auto d = rtpDatagram(uint16_t(100 + i), 3600u * i, true, {0, 0, 1, 0xB6, i});
    sendto(sender, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&group), sizeof group);
  }
  close(sender);
  ASSERT_TRUE(frames.waitFor(10));
  for (uint8_t i = 0; i < 10; ++i) EXPECT_EQ(frames.all()[i].bytes, (Bytes{0, 0, 1, 0xB6, i}));
  EXPECT_EQ(frames.all()[9].pts, 9 * 3600);
  EXPECT_EQ(session->firstStream()->receivedCount(), 10u);
}

}  // namespace
}  // namespace strevana
