#version 330 core
// The weighted Gaussian kernel, accumulated additively into the grid.
in vec3 texCoords;

uniform sampler2D gaussSampler;

out vec4 fragmentColor;

void main() {
    fragmentColor = vec4(texture(gaussSampler, texCoords.xy).r * texCoords.z);
}
