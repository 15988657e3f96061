#include "playback/zoom_fit.h"

#include <algorithm>

namespace strevana {

AreaSize fitInside(AreaSize wanted, AreaSize room) {
  room.width = std::max<int64_t>(room.width, 0);
  room.height = std::max<int64_t>(room.height, 0);
  if (wanted.width <= room.width && wanted.height <= room.height) return wanted;
  // The side that overflows more decides; the other follows, rounded down
  // so that it never pokes out. In long double: sides may be as large as a
  // zoom of a 32-bit size gives.
  const long double scale = std::min(static_cast<long double>(room.width) / wanted.width,
                                     static_cast<long double>(room.height) / wanted.height);
  AreaSize fitted{static_cast<int64_t>(wanted.width * scale),
                  static_cast<int64_t>(wanted.height * scale)};
  fitted.width = std::min(fitted.width, room.width);
  fitted.height = std::min(fitted.height, room.height);
  return fitted;
}

}  // namespace strevana
