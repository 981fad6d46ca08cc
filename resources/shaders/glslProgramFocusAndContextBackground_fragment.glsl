#version 330 core
// Background of a focus-and-context embedding: the level field in grey, or,
// while recording, only the borders between levels in dark grey.
in vec4 vertexPosition;

uniform sampler2D backgroundSampler;
uniform vec4 renderParams;  // unused, max level, recording (> 0.5), 1 / grid side

out vec4 fragmentColor;

void main() {
    vec2 p = vertexPosition.xy;
    float maxLevel = renderParams.y;
    float alpha = maxLevel < 1.5 ? 2.0 * maxLevel : 0.1;
    if (renderParams.z < 0.5) {
        fragmentColor = vec4(vec3(texture(backgroundSampler, p).g / maxLevel), alpha);
        return;
    }
    float h = 0.5 * renderParams.w;
    float right = texture(backgroundSampler, p + vec2(h, 0.0)).g;
    bool border = right != texture(backgroundSampler, p - vec2(h, 0.0)).g ||
                  right != texture(backgroundSampler, p + vec2(0.0, h)).g ||
                  right != texture(backgroundSampler, p - vec2(0.0, h)).g;
    fragmentColor = border ? vec4(0.1, 0.1, 0.1, 1.0) : vec4(0.0);
}
