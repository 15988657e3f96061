#include "platform/opengl/gl_picture_shader.h"

namespace strevana {

namespace {

// The attribute covers the viewport with two triangles.
constexpr char kVertex[] = R"(
attribute vec2 position;
void main() { gl_Position = vec4(position, 0.0, 1.0); }
)";

constexpr char kCommon[] = R"(
#ifdef GL_ES
precision highp float;
#endif
uniform sampler2D plane0;
uniform sampler2D plane1;
uniform sampler2D plane2;
uniform vec2 sourceSize;
uniform vec2 chromaSize;
uniform vec2 displaySize;
uniform vec2 offset;       // this viewport's top-left inside the display rectangle
uniform float viewHeight;  // viewport height in window pixels
uniform float pixelRatio;

vec4 texel(sampler2D s, vec2 size, vec2 p) { return texture2D(s, (p + 0.5) / size); }
float toByte(float v) { return floor(v * 255.0 + 0.5); }
float truncated(float x) { return sign(x) * floor(abs(x)); }

vec3 yuvToRgb(float y, float u, float v) {
  float l = truncated(1.164 * (y - 16.0));
  float r = l + truncated(1.793 * (v - 128.0));
  float g = l - (truncated(0.213 * (u - 128.0)) + truncated(0.534 * (v - 128.0)));
  float b = l + truncated(2.115 * (u - 128.0));
  return clamp(vec3(r, g, b), 0.0, 255.0);
}

vec3 sourcePixel(vec2 p);

// Source index and weight (of the next pixel, in 256ths) for destination
// index d of dest pixels over source ones, sampled at pixel centres.
vec2 tap(float d, float source, float dest) {
  float num = (2.0 * d + 1.0) * source - dest;
  if (num <= 0.0) return vec2(0.0, 0.0);
  float den = 2.0 * dest;
  float index = floor(num / den);
  if ((index + 1.0) * den <= num) index += 1.0;
  if (index * den > num) index -= 1.0;
  if (index >= source - 1.0) return vec2(source - 1.0, 0.0);
  return vec2(index, floor((num - index * den) * 256.0 / den));
}

vec3 blend(vec3 a, vec3 b, float w) { return floor((a * (256.0 - w) + b * w) / 256.0); }

void main() {
  vec2 frag = floor(gl_FragCoord.xy / pixelRatio);
  vec2 d = vec2(frag.x, viewHeight - 1.0 - frag.y) + offset;
  vec2 tx = tap(d.x, sourceSize.x, displaySize.x);
  vec2 ty = tap(d.y, sourceSize.y, displaySize.y);
  vec3 p00 = sourcePixel(vec2(tx.x, ty.x));
  vec3 p10 = tx.y > 0.0 ? sourcePixel(vec2(tx.x + 1.0, ty.x)) : p00;
  vec3 top = blend(p00, p10, tx.y);
  vec3 rgb = top;
  if (ty.y > 0.0) {
    vec3 p01 = sourcePixel(vec2(tx.x, ty.x + 1.0));
    vec3 p11 = tx.y > 0.0 ? sourcePixel(vec2(tx.x + 1.0, ty.x + 1.0)) : p01;
    rgb = blend(top, blend(p01, p11, tx.y), ty.y);
  }
  gl_FragColor = vec4(rgb / 255.0, 1.0);
}
)";

// Bytes B G R (X) uploaded as RGB(A): red is in the third channel.
constexpr char kRgb[] = R"(
vec3 sourcePixel(vec2 p) { return floor(texel(plane0, sourceSize, p).bgr * 255.0 + 0.5); }
)";

// Y0 U Y1 V uploaded as luminance-alpha pairs: luma in .r, U or V in .a.
// An odd last pixel has no V and takes it neutral.
constexpr char kPacked422[] = R"(
vec3 sourcePixel(vec2 p) {
  vec4 t = texel(plane0, sourceSize, p);
  float u;
  float v;
  if (mod(p.x, 2.0) < 0.5) {
    u = toByte(t.a);
    v = p.x + 1.0 < sourceSize.x ? toByte(texel(plane0, sourceSize, p + vec2(1.0, 0.0)).a) : 128.0;
  } else {
    u = toByte(texel(plane0, sourceSize, p - vec2(1.0, 0.0)).a);
    v = toByte(t.a);
  }
  return yuvToRgb(toByte(t.r), u, v);
}
)";

// Luma, U and V planes as luminance textures; one chroma pair per 2 x 2.
constexpr char kPlanar420[] = R"(
vec3 sourcePixel(vec2 p) {
  vec2 c = min(floor(p / 2.0), chromaSize - 1.0);
  return yuvToRgb(toByte(texel(plane0, sourceSize, p).r), toByte(texel(plane1, chromaSize, c).r),
                  toByte(texel(plane2, chromaSize, c).r));
}
)";

}  // namespace

QByteArray glPictureVertexShader() { return QByteArray(kVertex); }

QByteArray glPictureFragmentShader(GlPictureKind kind) {
  QByteArray text(kCommon);
  switch (kind) {
    case GlPictureKind::kRgb: text += kRgb; break;
    case GlPictureKind::kPacked422: text += kPacked422; break;
    case GlPictureKind::kPlanar420: text += kPlanar420; break;
  }
  return text;
}

}  // namespace strevana
