#pragma once
// Fitting a zoomed video area into the room the screen leaves: a zoom never
// makes the main window larger than the screen's available area, so the
// panel below the video stays reachable. The video area is scaled down as a
// whole (keeping its aspect) until both sides fit; one that fits already is
// left as it is. Pure arithmetic, for any thread.
#include <cstdint>

namespace strevana {

struct AreaSize {
  int64_t width = 0;
  int64_t height = 0;
  bool operator==(const AreaSize&) const = default;
};

// wanted scaled down, aspect kept, to fit room (sides below 0 count as 0).
AreaSize fitInside(AreaSize wanted, AreaSize room);

}  // namespace strevana
