#pragma once
// The OpenGL programs of GlVideoPlane, as source text: one fragment shader
// per family of buffer formats (B G R and B G R X; packed 4:2:2; planar
// 4:2:0), sharing the sampling and the colour equations.
//
// Every fragment works out the picture the raster renderer draws: it takes
// the destination pixel's centre in the display rectangle, finds the two
// source pixels on each axis and their 8-bit weights as BilinearScaler does,
// converts each of the four source pixels to RGB with the colour converters'
// equations (scaled luma, truncated coefficient terms, see yuy2_rows.h) and
// blends them, truncating as the raster path does. Textures are sampled at
// texel centres with nearest filtering, so the shader does the filtering.
//
// Written for GLSL 1.10 and GLSL ES 1.00 (no integer arithmetic; floats hold
// every value exactly up to pictures of a few thousand pixels).
#include <QByteArray>

namespace strevana {

enum class GlPictureKind { kRgb, kPacked422, kPlanar420 };

QByteArray glPictureVertexShader();
QByteArray glPictureFragmentShader(GlPictureKind kind);

}  // namespace strevana
