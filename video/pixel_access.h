#pragma once
// Unaligned 32-bit pixel reads and writes shared by the raster paths, and the
// alpha the window surface's back buffer expects.
#include <cstdint>
#include <cstring>

namespace strevana {

constexpr uint32_t kOpaque = 0xff000000u;

inline uint32_t load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

inline void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

}  // namespace strevana
