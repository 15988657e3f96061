#include "protocols/rtp/rtcp_scheduler.h"

#include <gtest/gtest.h>

namespace strevana {
namespace {

TEST(RtcpSchedulerTest, IntervalHasAFiveSecondFloorAndGrowsWithMembers) {
  RtcpScheduler scheduler;
  scheduler.start(1000, 0);
  EXPECT_DOUBLE_EQ(scheduler.interval(), 5.0);
  // 120 bytes * 8 / (3200 / 41) = 12.3 s.
  scheduler.setSourceCount(40);
  EXPECT_NEAR(scheduler.interval(), 12.3, 1e-9);
}

TEST(RtcpSchedulerTest, NextReportIsRandomisedBetweenHalfAndOneAndAHalfIntervals) {
  RtcpScheduler scheduler;
  scheduler.start(1000, 0);
  EXPECT_EQ(scheduler.nextReport(), 1000 + 3);  // 2.5 rounds to 3
  scheduler.start(1000, 255);
  EXPECT_EQ(scheduler.nextReport(), 1000 + 7);  // 5 * (0.5 + 255/256) = 7.48
  EXPECT_FALSE(scheduler.isDue(1007));
  EXPECT_TRUE(scheduler.isDue(1008));
}

TEST(RtcpSchedulerTest, AverageSizeIsTheRunningMeanOfReportsSent) {
  RtcpScheduler scheduler;
  scheduler.start(0, 128);
  scheduler.reportSent(100, 10, 128);
  EXPECT_DOUBLE_EQ(scheduler.averageSize(), 100.0);
  scheduler.reportSent(200, 20, 128);
  EXPECT_DOUBLE_EQ(scheduler.averageSize(), 150.0);
  EXPECT_EQ(scheduler.lastReport(), 20);
  EXPECT_EQ(scheduler.nextReport(), 25);
  EXPECT_EQ(scheduler.reportCount(), 2u);
  // A restart (the session made anew) forgets what was sent.
  scheduler.start(40, 128);
  EXPECT_EQ(scheduler.reportCount(), 0u);
  EXPECT_DOUBLE_EQ(scheduler.averageSize(), RtcpScheduler::kInitialAverageSize);
}

}  // namespace
}  // namespace strevana
