#include "protocols/rtp/rtp_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "protocols/rtp/rtp_result.h"
#include "rtp_test_support.h"

namespace strevana {
namespace {

using rtp_test::makeRtp;

constexpr uint32_t kSsrc = 0x11223344;
constexpr double kUnit = 1.0 / 90000.0;

std::unique_ptr<RtpPacket> packet(uint16_t seq, uint32_t timestamp = 0, uint32_t ssrc = kSsrc) {
  const auto bytes = makeRtp(seq, ssrc, timestamp);
  return RtpPacket::parse(bytes.data(), bytes.size());
}

std::vector<uint32_t> drain(RtpSource& source) {
  std::vector<uint32_t> out;
  while (auto p = source.takeNextPacket()) out.push_back(p->extendedSequenceNumber);
  return out;
}

// RFC 3550 A.1: two packets in sequence end a source's probation; until then
// only the current run is held. A valid source hands its packets out in
// extended sequence order (RFC 3550 A.1, 6.4.1) whatever order they came in.
TEST(RtpSourceTest, ProbationAndExtendedSequenceOrder) {
  using Add = RtpSource::AddResult;
  constexpr Add Q = Add::kQueued;
  struct Case {
    const char* what;
    std::vector<uint16_t> arrivals;
    std::vector<Add> results;  // empty: not checked
    bool valid;
    std::vector<uint32_t> held;  // in the order handed out
    uint32_t outOfOrder;  // arrivals after a higher number (repeats of the highest not counted)
  };
  // clang-format off
  const Case cases[] = {
      {"one packet is not enough", {7}, {Q}, false, {7}, 0},
      {"two in sequence make it valid and both are kept", {7, 8}, {Q, Q}, true, {7, 8}, 0},
      {"a gap starts a new run and drops the held packet", {7, 9}, {}, false, {9}, 0},
      {"a repeated number is no run", {7, 7}, {}, false, {7}, 0},
      {"a reordered start validates on the first pair in a row", {8, 7, 9, 10}, {}, true, {9, 10}, 1},
      {"valid stays valid after a gap", {7, 8, 20}, {}, true, {7, 8, 20}, 0},
      {"wrap keeps numbers rising", {65534, 65535, 0, 1}, {Q, Q, Q, Q}, true, {65534, 65535, 65536, 65537}, 0},
      {"first number 0 starts one cycle up", {0, 1}, {}, true, {65536, 65537}, 0},
      {"out of order across the wrap", {65532, 65533, 1, 65535, 0, 65534, 2}, {Q, Q, Q, Q, Q, Q, Q}, true,
       {65532, 65533, 65534, 65535, 65536, 65537, 65538}, 3},
      // 65531 arriving after the wrap to 65538 stays 65531, not 131067.
      {"late packet stays in its cycle", {65529, 65530, 2, 65531}, {}, true, {65529, 65530, 65531, 65538}, 1},
      {"late packet before the first cycle", {4, 5, 65000, 3}, {Q, Q, Add::kBeforeFirstCycle, Q}, true, {3, 4, 5}, 2},
      {"duplicates queued once", {10, 11, 10, 11}, {Q, Q, Add::kDuplicate, Add::kDuplicate}, true, {10, 11}, 1},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RtpSource source(kSsrc);
    for (size_t i = 0; i < c.arrivals.size(); ++i) {
      const Add result = source.addPacket(packet(c.arrivals[i]), 0.0, kUnit);
      EXPECT_TRUE(c.results.empty() || result == c.results[i]) << i;
    }
    EXPECT_EQ(source.valid(), c.valid);
    // A packet refused as older than the first cycle is not counted.
    EXPECT_EQ(
        source.packetsReceived(),
        c.arrivals.size() - std::count(c.results.begin(), c.results.end(), Add::kBeforeFirstCycle));
    EXPECT_EQ(source.queuedBytes(), c.held.size() * packet(1)->size());
    EXPECT_EQ(source.highestExtendedSequence(), c.valid ? c.held.back() : c.arrivals.back());
    EXPECT_EQ(source.outOfOrderPackets(), c.outOfOrder);
    EXPECT_EQ(drain(source), c.held);
    EXPECT_EQ(source.queuedBytes(), 0u);
  }
}

TEST(RtpSourceTest, QueueIsCappedKeepingTheNewestPackets) {
  RtpSource source(kSsrc);
  EXPECT_EQ(source.addPacketChecked(packet(1, 0, 0x999), 0.0, kUnit), kRtpPacketOfOtherSource);
  const int total = static_cast<int>(RtpSource::kMaxQueuedPackets) + 100;
  for (int i = 1; i <= total; ++i) source.addPacket(packet(static_cast<uint16_t>(i)), 0.0, kUnit);
  EXPECT_EQ(source.packetsReceived(), static_cast<uint32_t>(total));
  EXPECT_EQ(source.queuedPackets(), RtpSource::kMaxQueuedPackets);
  // Older than everything queued: dropped rather than displacing newer ones.
  EXPECT_EQ(source.addPacket(packet(50), 0.0, kUnit), RtpSource::AddResult::kTooOld);
  const auto out = drain(source);
  ASSERT_EQ(out.size(), RtpSource::kMaxQueuedPackets);
  EXPECT_EQ(out.front(), 101u);
  EXPECT_EQ(out.back(), static_cast<uint32_t>(total));
}

// RFC 3550 6.4.1 / A.8: 20 ms spacing both on the wire (1800 ticks at 90 kHz)
// and on arrival, also across a timestamp wrap, gives no jitter; every other
// packet 5 ms late makes |D| 450 ticks for every packet.
TEST(RtpSourceTest, JitterFollowsArrivalVariationAndGoesIntoReports) {
  const struct {
    uint32_t firstTimestamp;
    double lateSeconds;
    double jitter;
  } cases[] = {{0, 0.0, 0.0}, {0xffffffffu - 900, 0.0, 0.0}, {0, 0.005, 450.0}};
  for (const auto& c : cases) {
    RtpSource source(kSsrc);
    for (int i = 0; i < 200; ++i) {
      const double arrival = i * 0.020 + ((i % 2) ? c.lateSeconds : 0.0);
      source.addPacket(packet(static_cast<uint16_t>(i), c.firstTimestamp + i * 1800u), arrival,
                       kUnit);
    }
    EXPECT_NEAR(source.jitter(), c.jitter, 5.0);
    EXPECT_NEAR(source.makeReportBlock(0).jitter, c.jitter, 5.0);
  }
}

TEST(RtpSourceTest, ReportBlockCountsLossAndSenderReportDelay) {
  RtpSource source(kSsrc);
  for (uint16_t seq : {100, 101, 104, 105})
    source.addPacket(packet(seq), 0.0, kUnit);  // 102, 103 lost
  RtcpSenderInfo info;
  info.ntpSeconds = 0x12345678;
  info.ntpFraction = 0x9abcdef0;
  source.recordSenderReport(info, 1000);
  const RtcpReportBlock block = source.makeReportBlock(3000);
  // The delay is 2 s in 1/65536 s.
  EXPECT_EQ(std::tuple(block.ssrc, block.cumulativeLost, block.fractionLost, block.highestSequence,
                       block.lastSenderReport, block.delaySinceLastSenderReport),
            std::tuple(kSsrc, 2, 2 * 256 / 6, 105u, 0x56789abcu, 131072u));
  // Nothing new since: the interval fraction is 0 while the total stays.
  const RtcpReportBlock next = source.makeReportBlock(3500);
  EXPECT_EQ(std::tuple(next.fractionLost, next.cumulativeLost), std::tuple(0, 2));
}

TEST(RtpSourceTest, SdesItemsAreKeptPerTypeAndOthersIgnored) {
  RtpSource source(kSsrc);
  source.setSdesItem(kSdesCname, "bob@box");
  source.setSdesItem(0, "ignored");
  source.setSdesItem(42, "ignored");
  EXPECT_EQ(source.sdesItem(kSdesCname), "bob@box");
  EXPECT_EQ(source.sdesItem(42), "");
}

}  // namespace
}  // namespace strevana
