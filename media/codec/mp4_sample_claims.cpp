#include "media/codec/mp4_sample_claims.h"

#include <initializer_list>

#include "media/codec/mp4_box_reader.h"

namespace strevana {

namespace {

// Boxes deeper than this are not looked into (the path needs five levels).
constexpr int kMaxDepth = 6;

bool isContainer(const Mp4Box& box) {
  for (const char* c : {"moov", "trak", "mdia", "minf", "stbl", "moof", "traf"}) {
    if (box.is(c)) return true;
  }
  return false;
}

struct Walker {
  Mp4BoxReader& reader;
  uint64_t largest = 0;
  uint64_t fragmentSamples = 0;  // all track runs of movie fragments together

  // Walks the boxes in [begin, end); false when the structure is broken.
  bool walk(int64_t begin, int64_t end, int depth, const char* parent) {
    Mp4Box box;
    for (int64_t at = begin;; at = box.end) {
      switch (reader.next(at, end, box)) {
        case Mp4BoxReader::Next::kNone: return true;
        case Mp4BoxReader::Next::kBroken: return false;
        // A cut file: its last box runs past the end. What came before stands.
        case Mp4BoxReader::Next::kTruncated: return depth == 0;
        case Mp4BoxReader::Next::kBox: break;
      }
      if (isContainer(box) && depth < kMaxDepth) {
        if (!walk(box.body, box.end, depth + 1, box.type)) return false;
      } else if (std::memcmp(parent, "stbl", 4) == 0 && (box.is("stsz") || box.is("stz2"))) {
        // Full box: version and flags, then sample_size (stsz) or
        // reserved + field_size (stz2), then sample_count.
        uint8_t fields[12];
        if (box.body + 12 <= box.end && reader.read(box.body, fields, 12)) {
          const uint64_t count = Mp4BoxReader::be32(fields + 8);
          if (count > largest) largest = count;
        }
      } else if (std::memcmp(parent, "traf", 4) == 0 && box.is("trun")) {
        // Full box, then sample_count (8.8.8).
        uint8_t fields[8];
        if (box.body + 8 <= box.end && reader.read(box.body, fields, 8)) {
          fragmentSamples += Mp4BoxReader::be32(fields + 4);
          if (fragmentSamples > largest) largest = fragmentSamples;
        }
      }
    }
  }
};

}  // namespace

Mp4SampleClaims scanMp4SampleClaims(std::FILE* file) {
  Mp4SampleClaims claims;
  Mp4BoxReader reader(file);
  claims.fileBytes = reader.fileBytes();
  if (claims.fileBytes < 0) return claims;
  Walker walker{reader};
  // What was counted before a broken box stands too.
  claims.readable = walker.walk(0, claims.fileBytes, 0, "file");
  claims.largestTrackCount = walker.largest;
  return claims;
}

}  // namespace strevana
