#include "protocols/rtp/rtp_source_table.h"

#include <gtest/gtest.h>

#include "rtp_test_support.h"

namespace strevana {
namespace {

void queue(RtpSource& source, uint16_t seq) {
  const auto bytes = rtp_test::makeRtp(seq, source.ssrc());
  source.addPacket(RtpPacket::parse(bytes.data(), bytes.size()), 0.0, 1.0 / 90000);
}

// Two packets in sequence: the source passes probation with both queued.
void queueValid(RtpSource& source) {
  queue(source, 1);
  queue(source, 2);
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

TEST(RtpSourceTableTest, IteratesSourcesWithDataInBucketThenSsrcOrder) {
  RtpSourceTable table;
  // 0x400 and 0x800 share bucket 0 with 0; 5 is in bucket 5.
  // 0x400 and 7 hold a packet but are still on probation: not visited.
  for (uint32_t ssrc : {0x800u, 5u, 0x400u, 0u, 7u}) table.create(ssrc);
  for (uint32_t ssrc : {0x800u, 5u, 0u}) queueValid(*table.find(ssrc));
  for (uint32_t ssrc : {0x400u, 7u}) queue(*table.find(ssrc), 1);
  std::vector<uint32_t> seen;
  for (bool more = table.gotoFirstWithData(); more; more = table.gotoNextWithData()) {
    seen.push_back(table.current()->ssrc());
  }
  EXPECT_EQ(seen, (std::vector<uint32_t>{0u, 0x800u, 5u}));
  EXPECT_EQ(table.current(), nullptr);
}

TEST(RtpSourceTableTest, RemovingTheCurrentSourceResetsTheIterator) {
  RtpSourceTable table;
  queueValid(*table.create(3));
  ASSERT_TRUE(table.gotoFirstWithData());
  EXPECT_TRUE(table.remove(3));
  EXPECT_EQ(table.current(), nullptr);
  EXPECT_FALSE(table.gotoNextWithData());
  EXPECT_FALSE(table.gotoFirstWithData());
}

}  // namespace
}  // namespace strevana
