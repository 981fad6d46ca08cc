#version 330 core
// Per-point values of the point sprites: the value to colour by, the size
// weight, the image colour, the selection and whether the point's sample is
// shown.
in vec4 position;          // normalised x, y
in float markerBuffer;     // value of the active marker
in int selectionBuffer;    // > 0: selected
in vec4 scaleBuffer;       // x: level weight, y: size weight
in vec3 imageColorBuffer;  // r, g, b
in int sampleIdBuffer;     // sample file of the point

uniform mat4 modelViewProjectionMatrix;
uniform ivec4 dataParams;  // clusters, active marker, sample files, highlighted cluster
uniform vec4 markerRange;  // min, max, range, scale factor (<= -0.5: no point scales)
uniform isampler1D activeSampleSampler;

flat out vec3 quadCenterScale;  // normalised x, y; size weight
flat out float markerExpression;
flat out vec3 imageColor;
flat out int selectionState;
flat out int activeState;

void main() {
    // Samples beyond the table (files unknown when the table was made) are shown.
    int samples = textureSize(activeSampleSampler, 0);
    bool known = sampleIdBuffer >= 0 && sampleIdBuffer < samples;
    activeState = known ? texelFetch(activeSampleSampler, sampleIdBuffer, 0).r : 1;

    float expression = markerBuffer;
    if (dataParams.y < 0) expression = (float(sampleIdBuffer) + 0.5) / float(max(dataParams.z, 1));
    markerExpression = expression;

    float sizeWeight = 1.0;
    if (markerRange.w > -0.5 && scaleBuffer.y >= 0.0)
        sizeWeight = clamp(scaleBuffer.y * markerRange.w * 10.0, 1.0, 10.0);

    quadCenterScale = vec3(position.xy, sizeWeight);
    imageColor = imageColorBuffer;
    selectionState = selectionBuffer;
    gl_Position = modelViewProjectionMatrix * vec4(position.xy, 0.0, 1.0);
}
