#pragma once
// RtspKeepAlive: a thread that calls `send` every interval until stopped, so
// that a server which ends idle RTSP sessions (RFC 2326 12.37: the Session
// header's timeout, 60 s by default) keeps ours while we play. The request
// itself (and its lock on the RTSP client) is the caller's business.
//
// Threads: made and stopped by the thread that owns the RTSP session; `send`
// runs on the keep-alive thread. stop() (and the destructor) wake the thread
// and join it; a request in flight is finished first, bounded by the RTSP
// client's time-outs.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace strevana {

class RtspKeepAlive {
 public:
  RtspKeepAlive(std::chrono::milliseconds interval, std::function<void()> send);
  ~RtspKeepAlive();
  RtspKeepAlive(const RtspKeepAlive&) = delete;
  RtspKeepAlive& operator=(const RtspKeepAlive&) = delete;

  void stop();
  std::chrono::milliseconds interval() const { return interval_; }

 private:
  void run();

  const std::chrono::milliseconds interval_;
  std::function<void()> send_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace strevana
