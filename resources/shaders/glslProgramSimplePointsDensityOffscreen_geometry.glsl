#version 330 core
// A point into a square of half-size sigma (clip units) carrying the kernel's
// texture coordinates (0 to 1) and the point's weight.
layout(points) in;
layout(triangle_strip, max_vertices = 4) out;

flat in float densityScale[];
flat in int activeState[];

uniform float sigma;

out vec3 texCoords;  // kernel coordinates, weight

void main() {
    if (activeState[0] == 0) return;
    vec4 center = gl_in[0].gl_Position;
    const vec2 corners[4] = vec2[4](vec2(-1.0, -1.0), vec2(1.0, -1.0), vec2(-1.0, 1.0), vec2(1.0, 1.0));
    for (int i = 0; i < 4; ++i) {
        texCoords = vec3((corners[i] + 1.0) * 0.5, densityScale[0]);
        gl_Position = center + vec4(corners[i] * sigma, 0.0, 0.0);
        EmitVertex();
    }
    EndPrimitive();
}
