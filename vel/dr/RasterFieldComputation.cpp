#include "vel/dr/RasterFieldComputation.h"

#include <epoxy/gl.h>

#include <cmath>
#include <cstdint>
#include <iostream>

#include "vel/dr/ErrorMessageException.h"
#include "vel/dr/RasterFieldShaders.h"

namespace vel {
namespace dr {

namespace {

// Texel (i, j) of a kernel of the given radius: offset x = (i - r) / r * s,
// y = (j - r) / r * s in embedding units; value (q, x q^2, y q^2, 0).
void kernelTexels(int radius, float support, std::vector<float>& out) {
    if (radius < 1) {  // only the centre texel; the formula would divide by 0
        out = {1.f, 0.f, 0.f, 0.f};
        return;
    }
    const int size = 2 * radius + 1;
    out.assign(static_cast<std::size_t>(size) * size * 4, 0.f);
    for (int j = 0; j < size; ++j)
        for (int i = 0; i < size; ++i) {
            const double x = static_cast<double>(i - radius) / radius * support;
            const double y = static_cast<double>(j - radius) / radius * support;
            const double q = 1.0 / (1.0 + x * x + y * y);
            float* texel = &out[(static_cast<std::size_t>(j) * size + i) * 4];
            texel[0] = static_cast<float>(q);
            texel[1] = static_cast<float>(x * q * q);
            texel[2] = static_cast<float>(y * q * q);
            texel[3] = 0.f;
        }
}

}  // namespace

void RasterFieldComputation::init(unsigned int positionBuffer, float /*support*/) {
    clean();
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);

    try {
        _program.create();
        _program.addShader(VERTEX_SHADER, kRasterFieldVertexShader);
        _program.addShader(FRAGMENT_SHADER, kRasterFieldFragmentShader);
        _program.build();
    } catch (const ShaderLoadingException& e) {
        std::cout << e.what() << std::endl;
    }

    glGenTextures(1, &_field_texture);
    glBindTexture(GL_TEXTURE_2D, _field_texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);

    glGenFramebuffers(1, &_framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, _framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, _field_texture, 0);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);

    // Unit quad as a triangle strip.
    static const float quad[8] = {-1.f, -1.f, 1.f, -1.f, -1.f, 1.f, 1.f, 1.f};
    glGenVertexArrays(1, &_vertex_array);
    glBindVertexArray(_vertex_array);
    glGenBuffers(1, &_quad_buffer);
    glBindBuffer(GL_ARRAY_BUFFER, _quad_buffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof(quad), quad, GL_STATIC_DRAW);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 2 * sizeof(float), nullptr);
    glEnableVertexAttribArray(0);
    // One instance per point.
    glBindBuffer(GL_ARRAY_BUFFER, positionBuffer);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(2);
    glVertexAttribDivisor(2, 1);
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void RasterFieldComputation::compute(unsigned int width, unsigned int height, float support, unsigned int numPoints,
                                     float xMin, float xMax, float yMin, float yMax) {
    glBindTexture(GL_TEXTURE_2D, _field_texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0, GL_RGBA,
                 GL_FLOAT, nullptr);
    glBindFramebuffer(GL_FRAMEBUFFER, _framebuffer);
    glClear(GL_COLOR_BUFFER_BIT);
    glViewport(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height));

    _program.bind();
    const float rx = xMax - xMin;
    const float ry = yMax - yMin;
    _program.uniform2f("support", 2.f * support / rx, 2.f * support / ry);
    _program.uniform2f("minBounds", xMin, yMin);
    _program.uniform2f("pixelSize", rx / static_cast<float>(width), ry / static_cast<float>(height));
    _program.uniform1f("supportUnits", support);
    for (float& v : _view_matrix) v = 0.f;
    _view_matrix[0] = 2.f / rx;
    _view_matrix[5] = 2.f / ry;
    _view_matrix[10] = 1.f;
    _view_matrix[12] = -(xMin + xMax) / rx;
    _view_matrix[13] = -(yMin + yMax) / ry;
    _view_matrix[15] = 1.f;
    _program.uniformMatrix4f("view_matrix", _view_matrix);

    glBindVertexArray(_vertex_array);
    glDrawArraysInstanced(GL_TRIANGLE_STRIP, 0, 4, static_cast<GLsizei>(numPoints));
    glBindVertexArray(0);
}

void RasterFieldComputation::clean() {
    _program.destroy();
    if (_field_texture != 0) glDeleteTextures(1, &_field_texture);
    if (_framebuffer != 0) glDeleteFramebuffers(1, &_framebuffer);
    if (_vertex_array != 0) glDeleteVertexArrays(1, &_vertex_array);
    if (_quad_buffer != 0) glDeleteBuffers(1, &_quad_buffer);
    _field_texture = _framebuffer = _vertex_array = _quad_buffer = 0;
}

void RasterFieldComputation::generateTSNEKernel(float radius, std::vector<float>& out, float support) const {
    kernelTexels(static_cast<int>(radius), support, out);
}

}  // namespace dr
}  // namespace vel
