// The RTP session's parts: sources, report timing, address lists, CNAME,
// source table.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <tuple>

#include "protocols/rtp/local_address.h"
#include "protocols/rtp/rtcp_scheduler.h"
#include "protocols/rtp/rtp_address_list.h"
#include "protocols/rtp/rtp_cname.h"
#include "protocols/rtp/rtp_destination_list.h"
#include "protocols/rtp/rtp_result.h"
#include "protocols/rtp/rtp_source_table.h"
#include "protocols/rtp/rtp_source.h"
#include "rtp_test_support.h"
#include "support/temp_folder.h"

namespace strevana {
namespace {

constexpr uint32_t kSsrc = 0x11223344;
constexpr double kUnit = 1.0 / 90000.0;

std::unique_ptr<RtpPacket> packet(uint16_t seq, uint32_t timestamp = 0, uint32_t ssrc = kSsrc) {
  const auto bytes = rtp_test::makeRtp(seq, ssrc, timestamp);
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
    // A packet refused as older than the first cycle is not counted.
    const auto refused = std::count(c.results.begin(), c.results.end(), Add::kBeforeFirstCycle);
    EXPECT_EQ(std::tuple(source.valid(), source.packetsReceived() + refused, source.queuedBytes(),
                         source.highestExtendedSequence(), source.outOfOrderPackets()),
              std::tuple(c.valid, c.arrivals.size(), c.held.size() * packet(1)->size(),
                         c.valid ? c.held.back() : c.arrivals.back(), c.outOfOrder));
    EXPECT_EQ(drain(source), c.held);
    EXPECT_EQ(source.queuedBytes(), 0u);
  }
}

TEST(RtpSourceTest, QueueIsCappedKeepingTheNewestPackets) {
  RtpSource source(kSsrc);
  EXPECT_EQ(source.addPacketChecked(packet(1, 0, 0x999), 0.0, kUnit), kRtpPacketOfOtherSource);
  const int total = static_cast<int>(RtpSource::kMaxQueuedPackets) + 100;
  for (int i = 1; i <= total; ++i) source.addPacket(packet(static_cast<uint16_t>(i)), 0.0, kUnit);
  EXPECT_EQ(std::tuple(source.packetsReceived(), source.queuedPackets()),
            std::tuple(static_cast<uint32_t>(total), RtpSource::kMaxQueuedPackets));
  // Older than everything queued: dropped rather than displacing newer ones.
  EXPECT_EQ(source.addPacket(packet(50), 0.0, kUnit), RtpSource::AddResult::kTooOld);
  const auto out = drain(source);
  EXPECT_EQ(std::tuple(out.size(), out.front(), out.back()),
            std::tuple(RtpSource::kMaxQueuedPackets, 101u, static_cast<uint32_t>(total)));
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
  source.recordSenderReport(RtcpSenderInfo{0x12345678, 0x9abcdef0, 0, 0, 0}, 1000);
  const RtcpReportBlock block = source.makeReportBlock(3000);
  // The delay is 2 s in 1/65536 s.
  EXPECT_EQ(std::tuple(block.ssrc, block.cumulativeLost, block.fractionLost, block.highestSequence,
                       block.lastSenderReport, block.delaySinceLastSenderReport),
            std::tuple(kSsrc, 2, 2 * 256 / 6, 105u, 0x56789abcu, 131072u));
  // Nothing new since: the interval fraction is 0 while the total stays.
  const RtcpReportBlock next = source.makeReportBlock(3500);
  EXPECT_EQ(std::tuple(next.fractionLost, next.cumulativeLost), std::tuple(0, 2));
}

// RFC 3550 6.2 and 6.3.
TEST(RtcpSchedulerTest, IntervalAndRandomisedNextReport) {
  RtcpScheduler scheduler;
  scheduler.start(1000, 0);
  EXPECT_DOUBLE_EQ(scheduler.interval(), 5.0);  // the floor
  EXPECT_EQ(scheduler.nextReport(), 1000 + 3);  // 5 * 0.5 = 2.5 rounds to 3
  scheduler.start(1000, 255);
  EXPECT_EQ(scheduler.nextReport(), 1000 + 7);  // 5 * (0.5 + 255/256) = 7.48
  EXPECT_FALSE(scheduler.isDue(1007));
  EXPECT_TRUE(scheduler.isDue(1008));
  scheduler.start(0, 128);
  scheduler.reportSent(100, 10, 128);
  scheduler.reportSent(200, 20, 128);
  EXPECT_EQ(std::tuple(scheduler.averageSize(), scheduler.lastReport(), scheduler.nextReport(),
                       scheduler.reportCount()),
            std::tuple(150.0, 20, 25, 2u));
  scheduler.start(40, 128);  // the session made anew forgets what was sent
  EXPECT_EQ(std::tuple(scheduler.reportCount(), scheduler.averageSize()),
            std::tuple(0u, RtcpScheduler::kInitialAverageSize));
  scheduler.setSourceCount(40);
  EXPECT_NEAR(scheduler.interval(), 12.3, 1e-9);  // 120 bytes * 8 / (3200 / 41)
}

// Accept and ignore lists are matched in the session tests.
TEST(RtpAddressListTest, RejectsBadPortsAndDuplicates) {
  RtpAddressList list;
  for (int port : {0, -4, 70000}) EXPECT_EQ(list.add(0x0a000001, false, port), kRtpBadListPort);
  EXPECT_EQ(list.add(0x0a000001, true, 0), kRtpOk);  // the flag makes the port irrelevant
  EXPECT_EQ(list.add(0x0a000001, true, 9), kRtpDuplicateListEntry);
  EXPECT_EQ(list.add(0x0b000001, false, 5000), kRtpOk);
  EXPECT_EQ(list.add(0x0b000001, false, 5000), kRtpDuplicateListEntry);
  EXPECT_FALSE(list.matches(0x0b000001, 5001));
  RtpDestinationList destinations;
  for (int port : {65535, 0}) EXPECT_EQ(destinations.add(0x7f000001, port), kRtpBadListPort);
}

// RFC 3550 §6.5.1: user@host, with stand-ins for what cannot be found, cut
// to what one SDES item holds.
TEST(RtpCnameTest, IsUserAtHostWithStandInsCutToOneItem) {
  EXPECT_EQ(composeCname("ann", "box") + composeCname(std::nullopt, ""),
            std::string("ann@box") + kCnameFallbackUser + "@" + kCnameFallbackHost);
  EXPECT_EQ(composeCname(std::string(200, 'u'), std::string(200, 'h')).size(), 255u);
}

// The session's own address is the one the host name resolves to, before any
// interface's. A child process with a host name and hosts file of its own
// (private UTS and mount namespaces) checks it; skipped where those cannot
// be made.
TEST(RtpLocalAddressTest, PrefersTheAddressOfTheHostName) {
  testing::ScratchFolder folder;
  std::ofstream(folder.file("hosts")) << "10.9.8.7 strevana-probe\n";
  const pid_t child = fork();
  if (child == 0) {
    const char name[] = "strevana-probe";
    if (unshare(CLONE_NEWUTS | CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        sethostname(name, sizeof name - 1) != 0 ||
        mount(folder.file("hosts").c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0)
      _exit(2);
    _exit(findLocalIpv4Address() == 0x0a090807 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "no private namespaces here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

void queue(RtpSource& source, uint16_t seq) {
  source.addPacket(packet(seq, 0, source.ssrc()), 0.0, kUnit);
}

// 0x400 and 0x800 share bucket 0 with 0; 5 is in bucket 5. Sources holding a
// packet but still on probation (0x400, 7) are not visited.
TEST(RtpSourceTableTest, IteratesValidSourcesWithDataInBucketThenSsrcOrder) {
  RtpSourceTable table;
  for (uint32_t ssrc : {0x800u, 5u, 0x400u, 0u, 7u}) queue(*table.create(ssrc), 1);
  for (uint32_t ssrc : {0x800u, 5u, 0u}) queue(*table.find(ssrc), 2);
  std::vector<uint32_t> seen;
  for (bool more = table.gotoFirstWithData(); more; more = table.gotoNextWithData())
    seen.push_back(table.current()->ssrc());
  EXPECT_EQ(seen, (std::vector<uint32_t>{0u, 0x800u, 5u}));
  EXPECT_EQ(table.current(), nullptr);
  // Removing the current source resets the iterator.
  ASSERT_TRUE(table.gotoFirstWithData());
  EXPECT_TRUE(table.remove(0));
  EXPECT_EQ(table.current(), nullptr);
  ASSERT_TRUE(table.gotoFirstWithData());
  EXPECT_EQ(table.current()->ssrc(), 0x800u);
}

}  // namespace
}  // namespace strevana
