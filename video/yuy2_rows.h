#pragma once
// Packed YUV 4:2:2 (YUY2: Y0 U Y1 V) rows to 32-bit B G R 0xff pixels, with
// the colour converters' equations (scaled luma, the shared coefficient
// tables of media/colour): R = clamp(yTerm[y] + crR[v]),
// G = clamp(yTerm[y] - cbG[u] - crG[v]), B = clamp(yTerm[y] + cbB[u]).
// Both pixels of a pair take the pair's chroma. With an odd width the last
// pixel has a U sample but no V; it is converted with V neutral (128).
//
// The OpenGL renderer's shader computes the same equations, so a picture
// looks alike on both paths. No state; callable from any thread.
#include <cstdint>

namespace strevana {

void yuy2RowToBgrx(const uint8_t* src, uint8_t* dst, int32_t pixels);

}  // namespace strevana
