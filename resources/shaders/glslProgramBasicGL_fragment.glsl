#version 330 core
// One flat colour.
uniform vec4 color;

out vec4 fragmentColor;

void main() {
    fragmentColor = color;
}
