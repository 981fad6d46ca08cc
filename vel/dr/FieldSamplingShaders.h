#pragma once
// GLSL sources of the sampling pass: point i reads the field at its own
// position, bilinearly between the four nearest pixel centres, without its
// own kernel, and writes the first three channels to pixel (i mod s, i div s)
// of an s x s texture, which is then read back at once.
//
// The own kernel is taken out at each of the four centres before weighting,
// with the splatting shader's expression: what is left is the field of the
// other points alone, to the rounding of the additive blend, however coarse
// the grid. Interpolated, the own kernel would leave a residue of a few
// hundredths that the repulsion divides by the normaliser; on a sparse map,
// where that is small, the residue pushes every point away.

namespace vel {
namespace dr {

inline constexpr const char* interp_fields_vert = R"(#version 330 core
layout(location = 0) in vec2 position;

uniform sampler2D fields;
uniform vec2 minBounds;
uniform vec2 pixelSize;      // embedding units per field pixel
uniform float supportUnits;  // kernel half-size in embedding units
uniform vec2 fboSize;

flat out vec3 sampled;

vec3 ownKernel(vec2 centre) {
  vec2 d = minBounds + centre * pixelSize - position;
  if (abs(d.x) >= supportUnits || abs(d.y) >= supportUnits) return vec3(0.0);
  float q = 1.0 / (1.0 + dot(d, d));
  return vec3(q, d * (q * q));
}

void main() {
  ivec2 last = textureSize(fields, 0) - 1;
  vec2 u = (position - minBounds) / pixelSize - 0.5;
  // Within half a pixel of the border the two outermost centres extrapolate
  // (t outside 0..1): clamping there would read the field at the centre
  // instead of at the point and, on a small map whose padding is less than
  // half a pixel, push its outermost points outwards at every step.
  ivec2 base = clamp(ivec2(floor(u)), ivec2(0), max(last - 1, ivec2(0)));
  vec2 t = u - vec2(base);
  vec3 sum = vec3(0.0);
  for (int j = 0; j <= 1; ++j) {
    for (int i = 0; i <= 1; ++i) {
      ivec2 texel = min(base + ivec2(i, j), last);
      float w = (i == 1 ? t.x : 1.0 - t.x) * (j == 1 ? t.y : 1.0 - t.y);
      sum += w * (texelFetch(fields, texel, 0).xyz - ownKernel(vec2(texel) + 0.5));
    }
  }
  sampled = sum;
  int side = int(fboSize.x);
  vec2 pixel = vec2(float(gl_VertexID % side), float(gl_VertexID / side)) + 0.5;
  gl_Position = vec4(pixel / fboSize * 2.0 - 1.0, 0.0, 1.0);
}
)";

inline constexpr const char* interp_fields_frag = R"(#version 330 core
flat in vec3 sampled;
out vec4 value;

void main() {
  value = vec4(sampled, 1.0);
}
)";

}  // namespace dr
}  // namespace vel
