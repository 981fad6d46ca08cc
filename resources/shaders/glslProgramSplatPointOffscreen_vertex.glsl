#version 330 core
// The level of each point of a focus-and-context embedding.
in vec4 position;
in vec4 scaleBuffer;

uniform mat4 modelViewProjectionMatrix;

flat out float scaleIdx;

void main() {
    scaleIdx = scaleBuffer.x;
    gl_Position = modelViewProjectionMatrix * vec4(position.xy, 0.0, 1.0);
}
