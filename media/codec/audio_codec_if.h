#pragma once
// The audio decoder library's interface. CAudioCodecIf decodes coded audio
// elements from its input pin into elements of interleaved signed 16-bit
// little-endian PCM on its output pin.
//
// Kinds: 4 AAC, 6 AMR (NB or WB, chosen by setFormat). Formats: 0 MPEG-4
// generic (AAC access units, configuration = AudioSpecificConfig), 5 LATM
// (configuration = StreamMuxConfig, each element one PayloadLengthInfo plus
// PayloadMux of a single-program, single-layer stream), 23 AMR-NB, 24 AMR-WB
// (elements of storage-format frames, each with its header byte).
//
// Result convention: non-zero for success. Threads: one caller at a time,
// decoding happens inside decode(). Ownership: the caller owns the pins and
// keeps them alive until the decoder is destroyed; a configuration element
// stays the caller's.
#include <cstdint>

#include "media/codec/stream_pin.h"

namespace strevana {

constexpr int32_t kAudioKindAac = 4;
constexpr int32_t kAudioKindAmr = 6;
constexpr int32_t kAudioFormatGeneric = 0;
constexpr int32_t kAudioFormatLatm = 5;
constexpr int32_t kAudioFormatAmrNb = 23;
constexpr int32_t kAudioFormatAmrWb = 24;

class CAudioCodecIf {
 public:
  // Null for an unknown kind.
  static CAudioCodecIf* createInstance(int32_t kind);
  static void destroyInstance(CAudioCodecIf*& decoder);

  virtual ~CAudioCodecIf() = default;
  virtual int32_t init() = 0;                                          // 0
  virtual int32_t stop() = 0;                                          // 1
  virtual int32_t decode() = 0;                                        // 2
  virtual int32_t connectInput(CInStrmPin* pin, int32_t index) = 0;    // 7
  virtual int32_t connectOutput(COutStrmPin* pin, int32_t index) = 0;  // 8
  virtual int32_t setChannels(int32_t count) = 0;                      // 14
  virtual int32_t getChannels(int32_t& count) = 0;                     // 15
  virtual int32_t setSampleRate(int32_t rate) = 0;                     // 16
  virtual int32_t getSampleRate(int32_t& rate) = 0;                    // 17
  virtual int32_t setConfig(CBufferElem* element) = 0;                 // 22
  virtual int32_t setFormat(int32_t code) = 0;                         // 23
};

}  // namespace strevana
