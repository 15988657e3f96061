#pragma once
// RtpFrame: one frame assembled by the receive thread from the packets of one
// stream up to and including the packet with the RTP marker bit, and the
// callbacks through which the session obtains frame memory and hands frames
// on.
//
// Ownership: the receive thread allocates the record and its element (through
// the session's allocate callback) and passes both to a deliver callback,
// which owns them from then on. Destroying the record frees the element it
// still holds; a deliver callback that passes the element on (to a decoder's
// input pin) clears `element` first.
#include <cstdint>
#include <memory>
#include <vector>

#include "media/codec/stream_pin.h"

namespace strevana {

struct RtpFrame {
  RtpFrame() = default;
  RtpFrame(const RtpFrame&) = delete;
  RtpFrame& operator=(const RtpFrame&) = delete;
  ~RtpFrame();

  // Exactly `size` bytes: the payloads of the frame's packets, in order.
  CBufferElem* element = nullptr;
  uint8_t* data = nullptr;  // the element's bytes (or any buffer when element is null)
  uint32_t size = 0;
  // Extended RTP timestamp + sync offset - base timestamp, in the stream's
  // RTP clock units; may be negative before a sender report aligns streams.
  int64_t timestamp = 0;
  uint32_t sequence = 0;  // extended sequence number of the first packet
  uint8_t payloadType = 0;
  void* context = nullptr;  // the session's context
  // Set when packets were lost before this frame (its data is incomplete or
  // follows a gap); such frames are dropped before decoding.
  int32_t discontinuity = 0;
  // Payload length of each packet, in order; they add up to `size`. Payload
  // formats that carry a header in every packet (RFC 3640) need the packet
  // boundaries that concatenation hides.
  std::vector<uint32_t> packetSizes;
};

// Called on the receive thread, outside the session mutex, with a frame it
// now owns and the context given for it.
using RtpDeliverCallback = void (*)(std::unique_ptr<RtpFrame> frame, void* context);
// A new element of `size` bytes into `element`; 0 on success. The shape of
// CIOStrmPin::allocateBufferElem.
using RtpAllocateCallback = int32_t (*)(CBufferElem*& element, uint32_t size);
// The element's bytes into `data`; 0 on success.
using RtpGetDataCallback = int32_t (*)(CBufferElem* element, uint8_t*& data);

}  // namespace strevana
