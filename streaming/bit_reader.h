#pragma once
// BitReader: reads big-endian bit fields (as RFC 3640 AU headers and MPEG-4
// audio configurations lay them out) from a byte range it does not own.
// Reading past the end yields zeros and sets the overrun flag, so a caller
// checks once after a group of fields instead of before each one. Any thread;
// one reader per range.
#include <cstddef>
#include <cstdint>

namespace strevana {

class BitReader {
 public:
  BitReader(const uint8_t* data, size_t bits) : data_(data), bits_(bits) {}

  // Up to 32 bits.
  uint32_t read(unsigned count) {
    uint32_t value = 0;
    for (unsigned i = 0; i < count; ++i) {
      value <<= 1;
      if (position_ < bits_) {
        value |= (data_[position_ >> 3] >> (7 - (position_ & 7))) & 1u;
      } else {
        overrun_ = true;
      }
      ++position_;
    }
    return value;
  }
  void skip(size_t count) {
    if (count > bits_ - (position_ < bits_ ? position_ : bits_)) overrun_ = true;
    position_ += count;
  }

  size_t position() const { return position_; }
  size_t remaining() const { return position_ < bits_ ? bits_ - position_ : 0; }
  bool overrun() const { return overrun_; }

 private:
  const uint8_t* data_;
  size_t bits_;
  size_t position_ = 0;
  bool overrun_ = false;
};

}  // namespace strevana
