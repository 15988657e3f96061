#pragma once
// Where the RTSP reply reader gets its bytes: the client's TCP socket in the
// player, a byte buffer in tests and fuzzing. Used by the thread that runs
// the request; the reader does not own its source.
#include <cstddef>

namespace strevana {

class RtspByteSource {
 public:
  virtual ~RtspByteSource() = default;
  // Up to `capacity` bytes into `data`: the count read (> 0), 0 when the peer
  // has ended the connection, or a negative value on time-out or failure.
  virtual long receive(char* data, std::size_t capacity) = 0;
};

}  // namespace strevana
