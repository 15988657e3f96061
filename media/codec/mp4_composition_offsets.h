#pragma once
// The composition offsets of one track (ISO/IEC 14496-12 8.6.1.3, 'ctts'),
// read from the file's sample tables and keyed by each sample's position in
// the file (from 'stsc', 'stco'/'co64' and 'stsz'/'stz2'), so that a track
// whose pictures are stored out of display order learns every presentation
// time from its index without reading the media data: opening costs the
// same for a film as for a clip.
//
// Choices: tracks are numbered from 0 in file order, as libavformat numbers
// its streams; a table that is cut, inconsistent or larger than its box, or
// negative offsets (which libavformat moves the decode times for), make the
// result unusable (usable false) and the caller learns the times another way.
//
// Threads: any; no state. Ownership: the file stays the caller's.
#include <cstdint>
#include <cstdio>
#include <unordered_map>

namespace strevana {

struct Mp4CompositionOffsets {
  bool usable = false;   // the tables were read and agree with each other
  bool present = false;  // the track has composition offsets at all
  std::unordered_map<int64_t, int64_t> byPosition;  // file offset -> offset in track units
};

Mp4CompositionOffsets readMp4CompositionOffsets(std::FILE* file, int trackIndex);

}  // namespace strevana
