#include "video/yuy2_rows.h"

#include "media/colour/yuv_tables.h"

namespace strevana {

namespace {

inline void storePixel(const colour::CoefficientTables& t, uint8_t* out, int32_t luma, int32_t r,
                       int32_t g, int32_t b) {
  out[0] = t.clamp(luma + b);
  out[1] = t.clamp(luma - g);
  out[2] = t.clamp(luma + r);
  out[3] = 0xff;
}

}  // namespace

void yuy2RowToBgrx(const uint8_t* src, uint8_t* dst, int32_t pixels) {
  const colour::CoefficientTables& t = colour::coefficientTables();
  int32_t x = 0;
  for (; x + 1 < pixels; x += 2) {
    const uint8_t* s = src + 2 * x;
    const uint8_t u = s[1], v = s[3];
    const int32_t r = t.crR[v], g = t.cbG[u] + t.crG[v], b = t.cbB[u];
    storePixel(t, dst + 4 * x, t.yTerm[s[0]], r, g, b);
    storePixel(t, dst + 4 * x + 4, t.yTerm[s[2]], r, g, b);
  }
  if (x < pixels) {
    const uint8_t* s = src + 2 * x;
    const uint8_t u = s[1];
    storePixel(t, dst + 4 * x, t.yTerm[s[0]], t.crR[128], t.cbG[u] + t.crG[128], t.cbB[u]);
  }
}

}  // namespace strevana
