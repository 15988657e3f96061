#include "streaming/rtsp_session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>

#include "rtsp_peer.h"
#include "stream_test_support.h"
#include "streaming/payload_kind.h"

namespace strevana {
namespace {

using namespace std::chrono_literals;
using testing::elementData;
using testing::FrameLog;
using testing::rtpDatagram;
using testing::RtspPeer;
using testing::rtspReply;
using testing::RtspRequestSeen;
using testing::UdpPeer;

// An RTP/RTCP port pair that is free now, away from the default 6970, so
// tests running side by side do not meet.
uint16_t freePairPort() { return static_cast<uint16_t>(testing::freePort(SOCK_DGRAM, true)); }

std::unique_ptr<RtspSession> makeSession(RtpDeliverCallback deliver = nullptr) {
  std::unique_ptr<RtspSession> session;
  EXPECT_EQ(
      RtspSession::create(session, deliver, &CIOStrmPin::allocateBufferElem, &elementData, nullptr),
      kSessionOk);
  return session;
}

// A server that writes absolute control URLs, gives Content-Base without a
// final slash and uses payload type 96 for both media.
std::string clipDescription(const std::string& base, const std::string& range) {
  return "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=clip\r\nc=IN IP4 0.0.0.0\r\nt=0 0\r\n"
         "a=control:*\r\n" +
         (range.empty() ? "" : "a=range:" + range + "\r\n") +
         "m=video 0 RTP/AVP 96\r\na=rtpmap:96 MP4V-ES/90000\r\n"
         "a=fmtp:96 profile-level-id=1;config=000001B001\r\n"
         "a=control:" +
         base +
         "/trackID=1\r\na=cliprect:0,0,144,176\r\n"
         "m=audio 0 RTP/AVP 96\r\na=rtpmap:96 mpeg4-generic/44100/2\r\n"
         "a=fmtp:96 "
         "streamtype=5;mode=AAC-hbr;config=1210;SizeLength=13;IndexLength=3;IndexDeltaLength=3\r\n"
         "a=control:" +
         base + "/trackID=2\r\n";
}

// Answers DESCRIBE, SETUP (server ports from the two senders), PLAY and
// TEARDOWN the way a well-behaved server does.
class ClipServer {
 public:
  ClipServer() : peer_([this](const RtspRequestSeen& r) { return answer(r); }) {}

  std::string answer(const RtspRequestSeen& r) {
    const std::string base = peer_.url("/clip.mp4");
    if (r.method == "DESCRIBE") {
      return rtspReply(r, "200 OK",
                       "Content-Base: " + base + "\r\nContent-Type: application/sdp\r\n",
                       clipDescription(base, range));
    }
    if (r.method == "SETUP") {
      const UdpPeer& sender = r.url.find("trackID=1") != std::string::npos ? video : audio;
      std::string transport = r.header("Transport");
      tcp_ = transport.find("RTP/AVP/TCP") == 0;
      if (tcp_)
        return rtspReply(r, "200 OK",
                         "Session: 12345678;timeout=" + std::to_string(timeoutSeconds) +
                             "\r\nTransport: " + transport + "\r\n");
      if (udpRefused) return rtspReply(r, "461 Unsupported Transport");
      if (withServerPort) {
        transport += ";server_port=" + std::to_string(sender.port()) + "-" +
                     std::to_string(sender.port() + 1);
      }
      return rtspReply(r, "200 OK",
                       "Session: 12345678;timeout=" + std::to_string(timeoutSeconds) +
                           "\r\nTransport: " + transport + "\r\n");
    }
    const auto around = aroundTcpReplies.find(r.method);
    const std::pair<std::string, std::string> media = tcp_ && around != aroundTcpReplies.end()
                                                          ? around->second
                                                          : std::pair<std::string, std::string>{};
    if (r.method == "PLAY")
      return media.first + rtspReply(r, playStatus, "Session: 12345678\r\n") + media.second;
    if (r.method == "GET_PARAMETER") {
      return media.first + rtspReply(r, getParameterStatus, "Session: 12345678\r\n") + media.second;
    }
    return rtspReply(r, "200 OK");
  }

  RtspPeer& peer() { return peer_; }

  UdpPeer video;
  UdpPeer audio;
  bool withServerPort = true;
  int timeoutSeconds = 60;
  std::string playStatus = "200 OK";
  std::string getParameterStatus = "200 OK";
  std::string range = "npt=0-10";
  bool udpRefused = false;  // SETUP over UDP gets 461
  // Media frames sent before and after the reply to a method, once the
  // streams were set up over TCP.
  std::map<std::string, std::pair<std::string, std::string>> aroundTcpReplies;

 private:
  bool tcp_ = false;  // the last SETUP asked for TCP (peer thread)
  RtspPeer peer_;
};

class RtspSessionTest : public ::testing::Test {
 protected:
  // Describes the clip, adds both streams with their own frame logs.
  void describeAndAdd(uint32_t clientPort) {
    session_ = makeSession();
    ASSERT_EQ(session_->describe(server_.peer().url("/clip.mp4"), clientPort), kSessionOk);
    video_ = session_->firstMedia();
    ASSERT_NE(video_, nullptr);
    audio_ = video_->next;
    ASSERT_NE(audio_, nullptr);
    setDeliverCallback(video_, &FrameLog::deliver, &videoFrames_);
    setDeliverCallback(audio_, &FrameLog::deliver, &audioFrames_);
    ASSERT_EQ(session_->addStream(video_), kSessionOk);
    ASSERT_EQ(session_->addStream(audio_), kSessionOk);
  }

  // The logs outlive the session, whose receive thread writes to them.
  FrameLog videoFrames_;
  FrameLog audioFrames_;
  ClipServer server_;
  std::unique_ptr<RtspSession> session_;
  MediaEntry* video_ = nullptr;
  MediaEntry* audio_ = nullptr;
};

TEST_F(RtspSessionTest, DescribeSetupPlayReceiveTeardown) {
  const uint16_t port = freePairPort();
  describeAndAdd(port);
  const std::string base = server_.peer().url("/clip.mp4");
  EXPECT_TRUE(session_->aggregateAvailable());
  EXPECT_EQ(session_->serverAddress(), 0x7f000001u);
  // Absolute control URLs are used as they are.
  EXPECT_EQ(*video_->media->control, base + "/trackID=1");
  EXPECT_EQ(*audio_->media->control, base + "/trackID=2");
  EXPECT_EQ(session_->description()->control, base);
  int32_t a, b, bottom, right;
  ASSERT_TRUE(session_->findClipRect(a, b, bottom, right));
  EXPECT_EQ(bottom, 144);
  EXPECT_EQ(right, 176);
  EXPECT_DOUBLE_EQ(session_->rangeEnd(), 10.0);

  ASSERT_EQ(session_->setup(nullptr), kSessionOk);
  EXPECT_TRUE(session_->receiving());
  const auto setups = server_.peer().requests("SETUP");
  ASSERT_EQ(setups.size(), 2u);
  EXPECT_EQ(setups[0].url, base + "/trackID=1");
  EXPECT_EQ(setups[0].header("Transport"),
            "RTP/AVP;unicast;client_port=" + std::to_string(port) + "-" + std::to_string(port + 1));
  EXPECT_EQ(
      setups[1].header("Transport"),
      "RTP/AVP;unicast;client_port=" + std::to_string(port + 2) + "-" + std::to_string(port + 3));
  EXPECT_EQ(setups[1].header("Accept"), "application/sdp");  // kept from DESCRIBE
  EXPECT_EQ(video_->receiver->serverPort, server_.video.port());

  ASSERT_EQ(session_->play(), kSessionOk);
  const auto plays = server_.peer().requests("PLAY");
  ASSERT_EQ(plays.size(), 1u);
  EXPECT_EQ(plays[0].header("Range"), "npt=0.000000-10.000000");
  EXPECT_EQ(plays[0].header("Transport"), "");
  EXPECT_EQ(plays[0].header("Session"), "12345678");

  // A stranger on the video port is not the server's sender: had its packets
  // (with the sender's SSRC) been let in, the source would be bound to the
  // stranger's port and the real packets refused.
  UdpPeer stranger;
  stranger.sendTo(port, rtpDatagram(1, 0, false, {0xEE}));
  stranger.sendTo(port, rtpDatagram(2, 0, true, {0xEE}));
  // Both media use payload type 96: each packet goes to the receiver of the
  // RTP session it arrived on.
  for (uint16_t s = 1; s <= 4; ++s) {
    server_.video.sendTo(
        port, rtpDatagram(s, 3600 * ((s + 1) / 2), s % 2 == 0, {0x10, static_cast<uint8_t>(s)}));
  }
  for (uint16_t s = 1; s <= 3; ++s) {
    server_.audio.sendTo(port + 2,
                         rtpDatagram(s, 1024 * s, true, {0x20, static_cast<uint8_t>(s)}, 96, 0x66));
  }
  ASSERT_TRUE(videoFrames_.waitFor(2));
  ASSERT_TRUE(audioFrames_.waitFor(3));
  const auto v = videoFrames_.frames();
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0].bytes, (std::vector<uint8_t>{0x10, 1, 0x10, 2}));
  EXPECT_EQ(v[0].timestamp, 0);
  EXPECT_EQ(v[1].timestamp, 3600);
  for (const auto& f : audioFrames_.frames()) EXPECT_EQ(f.bytes[0], 0x20);
  EXPECT_EQ(video_->receiver->receivedCount(), 4u);
  EXPECT_EQ(audio_->receiver->receivedCount(), 3u);
  EXPECT_EQ(video_->receiver->lostCount(), 0);

  RtspSession::destroy(session_);
  EXPECT_EQ(session_, nullptr);
  const auto teardowns = server_.peer().requests("TEARDOWN");
  ASSERT_EQ(teardowns.size(), 1u);
  EXPECT_EQ(teardowns[0].header("Session"), "12345678");
  EXPECT_EQ(teardowns[0].header("Accept"), "");  // sent without request block
}

TEST_F(RtspSessionTest, AggregateControlPlaysAndTearsDownTheDescribedUrl) {
  describeAndAdd(freePairPort());
  ASSERT_EQ(session_->setAggregateControl(1), kSessionOk);
  ASSERT_EQ(session_->setup(nullptr), kSessionOk);
  ASSERT_EQ(session_->play(), kSessionOk);
  EXPECT_EQ(session_->setAggregateControl(0), kSessionPlaying);
  const std::string url = server_.peer().url("/clip.mp4");
  const auto plays = server_.peer().requests("PLAY");
  ASSERT_EQ(plays.size(), 1u);
  EXPECT_EQ(plays[0].url, url);
  EXPECT_EQ(plays[0].header("Session"), "12345678");
  ASSERT_EQ(session_->teardown(), kSessionOk);
  EXPECT_FALSE(session_->described());
  EXPECT_FALSE(session_->playing());
  EXPECT_EQ(session_->firstMedia(), nullptr);
  const auto teardowns = server_.peer().requests("TEARDOWN");
  ASSERT_EQ(teardowns.size(), 1u);
  EXPECT_EQ(teardowns[0].url, url);
}

TEST_F(RtspSessionTest, TakenPortPairIsSkipped) {
  const uint16_t port = freePairPort();
  UdpPeer takenRtp(port), takenRtcp(static_cast<uint16_t>(port + 1));
  ASSERT_TRUE(takenRtp.bound());
  describeAndAdd(port);
  ASSERT_EQ(session_->setup(nullptr), kSessionOk);
  const auto setups = server_.peer().requests("SETUP");
  ASSERT_EQ(setups.size(), 2u);
  EXPECT_NE(setups[0].header("Transport").find("client_port=" + std::to_string(port + 2) + "-"),
            std::string::npos);
  EXPECT_NE(setups[1].header("Transport").find("client_port=" + std::to_string(port + 4) + "-"),
            std::string::npos);
}

TEST_F(RtspSessionTest, SetupReplyWithoutServerPortEndsTheSetUps) {
  server_.withServerPort = false;
  const uint16_t port = freePairPort();
  describeAndAdd(port);
  ASSERT_EQ(session_->setup(nullptr), kSessionOk);
  EXPECT_EQ(server_.peer().requests("SETUP").size(), 1u);
  EXPECT_EQ(video_->receiver->serverPort, -1);
  EXPECT_EQ(audio_->receiver->rtp, nullptr);
  ASSERT_EQ(session_->play(), kSessionOk);
  // Any port of the server's address is accepted.
  UdpPeer anyPort;
  anyPort.sendTo(port, rtpDatagram(7, 0, false, {1}));
  anyPort.sendTo(port, rtpDatagram(8, 0, true, {2}));
  ASSERT_TRUE(videoFrames_.waitFor(1));
  EXPECT_EQ(videoFrames_.frames()[0].bytes, (std::vector<uint8_t>{1, 2}));
}

TEST_F(RtspSessionTest, OddClientPortSkipsEveryStream) {
  describeAndAdd(static_cast<uint32_t>(freePairPort() + 1));
  ASSERT_EQ(session_->setup(nullptr), kSessionOk);
  EXPECT_TRUE(server_.peer().requests("SETUP").empty());
  EXPECT_EQ(session_->play(), kSessionRtspBase + kRtspBadCommand);  // no session to play
}

TEST_F(RtspSessionTest, RefusedPlay) {
  server_.playStatus = "454 Session Not Found";
  describeAndAdd(freePairPort());
  ASSERT_EQ(session_->setup(nullptr), kSessionOk);
  EXPECT_EQ(session_->play(), kSessionRtspBase + kRtspStatusError);
  EXPECT_FALSE(session_->playing());
}

// The server drops sessions that stay silent past the Session header's
// timeout (here 1 s): a keep-alive goes out at half of it while playing.
TEST_F(RtspSessionTest, KeepAliveAtHalfTheSessionTimeout) {
  server_.timeoutSeconds = 1;
  describeAndAdd(freePairPort());
  ASSERT_EQ(session_->setup(nullptr), kSessionOk);
  EXPECT_EQ(session_->keepAliveIntervalMs(), 0u);
  ASSERT_EQ(session_->play(), kSessionOk);
  EXPECT_EQ(session_->keepAliveIntervalMs(), 500u);
  ASSERT_TRUE(server_.peer().waitFor("GET_PARAMETER", 2, 5s));
  const auto keepAlive = server_.peer().requests("GET_PARAMETER").front();
  EXPECT_EQ(keepAlive.header("Session"), "12345678");
  EXPECT_EQ(keepAlive.url,
            server_.peer().url("/clip.mp4") + "/trackID=2");  // the session PLAY used
  RtspSession::destroy(session_);
  EXPECT_EQ(server_.peer().requests().back().method, "TEARDOWN");
}

TEST_F(RtspSessionTest, KeepAliveFallsBackToOptions) {
  server_.timeoutSeconds = 1;
  server_.getParameterStatus = "501 Not Implemented";
  describeAndAdd(freePairPort());
  ASSERT_EQ(session_->setAggregateControl(1), kSessionOk);
  ASSERT_EQ(session_->setup(nullptr), kSessionOk);
  ASSERT_EQ(session_->play(), kSessionOk);
  ASSERT_TRUE(server_.peer().waitFor("OPTIONS", 2, 5s));
  EXPECT_EQ(server_.peer().requests("GET_PARAMETER").size(), 1u);  // refused once, not asked again
  const auto options = server_.peer().requests("OPTIONS").front();
  EXPECT_EQ(options.url, server_.peer().url("/clip.mp4"));  // aggregate: the described URL
  EXPECT_EQ(options.header("Session"), "12345678");
}

TEST_F(RtspSessionTest, PlayRangeFollowsTheDescription) {
  const struct {
    const char* range;  // "" : none
    const char* requested;
    double end;
  } cases[] = {
      {"npt=0-10", "npt=0.000000-10.000000", 10.0},
      {"", "npt=0.0-", 0.0},
      {"npt=5-", "npt=5.000000-", 0.0},
      {"npt=now-", "npt=now-", 0.0},
      {"npt=now-30", "npt=now-", 0.0},
  };
  for (const auto& c : cases) {
    server_.range = c.range;
    describeAndAdd(freePairPort());
    EXPECT_DOUBLE_EQ(session_->rangeEnd(), c.end) << c.range;
    ASSERT_EQ(session_->setup(nullptr), kSessionOk);
    ASSERT_EQ(session_->play(), kSessionOk);
    const auto plays = server_.peer().requests("PLAY");
    ASSERT_FALSE(plays.empty());
    EXPECT_EQ(plays.back().header("Range"), c.requested) << c.range;
    RtspSession::destroy(session_);
  }
}

TEST(RtspSessionDescribeTest, BaseFromContentBaseOrLocation) {
  struct Case {
    const char* name;
    std::string headers;
    std::string control;
    std::string expected;  // "" : no base
  };
  std::string url;
  Case current;
  RtspPeer peer([&](const RtspRequestSeen& r) {
    const std::string sdp =
        "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=x\r\nt=0 0\r\nm=video 0 RTP/AVP 96\r\n"
        "a=rtpmap:96 MP4V-ES/90000\r\na=control:" +
        current.control + "\r\nm=audio 0 RTP/AVP 97\r\na=rtpmap:97 MP4A-LATM/44100\r\n";
    return rtspReply(r, "200 OK", current.headers, sdp);
  });
  url = peer.url("/a/clip.mp4");
  // clang-format off
  const std::vector<Case> cases = {
      {"base with slash", "Content-Base: " + url + "/\r\n", "trackID=1", url + "/trackID=1"},
      {"base without slash glues", "Content-Base: " + url + "\r\n", "trackID=1", url + "trackID=1"},
      {"location stands in for base", "Content-Location: " + url + "/\r\n", "track1", url + "/track1"},
      {"star is the base", "Content-Base: " + url + "/\r\n", "*", url + "/"},
      {"neither", "", "trackID=1", ""},
  };
  // clang-format on
  for (const Case& c : cases) {
    current = c;
    auto session = makeSession();
    const int32_t rc = session->describe(url, 6970);
    if (c.expected.empty()) {
      EXPECT_EQ(rc, kSessionNoBase) << c.name;
      continue;
    }
    ASSERT_EQ(rc, kSessionOk) << c.name;
    // Only media with a control attribute get an entry.
    ASSERT_NE(session->firstMedia(), nullptr) << c.name;
    EXPECT_EQ(session->firstMedia()->next, nullptr) << c.name;
    EXPECT_EQ(*session->firstMedia()->media->control, c.expected) << c.name;
    EXPECT_FALSE(session->aggregateAvailable()) << c.name;
    EXPECT_EQ(session->setAggregateControl(1), kSessionBadArgument) << c.name;
  }
}

TEST(RtspSessionDescribeTest, FailureCodes) {
  std::string status = "404 Not Found";
  std::string body;
  RtspPeer peer([&](const RtspRequestSeen& r) {
    if (status == "no CSeq") return std::string("RTSP/1.0 404 Not Found\r\n\r\n");
    return rtspReply(r, status, "Content-Base: rtsp://127.0.0.1/x/\r\n", body);
  });
  auto session = makeSession();
  EXPECT_EQ(session->describe(peer.url(), 6970), kSessionRtspBase + kRtspStatusError);
  // A 404 without CSeq answers the DESCRIBE at once, within the time-out.
  status = "no CSeq";
  session = makeSession();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(session->describe(peer.url(), 6970), kSessionRtspBase + kRtspStatusError);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  status = "200 OK";
  body = "o=- 1 1 IN IP4 127.0.0.1\r\n";  // no version line first
  session = makeSession();
  EXPECT_EQ(session->describe(peer.url(), 6970), kSessionSdpBase + kSdpErrorVersion);
  session = makeSession();
  EXPECT_EQ(session->describe("http://127.0.0.1/x", 6970), kSessionBadArgument);
  // Nobody listening on the port.
  uint16_t closed;
  {
    UdpPeer probe;
    closed = probe.port();  // a port number just handed out, with no TCP listener
  }
  EXPECT_EQ(session->describe("rtsp://127.0.0.1:" + std::to_string(closed) + "/x", 6970),
            kSessionRtspBase + kRtspFailed);
}

TEST(RtspSessionStateTest, OperationsOutOfOrderAreRefused) {
  std::unique_ptr<RtspSession> session;
  EXPECT_EQ(RtspSession::create(session, nullptr, nullptr, &elementData, nullptr),
            kSessionBadArgument);
  EXPECT_EQ(session, nullptr);
  EXPECT_EQ(
      RtspSession::create(session, nullptr, &CIOStrmPin::allocateBufferElem, nullptr, nullptr),
      kSessionBadArgument);
  session = makeSession();
  EXPECT_EQ(session->setup(nullptr), kSessionWrongState);
  EXPECT_EQ(session->play(), kSessionWrongState);
  EXPECT_EQ(session->teardown(), kSessionWrongState);
  EXPECT_EQ(session->addStream(nullptr), kSessionBadArgument);
  EXPECT_DOUBLE_EQ(session->rangeStart(), 0.0);
  EXPECT_DOUBLE_EQ(session->rangeEnd(), 0.0);

  ASSERT_EQ(session->loadDescription("buff://" + testing::oneMedia("video", "MP4V-ES/90000"), 6970),
            kSessionOk);
  EXPECT_EQ(session->setup(nullptr), kSessionWrongState);  // no streams
  MediaEntry* entry = session->firstMedia();
  EXPECT_EQ(session->addStream(entry), kSessionBadArgument);  // no callback at all
  setDeliverCallback(entry, &FrameLog::deliver, nullptr);
  EXPECT_EQ(session->addStream(entry), kSessionOk);
  EXPECT_EQ(session->addStream(entry), kSessionStreamAdded);
}

TEST(RtspSessionStateTest, ASecondDescriptionReplacesTheFirst) {
  auto session = makeSession(&FrameLog::deliver);
  ASSERT_EQ(session->loadDescription("buff://" + testing::oneMedia("video", "MP4V-ES/90000"), 6970),
            kSessionOk);
  ASSERT_EQ(session->addStream(session->firstMedia()), kSessionOk);
  ASSERT_EQ(
      session->loadDescription("buff://" + testing::oneMedia("audio", "MP4A-LATM/8000"), 6970),
      kSessionOk);
  ASSERT_NE(session->firstMedia(), nullptr);
  EXPECT_EQ(session->firstMedia()->next, nullptr);
  EXPECT_EQ(mediaEncodingName(session->firstMedia()), "MP4A-LATM");
  EXPECT_EQ(session->firstStream(), nullptr);
}

// Description mode: no RTSP; the RTP sessions listen on the description's
// ports and take packets from anyone.
TEST(RtspSessionDescriptionTest, LocalDescriptionReceives) {
  const uint16_t port = freePairPort();
  const std::string sdp =
      "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=x\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
      "a=range:npt=1.5-20\r\n"
      "m=video " +
      std::to_string(port) + " RTP/AVP 96\r\na=rtpmap:96 MP4V-ES/90000\r\n";
  testing::TempFolder folder;  // removed however the test ends
  const std::string path = folder.file("session.sdp");
  std::ofstream(path) << sdp;

  FrameLog frames;  // outlives the session's receive thread
  auto session = makeSession(&FrameLog::deliver);
  ASSERT_EQ(session->loadDescription(path, 6970), kSessionOk);
  EXPECT_TRUE(session->descriptionMode());
  EXPECT_EQ(session->serverAddress(), 0x7f000001u);
  EXPECT_DOUBLE_EQ(session->rangeStart(), 1.5);
  EXPECT_DOUBLE_EQ(session->rangeEnd(), 20.0);
  setDeliverCallback(session->firstMedia(), &FrameLog::deliver, &frames);
  ASSERT_EQ(session->addStream(session->firstMedia()), kSessionOk);
  ASSERT_EQ(session->setup(nullptr), kSessionOk);
  {
    // The ports are opened for reuse: another receiver of the same
    // description on this host sets up too.
    auto other = makeSession(&FrameLog::deliver);
    ASSERT_EQ(other->loadDescription(path, 6970), kSessionOk);
    ASSERT_EQ(other->addStream(other->firstMedia()), kSessionOk);
    EXPECT_EQ(other->setup(nullptr), kSessionOk);
  }
  ASSERT_EQ(session->play(), kSessionOk);
  UdpPeer sender;
  for (uint16_t s = 10; s < 13; ++s)
    sender.sendTo(port, rtpDatagram(s, s * 100u, true, {static_cast<uint8_t>(s)}));
  ASSERT_TRUE(frames.waitFor(3));
  EXPECT_EQ(frames.frames()[2].timestamp, 200);
  EXPECT_EQ(session->firstStream()->receivedCount(), 3u);
}

TEST(RtspSessionDescriptionTest, DescriptionFailures) {
  auto session = makeSession();
  EXPECT_EQ(session->loadDescription("/nonexistent/strevana.sdp", 6970),
            kSessionSdpBase + kSdpErrorInput);
  session = makeSession();
  EXPECT_EQ(session->loadDescription("buff://m=video 0 RTP/AVP 96\r\n", 6970),
            kSessionSdpBase + kSdpErrorVersion);
  // An odd port in the description cannot be opened.
  std::string odd = testing::oneMedia("video", "MP4V-ES/90000");
  odd.replace(odd.find("5004"), 4, "5005");
  session = makeSession(&FrameLog::deliver);
  ASSERT_EQ(session->loadDescription("buff://" + odd, 6970), kSessionOk);
  ASSERT_EQ(session->addStream(session->firstMedia()), kSessionOk);
  EXPECT_EQ(session->setup(nullptr), kSessionRtpBase + kRtpOddPortBase);
}

TEST(RtspSessionDescriptionTest, ClipRectAndRanges) {
  const struct {
    const char* attributes;  // video media attributes
    bool found;
    int32_t bottom, right;
  } cases[] = {
      {"a=cliprect:0,0,144,176\r\n", true, 144, 176},
      {"a=x-info\r\na=cliprect:0,0,240,320\r\n", true, 240, 320},
      {"a=cliprect:0,0,144\r\n", false, 0, 0},
      {"a=cliprect:0,0,3000,176\r\n", false, 0, 0},
      {"a=cliprect:-1,0,144,176\r\n", false, 0, 0},
      {"", false, 0, 0},
  };
  for (const auto& c : cases) {
    const std::string sdp =
        "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=x\r\nt=0 0\r\n"
        "m=audio 0 RTP/AVP 97\r\na=rtpmap:97 MP4A-LATM/44100\r\na=cliprect:0,0,1,1\r\n"
        "a=range:npt=0-7\r\n"
        "m=video 0 RTP/AVP 96\r\na=rtpmap:96 MP4V-ES/90000\r\n" +
        std::string(c.attributes) + "a=range:npt=2-9\r\n";
    auto session = makeSession(&FrameLog::deliver);
    ASSERT_EQ(session->loadDescription("buff://" + sdp, 6970), kSessionOk) << c.attributes;
    EXPECT_DOUBLE_EQ(session->rangeEnd(), 7.0);  // the first media with a range
    for (MediaEntry* e = session->firstMedia(); e; e = e->next) session->addStream(e);
    int32_t a = 0, b = 0, bottom = 0, right = 0;
    EXPECT_EQ(session->findClipRect(a, b, bottom, right), c.found) << c.attributes;
    EXPECT_EQ(bottom, c.bottom) << c.attributes;
    EXPECT_EQ(right, c.right) << c.attributes;
  }
}

// ---- media inside the RTSP connection ---------------------------------------

// An RTP datagram framed for the RTSP connection (RFC 2326 10.12).
std::string interleaved(uint8_t channel, const std::vector<uint8_t>& datagram) {
  std::string out = {'$', static_cast<char>(channel), static_cast<char>(datagram.size() >> 8),
                     static_cast<char>(datagram.size() & 0xff)};
  return out.append(datagram.begin(), datagram.end());
}

std::string videoPacket(uint16_t s, bool marker) {
  return interleaved(0,
                     rtpDatagram(s, 3600 * ((s + 1) / 2), marker, {0x10, static_cast<uint8_t>(s)}));
}

std::string audioPacket(uint16_t s) {
  return interleaved(2, rtpDatagram(s, 1024 * s, true, {0x20, static_cast<uint8_t>(s)}, 96, 0x66));
}

std::vector<std::string> methods(const RtspPeer& peer) {
  std::vector<std::string> names;
  for (const auto& r : peer.requests()) names.push_back(r.method);
  return names;
}

// Media before, after and between replies on one connection: every frame
// reaches its stream, a frame on a channel nobody set up reaches none, and
// every keep-alive reply is matched (the client's CSeq only moves on when
// the reply to it was read, so a lost one would repeat the number).
TEST_F(RtspSessionTest, TcpMediaAndKeepAliveRepliesShareTheConnection) {
  server_.timeoutSeconds = 1;
  server_.aroundTcpReplies["PLAY"] = {videoPacket(1, false),
                                      videoPacket(2, true) +
                                          interleaved(9, rtpDatagram(3, 7200, true, {0xEE})) +
                                          audioPacket(1) + audioPacket(2)};
  server_.aroundTcpReplies["GET_PARAMETER"] = {videoPacket(3, false), videoPacket(4, true)};
  describeAndAdd(freePairPort());
  session_->setTransport(RtspTransport::kTcp);
  ASSERT_EQ(session_->setup(nullptr), kSessionOk);
  EXPECT_TRUE(session_->interleaved());
  const auto setups = server_.peer().requests("SETUP");
  ASSERT_EQ(setups.size(), 2u);
  EXPECT_EQ(setups[0].header("Transport"), "RTP/AVP/TCP;unicast;interleaved=0-1");
  EXPECT_EQ(setups[1].header("Transport"), "RTP/AVP/TCP;unicast;interleaved=2-3");

  ASSERT_EQ(session_->play(), kSessionOk);
  ASSERT_TRUE(server_.peer().waitFor("GET_PARAMETER", 3, 5s));
  ASSERT_TRUE(videoFrames_.waitFor(2));
  ASSERT_TRUE(audioFrames_.waitFor(2));
  const auto v = videoFrames_.frames();
  ASSERT_EQ(v.size(), 2u);  // the repeated keep-alive media are duplicates
  EXPECT_EQ(v[0].bytes, (std::vector<uint8_t>{0x10, 1, 0x10, 2}));
  EXPECT_EQ(v[1].bytes, (std::vector<uint8_t>{0x10, 3, 0x10, 4}));
  EXPECT_EQ(v[1].timestamp, 3600);
  EXPECT_EQ(audioFrames_.frames().size(), 2u);
  EXPECT_EQ(video_->receiver->lostCount(), 0);

  const auto closing = std::chrono::steady_clock::now();
  RtspSession::destroy(session_);
  EXPECT_LT(std::chrono::steady_clock::now() - closing, 2s);
  const auto requests = server_.peer().requests();
  for (size_t i = 1; i < requests.size(); ++i)
    EXPECT_EQ(requests[i].cseq, requests[i - 1].cseq + 1);
  EXPECT_EQ(requests.back().method, "TEARDOWN");
}

// Automatic transport: a server that refuses UDP (461) is set up again over
// TCP at once; one whose UDP never arrives is torn down after the probe time
// and set up over TCP; either way the stream then plays.
class RtspSessionFallbackTest : public RtspSessionTest,
                                public ::testing::WithParamInterface<bool> {};

TEST_P(RtspSessionFallbackTest, AutomaticTransportFallsBackToTcpOnce) {
  const bool refused = GetParam();
  server_.udpRefused = refused;
  server_.aroundTcpReplies["PLAY"] = {"", videoPacket(1, true) + videoPacket(2, true)};
  describeAndAdd(freePairPort());
  session_->setTransport(RtspTransport::kAutomatic);
  ASSERT_EQ(session_->setup(nullptr), kSessionOk);
  EXPECT_EQ(session_->interleaved(), refused);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(session_->play(), kSessionOk);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(session_->interleaved());
  EXPECT_TRUE(session_->playing());
  ASSERT_TRUE(videoFrames_.waitFor(2));
  const std::vector<std::string> expected =
      refused ? std::vector<std::string>{"DESCRIBE", "SETUP", "SETUP", "SETUP", "PLAY"}
              : std::vector<std::string>{"DESCRIBE", "SETUP", "SETUP", "PLAY",
                                         "TEARDOWN", "SETUP", "SETUP", "PLAY"};
  EXPECT_EQ(methods(server_.peer()), expected);
  if (refused) {
    EXPECT_LT(took, 1s);
  } else {
    EXPECT_GE(took, std::chrono::milliseconds(RtspSession::kUdpProbeMs));
    EXPECT_LT(took, std::chrono::milliseconds(RtspSession::kUdpProbeMs) + 1s);
  }
}

INSTANTIATE_TEST_SUITE_P(Cause, RtspSessionFallbackTest, ::testing::Values(true, false),
                         [](const auto& info) {
                           return std::string(info.param ? "UdpRefused" : "NoRtpOverUdp");
                         });

}  // namespace
}  // namespace strevana
