#version 330 core
// A point into a square sprite of half-size visParams.x in clip units, with
// local coordinates from -1 to 1.
layout(points) in;
layout(triangle_strip, max_vertices = 4) out;

uniform vec4 visParams;  // half-size, r, g, b

out vec2 quadCoords;

void main() {
    vec4 center = gl_in[0].gl_Position;
    const vec2 corners[4] = vec2[4](vec2(-1.0, -1.0), vec2(1.0, -1.0), vec2(-1.0, 1.0), vec2(1.0, 1.0));
    for (int i = 0; i < 4; ++i) {
        quadCoords = corners[i];
        gl_Position = center + vec4(corners[i] * visParams.x, 0.0, 0.0);
        EmitVertex();
    }
    EndPrimitive();
}
