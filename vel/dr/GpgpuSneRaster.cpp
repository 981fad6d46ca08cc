#include "vel/dr/GpgpuSneRaster.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <stdexcept>

#include "vel/dr/ErrorMessageException.h"
#include "vel/dr/FieldSamplingShaders.h"
#include "vel/dr/LearningRate.h"
#include "vel/dr/SmallMapGrowth.h"

namespace vel {
namespace dr {

namespace {

// Non-zero entries of P from which the attractive forces run in parallel.
constexpr std::size_t kParallelEntries = 1u << 20;

int sign(double x) { return (0.0 < x) - (x < 0.0); }

// The smallest s with s * s >= n.
unsigned int sampleSide(unsigned int n) {
    unsigned int s = static_cast<unsigned int>(std::ceil(std::sqrt(static_cast<double>(n))));
    while (static_cast<unsigned long long>(s) * s < n) ++s;
    while (s > 0 && static_cast<unsigned long long>(s - 1) * (s - 1) >= n) --s;
    return s;
}

}  // namespace

void GpgpuSneRaster::initialize(const data::Embedding<float>* embedding, TsneParameters params,
                                sparse_scalar_matrix_type& P) {
    if (embedding->numDimensions() != 2 || embedding->numDataPoints() != P.size())
        throw std::logic_error("GpgpuSneRaster: needs a two-dimensional embedding with one point per row of P");
    // Re-initialisation reuses the context: free what the last run created.
    clean();
    _params = params;
    _P = P;
    const unsigned int N = embedding->numDataPoints();
    const std::size_t coordinates = static_cast<std::size_t>(N) * 2;
    // Every run starts afresh: no momentum or gain carries over from the last.
    _gradient.assign(coordinates, 0.0);
    _previous_update.assign(coordinates, 0.0);
    _gains.assign(coordinates, 1.0);
    _sampled_fields.assign(static_cast<std::size_t>(N) * 4, 0.f);
    _function_support = 6.5f;

    GLint maxTexture = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
    _max_texture_size = static_cast<unsigned int>(std::max(maxTexture, 1));

    glClearColor(0.f, 0.f, 0.f, 0.f);

    glGenVertexArrays(1, &_point_vertex_array);
    glBindVertexArray(_point_vertex_array);
    glGenBuffers(1, &_position_buffer);
    glBindBuffer(GL_ARRAY_BUFFER, _position_buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(coordinates * sizeof(float)), nullptr, GL_DYNAMIC_DRAW);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(0);
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);

    _field_computation.init(_position_buffer, _function_support);

    try {
        _interpolation_program.create();
        _interpolation_program.addShader(VERTEX_SHADER, interp_fields_vert);
        _interpolation_program.addShader(FRAGMENT_SHADER, interp_fields_frag);
        _interpolation_program.build();
        _interpolation_program.bind();
        _interpolation_program.uniform1i("fields", 0);
        _interpolation_program.release();
    } catch (const ShaderLoadingException& e) {
        std::cout << e.what() << std::endl;
    }

    glGenTextures(1, &_sample_texture);
    glBindTexture(GL_TEXTURE_2D, _sample_texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
    glGenFramebuffers(1, &_sample_framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, _sample_framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, _sample_texture, 0);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);

    _initialized = true;
}

void GpgpuSneRaster::clean() {
    _field_computation.clean();
    _interpolation_program.destroy();
    if (_position_buffer != 0) glDeleteBuffers(1, &_position_buffer);
    if (_point_vertex_array != 0) glDeleteVertexArrays(1, &_point_vertex_array);
    if (_sample_texture != 0) glDeleteTextures(1, &_sample_texture);
    if (_sample_framebuffer != 0) glDeleteFramebuffers(1, &_sample_framebuffer);
    _position_buffer = _point_vertex_array = _sample_texture = _sample_framebuffer = 0;
    _initialized = false;
}

void GpgpuSneRaster::updateParams(TsneParameters params) {
    if (!_initialized)
        throw std::runtime_error("GradientDescentComputation must be initialized before updating the tsne parameters");
    _params = params;
}

void GpgpuSneRaster::fieldGridSize(float rx, float ry, bool adaptive, unsigned int& width, unsigned int& height) {
    if (adaptive) {
        width = std::max(kMinimumFieldSize, static_cast<unsigned int>(rx * kPixelsPerUnit));
        height = std::max(kMinimumFieldSize, static_cast<unsigned int>(ry * kPixelsPerUnit));
    } else {
        height = kFixedFieldHeight;
        // A grid without columns would leave the field framebuffer incomplete.
        width = std::max(1u, static_cast<unsigned int>(static_cast<float>(kFixedFieldHeight) * rx / ry));
    }
}

void GpgpuSneRaster::boundFieldGrid(unsigned int numPoints, unsigned int& width, unsigned int& height) {
    const double pixels = static_cast<double>(width) * height;
    const double most = std::clamp(64.0 * numPoints, 256.0 * 256.0, 2048.0 * 2048.0);
    if (pixels > most) {
        const double shrink = std::sqrt(most / pixels);
        width = static_cast<unsigned int>(static_cast<double>(width) * shrink);
        height = static_cast<unsigned int>(static_cast<double>(height) * shrink);
    }
    width = std::min(std::max(width, kMinimumFieldSize), kMostFieldSide);
    height = std::min(std::max(height, kMinimumFieldSize), kMostFieldSide);
}

void GpgpuSneRaster::compute(data::Embedding<float>* embedding, float exaggeration, float iteration, float multiplier) {
    if (!_initialized) throw std::logic_error("GpgpuSneRaster: compute before initialize");
    const unsigned int N = embedding->numDataPoints();
    if (embedding->numDimensions() != 2 || N != _P.size())
        throw std::logic_error("GpgpuSneRaster: the embedding does not match the initialised one");
    if (N == 0) return;

    glBindBuffer(GL_ARRAY_BUFFER, _position_buffer);
    glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(static_cast<std::size_t>(N) * 2 * sizeof(float)),
                    embedding->getContainer().data());
    glBindBuffer(GL_ARRAY_BUFFER, 0);

    computeBounds(*embedding);
    const float rx = _bounds[2] - _bounds[0];
    const float ry = _bounds[3] - _bounds[1];
    unsigned int width = 0, height = 0;
    fieldGridSize(rx, ry, _adaptive_resolution, width, height);
    boundFieldGrid(N, width, height);
    width = std::min(width, _max_texture_size);
    height = std::min(height, _max_texture_size);

    _field_computation.compute(width, height, _function_support, N, _bounds[0], _bounds[2], _bounds[1], _bounds[3]);
    interpolateFields(N, width, height);
    computeGradients(*embedding, static_cast<double>(exaggeration));
    updateEmbedding(embedding, exaggeration, iteration, multiplier);
}

void GpgpuSneRaster::computeBounds(const data::Embedding<float>& embedding) {
    const std::vector<float>& y = embedding.getContainer();
    float minX = std::numeric_limits<float>::max(), minY = minX;
    float maxX = -std::numeric_limits<float>::max(), maxY = maxX;
    for (std::size_t i = 0; i < y.size(); i += 2) {
        minX = std::min(minX, y[i]);
        maxX = std::max(maxX, y[i]);
        minY = std::min(minY, y[i + 1]);
        maxY = std::max(maxY, y[i + 1]);
    }
    const auto widen = [](float& lo, float& hi) {
        const float range = hi - lo;
        lo -= 0.05f * range;
        hi += 0.05f * range;
        // Points that all share this coordinate span no range: the field's
        // projection would divide by zero. Give the axis one unit.
        if (!(hi - lo > 0.f)) {
            lo -= 0.5f;
            hi += 0.5f;
        }
    };
    widen(minX, maxX);
    widen(minY, maxY);
    _bounds = {minX, minY, maxX, maxY};
}

void GpgpuSneRaster::interpolateFields(unsigned int numPoints, unsigned int fieldWidth, unsigned int fieldHeight) {
    const unsigned int side = sampleSide(numPoints);
    glBindTexture(GL_TEXTURE_2D, _sample_texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, static_cast<GLsizei>(side), static_cast<GLsizei>(side), 0, GL_RGBA,
                 GL_FLOAT, nullptr);
    glBindFramebuffer(GL_FRAMEBUFFER, _sample_framebuffer);
    glClear(GL_COLOR_BUFFER_BIT);
    glViewport(0, 0, static_cast<GLsizei>(side), static_cast<GLsizei>(side));

    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, _field_computation.fieldTexture());
    _interpolation_program.bind();
    _interpolation_program.uniform2f("minBounds", _bounds[0], _bounds[1]);
    _interpolation_program.uniform2f("pixelSize", (_bounds[2] - _bounds[0]) / static_cast<float>(fieldWidth),
                                     (_bounds[3] - _bounds[1]) / static_cast<float>(fieldHeight));
    _interpolation_program.uniform1f("supportUnits", _function_support);
    _interpolation_program.uniform2f("fboSize", static_cast<float>(side), static_cast<float>(side));

    glBindVertexArray(_point_vertex_array);
    glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(numPoints));
    glBindVertexArray(0);

    _readback.resize(static_cast<std::size_t>(side) * side * 4);
    glReadPixels(0, 0, static_cast<GLsizei>(side), static_cast<GLsizei>(side), GL_RGBA, GL_FLOAT, _readback.data());
    std::copy(_readback.begin(), _readback.begin() + static_cast<std::ptrdiff_t>(numPoints) * 4,
              _sampled_fields.begin());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void GpgpuSneRaster::computeGradients(const data::Embedding<float>& embedding, double exaggeration) {
    const std::size_t N = _P.size();
    const float* y = embedding.getContainer().data();
    const float* f = _sampled_fields.data();
    // The sampled fields hold the other points' kernels alone, so Z is the
    // sum over the pairs inside the kernel's support, as the field sees them
    // (a sample can fall a rounding below 0).
    float Z = 0.f;
    for (std::size_t i = 0; i < N; ++i) Z += std::max(f[4 * i], 0.f);
    // Without any other point there is nothing to normalise the repulsion
    // with: the attractive forces alone move the points.
    const bool repulsion = Z > 0.f;
    const double n = static_cast<double>(N);
    // A team pays off only for large matrices; woken for small ones, its
    // threads keep spinning afterwards and slow a software OpenGL renderer
    // that shares the cores. Rows are independent: any team size gives the
    // same numbers.
    std::size_t entries = 0;
    for (const auto& row : _P) entries += row.size();
#pragma omp parallel for schedule(static) if (entries > kParallelEntries)
    for (long long li = 0; li < static_cast<long long>(N); ++li) {
        const std::size_t i = static_cast<std::size_t>(li);
        double ax = 0, ay = 0;
        for (const auto& entry : _P[i]) {
            const std::size_t j = entry.first;
            const double dx = static_cast<double>(y[2 * i] - y[2 * j]);
            const double dy = static_cast<double>(y[2 * i + 1] - y[2 * j + 1]);
            const double c = static_cast<double>(entry.second) / (1.0 + dx * dx + dy * dy) / n;
            ax += c * dx;
            ay += c * dy;
        }
        double gx = exaggeration * ax, gy = exaggeration * ay;
        if (repulsion) {
            gx -= static_cast<double>(f[4 * i + 1] / Z);
            gy -= static_cast<double>(f[4 * i + 2] / Z);
        }
        _gradient[2 * i] = 4.0 * gx;
        _gradient[2 * i + 1] = 4.0 * gy;
    }
}

void GpgpuSneRaster::updateEmbedding(data::Embedding<float>* embedding, float exaggeration, float iteration,
                                     float multiplier) {
    const double momentum =
        static_cast<double>(iteration) >= _params.momentumSwitchIteration ? _params.finalMomentum : _params.momentum;
    const double learningRate = stableLearningRate(_params.learningRate, _P.size());
    std::vector<float>& y = embedding->getContainer();
    for (std::size_t k = 0; k < _gradient.size(); ++k) {
        const double g = _gradient[k];
        double gain = sign(g) != sign(_previous_update[k]) ? _gains[k] + 0.2 : _gains[k] * 0.8;
        gain = static_cast<double>(static_cast<float>(gain));
        if (gain < _params.minimumGain) gain = _params.minimumGain;
        _gains[k] = gain;
        const double update =
            static_cast<double>(static_cast<float>(momentum * _previous_update[k] - learningRate * gain * g));
        _previous_update[k] = update;
        y[k] += static_cast<float>(update * static_cast<double>(multiplier));
    }
    if (exaggeration > 1.2f)
        growIfSmallerThan(*embedding, 0.1f);
    else
        embedding->zeroCentered();
}

}  // namespace dr
}  // namespace vel
