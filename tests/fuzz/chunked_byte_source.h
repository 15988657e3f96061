#pragma once
// The fuzzer's bytes as an RTSP connection that delivers at most `chunk`
// bytes per read, so that replies and frames arrive split at every place.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "protocols/rtsp/rtsp_byte_source.h"

namespace strevana_fuzz {

class ChunkedByteSource final : public strevana::RtspByteSource {
 public:
  ChunkedByteSource(const uint8_t* data, std::size_t size, std::size_t chunk)
      : data_(data), size_(size), chunk_(chunk) {}
  long receive(char* out, std::size_t capacity) override {
    if (position_ == size_) return 0;
    const std::size_t n = std::min({capacity, chunk_, size_ - position_});
    std::memcpy(out, data_ + position_, n);
    position_ += n;
    return static_cast<long>(n);
  }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t chunk_;
  std::size_t position_ = 0;
};

}  // namespace strevana_fuzz
