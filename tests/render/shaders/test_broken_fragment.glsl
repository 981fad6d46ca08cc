#version 330 core
out vec4 fragmentColor;
void main() { fragmentColor = colourThatDoesNotExist; }
