#pragma once
// AudioDecodePipe: one audio decoder (CAudioCodecIf) with its input and
// output pins, and the hand-over of its PCM as AudioChunks: each decoded
// element is written to the owning source's raw audio target (before any
// conversion) and converted to the source's output audio format. The MP4
// file source feeds it samples by number, the streaming source feeds it
// access units from its receive thread.
//
// Threads: one caller at a time for everything except input(), whose pin may
// be fed from another thread. Ownership: the pipe owns the decoder and its
// pins (stopped and destroyed decoder first); chunks handed out belong to
// the caller; a configuration handed to create() stays the caller's.
#include <cstdint>
#include <memory>

#include "media/audio_chunk.h"
#include "media/codec/audio_codec_if.h"

namespace strevana {

class MediaSource;

class AudioDecodePipe {
 public:
  static constexpr uint32_t kPinCapacity = 1024;
  static constexpr uint32_t kMaxConfigBytes = 1u << 20;

  struct Setup {
    int32_t kind = kAudioKindAac;          // kAudioKind*
    int32_t format = kAudioFormatGeneric;  // kAudioFormat*
    // AAC: the AudioSpecificConfig or, for LATM, the StreamMuxConfig.
    const uint8_t* config = nullptr;
    uint32_t configLength = 0;
    // AMR only: what the container says.
    int32_t channels = 0;
    int32_t rate = 0;
  };

  // Null when the decoder or its pins cannot be made or it refuses to start.
  static std::unique_ptr<AudioDecodePipe> create(const Setup& setup);
  ~AudioDecodePipe();
  AudioDecodePipe(const AudioDecodePipe&) = delete;
  AudioDecodePipe& operator=(const AudioDecodePipe&) = delete;

  CInStrmPin& input() { return *input_; }
  COutStrmPin& output() { return *output_; }
  int32_t decodedRate() const { return rate_; }
  int32_t decodedChannels() const { return channels_; }

  // Decodes what the input pin holds; false when the decoder fails.
  bool decode() { return decoder_->decode() != 0; }

  // Takes one PCM element from the output pin and returns it as a new chunk
  // in source's output format, after appending the decoder's bytes to
  // source's raw audio target. Null when the pin holds nothing. time (the
  // element's stamp) and frames (decoded frames in it) are filled when given.
  // skipFrames, when given, is how many decoded frames to leave out from the
  // front (sound before the start of the presentation); it is lowered by
  // what this element had, and the chunk may come out empty.
  AudioChunk* takeChunk(const MediaSource& source, uint64_t* time = nullptr,
                        uint32_t* frames = nullptr, uint64_t* skipFrames = nullptr);

 private:
  AudioDecodePipe() = default;

  CAudioCodecIf* decoder_ = nullptr;
  CInStrmPin* input_ = nullptr;
  COutStrmPin* output_ = nullptr;
  int32_t rate_ = 0;
  int32_t channels_ = 0;
};

}  // namespace strevana
