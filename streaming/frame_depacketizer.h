#pragma once
// FrameDepacketizer: the last step of reception for one stream. It takes the
// frames the receive thread assembled, drops those marked discontinuous,
// splits the others into access units through the stream's PayloadFormat and
// hands each access unit, as a CBufferElem stamped with its time, to a sink:
// the decoder input of the streaming source.
//
// onVideoFrame and onAudioFrame are the deliver callbacks to set on the video
// and audio MediaEntry, with the stream's FrameDepacketizer as their context
// (setDeliverCallback(entry, onVideoFrame, depacketizer)). Video access units
// are stamped in milliseconds (descriptor time = ms, 0), audio ones in RTP
// clock units (both 32-bit halves of the 64-bit time); a negative frame time
// counts as 0.
//
// Threads: deliver and the callbacks run on the receive thread; the sink is
// called there too, outside the session mutex. droppedFrames may be read from
// any thread. Ownership: the streaming source owns the depacketizer and must
// keep it alive until the session's receive thread has stopped; the sink
// takes every element handed to it (and frees what it cannot use); frames
// handed to deliver are freed by it.
//
// Choices where the design leaves room:
// - A frame of a single access unit that is the whole frame (MP4V-ES) passes
//   on the frame's own element without a copy; every other access unit gets
//   an element of its own.
// - A malformed frame is dropped whole and counted, and any partly
//   reassembled access unit with it, as after a packet loss.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "streaming/media_entry.h"
#include "streaming/payload_format.h"
#include "streaming/payload_kind.h"
#include "streaming/rtp_frame.h"

namespace strevana {

class FrameDepacketizer {
 public:
  enum class TimeUnit { kMilliseconds, kClockTicks };
  // Receives one access unit: the element (now the sink's) and its time in
  // the unit deliver was given (the element's descriptor holds the same).
  using Sink = std::function<void(CBufferElem* element, int64_t time)>;

  // Null when the entry's encoding name is not a received payload format.
  // The clock rate is the rtpmap's, or 25 (video) / 44100 (other) when it
  // gives 0.
  static std::unique_ptr<FrameDepacketizer> create(const MediaEntry& entry, Sink sink);
  FrameDepacketizer(std::unique_ptr<PayloadFormat> format, uint32_t clockRate, Sink sink);

  // Times go to the sink in `unit` (onVideoFrame: ms, onAudioFrame: ticks).
  void deliver(std::unique_ptr<RtpFrame> frame, TimeUnit unit);

  PayloadKind kind() const { return kind_; }
  uint32_t clockRate() const { return clockRate_; }
  // Frames dropped for a discontinuity or as malformed.
  uint64_t droppedFrames() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  void hand(CBufferElem* element, int64_t clockTime, TimeUnit unit);

  std::unique_ptr<PayloadFormat> format_;
  PayloadKind kind_;
  uint32_t clockRate_;
  Sink sink_;
  std::vector<AccessUnit> units_;
  std::atomic<uint64_t> dropped_{0};
};

// Deliver callbacks; `context` is the stream's FrameDepacketizer (a null
// context frees the frame).
void onVideoFrame(std::unique_ptr<RtpFrame> frame, void* context);
void onAudioFrame(std::unique_ptr<RtpFrame> frame, void* context);

}  // namespace strevana
