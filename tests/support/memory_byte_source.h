#pragma once
// Bytes as an RTSP connection that hands out at most `chunk` bytes a read, so
// that replies and interleaved frames arrive split at every place; at the end
// the connection closes (0) or, when asked, times out (-1). Keeps its own copy.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <utility>

#include "protocols/rtsp/rtsp_byte_source.h"

namespace strevana::testing {

class MemoryByteSource final : public RtspByteSource {
 public:
  MemoryByteSource(std::string bytes, std::size_t chunk, bool timeOutAtEnd = false)
      : bytes_(std::move(bytes)), chunk_(chunk), timeOutAtEnd_(timeOutAtEnd) {}
  long receive(char* out, std::size_t capacity) override {
    if (at_ == bytes_.size()) return timeOutAtEnd_ ? -1 : 0;
    const std::size_t n = std::min({capacity, chunk_, bytes_.size() - at_});
    std::memcpy(out, bytes_.data() + at_, n);
    at_ += n;
    return static_cast<long>(n);
  }

 private:
  std::string bytes_;
  std::size_t chunk_;
  bool timeOutAtEnd_;
  std::size_t at_ = 0;
};

}  // namespace strevana::testing
