#version 330 core
// Geometry given in the normalised plot square: full-view quads, cluster
// centres and the rubber band. The plot position doubles as texture
// coordinate of the grid textures.
in vec4 position;

uniform mat4 modelViewProjectionMatrix;

out vec4 vertexPosition;

void main() {
    vertexPosition = position;
    gl_Position = modelViewProjectionMatrix * position;
}
