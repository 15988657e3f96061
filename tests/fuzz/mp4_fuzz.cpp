// Opens arbitrary bytes as an MP4 file through the MP4 source, the way the
// player does, and plays a little of it: a seek, a few pictures forward and
// back, a few audio chunks. The first byte chooses the output format and the
// post-filter, the rest is the file.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/audio_chunk.h"
#include "media/mp4_file_source.h"
#include "tests/fuzz/scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace strevana;
  if (size < 1) return 0;
  static constexpr OutputFormat kFormats[] = {kFormatIyuv, kFormatYuy2, kFormatBgr24,
                                              kFormatBgrx32};
  const OutputFormat format = kFormats[data[0] & 3];
  const PostfilterMode postfilter = (data[0] >> 2) & 3;
  const fuzz::ScratchFile file(".mp4", data + 1, size - 1);
  if (!file.written()) return 0;

  Mp4FileSource source(file.path(), 0, format, postfilter, nullptr, nullptr, nullptr, nullptr, 0, 8,
                       8, nullptr);
  if (source.hasVideo && source.width > 0 && source.height > 0 && source.width <= 4096 &&
      source.height <= 4096) {
    const int32_t stride = rowBytes(format, source.width);
    std::vector<uint8_t> picture(
        static_cast<size_t>(bufferBytes(format, source.width, source.height)));
    int32_t position = 0;
    const FrameRequest requests[] = {kRequestFirst,    kRequestNext, kRequestNext,
                                     kRequestPrevious, kRequestLast, kRequestAtPosition,
                                     kRequestCurrent};
    for (FrameRequest r : requests) {
      position = r == kRequestAtPosition ? source.durationMs / 2 : 0;
      source.getVideoFrame(r, stride, nullptr, 0, 0, picture.data(), position);
    }
  }
  if (source.hasAudio) {
    source.outputRate = 22050;
    source.outputChannels = 2;
    source.outputBits = 16;
    for (FrameRequest r : {kRequestFirst, kRequestNext, kRequestNext, kRequestAtPosition}) {
      AudioChunk* chunks = nullptr;
      int32_t timeMs = 0;
      uint8_t changed = 0;
      source.getAudio(r, chunks, timeMs, changed);
      freeAudioChunkList(chunks);
    }
  }
  return 0;
}
