#version 330 core
// The point's level in the second channel, inside the unit disc; later points
// overwrite earlier ones (no blending).
flat in float scale;
in vec2 quadCoords;

out vec4 fragmentColor;

void main() {
    if (length(quadCoords) > 1.0) discard;
    fragmentColor = vec4(0.0, scale, 0.0, 0.0);
}
