#include "protocols/rtp/rtp_session.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <tuple>

#include "protocols/rtp/rtcp_compound.h"
#include "rtp_test_support.h"
#include "support/loopback_peer.h"

namespace strevana {
namespace {

using namespace rtp_test;
using testing::UdpPeer;

constexpr uint32_t kLoopback = 0x7f000001;
constexpr uint32_t kServerSsrc = 0x5eed0001;
constexpr uint32_t kMax = RtpSourceTable::kMaxSources;

// Polls until `done` holds or two seconds pass (loopback delivery is
// immediate in practice; the bound only guards against a stuck test).
template <typename Done>
bool pollUntil(RtpSession& session, Done done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (;;) {
    session.poll();
    if (done()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

std::vector<uint32_t> takeAll(RtpSession& session) {
  std::vector<uint32_t> out;
  for (bool more = session.gotoFirstSourceWithData(); more;
       more = session.gotoNextSourceWithData()) {
    while (auto packet = session.getNextPacket()) out.push_back(packet->extendedSequenceNumber);
  }
  return out;
}

std::optional<RtcpCompound> receiveCompound(UdpPeer& peer) {
  auto bytes = peer.receive();
  return bytes ? parseRtcpCompound(bytes->data(), bytes->size()) : std::nullopt;
}

class RtpSessionTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(createOnFreePorts(session_), kRtpOk); }
  uint16_t rtpPort() const { return static_cast<uint16_t>(session_.portBase()); }
  void feedRtp(const std::vector<uint8_t>& bytes, uint32_t address = kLoopback,
               uint16_t port = 5000) {
    session_.processRtpDatagram(bytes.data(), bytes.size(), address, port);
  }
  void feedRtcp(const std::vector<uint8_t>& bytes, uint32_t address = kLoopback,
                uint16_t port = 5001) {
    session_.processRtcpDatagram(bytes.data(), bytes.size(), address, port);
  }
  ManualMillisecondClock clock_;
  RtpSession session_{clock_};
};

TEST(RtpSessionCreateTest, PortsAreCheckedAndFreedAgainByDestroy) {
  RtpSession first;
  EXPECT_EQ(first.create(6971, 0, false), kRtpOddPortBase);
  EXPECT_FALSE(first.isCreated());
  EXPECT_EQ(first.poll(), kRtpSessionNotCreated);
  EXPECT_EQ(first.destroy(), kRtpSessionNotCreated);
  EXPECT_EQ(first.joinMulticastGroup(0xef000001), kRtpSocketsNotCreated);
  ASSERT_EQ(createOnFreePorts(first, false, 0x0a0b0c0d), kRtpOk);
  EXPECT_EQ(first.localAddress(), 0x0a0b0c0du);
  const int port = first.portBase();
  EXPECT_EQ(first.create(port, 0, false), kRtpAlreadyCreated);
  RtpSession second;
  EXPECT_EQ(second.create(port, 0, false), kRtpBindFailed);
  EXPECT_FALSE(second.isCreated());
  ASSERT_EQ(first.destroy(), kRtpOk);
  EXPECT_EQ(first.create(port, 0, false), kRtpOk);
  EXPECT_NE(first.localAddress(), 0u);
  // With the reuse flag two sessions share a pair.
  RtpSession third;
  RtpSession fourth;
  ASSERT_EQ(createOnFreePorts(third, true), kRtpOk);
  EXPECT_EQ(fourth.create(third.portBase(), 0, true), kRtpOk);
}

TEST_F(RtpSessionTest, AcceptAndIgnoreListsFilterSenders) {
  UdpPeer listed;
  UdpPeer other;
  session_.setReceiveMode(RtpReceiveMode::kAcceptListed);
  ASSERT_EQ(session_.addToAcceptList(kLoopback, false, listed.port()), kRtpOk);
  other.sendTo(rtpPort(), makeRtp(1, 0xbad));
  listed.sendTo(rtpPort(), makeRtp(1, kServerSsrc));
  ASSERT_TRUE(pollUntil(session_, [&] { return session_.findSource(kServerSsrc) != nullptr; }));
  EXPECT_EQ(session_.sources().size(), 1u);  // `other` came first
  session_.setReceiveMode(RtpReceiveMode::kIgnoreListed);
  ASSERT_EQ(session_.addToIgnoreList(kLoopback, false, listed.port()), kRtpOk);
  listed.sendTo(rtpPort(), makeRtp(2, kServerSsrc));
  other.sendTo(rtpPort(), makeRtp(1, 0xbad));
  ASSERT_TRUE(pollUntil(session_, [&] { return session_.findSource(0xbad) != nullptr; }));
  EXPECT_EQ(session_.findSource(kServerSsrc)->packetsReceived(), 1u);
  // Listing the whole address silences every port.
  ASSERT_EQ(session_.addToIgnoreList(kLoopback, true, 0), kRtpOk);
  other.sendTo(rtpPort(), makeRtp(2, 0xbad));
  listed.sendTo(rtpPort(), makeRtp(3, kServerSsrc));
  session_.poll();
  EXPECT_EQ(session_.findSource(0xbad)->packetsReceived(), 1u);
}

TEST_F(RtpSessionTest, TakesReportsAndSendsItsOwnWhenDueAndGoodbyeOnDestroy) {
  UdpPeer server;
  ASSERT_EQ(session_.addDestination(kLoopback, server.port() - 1), kRtpOk);
  server.sendTo(rtpPort(), makeRtp(10, kServerSsrc));
  server.sendTo(rtpPort(), makeRtp(12, kServerSsrc));
  UdpPeer rtcp;
  rtcp.sendTo(rtpPort() + 1, concat(makeSenderReport(kServerSsrc, 3900000000u, 0x40000000u, 90000),
                                    makeSdesCname(kServerSsrc, "server@example")));
  ASSERT_TRUE(pollUntil(session_, [&] {
    RtpSource* s = session_.findSource(kServerSsrc);
    return s != nullptr && s->packetsReceived() == 2 && s->senderReport().received;
  }));
  const RtpSource* source = session_.findSource(kServerSsrc);
  const auto& sr = source->senderReport();
  EXPECT_EQ(std::tuple(sr.ntpSeconds, sr.ntpFraction, sr.rtpTimestamp, sr.packetCount,
                       sr.octetCount, source->sdesItem(kSdesCname), session_.activeSourceCount()),
            std::tuple(3900000000u, 0x40000000u, 90000u, 10u, 1000u, "server@example", 1u));
  EXPECT_FALSE(server.receive(0)) << "no report before it is due";
  clock_.advance(8000);  // past 1.5 x the 5 s minimum interval
  session_.poll();
  auto compound = receiveCompound(server);
  ASSERT_TRUE(compound);
  const RtcpReport& rr = compound->reports.at(0);
  const RtcpReportBlock& b = rr.blocks.at(0);
  const RtcpSdesItem& item = compound->descriptions.at(0).items.at(0);
  EXPECT_EQ(std::tuple(compound->reports.size(), rr.isSender, rr.ssrc, rr.blocks.size()),
            std::tuple(1u, false, session_.ownSsrc(), 1u));
  EXPECT_EQ(std::tuple(b.ssrc, b.highestSequence, b.cumulativeLost, b.lastSenderReport),
            std::tuple(kServerSsrc, 12u, 1, (3900000000u << 16) | 0x4000u));
  EXPECT_EQ(std::tuple(item.type, item.text, compound->goodbyes.size()),
            std::tuple(kSdesCname, session_.cname(), 0u));
  EXPECT_GT(session_.scheduler().nextReport(), clock_.nowMs() / 1000);
  const uint32_t ssrc = session_.ownSsrc();
  errno = EINTR;  // left by an earlier interrupted call: a send that worked goes once
  ASSERT_EQ(session_.destroy(), kRtpOk);
  compound = receiveCompound(server);
  EXPECT_FALSE(server.receive(0));
  ASSERT_TRUE(compound);
  EXPECT_EQ(std::tuple(compound->goodbyes.at(0).ssrcs, compound->descriptions.size()),
            std::tuple(std::vector<uint32_t>{ssrc}, 1u));
}

// RFC 3550 8.2: our SSRC coming back from our own address (or loopback) and
// port is our own traffic; from anywhere else it is a collision.
TEST(RtpSessionCollisionTest, OwnSsrcFromElsewhereIsACollision) {
  constexpr uint32_t kLocal = 0x0a0b0c0d;
  struct Case {
    const char* what;
    uint32_t address;
    int portOffset;  // from the session's RTP port
    bool rtcp;
    bool collision;
  };
  // clang-format off
  const Case cases[] = {
      {"RTP from our address and port", kLocal, 0, false, false},
      {"RTP from loopback and our port", kLoopback, 0, false, false},
      {"RTCP from our address and RTCP port", kLocal, 1, true, false},
      {"RTP from another host on our port", kLocal + 1, 0, false, true},
      {"RTP from our address, other port", kLocal, 2, false, true},
      {"RTCP from another host on our RTCP port", kLocal + 1, 1, true, true},
      {"RTCP from our RTP port", kLocal, 0, true, true},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RtpSession session;
    ASSERT_EQ(createOnFreePorts(session, false, kLocal), kRtpOk);
    int collisions = 0;
    session.setCollisionCallback([&](const RtpSenderEvent&) { ++collisions; });
    const uint32_t ssrc = session.ownSsrc();
    const auto port = static_cast<uint16_t>(session.portBase() + c.portOffset);
    const auto bytes = c.rtcp ? makeSenderReport(ssrc, 1, 2, 3) : makeRtp(1, ssrc);
    (session.*(c.rtcp ? &RtpSession::processRtcpDatagram : &RtpSession::processRtpDatagram))(
        bytes.data(), bytes.size(), c.address, port);
    EXPECT_EQ(std::tuple(collisions, session.ownSsrc() != ssrc, session.sources().size()),
              std::tuple(c.collision ? 1 : 0, c.collision, 0u));
  }
}

TEST_F(RtpSessionTest, CollisionSendsGoodbyeAndPicksANewSsrcOncePerAddress) {
  UdpPeer server;
  ASSERT_EQ(session_.addDestination(kLoopback, server.port() - 1), kRtpOk);
  std::vector<RtpSenderEvent> events;
  session_.setCollisionCallback([&](const RtpSenderEvent& e) { events.push_back(e); });
  const uint32_t old = session_.ownSsrc();
  feedRtp(makeRtp(1, old), 0x0a000009, 4000);
  EXPECT_EQ(std::tuple(events.size(), events.at(0).ssrc, events[0].address, events[0].rtcp),
            std::tuple(1u, old, 0x0a000009u, false));
  EXPECT_NE(session_.ownSsrc(), old);
  auto compound = receiveCompound(server);
  ASSERT_TRUE(compound);
  EXPECT_EQ(compound->goodbyes.at(0).ssrcs.at(0), old);
  // The same sender taking our new SSRC does not make us change again.
  const uint32_t renewed = session_.ownSsrc();
  feedRtp(makeRtp(2, renewed), 0x0a000009, 4000);
  EXPECT_EQ(std::tuple(session_.ownSsrc(), events.size()), std::tuple(renewed, 2u));
  EXPECT_FALSE(server.receive(0));
  // Remembered collision addresses are bounded.
  for (uint32_t i = 0; i < RtpSession::kMaxCollisionAddresses + 10; ++i)
    feedRtp(makeRtp(1, session_.ownSsrc()), 0x0a100000 + i, 4000);
  EXPECT_EQ(session_.collisionAddressCount(), RtpSession::kMaxCollisionAddresses);
}

TEST_F(RtpSessionTest, SourceChangingAddressLosesThePacket) {
  int conflicts = 0;
  session_.setConflictCallback([&](const RtpSenderEvent&) { ++conflicts; });
  feedRtp(makeRtp(1, kServerSsrc), 0x0a000001, 5000);
  feedRtp(makeRtp(2, kServerSsrc), 0x0a000001, 5002);
  feedRtp(makeRtp(3, kServerSsrc), 0x0a000002, 5000);
  feedRtp(makeRtp(2, kServerSsrc), 0x0a000001, 5000);
  EXPECT_EQ(conflicts, 2);
  EXPECT_EQ(takeAll(session_), (std::vector<uint32_t>{1, 2}));
}

TEST_F(RtpSessionTest, FullTableOfValidSourcesRefusesNewcomersUntilOneFallsSilent) {
  for (uint32_t i = 0; i < kMax; ++i) {  // each from its own port
    for (uint16_t seq : {1, 2}) feedRtp(makeRtp(seq, 0x1000 + i), kLoopback, 5000 + i);
  }
  feedRtp(makeRtp(1, 0x7777), kLoopback, 6000);
  feedRtcp(makeSenderReport(0x9999, 1, 2, 3), kLoopback, 6001);
  EXPECT_EQ(std::tuple(session_.sources().size(), session_.activeSourceCount(),
                       session_.findSource(0x7777), session_.findSource(0x9999)),
            std::tuple(kMax, kMax, nullptr, nullptr));
  takeAll(session_);
  clock_.advance(static_cast<int64_t>(RtcpScheduler::kMinimumInterval * 5 * 1000));
  feedRtp(makeRtp(3, 0x1000));  // one source keeps talking
  feedRtp(makeRtp(1, 0x7777), kLoopback, 6000);
  EXPECT_TRUE(session_.findSource(0x7777) && session_.findSource(0x1000));
  EXPECT_EQ(session_.sources().size(), kMax);
}

// Made-up SSRCs sending one packet each fill the table beforehand and keep
// coming (`between` after each genuine packet); the genuine source still gets
// every one of its packets through.
TEST(RtpSessionSquattersTest, CannotKeepAGenuineSourceOut) {
  const struct {
    uint32_t first, between;
    uint16_t genuine;
  } cases[] = {{kMax, 0, 3076}, {kMax * 4, 3, 500}, {kMax, kMax - 2, 40}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.between);
    ManualMillisecondClock clock;
    RtpSession session(clock);
    uint32_t squatter = 0x50000000;
    auto squat = [&](uint32_t n) {
      for (uint32_t end = squatter + n; squatter < end; ++squatter) {
        const auto bytes = makeRtp(static_cast<uint16_t>(squatter * 7919u), squatter);
        session.processRtpDatagram(bytes.data(), bytes.size(), 0x0a000063, squatter & 0xffff);
      }
    };
    squat(c.first);
    std::vector<uint32_t> received, sent;
    for (uint16_t seq = 1; seq <= c.genuine; ++seq) {
      const auto bytes = makeRtp(seq, kServerSsrc);
      session.processRtpDatagram(bytes.data(), bytes.size(), kLoopback, 5000);
      sent.push_back(seq);
      clock.advance(1);
      squat(c.between);
      if (seq % 500 == 0 || seq == c.genuine) {
        const auto taken = takeAll(session);
        received.insert(received.end(), taken.begin(), taken.end());
      }
      ASSERT_LE(session.sources().size(), kMax);
    }
    EXPECT_EQ(received, sent);
  }
}

TEST_F(RtpSessionTest, GoodbyeFreesTheSourceOnceItsQueueIsDrained) {
  feedRtp(makeRtp(1, kServerSsrc));
  feedRtp(makeRtp(2, kServerSsrc));
  feedRtp(makeRtp(1, 0x2222));  // on probation
  feedRtcp(concat(makeSenderReport(kServerSsrc, 1, 2, 3), makeBye(kServerSsrc, "over")));
  feedRtcp(makeBye(0x2222), kLoopback, 5003);
  session_.poll();
  EXPECT_EQ(session_.findSource(0x2222), nullptr);
  ASSERT_NE(session_.findSource(kServerSsrc), nullptr) << "its packets are still queued";
  EXPECT_EQ(takeAll(session_), (std::vector<uint32_t>{1, 2}));
  session_.poll();
  EXPECT_EQ(std::tuple(session_.findSource(kServerSsrc), session_.activeSourceCount(),
                       session_.queuedBytes()),
            std::tuple(nullptr, 0u, 0u));
}

}  // namespace
}  // namespace strevana
