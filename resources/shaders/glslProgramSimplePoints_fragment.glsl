#version 330 core
// A disc of colour visParams.yzw with a soft rim.
in vec2 quadCoords;

uniform vec4 visParams;  // half-size, r, g, b

out vec4 fragmentColor;

void main() {
    float alpha = 1.0 - smoothstep(0.98, 1.0, length(quadCoords));
    if (alpha <= 0.0) discard;
    fragmentColor = vec4(visParams.yzw, alpha);
}
