#include "streaming/interleaved_queue.h"

#include <new>

namespace strevana {

void InterleavedQueue::onInterleavedFrame(uint8_t channel, const uint8_t* data, std::size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (size > kMaxQueuedBytes - bytes_) {
    ++dropped_;
    return;
  }
  try {
    frames_.push_back(Frame{channel, std::vector<uint8_t>(data, data + size)});
    bytes_ += size;
  } catch (const std::bad_alloc&) {
    ++dropped_;
  }
}

void InterleavedQueue::takeAll(std::vector<Frame>& out) {
  out.clear();
  std::lock_guard<std::mutex> lock(mutex_);
  out.swap(frames_);
  bytes_ = 0;
}

void InterleavedQueue::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  frames_.clear();
  bytes_ = 0;
}

uint64_t InterleavedQueue::droppedFrames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

}  // namespace strevana
