#include "media/colour/yuv_tables.h"

#include <algorithm>

namespace strevana::colour {

namespace {

// trunc(numerator x value / denominator) in integers: exact, unlike the
// floating-point product near whole numbers.
int32_t scaled(int32_t numerator, int32_t value, int32_t denominator) {
  return numerator * value / denominator;  // C++ division truncates toward zero
}

CoefficientTables buildCoefficientTables() {
  CoefficientTables t{};
  for (int32_t k = 0; k < 256; ++k) {
    t.yTerm[k] = scaled(1164, k - 16, 1000);
    t.crR[k] = scaled(1793, k - 128, 1000);
    t.cbG[k] = scaled(213, k - 128, 1000);
    t.crG[k] = scaled(534, k - 128, 1000);
    t.cbB[k] = scaled(2115, k - 128, 1000);
  }
  for (size_t i = 0; i < t.clampTable.size(); ++i) {
    const int32_t value = static_cast<int32_t>(i) - CoefficientTables::kClampOffset;
    t.clampTable[i] = static_cast<uint8_t>(std::clamp(value, 0, 255));
  }
  return t;
}

QuarterTables buildQuarterTables() {
  QuarterTables t{};
  for (int32_t k = 0; k < 256; ++k) {
    t.luma[k] = 64 + std::clamp(scaled(1164, k - 16, 4000), 0, 64);
    t.cbB[k] = std::clamp(scaled(2115, k - 128, 4000), -64, 64);
    t.cbG[k] = std::clamp(scaled(-213, k - 128, 4000), -64, 64);
    t.crG[k] = std::clamp(scaled(-534, k - 128, 4000), -64, 64);
    t.crR[k] = std::clamp(scaled(1793, k - 128, 4000), -64, 64);
  }
  return t;
}

}  // namespace

const CoefficientTables& coefficientTables() {
  static const CoefficientTables tables = buildCoefficientTables();
  return tables;
}

const QuarterTables& quarterTables() {
  static const QuarterTables tables = buildQuarterTables();
  return tables;
}

}  // namespace strevana::colour
