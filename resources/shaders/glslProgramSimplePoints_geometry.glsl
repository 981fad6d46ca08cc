#version 330 core
// A shown point into a square sprite of half-size visParams.x times its size
// weight (clip units); hidden points emit nothing.
layout(points) in;
layout(triangle_strip, max_vertices = 4) out;

flat in vec3 quadCenterScale[];
flat in float markerExpression[];
flat in vec3 imageColor[];
flat in int selectionState[];
flat in int activeState[];

uniform vec4 visParams;  // half-size, opacity, halo size, advanced mode

flat out vec2 quadCenter;
flat out float quadExpression;
flat out int isSelected;
flat out vec3 fragImageColor;
out vec2 quadCoords;

void main() {
    if (activeState[0] == 0) return;
    vec4 center = gl_in[0].gl_Position;
    float halfSize = visParams.x * quadCenterScale[0].z;
    const vec2 corners[4] = vec2[4](vec2(-1.0, -1.0), vec2(1.0, -1.0), vec2(-1.0, 1.0), vec2(1.0, 1.0));
    for (int i = 0; i < 4; ++i) {
        quadCenter = quadCenterScale[0].xy;
        quadExpression = markerExpression[0];
        isSelected = selectionState[0];
        fragImageColor = imageColor[0];
        quadCoords = corners[i];
        gl_Position = center + vec4(corners[i] * halfSize, 0.0, 0.0);
        EmitVertex();
    }
    EndPrimitive();
}
