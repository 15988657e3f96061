#pragma once
// SpinLock: one 32-bit word, 0 when free. acquire() exchanges 1 into it and
// sleeps 1 ms between failed tries; release() exchanges 0. Not re-entrant, no
// owner check. Used by the controller (held for a whole playback tick) and by
// the audio output (shared with the device callback). Lock order: controller
// lock first, then an audio lock.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace strevana {

class SpinLock {
 public:
  SpinLock() = default;
  SpinLock(const SpinLock&) = delete;
  SpinLock& operator=(const SpinLock&) = delete;

  void acquire() {
    while (word_.exchange(1, std::memory_order_acquire) == 1) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  // One attempt; true when the lock was taken.
  bool tryAcquire() { return word_.exchange(1, std::memory_order_acquire) == 0; }
  void release() { word_.exchange(0, std::memory_order_release); }

  // BasicLockable, so std::lock_guard / std::unique_lock work.
  void lock() { acquire(); }
  void unlock() { release(); }
  bool try_lock() { return tryAcquire(); }

 private:
  std::atomic<int32_t> word_{0};
};

}  // namespace strevana
