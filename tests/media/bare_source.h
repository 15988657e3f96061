#pragma once
// The smallest concrete MediaSource, for tests of the base class's own
// behaviour and of the helpers that work on a source's shared state.
#include "media/media_source.h"

namespace strevana {

class BareSource : public MediaSource {
 public:
  bool getVideoFrame(FrameRequest, int32_t, const uint8_t*, int32_t, int32_t, uint8_t*,
                     int32_t&) override {
    return false;
  }
  bool getAudio(FrameRequest, AudioChunk*&, int32_t&, uint8_t& timeChanged) override {
    timeChanged = 0;
    return false;
  }
};

}  // namespace strevana
