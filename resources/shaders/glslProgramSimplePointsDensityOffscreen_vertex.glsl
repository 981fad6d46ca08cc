#version 330 core
// Per-point weight of the density splat. Points of hidden samples, and with
// point scales those of negative level weight, are left out.
in vec4 position;
in int sampleIdBuffer;
in vec4 scaleBuffer;

uniform mat4 modelViewProjectionMatrix;
uniform isampler1D activeSampleSampler;
uniform vec4 advancedParams;  // x > -0.5: point scales active

flat out float densityScale;
flat out int activeState;

void main() {
    int samples = textureSize(activeSampleSampler, 0);
    bool known = sampleIdBuffer >= 0 && sampleIdBuffer < samples;
    activeState = known ? texelFetch(activeSampleSampler, sampleIdBuffer, 0).r : 1;
    bool scaled = advancedParams.x > -0.5;
    if (scaled && scaleBuffer.x < 0.0) activeState = 0;
    densityScale = scaled ? max(0.0, scaleBuffer.x) : 1.0;
    gl_Position = modelViewProjectionMatrix * vec4(position.xy, 0.0, 1.0);
}
