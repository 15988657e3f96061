#pragma once
// Stream saving: the writers behind a source's four save targets (coded video
// and audio elementary streams, raw decoded pictures, raw PCM). Every write
// opens its file in append mode, writes one block and closes it again, so a
// saved file is complete on disk between writes; a file that cannot be opened
// loses that block silently. Shared by the file and the streaming sources.
//
// Threads: each writer touches only the target named in the source's save
// fields, which are set before playback starts and not changed while it
// runs; the streaming source calls the elementary-stream writers from its
// receive thread, everything else runs on the caller of the source.
#include <cstddef>
#include <cstdint>
#include <string>

namespace strevana {

class MediaSource;

// Creates (truncates) path and writes an optional first block; false when the
// file cannot be created.
bool createSaveFile(const std::string& path, const uint8_t* data, size_t length);

// Appends one block to the target, doing nothing when the target is off
// (empty path) or the block empty.
void appendSaveBlock(const std::string& path, const uint8_t* data, size_t length);

void appendVideoStream(const MediaSource& source, const uint8_t* data, size_t length);
void appendAudioStream(const MediaSource& source, const uint8_t* data, size_t length);
void appendRawAudio(const MediaSource& source, const uint8_t* data, size_t length);

// Writes one raw picture to the single raw video file or, per frame, to the
// next numbered file.
void writeRawVideoPicture(MediaSource& source, const uint8_t* data, size_t length);

// The next per-frame file name: "%s%04d.yuv" of the raw video path up to the
// first '.' of its file name part (a dot in a folder name does not count);
// the counter wraps after 9999. Empty when the name would not fit in
// MediaSource::kSavePathCapacity.
std::string nextPerFrameName(MediaSource& source);

}  // namespace strevana
