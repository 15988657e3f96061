#pragma once
// Mp4BoxReader: ISO/IEC 14496-12 box headers (32-bit, 64-bit and "to the
// end" sizes) and big-endian fields read straight from a file, for the few
// looks the container library takes at a file before or beside libavformat.
// Every box is checked against the box that encloses it, and the number of
// boxes one reader visits is bounded, so a hostile file costs little.
//
// Threads: one caller at a time. Ownership: the file stays the caller's.
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace strevana {

struct Mp4Box {
  char type[4] = {};
  int64_t begin = 0;  // the header's first byte
  int64_t body = 0;   // the first byte after the header
  int64_t end = 0;    // one past the box

  bool is(const char* t) const { return std::memcmp(type, t, 4) == 0; }
};

class Mp4BoxReader {
 public:
  enum class Next {
    kBox,        // a whole box inside the parent
    kNone,       // no room left for a header
    kBroken,     // a size smaller than its header, or too many boxes
    kTruncated,  // the box runs past its parent (a cut file's last box)
  };
  static constexpr int kMaxBoxes = 100000;

  explicit Mp4BoxReader(std::FILE* file);

  // -1 when the file's size cannot be told.
  int64_t fileBytes() const { return fileBytes_; }
  // The box at `at` within a parent ending at `end`.
  Next next(int64_t at, int64_t end, Mp4Box& box);
  // Reads n bytes at offset; false on a short read.
  bool read(int64_t offset, void* out, size_t n);

  static uint32_t be32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  }
  static uint64_t be64(const uint8_t* p) { return (uint64_t{be32(p)} << 32) | be32(p + 4); }

 private:
  std::FILE* file_;
  int64_t fileBytes_ = -1;
  int boxes_ = 0;
};

}  // namespace strevana
