#include "protocols/rtp/rtp_address_list.h"

#include <gtest/gtest.h>

#include "protocols/rtp/rtp_destination_list.h"
#include "protocols/rtp/rtp_result.h"

namespace strevana {
namespace {

TEST(RtpAddressListTest, RejectsBadPortsAndDuplicates) {
  RtpAddressList list;
  EXPECT_EQ(list.add(0x0a000001, false, 0), kRtpBadListPort);
  EXPECT_EQ(list.add(0x0a000001, false, -4), kRtpBadListPort);
  EXPECT_EQ(list.add(0x0a000001, false, 70000), kRtpBadListPort);
  EXPECT_EQ(list.add(0x0a000001, true, 0), kRtpOk);  // the flag makes the port irrelevant
  EXPECT_EQ(list.add(0x0a000001, true, 9), kRtpDuplicateListEntry);
  EXPECT_EQ(list.add(0x0a000002, false, 5000), kRtpOk);
  EXPECT_EQ(list.add(0x0a000002, false, 5000), kRtpDuplicateListEntry);
  EXPECT_EQ(list.size(), 2u);
}

TEST(RtpAddressListTest, MatchesByAddressAndPortOrAllPorts) {
  RtpAddressList list;
  list.add(0x0a000001, true, 0);
  list.add(0x0b000001, false, 5000);  // same low byte, other address
  list.add(0x0b000001, false, 5001);
  EXPECT_TRUE(list.matches(0x0a000001, 1));
  EXPECT_TRUE(list.matches(0x0b000001, 5001));
  EXPECT_FALSE(list.matches(0x0b000001, 5002));
  EXPECT_FALSE(list.matches(0x0c000001, 5000));
  list.clear();
  EXPECT_FALSE(list.matches(0x0a000001, 1));
}

TEST(RtpDestinationListTest, ReportsGoToThePortAboveAndDuplicatesAreKeptOnce) {
  RtpDestinationList list;
  EXPECT_EQ(list.add(0x7f000001, 65535), kRtpBadListPort);
  EXPECT_EQ(list.add(0x7f000001, 0), kRtpBadListPort);
  EXPECT_EQ(list.add(0x7f000001, 5000), kRtpOk);
  EXPECT_EQ(list.add(0x7f000001, 5000), kRtpOk);
  std::vector<RtpDestinationList::Entry> entries;
  list.forEach([&](const RtpDestinationList::Entry& e) { entries.push_back(e); });
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].rtpPort, 5000);
  EXPECT_EQ(entries[0].rtcpPort, 5001);
}

}  // namespace
}  // namespace strevana
