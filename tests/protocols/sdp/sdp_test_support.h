#pragma once

#include <memory>
#include <string>

#include "protocols/sdp/sdp_decoder.h"
#include "protocols/sdp/sdp_input.h"

namespace strevana::sdp_test {

// What one decodeSdp call over an in-memory text gave back.
struct Decoded {
  int rc = 0;
  int count = 0;
  std::string error;
  std::unique_ptr<SdpSession> first;
  const SdpMedia& media(int index = 0) const {
    const SdpMedia* m = first->media.get();
    for (int i = 0; i < index; ++i) m = m->next.get();
    return *m;
  }
};

inline Decoded decode(const std::string& text) {
  Decoded d;
  auto input = makeSdpMemoryInput(text);
  d.rc = decodeSdp(input.get(), d.first, d.count, &d.error);
  return d;
}

// A minimal valid head, so that each test adds only the lines it is about.
inline const std::string kHead = "v=0\no=- 1 1 IN IP4 127.0.0.1\ns=x\nt=0 0\n";

}  // namespace strevana::sdp_test
