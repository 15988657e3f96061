#pragma once
// The video decoder library's interface: Mpeg4CodecIf (the decoder, pull
// driven through its pins) and Mpeg4CodecControl (its set-up interface, got
// with getInterface(2, 0)).
//
// Result convention: set-up calls return non-zero on success; status()
// returns non-zero when the decoder cannot go on.
//
// Threads: one caller at a time; step() decodes on the caller's thread.
// Ownership: the caller owns the pins it connects and must keep them alive
// until the decoder is destroyed (the decoder is destroyed first). A
// configuration element handed to setConfig stays the caller's (the decoder
// copies it).
#include <cstdint>

#include "media/codec/stream_pin.h"

namespace strevana {

class Mpeg4CodecControl {
 public:
  virtual ~Mpeg4CodecControl() = default;
  virtual int32_t connectInput(CInStrmPin* pin, int32_t index) = 0;  // 0
  // index 0: pictures in the output format; index 1: a copy of each picture
  // as planar YUV 4:2:0 (Y, U, V planes, no padding) for raw saving.
  virtual int32_t connectOutput(COutStrmPin* pin, int32_t index) = 0;   // 1
  virtual int32_t start() = 0;                                          // 6
  virtual int32_t setPictureSize(int32_t width, int32_t height) = 0;    // 12
  virtual int32_t getPictureSize(int32_t& width, int32_t& height) = 0;  // 13
  virtual int32_t setPostfilter(int32_t mode) = 0;                      // 21
  virtual int32_t getPostfilter(int32_t& mode) = 0;                     // 22
  // A VideoDecoderFormat (100, 144, 145, 150); others are refused (0).
  virtual int32_t setOutputFormat(int32_t decoderFormat, int32_t reserved) = 0;  // 23
  // Fills (profile << 8) | level of the stream, or 0 when unknown.
  virtual int32_t getInfo(int32_t& value) = 0;  // 25
  virtual int32_t hasAlpha(int32_t& flag) = 0;  // 27
  // numerator / denominator: the pixel aspect ratio; third: always 0.
  virtual int32_t getPixelAspect(uint32_t& numerator, uint32_t& denominator,
                                 uint32_t& third) = 0;  // 29
  // Forgets everything queued or buffered; pictures before time are dropped.
  virtual int32_t seek(uint64_t time) = 0;                                // 30
  virtual int32_t setConfig(CBufferElem* element, int32_t reserved) = 0;  // 31
  virtual int32_t setH263() = 0;                                          // 33
  // Library extension: when on, packed pictures are delivered as elements
  // holding the decoded picture (CBufferElem::heldPicture), converted only
  // when the taker writes them out. Non-zero when the decoder supports it.
  virtual int32_t holdPictures(int32_t on) {
    (void)on;
    return 0;
  }
};

class Mpeg4CodecIf {
 public:
  static Mpeg4CodecIf* createInstance(int32_t kind);
  static void destroyInstance(Mpeg4CodecIf*& decoder);

  virtual ~Mpeg4CodecIf() = default;
  // id 2 gives the control interface; anything else null.
  virtual Mpeg4CodecControl* getInterface(int32_t id, int32_t reserved) = 0;  // 0
  // Decodes every queued input element, delivering pictures in presentation
  // order stamped with their presentation time (the time stamp their sample
  // was fed with). At end of input it delivers the pictures still held back
  // and marks the output finished.
  virtual int32_t step(int32_t* run) = 0;  // 1
  virtual int32_t status() = 0;            // 2
};

}  // namespace strevana
