#pragma once
// GLSL sources of the field splatting pass: every point draws one quad of
// +- the kernel support around itself, textured with the precomputed kernel,
// and additive blending sums the kernels of all points in every pixel.

namespace vel {
namespace dr {

// Inputs: the unit quad corner, its kernel texture coordinate and, per
// instance, the point's embedding position.
inline constexpr const char* kRasterFieldVertexShader = R"(#version 330 core
layout(location = 0) in vec2 vertex;
layout(location = 1) in vec2 tex_coord;
layout(location = 2) in vec2 position;

uniform mat4 view_matrix;  // embedding bounds onto -1..1
uniform vec2 support;      // kernel half-size in normalised device units

out vec2 kernel_coord;

void main() {
  kernel_coord = tex_coord;
  vec4 centre = view_matrix * vec4(position, 0.0, 1.0);
  gl_Position = vec4(centre.xy + support * vertex, 0.0, 1.0);
}
)";

inline constexpr const char* kRasterFieldFragmentShader = R"(#version 330 core
uniform sampler2D tex;  // the kernel: (q, x q^2, y q^2, 0)

in vec2 kernel_coord;
out vec4 field;

void main() {
  field = texture(tex, kernel_coord);
}
)";

}  // namespace dr
}  // namespace vel
