#version 330 core
// Colour of a point sprite: an inner disc coloured by the marker through the
// 1D colormap (or by sample, image colour or the 2D colormap), and an outer
// ring that shows the selection halo. In diagnostic mode, with clusters, the
// whole sprite takes the hue of its density cluster.
in vec2 quadCoords;
flat in vec2 quadCenter;
flat in vec3 fragImageColor;
flat in float quadExpression;
flat in int isSelected;

uniform sampler1D colormapSampler;
uniform sampler2D colormap2DSampler;
uniform isampler2D clusterIdSampler;
uniform vec4 markerRange;     // min, max, range, scale factor
uniform vec4 visParams;       // half-size, opacity, halo size, advanced mode (-1 normal)
uniform vec4 colormapParams;  // x > 0: discrete (11 levels)
uniform ivec4 dataParams;     // clusters, active marker, sample files, highlighted cluster

out vec4 fragmentColor;

const vec3 haloColor = vec3(0.235, 0.588, 0.98);

void main() {
    float r = length(quadCoords);
    float alpha = 1.0 - smoothstep(0.98, 1.0, r);
    if (alpha <= 0.0) discard;
    bool inner = r < 1.0 - visParams.z;

    // Cluster hue only once clusters exist (a hue over zero clusters is undefined).
    if (visParams.w > -0.5 && dataParams.x > 0) {
        int id = texture(clusterIdSampler, quadCenter).r;
        float h = float(id) / float(dataParams.x);
        vec3 k = vec3(abs(6.0 * h - 3.0) - 1.0, 2.0 - abs(6.0 * h - 2.0), 2.0 - abs(6.0 * h - 4.0));
        vec3 hue = (clamp(k, 0.0, 1.0) + 1.0) / 2.0;
        fragmentColor = vec4(hue, inner ? visParams.y * alpha : 0.75 * alpha);
        return;
    }

    if (!inner) {
        if (isSelected <= 0) discard;
        fragmentColor = vec4(haloColor, 0.75 * alpha);
        return;
    }

    vec3 colour;
    float marker = float(dataParams.y);
    if (marker < -2.5) {
        colour = texture(colormap2DSampler, (vec2(quadCenter.x, 1.0 - quadCenter.y) - 0.1) * 1.25).rgb;
    } else if (marker < -1.5) {
        colour = fragImageColor;
    } else {
        // A marker without spread sits at the low end of the map.
        float t = markerRange.z > 0.0 ? clamp((quadExpression - markerRange.x) / markerRange.z, 0.0, 1.0) : 0.0;
        // Sample colours are looked up by file, never in levels.
        if (colormapParams.x > 0.0 && dataParams.y >= 0) t = clamp(min(floor(t * 11.0), 10.0) / 10.0, 0.0, 1.0);
        colour = texture(colormapSampler, t).rgb;
    }
    fragmentColor = vec4(colour, visParams.y * alpha);
}
