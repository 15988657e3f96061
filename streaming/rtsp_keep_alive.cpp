#include "streaming/rtsp_keep_alive.h"

namespace strevana {

RtspKeepAlive::RtspKeepAlive(std::chrono::milliseconds interval, std::function<void()> send)
    : interval_(interval), send_(std::move(send)), thread_([this] { run(); }) {}

RtspKeepAlive::~RtspKeepAlive() { stop(); }

void RtspKeepAlive::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void RtspKeepAlive::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (wake_.wait_for(lock, interval_, [this] { return stopping_; })) return;
    lock.unlock();
    send_();
    lock.lock();
  }
}

}  // namespace strevana
