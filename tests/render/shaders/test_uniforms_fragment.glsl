#version 330 core
// One uniform of every kind the wrapper sets, all used so that none is dropped.
uniform int i1; uniform ivec2 i2; uniform ivec3 i3; uniform ivec4 i4;
uniform float f1; uniform vec2 f2; uniform vec3 f3; uniform vec4 f4;
uniform mat4 m4;
out vec4 fragmentColor;
void main() {
    float ints = float(i1 + i2.x + i2.y + i3.x + i3.y + i3.z + i4.x + i4.y + i4.z + i4.w);
    fragmentColor = m4 * (f4 + vec4(f3, f1) + vec4(f2, ints, 0.0));
}
