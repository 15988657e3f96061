#pragma once
// InterleavedSink: where the RTSP reply reader hands the binary frames it
// finds on the connection when media is carried inside it (RFC 2326 10.12:
// '$', a channel byte, a 16-bit big-endian length, then that many bytes).
//
// Threads: called on whichever thread is reading the connection at the time
// (the one running a request, or the one draining the connection while no
// request is outstanding), never two at once. An implementation must not call
// back into the client or the reader, and must copy what it keeps: `data` is
// valid only during the call. Ownership: the reader does not own its sink.
#include <cstddef>
#include <cstdint>

namespace strevana {

class InterleavedSink {
 public:
  virtual ~InterleavedSink() = default;
  virtual void onInterleavedFrame(uint8_t channel, const uint8_t* data, std::size_t size) = 0;
};

}  // namespace strevana
