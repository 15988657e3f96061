#pragma once
// RtcpScheduler: when the next RTCP report is due (after RFC 3550 6.2 and
// A.7, without reconsideration). The RTCP bandwidth, 5% of a nominal 64 kbit/s
// session, is shared among the members; a member's interval is the average
// report size over its share, never below 5 seconds, and each actual wait is
// randomised to 0.5..1.5 times the interval so members do not synchronise.
//
// Times are whole seconds of the session's monotonic clock (a time-of-day
// clock set back would otherwise silence reports until it caught up).
// Owned by RtpSession; one thread.
#include <cstddef>
#include <cstdint>

namespace strevana {

class RtcpScheduler {
 public:
  static constexpr double kSessionBandwidth = 64000.0;
  static constexpr double kRtcpFraction = 0.05;
  static constexpr double kRtcpBandwidth = 3200.0;  // bytes per second
  static constexpr double kInitialAverageSize = 120.0;
  static constexpr double kMinimumInterval = 5.0;
  static constexpr uint32_t kMaxAveragedReports = 1000000;

  // Resets the averages and schedules the first report. `randomByte` (0..255)
  // gives the random fraction r = randomByte / 256.
  void start(int64_t nowSeconds, uint8_t randomByte);
  // Recomputes the interval for `sources` remote members (we are the +1).
  void setSourceCount(size_t sources);
  bool isDue(int64_t nowSeconds) const { return nowSeconds > nextReport_; }
  // Folds the size of a report just sent (bytes, lower-layer headers
  // included) into the running mean and schedules the next one.
  void reportSent(size_t bytes, int64_t nowSeconds, uint8_t randomByte);

  double interval() const { return interval_; }
  double averageSize() const { return averageSize_; }
  int64_t nextReport() const { return nextReport_; }
  int64_t lastReport() const { return lastReport_; }
  uint32_t reportCount() const { return reportCount_; }

 private:
  void computeInterval();
  void scheduleNext(int64_t nowSeconds, uint8_t randomByte);

  size_t sources_ = 0;
  double averageSize_ = kInitialAverageSize;
  double interval_ = kMinimumInterval;
  int64_t lastReport_ = 0;
  int64_t nextReport_ = 0;
  uint32_t reportCount_ = 0;
};

}  // namespace strevana
