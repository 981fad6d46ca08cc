#version 330 core
// Central differences of the density over one grid texel, divided by the
// largest density; zero where the density is below the threshold.
in vec4 vertexPosition;

uniform sampler2D pdfSampler;
uniform vec4 renderParams;  // 1 / max density, threshold, texel width, texel height

out vec4 fragmentColor;

void main() {
    vec2 p = vertexPosition.xy;
    if (texture(pdfSampler, p).r < renderParams.y) {
        fragmentColor = vec4(0.0, 0.0, 0.0, 1.0);
        return;
    }
    vec2 dx = vec2(renderParams.z, 0.0);
    vec2 dy = vec2(0.0, renderParams.w);
    float gx = (texture(pdfSampler, p + dx).r - texture(pdfSampler, p - dx).r) * renderParams.x;
    float gy = (texture(pdfSampler, p + dy).r - texture(pdfSampler, p - dy).r) * renderParams.x;
    fragmentColor = vec4(gx, gy, 0.0, 1.0);
}
