#include "protocols/sdp/sdp_types.h"

namespace strevana {

// Each destructor walks its chain by hand: a description with thousands of
// formats, media or sessions would otherwise recurse once per element.

SdpFormat::~SdpFormat() {
  while (next) next = std::move(next->next);
}

SdpMedia::~SdpMedia() {
  while (next) next = std::move(next->next);
}

SdpSession::~SdpSession() {
  while (next) next = std::move(next->next);
}

}  // namespace strevana
