#include "media/codec/mp4_sample_claims.h"

#include <cstring>
#include <initializer_list>

namespace strevana {

namespace {

// Boxes deeper than this are not looked into (the path needs five levels).
constexpr int kMaxDepth = 6;
// Boxes visited per file, against files made of millions of empty boxes.
constexpr int kMaxBoxes = 100000;

uint32_t be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint64_t be64(const uint8_t* p) { return (uint64_t{be32(p)} << 32) | be32(p + 4); }

bool readAt(std::FILE* f, int64_t offset, uint8_t* out, size_t n) {
  if (fseeko(f, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
  return std::fread(out, 1, n, f) == n;
}

bool isContainer(const char* type) {
  for (const char* c : {"moov", "trak", "mdia", "minf", "stbl", "moof", "traf"}) {
    if (std::memcmp(type, c, 4) == 0) return true;
  }
  return false;
}

struct Walker {
  std::FILE* file;
  int boxes = 0;
  uint64_t largest = 0;
  uint64_t fragmentSamples = 0;  // all track runs of movie fragments together

  // Walks the boxes in [begin, end); false when the structure is broken.
  bool walk(int64_t begin, int64_t end, int depth, const char* parent) {
    int64_t at = begin;
    while (at + 8 <= end) {
      if (++boxes > kMaxBoxes) return false;
      uint8_t header[16];
      if (!readAt(file, at, header, 8)) return false;
      uint64_t size = be32(header);
      char type[4];
      std::memcpy(type, header + 4, 4);
      int64_t headerBytes = 8;
      if (size == 1) {
        if (at + 16 > end || !readAt(file, at + 8, header + 8, 8)) return false;
        size = be64(header + 8);
        headerBytes = 16;
      } else if (size == 0) {
        size = static_cast<uint64_t>(end - at);  // to the end of the enclosing box
      }
      if (size < static_cast<uint64_t>(headerBytes)) return false;
      // A cut file: its last box runs past the end. What came before stands.
      if (size > static_cast<uint64_t>(end - at)) return depth == 0;
      const int64_t body = at + headerBytes;
      const int64_t next = at + static_cast<int64_t>(size);
      if (isContainer(type) && depth < kMaxDepth) {
        if (!walk(body, next, depth + 1, type)) return false;
      } else if (std::memcmp(parent, "stbl", 4) == 0 &&
                 (std::memcmp(type, "stsz", 4) == 0 || std::memcmp(type, "stz2", 4) == 0)) {
        // Full box: version and flags, then sample_size (stsz) or
        // reserved + field_size (stz2), then sample_count.
        uint8_t fields[12];
        if (body + 12 <= next && readAt(file, body, fields, 12)) {
          const uint64_t count = be32(fields + 8);
          if (count > largest) largest = count;
        }
      } else if (std::memcmp(parent, "traf", 4) == 0 && std::memcmp(type, "trun", 4) == 0) {
        // Full box, then sample_count (8.8.8).
        uint8_t fields[8];
        if (body + 8 <= next && readAt(file, body, fields, 8)) {
          fragmentSamples += be32(fields + 4);
          if (fragmentSamples > largest) largest = fragmentSamples;
        }
      }
      at = next;
    }
    return true;
  }
};

}  // namespace

Mp4SampleClaims scanMp4SampleClaims(std::FILE* file) {
  Mp4SampleClaims claims;
  if (!file || fseeko(file, 0, SEEK_END) != 0) return claims;
  claims.fileBytes = static_cast<int64_t>(ftello(file));
  if (claims.fileBytes < 0) return claims;
  Walker walker{file};
  // What was counted before a broken box stands too.
  claims.readable = walker.walk(0, claims.fileBytes, 0, "file");
  claims.largestTrackCount = walker.largest;
  return claims;
}

}  // namespace strevana
