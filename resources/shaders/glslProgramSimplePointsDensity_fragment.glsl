#version 330 core
// The density landscape: the density normalised to its maximum through the
// 1D colormap, in 11 levels with darker contour lines when discrete. Texels
// below the visibility threshold stay transparent. Diagnostic colours (only
// in discrete mode): 1 mean-shift end points, 2 inverted density,
// 3 density gradient.
in vec4 vertexPosition;

uniform sampler1D colormapSampler;
uniform sampler2D pdfSampler;
uniform sampler2D msSampler;
uniform vec4 renderParams;    // 1 / max density, discrete (> 0), threshold, 1 / view side
uniform vec4 advancedParams;  // w: advanced mode

out vec4 fragmentColor;

float level(float v) {
    return min(floor(v * 11.0), 10.0);
}

void main() {
    vec2 p = vertexPosition.xy;
    float d = texture(pdfSampler, p).r * renderParams.x;
    float alpha = d < renderParams.z ? 0.0 : 1.0;
    bool discrete = renderParams.y > 0.0;

    float t = d;
    bool contour = false;
    float right = 0.0, left = 0.0, top = 0.0, bottom = 0.0;
    if (discrete) {
        // Half a screen pixel, also in prints, so contours keep their thickness.
        float h = 0.5 * renderParams.w;
        right = texture(pdfSampler, p + vec2(h, 0.0)).r;
        left = texture(pdfSampler, p - vec2(h, 0.0)).r;
        top = texture(pdfSampler, p + vec2(0.0, h)).r;
        bottom = texture(pdfSampler, p - vec2(0.0, h)).r;
        float lr = level(right * renderParams.x);
        contour = lr != level(left * renderParams.x) || lr != level(top * renderParams.x) ||
                  lr != level(bottom * renderParams.x);
        t = clamp(level(d) / 10.0, 0.0, 1.0);
    }

    vec3 colour = texture(colormapSampler, t).rgb;
    if (discrete) {
        if (advancedParams.w > 2.5) {
            colour = vec3(1.0 - abs(top - bottom) * renderParams.x * 50.0,
                          1.0 - abs(right - left) * renderParams.x * 50.0, 1.0);
        } else if (advancedParams.w > 1.5) {
            colour = vec3(1.0 - d);
        } else if (advancedParams.w > 0.5) {
            vec2 e = texture(msSampler, p).xy;
            const vec3 blue = vec3(0.0, 0.0, 1.0), white = vec3(1.0), red = vec3(1.0, 0.0, 0.0),
                       green = vec3(0.0, 1.0, 0.0);
            colour = e == vec2(0.0) ? white : mix(mix(blue, white, e.x), mix(red, green, e.x), e.y);
        }
    }
    if (contour) {
        colour *= 0.75;
        alpha = 1.0;
    }
    fragmentColor = vec4(colour, alpha);
}
