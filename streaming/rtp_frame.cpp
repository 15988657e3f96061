#include "streaming/rtp_frame.h"

namespace strevana {

RtpFrame::~RtpFrame() {
  if (element) CIOStrmPin::freeBufferElem(element);
}

}  // namespace strevana
