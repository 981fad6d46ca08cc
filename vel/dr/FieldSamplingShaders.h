#pragma once
// GLSL sources of the sampling pass: point i reads the field texture at its
// own position and writes the first three channels to pixel
// (i mod s, i div s) of an s x s texture, which is then read back at once.

namespace vel {
namespace dr {

inline constexpr const char* interp_fields_vert = R"(#version 330 core
layout(location = 0) in vec2 position;

uniform sampler2D fields;  // linear filtering
uniform vec2 minBounds;
uniform vec2 invRange;
uniform vec2 fboSize;

flat out vec3 sampled;

void main() {
  sampled = textureLod(fields, (position - minBounds) * invRange, 0.0).xyz;
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
