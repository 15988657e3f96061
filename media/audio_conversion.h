#pragma once
// convertAudioChunk: turns one chunk of decoder PCM (signed 16-bit, or 8-bit
// unsigned) into the format the sound device accepted: rate by nearest-lower
// frame picking (no interpolation), channels by duplicating or averaging,
// bits by shifting. Shared by the file and the streaming sources; a free
// function without state, callable from any thread on chunks it owns.
#include <cstdint>

#include "media/audio_chunk.h"

namespace strevana {

class MediaSource;

struct PcmFormat {
  int32_t rate = 0;
  int32_t channels = 0;
  int32_t bits = 0;
};

// Replaces chunk by a new chunk in format `to` unless the formats are equal
// (then the very same chunk stays). Formats with a non-positive rate or
// channel count, or bits other than 8 and 16, leave the chunk as it is. Bytes
// after the last whole input frame are never read.
void convertAudioChunk(AudioChunk*& chunk, const PcmFormat& from, const PcmFormat& to);

// The same with the source's decoded and output formats.
void convertAudioChunk(AudioChunk*& chunk, const MediaSource& source);

}  // namespace strevana
