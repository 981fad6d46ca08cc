#version 330 core
// Points with a level of 0 or more into squares of half-size sigma (clip units).
layout(points) in;
layout(triangle_strip, max_vertices = 4) out;

flat in float scaleIdx[];

uniform float sigma;

flat out float scale;
out vec2 quadCoords;

void main() {
    if (scaleIdx[0] < 0.0) return;
    vec4 center = gl_in[0].gl_Position;
    const vec2 corners[4] = vec2[4](vec2(-1.0, -1.0), vec2(1.0, -1.0), vec2(-1.0, 1.0), vec2(1.0, 1.0));
    for (int i = 0; i < 4; ++i) {
        scale = scaleIdx[0];
        quadCoords = corners[i];
        gl_Position = center + vec4(corners[i] * sigma, 0.0, 0.0);
        EmitVertex();
    }
    EndPrimitive();
}
