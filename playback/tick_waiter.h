#pragma once
// TickWaiter: where the playback thread waits between ticks. It sleeps until
// the next picture is due (or a bounded interval), and a user operation that
// starts playback or moves the position cuts the wait short, so the thread
// neither polls every millisecond nor reacts late.
//
// Threads: waitFor on the playback thread; wake from any thread, with or
// without the controller's lock (it takes only its own mutex, never waits).
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace strevana {

class TickWaiter {
 public:
  // Returns after `limit`, or earlier once wake was called (also a call made
  // since the previous wait, so that a wake-up is never lost).
  void waitFor(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    condition_.wait_for(lock, limit, [this] { return woken_; });
    woken_ = false;
  }

  void wake() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      woken_ = true;
    }
    condition_.notify_one();
  }

 private:
  std::mutex mutex_;
  std::condition_variable condition_;
  bool woken_ = false;
};

}  // namespace strevana
