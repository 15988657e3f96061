#pragma once
// AudioChunk: one block of interleaved PCM (16-bit signed little-endian or
// 8-bit unsigned) with a link to the next chunk. Sources make new lists and
// hand them out through MediaSource::getAudio; whoever holds a list owns every
// chunk of it (the AudioOutput that queues it frees it). A chunk owns its data
// but not its successor: free whole lists with freeAudioChunkList, which walks
// the chain without recursion.
#include <cstdint>
#include <memory>

namespace strevana {

struct AudioChunk {
  explicit AudioChunk(int32_t byteCount)
      : data(byteCount > 0 ? std::make_unique<uint8_t[]>(static_cast<size_t>(byteCount)) : nullptr),
        size(byteCount > 0 ? byteCount : 0) {}
  AudioChunk(const AudioChunk&) = delete;
  AudioChunk& operator=(const AudioChunk&) = delete;

  std::unique_ptr<uint8_t[]> data;
  int32_t size = 0;
  AudioChunk* next = nullptr;
};

// Frees head and every chunk linked after it.
inline void freeAudioChunkList(AudioChunk* head) {
  while (head) {
    AudioChunk* next = head->next;
    delete head;
    head = next;
  }
}

// Owning handle for a whole list, for code that must not leak one on an early return.
struct AudioChunkListDeleter {
  void operator()(AudioChunk* head) const { freeAudioChunkList(head); }
};
using AudioChunkList = std::unique_ptr<AudioChunk, AudioChunkListDeleter>;

}  // namespace strevana
