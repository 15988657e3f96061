// The RTP session's smaller parts: report timing, address lists, CNAME,
// source table.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include <climits>

#include "protocols/rtp/local_address.h"
#include "protocols/rtp/rtcp_scheduler.h"
#include "protocols/rtp/rtp_address_list.h"
#include "protocols/rtp/rtp_cname.h"
#include "protocols/rtp/rtp_destination_list.h"
#include "protocols/rtp/rtp_result.h"
#include "protocols/rtp/rtp_source_table.h"
#include "rtp_test_support.h"
#include "support/temp_folder.h"

namespace strevana {
namespace {

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
  EXPECT_DOUBLE_EQ(scheduler.averageSize(), 150.0);
  EXPECT_EQ(scheduler.lastReport(), 20);
  EXPECT_EQ(scheduler.nextReport(), 25);
  EXPECT_EQ(scheduler.reportCount(), 2u);
  scheduler.start(40, 128);  // the session made anew forgets what was sent
  EXPECT_EQ(scheduler.reportCount(), 0u);
  EXPECT_DOUBLE_EQ(scheduler.averageSize(), RtcpScheduler::kInitialAverageSize);
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

TEST(RtpCnameTest, IsUserAtThisHostCutToOneItem) {
  EXPECT_EQ(composeCname(std::string(200, 'u'), std::string(200, 'h')).size(), 255u);
  char host[HOST_NAME_MAX + 1] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  const std::string cname = localCname();
  EXPECT_GT(cname.find('@'), 0u);
  EXPECT_EQ(cname.substr(cname.find('@') + 1), host);
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
  const auto bytes = rtp_test::makeRtp(seq, source.ssrc());
  source.addPacket(RtpPacket::parse(bytes.data(), bytes.size()), 0.0, 1.0 / 90000);
}

TEST(RtpSourceTableTest, HoldsAtMostTheCapAndRefusesDuplicates) {
  RtpSourceTable table;
  for (uint32_t i = 0; i < RtpSourceTable::kMaxSources; ++i)
    ASSERT_NE(table.create(i * 7919u), nullptr);
  EXPECT_TRUE(table.full());
  EXPECT_EQ(table.create(0xdeadbeef), nullptr);
  EXPECT_TRUE(table.remove(7919u));
  EXPECT_EQ(table.create(0), nullptr);  // still present
  EXPECT_NE(table.create(0xdeadbeef), nullptr);
  EXPECT_EQ(table.size(), RtpSourceTable::kMaxSources);
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
