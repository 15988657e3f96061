#pragma once
// A monotonic millisecond clock behind an interface so that tests can drive
// time by hand. The system clock is shared and stateless; fakes are owned by
// the test that installs them.
#include <atomic>
#include <chrono>
#include <cstdint>

namespace strevana {

class MillisecondClock {
 public:
  virtual ~MillisecondClock() = default;
  // Milliseconds since an arbitrary fixed start; never goes backwards.
  virtual int64_t nowMs() const = 0;
};

class SteadyMillisecondClock final : public MillisecondClock {
 public:
  int64_t nowMs() const override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
  static const SteadyMillisecondClock& instance() {
    static const SteadyMillisecondClock clock;
    return clock;
  }
};

// Test clock: time moves only when told to.
class ManualMillisecondClock final : public MillisecondClock {
 public:
  int64_t nowMs() const override { return now_.load(); }
  void set(int64_t ms) { now_.store(ms); }
  void advance(int64_t ms) { now_.fetch_add(ms); }

 private:
  std::atomic<int64_t> now_{0};
};

}  // namespace strevana
