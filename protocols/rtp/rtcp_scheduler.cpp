#include "protocols/rtp/rtcp_scheduler.h"

#include <algorithm>
#include <cmath>

namespace strevana {

void RtcpScheduler::start(int64_t nowSeconds, uint8_t randomByte) {
  averageSize_ = kInitialAverageSize;
  reportCount_ = 0;
  lastReport_ = nowSeconds;
  computeInterval();
  scheduleNext(nowSeconds, randomByte);
}

void RtcpScheduler::setSourceCount(size_t sources) {
  sources_ = sources;
  computeInterval();
}

void RtcpScheduler::computeInterval() {
  const double share = kRtcpBandwidth / static_cast<double>(sources_ + 1);
  interval_ = std::max(kMinimumInterval, averageSize_ * 8.0 / share);
}

void RtcpScheduler::scheduleNext(int64_t nowSeconds, uint8_t randomByte) {
  const double r = randomByte / 256.0;
  nextReport_ = nowSeconds + std::llround(interval_ * (0.5 + r));
}

void RtcpScheduler::reportSent(size_t bytes, int64_t nowSeconds, uint8_t randomByte) {
  if (reportCount_ < kMaxAveragedReports) {
    ++reportCount_;
    averageSize_ += (static_cast<double>(bytes) - averageSize_) / reportCount_;
  }
  lastReport_ = nowSeconds;
  computeInterval();
  scheduleNext(nowSeconds, randomByte);
}

}  // namespace strevana
