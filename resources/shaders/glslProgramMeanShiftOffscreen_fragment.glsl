#version 330 core
// A walker from every texel with a gradient climbs the density in steps of
// renderParams.x texels along the normalised gradient, for at most kMaxSteps
// steps; the output is where it ends (x, y, 1, 1), or zero for a texel
// without gradient.
//
// Near a maximum the fixed step makes the walker circle in a short cycle.
// Once a position repeats (within a ten-thousandth of a texel) the cycle is
// known, and the position the full walk would end on is taken from it, so
// the result matches the bounded walk without running it out. A walker that
// drifts inside half a texel for kStillSteps steps without closing a cycle
// has settled as well and stops where it is. Where the gradient is exactly
// zero the direction is undefined and the walker stays.
in vec4 vertexPosition;

uniform sampler2D gradientSampler;
uniform vec4 renderParams;  // step in texels, unused, texel width, texel height

out vec4 fragmentColor;

const int kMaxSteps = 10000;
const int kHistory = 16;  // ring of recent positions, a power of two
const int kLongestCycle = 8;
const int kStillSteps = 64;

void main() {
    vec2 p = vertexPosition.xy;
    if (texture(gradientSampler, p).xy == vec2(0.0)) {
        fragmentColor = vec4(0.0);
        return;
    }
    vec2 texel = renderParams.zw;
    vec2 stepSize = renderParams.x * texel;
    vec2 tolerance = 0.0001 * texel;

    vec2 history[kHistory];
    vec2 pos = p;
    vec2 anchor = p;
    int still = 0;
    for (int s = 0; s < kMaxSteps; ++s) {
        vec2 g = texture(gradientSampler, pos).xy;
        if (g == vec2(0.0)) break;
        pos += normalize(g) * stepSize;
        history[s % kHistory] = pos;

        bool closed = false;
        for (int j = 1; j <= kLongestCycle && j <= s; ++j) {
            if (all(lessThan(abs(pos - history[(s - j) % kHistory]), tolerance))) {
                // Period j from step s - j on: the last step lands r steps into it.
                int r = (kMaxSteps - 1 - s) % j;
                if (r > 0) pos = history[(s - j + r) % kHistory];
                closed = true;
                break;
            }
        }
        if (closed) break;

        if (any(greaterThan(abs(pos - anchor), 0.5 * texel))) {
            anchor = pos;
            still = 0;
        } else if (++still >= kStillSteps) {
            break;
        }
    }
    fragmentColor = vec4(pos, 1.0, 1.0);
}
