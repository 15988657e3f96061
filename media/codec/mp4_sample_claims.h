#pragma once
// A look at an MP4/3GP file's sample tables before libavformat builds its
// index from them. libavformat believes a track's sample count (ISO/IEC
// 14496-12 8.7.3, 'stsz'/'stz2') and makes one index entry per sample: a
// file of a few kilobytes with a uniform sample size and a count of tens of
// millions costs gigabytes and many seconds before anything can be refused.
//
// A sample with bytes occupies at least one byte of the file, and a sample
// size table costs at least four bits per entry, so no honest file, not even
// a cut one, has more samples in a track than bytes in the file: that is the
// bound. Only the box headers on the paths moov/trak/mdia/minf/stbl and
// moof/traf (whose track runs count together) are read;
// every box size is checked against its parent before it is followed.
//
// Threads: any; no state.
#include <cstdint>
#include <cstdio>

namespace strevana {

struct Mp4SampleClaims {
  bool readable = false;  // the whole box structure could be walked
  int64_t fileBytes = 0;
  uint64_t largestTrackCount = 0;  // the largest sample count any track claims
};

// Walks the file (opened for reading; its position is left anywhere).
Mp4SampleClaims scanMp4SampleClaims(std::FILE* file);

// True when a track claims more samples than the file has bytes (counted up
// to a broken box, if any).
inline bool claimsImpossibleSampleCount(const Mp4SampleClaims& c) {
  return c.fileBytes >= 0 && c.largestTrackCount > static_cast<uint64_t>(c.fileBytes);
}

}  // namespace strevana
