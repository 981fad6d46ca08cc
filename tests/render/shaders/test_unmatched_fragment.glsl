#version 330 core
// The vertex stage's matrix with another type: each stage compiles, the program cannot link.
uniform vec4 modelViewProjectionMatrix;
out vec4 fragmentColor;
void main() { fragmentColor = modelViewProjectionMatrix; }
