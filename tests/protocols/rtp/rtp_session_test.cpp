#include "protocols/rtp/rtp_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "protocols/rtp/local_address.h"
#include "protocols/rtp/rtcp_compound.h"
#include "rtp_test_support.h"

namespace strevana {
namespace {

using namespace rtp_test;
using testing::UdpPeer;

constexpr uint32_t kLoopback = 0x7f000001;
constexpr uint32_t kServerSsrc = 0x5eed0001;

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

class RtpSessionTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(createOnFreePorts(session_), kRtpOk); }
  uint16_t rtpPort() const { return static_cast<uint16_t>(session_.portBase()); }
  uint16_t rtcpPort() const { return static_cast<uint16_t>(session_.portBase() + 1); }
  // Destination whose RTCP port is the peer's port.
  void reportTo(const UdpPeer& peer) {
    ASSERT_EQ(session_.addDestination(kLoopback, peer.port() - 1), kRtpOk);
  }
  void feedRtp(const std::vector<uint8_t>& bytes, uint32_t address = kLoopback,
               uint16_t port = 5000) {
    session_.processRtpDatagram(bytes.data(), bytes.size(), address, port);
  }
  void feedRtcp(const std::vector<uint8_t>& bytes, uint32_t address = kLoopback,
                uint16_t port = 5001) {
    session_.processRtcpDatagram(bytes.data(), bytes.size(), address, port);
  }
  // The next compound the peer receives, decoded.
  static std::optional<RtcpCompound> receiveCompound(UdpPeer& peer) {
    auto bytes = peer.receive();
    return bytes ? parseRtcpCompound(bytes->data(), bytes->size()) : std::nullopt;
  }

  ManualMillisecondClock clock_;
  RtpSession session_{clock_};
};

TEST(RtpSessionCreateTest, OddPortFailsWithoutOpeningASocket) {
  RtpSession session;
  const size_t before = openDescriptorCount();
  EXPECT_EQ(session.create(6971, 0, false), kRtpOddPortBase);
  EXPECT_EQ(openDescriptorCount(), before);
  EXPECT_FALSE(session.isCreated());
  EXPECT_EQ(session.poll(), kRtpSessionNotCreated);
  EXPECT_EQ(session.destroy(), kRtpSessionNotCreated);
  EXPECT_EQ(session.joinMulticastGroup(0xef000001), kRtpSocketsNotCreated);
}

TEST(RtpSessionCreateTest, PortInUseGivesBindFailureUntilDestroyed) {
  RtpSession first;
  ASSERT_EQ(createOnFreePorts(first), kRtpOk);
  EXPECT_EQ(first.create(first.portBase(), 0, false), kRtpAlreadyCreated);
  RtpSession second;
  const size_t before = openDescriptorCount();
  EXPECT_EQ(second.create(first.portBase(), 0, false), kRtpBindFailed);
  EXPECT_EQ(openDescriptorCount(), before);
  EXPECT_FALSE(second.isCreated());
  // Destroying frees the pair for another create.
  const int port = first.portBase();
  EXPECT_NE(first.localAddress(), 0u);
  EXPECT_EQ(first.destroy(), kRtpOk);
  EXPECT_EQ(first.create(port, 0, false), kRtpOk);
  EXPECT_EQ(first.portBase(), port);
}

TEST(RtpSessionCreateTest, ReuseFlagLetsTwoSessionsShareAPortPair) {
  RtpSession first;
  ASSERT_EQ(createOnFreePorts(first, true), kRtpOk);
  RtpSession second;
  EXPECT_EQ(second.create(first.portBase(), 0, true), kRtpOk);
}

TEST(RtpSessionCreateTest, GivenLocalAddressIsKept) {
  RtpSession session;
  session.create(0, 0, false);
  EXPECT_FALSE(session.isCreated());
  int base = 30000;
  int rc = kRtpBindFailed;
  for (; rc == kRtpBindFailed && base < 40000; base += 2)
    rc = session.create(base, 0x0a0b0c0d, false);
  ASSERT_EQ(rc, kRtpOk);
  EXPECT_EQ(session.localAddress(), 0x0a0b0c0du);
}

TEST_F(RtpSessionTest, ReceivesWrappingSequenceFromLoopbackInOrderWithoutDuplicates) {
  UdpPeer server;
  for (uint16_t seq : {65534, 65535, 1, 0, 65535})
    server.sendTo(rtpPort(), makeRtp(seq, kServerSsrc));
  ASSERT_TRUE(pollUntil(session_, [&] {
    RtpSource* s = session_.findSource(kServerSsrc);
    return s != nullptr && s->packetsReceived() == 5;
  }));
  ASSERT_TRUE(session_.gotoFirstSourceWithData());
  EXPECT_EQ(session_.currentSource()->ssrc(), kServerSsrc);
  std::vector<uint16_t> payloadSeqs;
  std::vector<uint32_t> extended;
  while (auto packet = session_.getNextPacket()) {
    extended.push_back(packet->extendedSequenceNumber);
    ASSERT_EQ(packet->payloadLength(), 2u);
    payloadSeqs.push_back(
        static_cast<uint16_t>((packet->payload()[0] << 8) | packet->payload()[1]));
    RtpSession::deletePacket(std::move(packet));
  }
  EXPECT_EQ(extended, (std::vector<uint32_t>{65534, 65535, 65536, 65537}));
  EXPECT_EQ(payloadSeqs, (std::vector<uint16_t>{65534, 65535, 0, 1}));
  EXPECT_FALSE(session_.gotoNextSourceWithData());
  EXPECT_EQ(session_.activeSourceCount(), 1u);
  EXPECT_EQ(session_.queuedBytes(), 0u);
}

TEST_F(RtpSessionTest, AcceptListModeKeepsOnlyListedSenders) {
  UdpPeer server;
  UdpPeer stranger;
  session_.setReceiveMode(RtpReceiveMode::kAcceptListed);
  ASSERT_EQ(session_.addToAcceptList(kLoopback, false, server.port()), kRtpOk);
  stranger.sendTo(rtpPort(), makeRtp(1, 0xbad));
  server.sendTo(rtpPort(), makeRtp(1, kServerSsrc));
  stranger.sendTo(rtpPort(), makeRtp(2, 0xbad));
  ASSERT_TRUE(pollUntil(session_, [&] { return session_.findSource(kServerSsrc) != nullptr; }));
  session_.poll();
  EXPECT_EQ(session_.findSource(0xbad), nullptr);
  EXPECT_EQ(session_.sources().size(), 1u);
}

TEST_F(RtpSessionTest, IgnoreListModeDropsListedSenders) {
  UdpPeer server;
  UdpPeer ignored;
  session_.setReceiveMode(RtpReceiveMode::kIgnoreListed);
  ASSERT_EQ(session_.addToIgnoreList(kLoopback, false, ignored.port()), kRtpOk);
  ignored.sendTo(rtpPort(), makeRtp(1, 0xbad));
  server.sendTo(rtpPort(), makeRtp(1, kServerSsrc));
  ASSERT_TRUE(pollUntil(session_, [&] { return session_.findSource(kServerSsrc) != nullptr; }));
  EXPECT_EQ(session_.findSource(0xbad), nullptr);
  // Listing the whole address silences the other peer too.
  ASSERT_EQ(session_.addToIgnoreList(kLoopback, true, 0), kRtpOk);
  server.sendTo(rtpPort(), makeRtp(2, kServerSsrc));
  session_.poll();
  EXPECT_EQ(session_.findSource(kServerSsrc)->packetsReceived(), 1u);
}

TEST_F(RtpSessionTest, RecordsSenderReportsAndDescriptions) {
  UdpPeer server;
  server.sendTo(rtcpPort(), concat(makeSenderReport(kServerSsrc, 3900000000u, 0x40000000u, 90000),
                                   makeSdesCname(kServerSsrc, "server@example")));
  ASSERT_TRUE(pollUntil(session_, [&] { return session_.findSource(kServerSsrc) != nullptr; }));
  const RtpSource* source = session_.findSource(kServerSsrc);
  EXPECT_TRUE(source->senderReport().received);
  EXPECT_EQ(source->senderReport().ntpSeconds, 3900000000u);
  EXPECT_EQ(source->senderReport().ntpFraction, 0x40000000u);
  EXPECT_EQ(source->senderReport().rtpTimestamp, 90000u);
  EXPECT_EQ(source->senderReport().packetCount, 10u);
  EXPECT_EQ(source->senderReport().octetCount, 1000u);
  EXPECT_EQ(source->sdesItem(kSdesCname), "server@example");
  // A sender report alone does not make the source an active data sender.
  EXPECT_EQ(session_.activeSourceCount(), 0u);
  // The next report replaces the fields.
  server.sendTo(rtcpPort(), makeSenderReport(kServerSsrc, 3900000001u, 0, 180000));
  ASSERT_TRUE(pollUntil(session_, [&] { return source->senderReport().rtpTimestamp == 180000u; }));
  EXPECT_EQ(source->senderReport().ntpSeconds, 3900000001u);
}

TEST_F(RtpSessionTest, SendsReceiverReportWithCnameWhenDueAndGoodbyeOnDestroy) {
  UdpPeer server;
  reportTo(server);
  server.sendTo(rtpPort(), makeRtp(10, kServerSsrc));
  server.sendTo(rtpPort(), makeRtp(12, kServerSsrc));
  ASSERT_TRUE(pollUntil(session_, [&] { return session_.activeSourceCount() == 1; }));
  EXPECT_FALSE(server.receive(0)) << "no report before it is due";

  clock_.advance(8000);  // past 1.5 x the 5 s minimum interval
  session_.poll();
  auto compound = receiveCompound(server);
  ASSERT_TRUE(compound);
  ASSERT_EQ(compound->reports.size(), 1u);
  EXPECT_FALSE(compound->reports[0].isSender);
  EXPECT_EQ(compound->reports[0].ssrc, session_.ownSsrc());
  ASSERT_EQ(compound->reports[0].blocks.size(), 1u);
  EXPECT_EQ(compound->reports[0].blocks[0].ssrc, kServerSsrc);
  EXPECT_EQ(compound->reports[0].blocks[0].highestSequence, 12u);
  EXPECT_EQ(compound->reports[0].blocks[0].cumulativeLost, 1);
  ASSERT_EQ(compound->descriptions.size(), 1u);
  ASSERT_FALSE(compound->descriptions[0].items.empty());
  EXPECT_EQ(compound->descriptions[0].items[0].type, kSdesCname);
  EXPECT_EQ(compound->descriptions[0].items[0].text, session_.cname());
  EXPECT_TRUE(compound->goodbyes.empty());
  EXPECT_GT(session_.scheduler().nextReport(), clock_.nowMs() / 1000);

  const uint32_t ssrc = session_.ownSsrc();
  ASSERT_EQ(session_.destroy(), kRtpOk);
  compound = receiveCompound(server);
  ASSERT_TRUE(compound);
  ASSERT_EQ(compound->goodbyes.size(), 1u);
  EXPECT_EQ(compound->goodbyes[0].ssrcs, std::vector<uint32_t>{ssrc});
  EXPECT_EQ(compound->descriptions.size(), 1u);
}

TEST_F(RtpSessionTest, OwnReportsComingBackAreNotCollisions) {
  ASSERT_EQ(session_.addDestination(kLoopback, session_.portBase()), kRtpOk);
  int collisions = 0;
  session_.setCollisionCallback([&](const RtpSenderEvent&) { ++collisions; });
  const uint32_t ssrc = session_.ownSsrc();
  clock_.advance(8000);
  session_.poll();                                  // sends to itself; loopback queues it at once
  session_.poll();                                  // reads it back
  feedRtp(makeRtp(1, ssrc), kLoopback, rtpPort());  // and our own RTP from our RTP port
  EXPECT_EQ(collisions, 0);
  EXPECT_EQ(session_.ownSsrc(), ssrc);
  EXPECT_EQ(session_.sources().size(), 0u);
}

TEST_F(RtpSessionTest, CollisionSendsGoodbyeAndPicksANewSsrcOncePerAddress) {
  UdpPeer server;
  reportTo(server);
  std::vector<RtpSenderEvent> events;
  session_.setCollisionCallback([&](const RtpSenderEvent& e) { events.push_back(e); });
  const uint32_t old = session_.ownSsrc();
  feedRtp(makeRtp(1, old), 0x0a000009, 4000);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].ssrc, old);
  EXPECT_EQ(events[0].address, 0x0a000009u);
  EXPECT_FALSE(events[0].rtcp);
  EXPECT_NE(session_.ownSsrc(), old);
  EXPECT_EQ(session_.findSource(old), nullptr);
  auto compound = receiveCompound(server);
  ASSERT_TRUE(compound);
  ASSERT_EQ(compound->goodbyes.size(), 1u);
  EXPECT_EQ(compound->goodbyes[0].ssrcs[0], old);

  // The same sender taking our new SSRC does not make us change again.
  const uint32_t renewed = session_.ownSsrc();
  feedRtp(makeRtp(2, renewed), 0x0a000009, 4000);
  EXPECT_EQ(session_.ownSsrc(), renewed);
  EXPECT_EQ(events.size(), 2u);
  EXPECT_FALSE(server.receive(0));

  // A report under our SSRC from elsewhere collides too.
  feedRtcp(makeSenderReport(renewed, 1, 2, 3), 0x0a00000a, 4001);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_TRUE(events[2].rtcp);
  EXPECT_NE(session_.ownSsrc(), renewed);
}

TEST_F(RtpSessionTest, CollisionAddressesAreBounded) {
  for (uint32_t i = 0; i < RtpSession::kMaxCollisionAddresses + 10; ++i) {
    feedRtp(makeRtp(1, session_.ownSsrc()), 0x0a100000 + i, 4000);
  }
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

TEST_F(RtpSessionTest, EmptyDatagramDoesNotStallTheSocket) {
  UdpPeer server;
  server.sendTo(rtpPort(), {});
  server.sendTo(rtpPort(), makeRtp(7, kServerSsrc));
  server.sendTo(rtpPort(), makeRtp(8, kServerSsrc));
  ASSERT_TRUE(pollUntil(session_, [&] {
    RtpSource* s = session_.findSource(kServerSsrc);
    return s != nullptr && s->packetsReceived() == 2;
  }));
  EXPECT_EQ(takeAll(session_), (std::vector<uint32_t>{7, 8}));
}

TEST_F(RtpSessionTest, MalformedDatagramsNeverReachTheSourceTable) {
  RtpFields v1;
  v1.version = 1;
  RtpFields padded;
  padded.payload = {1, 2};
  auto badPadding = makeRtp(padded);
  badPadding[0] |= 0x20;
  badPadding.back() = 3;  // exceeds the 2 payload bytes
  for (const auto& bytes : {makeRtp(v1), badPadding, std::vector<uint8_t>{0x80, 0x60, 0, 1}}) {
    ExactBytes exact(bytes);
    session_.processRtpDatagram(exact.data.get(), exact.size, kLoopback, 5000);
    session_.processRtcpDatagram(exact.data.get(), exact.size, kLoopback, 5001);
  }
  EXPECT_EQ(session_.sources().size(), 0u);
}

// `count` sources from 0x1000 up, each from its own port, each sending
// `packets` packets in sequence (two or more make it valid).
void fillSources(RtpSession& session, uint32_t count, uint16_t packets) {
  for (uint32_t i = 0; i < count; ++i) {
    for (uint16_t seq = 1; seq <= packets; ++seq) {
      const auto bytes = makeRtp(seq, 0x1000 + i);
      session.processRtpDatagram(bytes.data(), bytes.size(), kLoopback,
                                 static_cast<uint16_t>(5000 + i));
    }
  }
}

TEST_F(RtpSessionTest, FullTableOfValidSourcesRefusesNewcomers) {
  fillSources(session_, RtpSourceTable::kMaxSources, 2);
  feedRtp(makeRtp(1, 0x7777), kLoopback, 6000);
  feedRtcp(makeSenderReport(0x9999, 1, 2, 3), kLoopback, 6001);
  EXPECT_EQ(session_.sources().size(), RtpSourceTable::kMaxSources);
  EXPECT_EQ(session_.activeSourceCount(), RtpSourceTable::kMaxSources);
  EXPECT_EQ(session_.findSource(0x7777), nullptr);
  EXPECT_EQ(session_.findSource(0x9999), nullptr);
}

TEST_F(RtpSessionTest, NewcomersPushOutTheOldestSourceOnProbation) {
  fillSources(session_, RtpSourceTable::kMaxSources + 10, 1);
  EXPECT_EQ(session_.sources().size(), RtpSourceTable::kMaxSources);
  EXPECT_EQ(session_.activeSourceCount(), RtpSourceTable::kMaxSources);
  EXPECT_EQ(session_.findSource(0x1000 + 9), nullptr);
  EXPECT_NE(session_.findSource(0x1000 + 10), nullptr);
  EXPECT_NE(session_.findSource(0x1000 + RtpSourceTable::kMaxSources + 9), nullptr);
  // A sender report gets in the same way.
  feedRtcp(makeSenderReport(0x9999, 1, 2, 3), kLoopback, 6001);
  EXPECT_NE(session_.findSource(0x9999), nullptr);
  EXPECT_EQ(session_.findSource(0x1000 + 10), nullptr);
  EXPECT_TRUE(takeAll(session_).empty()) << "nobody has passed probation";
}

// Made-up SSRCs sending one packet each fill the table (and keep coming
// between the genuine source's packets); the genuine source still gets every
// one of its packets through.
TEST_F(RtpSessionTest, SquattersCannotKeepAGenuineSourceOut) {
  struct Case {
    const char* what;
    uint32_t squattersFirst;
    uint32_t squattersBetween;  // new made-up SSRCs after each genuine packet
    uint16_t genuinePackets;
  };
  // clang-format off
  const Case cases[] = {
      {"table filled beforehand", RtpSourceTable::kMaxSources, 0, 3076},
      {"more squatters keep coming", RtpSourceTable::kMaxSources * 4, 3, 500},
      // All but the genuine source and one squatter are replaced between
      // its first two packets.
      {"squatters nearly flush the table", RtpSourceTable::kMaxSources, RtpSourceTable::kMaxSources - 2, 40},
  };
  // clang-format on
  for (const Case& c : cases) {
    const uint16_t kGenuinePackets = c.genuinePackets;
    SCOPED_TRACE(c.what);
    ManualMillisecondClock clock;
    RtpSession session(clock);
    uint32_t squatter = 0x50000000;
    auto squat = [&](uint32_t n) {
      for (uint32_t i = 0; i < n; ++i, ++squatter) {
        const auto bytes = makeRtp(static_cast<uint16_t>(squatter * 7919u), squatter);
        session.processRtpDatagram(bytes.data(), bytes.size(), 0x0a000063,
                                   static_cast<uint16_t>(squatter));
      }
    };
    squat(c.squattersFirst);
    std::vector<uint32_t> received;
    for (uint16_t seq = 1; seq <= kGenuinePackets; ++seq) {
      const auto bytes = makeRtp(seq, kServerSsrc);
      session.processRtpDatagram(bytes.data(), bytes.size(), kLoopback, 5000);
      clock.advance(1);
      squat(c.squattersBetween);
      if (seq % 500 == 0 || seq == kGenuinePackets) {
        const auto taken = takeAll(session);
        received.insert(received.end(), taken.begin(), taken.end());
      }
      ASSERT_LE(session.sources().size(), RtpSourceTable::kMaxSources);
    }
    ASSERT_EQ(received.size(), kGenuinePackets);
    for (uint16_t seq = 1; seq <= kGenuinePackets; ++seq) ASSERT_EQ(received[seq - 1u], seq);
  }
}

TEST_F(RtpSessionTest, ATalkingValidSourceIsNeverEvicted) {
  feedRtp(makeRtp(1, kServerSsrc));
  feedRtp(makeRtp(2, kServerSsrc));
  EXPECT_EQ(takeAll(session_), (std::vector<uint32_t>{1, 2}));
  const int64_t timeoutMs = static_cast<int64_t>(RtcpScheduler::kMinimumInterval * 5 * 1000);
  uint16_t seq = 3;
  for (uint32_t i = 0; i < 20 * RtpSourceTable::kMaxSources; ++i) {
    feedRtp(makeRtp(1, 0x50000000 + i), 0x0a000063, static_cast<uint16_t>(1000 + i));
    if (i % 100 == 0) {
      // The squatters outlast the time-out, the source keeps talking.
      clock_.advance(timeoutMs / 4);
      feedRtp(makeRtp(seq++, kServerSsrc));
    }
  }
  ASSERT_NE(session_.findSource(kServerSsrc), nullptr);
  std::vector<uint32_t> expected;
  for (uint32_t n = 3; n < seq; ++n) expected.push_back(n);
  EXPECT_EQ(takeAll(session_), expected);
}

TEST_F(RtpSessionTest, GoodbyeFreesTheSourceOnceItsQueueIsDrained) {
  feedRtp(makeRtp(1, kServerSsrc));
  feedRtp(makeRtp(2, kServerSsrc));
  feedRtcp(concat(makeSenderReport(kServerSsrc, 1, 2, 3), makeBye(kServerSsrc, "over")));
  session_.poll();
  ASSERT_NE(session_.findSource(kServerSsrc), nullptr) << "its packets are still queued";
  EXPECT_EQ(takeAll(session_), (std::vector<uint32_t>{1, 2}));
  session_.poll();
  EXPECT_EQ(session_.findSource(kServerSsrc), nullptr);
  EXPECT_EQ(session_.activeSourceCount(), 0u);
}

TEST_F(RtpSessionTest, GoodbyeOnProbationFreesTheSourceAndWhatItHeld) {
  feedRtp(makeRtp(1, kServerSsrc));
  EXPECT_GT(session_.queuedBytes(), 0u);
  feedRtcp(makeBye(kServerSsrc));
  session_.poll();
  EXPECT_EQ(session_.findSource(kServerSsrc), nullptr);
  EXPECT_EQ(session_.queuedBytes(), 0u);
  EXPECT_EQ(session_.activeSourceCount(), 0u);
}

TEST_F(RtpSessionTest, FullTableMakesRoomByEvictingASilentDrainedSource) {
  fillSources(session_, RtpSourceTable::kMaxSources, 2);
  takeAll(session_);
  clock_.advance(1000);
  feedRtp(makeRtp(1, 0x7777), kLoopback, 6000);
  EXPECT_EQ(session_.findSource(0x7777), nullptr) << "nobody has been silent long enough";
  clock_.advance(static_cast<int64_t>(RtcpScheduler::kMinimumInterval * 5 * 1000));
  feedRtp(makeRtp(3, 0x1000));  // one source keeps talking
  feedRtp(makeRtp(1, 0x7777), kLoopback, 6000);
  EXPECT_NE(session_.findSource(0x7777), nullptr);
  EXPECT_NE(session_.findSource(0x1000), nullptr);
  EXPECT_EQ(session_.sources().size(), RtpSourceTable::kMaxSources);
}

TEST_F(RtpSessionTest, QueuedBytesAreCappedAcrossSources) {
  RtpFields big;
  big.payload.assign(60000, 0x55);
  size_t offered = 0;
  for (uint32_t s = 0; s < 4; ++s) {
    for (uint16_t seq = 1; seq <= 100; ++seq) {
      big.seq = seq;
      big.ssrc = 0x2000 + s;
      offered += makeRtp(big).size();
      feedRtp(makeRtp(big), kLoopback, static_cast<uint16_t>(5000 + s));
    }
  }
  EXPECT_GT(offered, RtpSession::kMaxQueuedBytes);
  EXPECT_LE(session_.queuedBytes(), RtpSession::kMaxQueuedBytes);
  EXPECT_GT(session_.queuedBytes(), RtpSession::kMaxQueuedBytes - 60100);
  const size_t taken = takeAll(session_).size();
  EXPECT_EQ(taken * 60012, RtpSession::kMaxQueuedBytes - RtpSession::kMaxQueuedBytes % 60012);
  EXPECT_EQ(session_.queuedBytes(), 0u);
}

TEST_F(RtpSessionTest, DestinationAndMulticastAddressesAreChecked) {
  EXPECT_EQ(session_.addDestination(kLoopback, 65535),
            kRtpBadListPort);  // its RTCP port would not fit
  EXPECT_EQ(session_.addDestination(kLoopback, 5000), kRtpOk);
  EXPECT_EQ(session_.joinMulticastGroup(0x0a000001), kRtpNotMulticastAddress);
  EXPECT_EQ(session_.joinMulticastGroup(0xf0000001), kRtpNotMulticastAddress);
  // No real join here: it would announce the membership (IGMP) on the
  // host's own network, beyond this machine.
}

TEST_F(RtpSessionTest, OtherOwnItemsGoOutOnEveryEleventhReport) {
  session_.setOwnSdesItem(2, "Viewer");
  session_.setOwnSdesItem(kSdesCname, "not replaceable");
  for (int i = 1; i <= 22; ++i) {
    const auto bytes = session_.composeReport(false);
    auto compound = parseRtcpCompound(bytes.data(), bytes.size());
    ASSERT_TRUE(compound);
    const auto& items = compound->descriptions.at(0).items;
    EXPECT_EQ(items.at(0).text, session_.cname());
    EXPECT_EQ(items.size(), (i % 11 == 0) ? 2u : 1u) << i;
  }
}

TEST(RtpLocalAddressTest, IsNeverZeroAndPrefersANonLoopbackAddress) {
  const uint32_t address = findLocalIpv4Address();
  EXPECT_NE(address, 0u);
  EXPECT_FALSE(isMulticastAddress(address));
}

}  // namespace
}  // namespace strevana
