#pragma once
// InterleavedQueue: the media frames found on an RTSP connection (RFC 2326
// 10.12), held between the thread that read them and the session's receive
// thread, which alone hands them to the RTP sessions.
//
// Threads: onInterleavedFrame runs on whichever thread reads the connection
// (the receive thread while it drains it, the owner or keep-alive thread
// while a request waits for its reply); takeAll on the receive thread. Both
// take the queue's own mutex, which is held only to move frames in or out.
// Ownership: the session owns the queue; the queue owns the copies it holds.
//
// Bound: at most kMaxQueuedBytes of frame data; a frame that does not fit is
// dropped and counted (the stream sees a sequence gap).
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "protocols/rtsp/interleaved_sink.h"

namespace strevana {

class InterleavedQueue final : public InterleavedSink {
 public:
  static constexpr std::size_t kMaxQueuedBytes = 8u * 1024u * 1024u;

  struct Frame {
    uint8_t channel = 0;
    std::vector<uint8_t> data;
  };

  void onInterleavedFrame(uint8_t channel, const uint8_t* data, std::size_t size) override;
  // Moves every queued frame, oldest first, into `out` (which is cleared).
  void takeAll(std::vector<Frame>& out);
  void clear();
  uint64_t droppedFrames() const;

 private:
  mutable std::mutex mutex_;
  std::vector<Frame> frames_;
  std::size_t bytes_ = 0;
  uint64_t dropped_ = 0;
};

}  // namespace strevana
