#pragma once
// DataWait: the deadline of one wait for network data, kept across the
// requests that find nothing yet. A request that must wait starts the wait
// (when none runs) and asks whether it may still wait; a request that finds
// what it waited for ends it. The limit is the design's whole number of
// 100 ms polling rounds, (bufferMs + timeoutMs) / 100, as a time.
//
// Threads: owned and used by one thread (the caller of the source).
#include <cstdint>

#include "base/millisecond_clock.h"

namespace strevana {

class DataWait {
 public:
  static constexpr int64_t kRoundMs = 100;

  DataWait(const MillisecondClock& clock, uint32_t bufferMs, uint32_t timeoutMs)
      : clock_(clock),
        limitMs_((static_cast<int64_t>(bufferMs) + timeoutMs) / kRoundMs * kRoundMs) {}

  // Starts the wait if it is not running; true while its limit has not passed.
  bool mayWait() {
    const int64_t now = clock_.nowMs();
    if (startMs_ < 0) startMs_ = now;
    return now - startMs_ < limitMs_;
  }
  void end() { startMs_ = -1; }
  bool running() const { return startMs_ >= 0; }
  int64_t limitMs() const { return limitMs_; }

 private:
  const MillisecondClock& clock_;
  int64_t limitMs_;
  int64_t startMs_ = -1;
};

}  // namespace strevana
