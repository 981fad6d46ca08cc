#pragma once
// GLSL sources of the field splatting pass: every point draws one quad a
// little larger than its kernel's support square, and each fragment whose
// pixel centre lies inside that square writes the Student-t kernel evaluated
// at the exact offset of the centre from the point. Additive blending sums
// the kernels of all points in every pixel.
//
// The sampling pass removes each point's own kernel from the field it reads
// by evaluating the same expression at the same pixel centres, so both
// shaders must compute the offset as minBounds + centre * pixelSize - point.

namespace vel {
namespace dr {

// Inputs: the unit quad corner and, per instance, the point's embedding
// position.
inline constexpr const char* kRasterFieldVertexShader = R"(#version 330 core
layout(location = 0) in vec2 vertex;
layout(location = 2) in vec2 position;

uniform mat4 view_matrix;  // embedding bounds onto -1..1
uniform vec2 support;      // kernel half-size in normalised device units

flat out vec2 point;

void main() {
  point = position;
  vec4 centre = view_matrix * vec4(position, 0.0, 1.0);
  // One per cent beyond the support: every pixel centre inside the support
  // square gets a fragment whatever the rasteriser's rounding; the fragment
  // shader cuts at the support itself. The corners are clamped to -2..2,
  // half a viewport beyond each edge: on a map that is thin along one axis
  // the support spans millions of viewports there, and rasterisers drop such
  // quads. The kernel depends on the pixel centre alone, so clamping changes
  // no value.
  gl_Position = vec4(clamp(centre.xy + 1.01 * support * vertex, -2.0, 2.0), 0.0, 1.0);
}
)";

inline constexpr const char* kRasterFieldFragmentShader = R"(#version 330 core
uniform vec2 minBounds;      // embedding position of the grid's lower-left corner
uniform vec2 pixelSize;      // embedding units per field pixel
uniform float supportUnits;  // kernel half-size in embedding units

flat in vec2 point;
out vec4 field;

void main() {
  vec2 d = minBounds + gl_FragCoord.xy * pixelSize - point;
  if (abs(d.x) >= supportUnits || abs(d.y) >= supportUnits) discard;
  float q = 1.0 / (1.0 + dot(d, d));
  field = vec4(q, d * (q * q), 0.0);
}
)";

}  // namespace dr
}  // namespace vel
