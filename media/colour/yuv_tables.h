#pragma once
// Lookup tables shared by every colour converter. They are built on first use
// (function-local statics, so concurrent first calls are safe) and never
// change afterwards.
#include <array>
#include <cstddef>
#include <cstdint>

namespace strevana::colour {

// Per sample value k, truncated toward zero: yTerm = 1.164 (k - 16),
// crR = 1.793 (k - 128), cbG = 0.213 (k - 128), crG = 0.534 (k - 128),
// cbB = 2.115 (k - 128).
struct CoefficientTables {
  std::array<int32_t, 256> yTerm;
  std::array<int32_t, 256> crR;
  std::array<int32_t, 256> cbG;
  std::array<int32_t, 256> crG;
  std::array<int32_t, 256> cbB;
  // Clamp to 0..255 for sums from -kClampOffset to kClampOffset + 767.
  static constexpr int32_t kClampOffset = 512;
  std::array<uint8_t, 1280> clampTable;

  uint8_t clamp(int32_t value) const {
    return clampTable[static_cast<size_t>(value + kClampOffset)];
  }
};

const CoefficientTables& coefficientTables();

// Quarter-precision tables of the accelerated 24-bit conversions. Kept as
// arrays of components rather than packed bytes so the scalar code reads them
// directly; the vector code computes the same values arithmetically.
// luma: 64 + clamp(trunc(1.164 (y - 16) / 4), 0, 64)
// cbB, cbG, crG, crR: clamp(trunc(+-c (k - 128) / 4), -64, 64)
struct QuarterTables {
  std::array<int32_t, 256> luma;
  std::array<int32_t, 256> cbB;
  std::array<int32_t, 256> cbG;
  std::array<int32_t, 256> crG;
  std::array<int32_t, 256> crR;
};

const QuarterTables& quarterTables();

// One component of the quarter-precision rule: the biased luma entry plus the
// chroma entries, added as bytes, less the bias with saturation at 0, then
// doubled twice with saturation at 255.
inline uint8_t quarterComponent(int32_t lumaEntry, int32_t chromaSum) {
  int32_t sum = (lumaEntry + chromaSum) & 0xFF;
  sum = sum > 64 ? sum - 64 : 0;
  sum *= 4;
  return static_cast<uint8_t>(sum > 255 ? 255 : sum);
}

}  // namespace strevana::colour
