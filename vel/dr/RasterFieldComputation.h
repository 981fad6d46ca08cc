#pragma once
// The repulsive fields of the GPU t-SNE step. Every point splats the
// Student-t kernel into an RGBA float texture with additive blending, so the
// pixel whose centre is at embedding position p holds
//   (sum_j q(p - y_j), sum_j (p - y_j)_x q^2, sum_j (p - y_j)_y q^2, 0),
// q = 1 / (1 + |p - y_j|^2), over the points whose support square covers p.
// The kernel is evaluated in each fragment at the pixel centre's exact
// offset, so the field is exact at the centres, to float rounding, on any
// grid; the sampling pass relies on that to take each point's own kernel out
// (FieldSamplingShaders.h).
//
// All operations need the OpenGL context that was current at init(). The
// destructor does not touch OpenGL; the owner calls clean() while that
// context is current (destroying the context frees the objects as well).

#include <vector>

#include "vel/dr/ShaderProgram.h"

namespace vel {
namespace dr {

class RasterFieldComputation {
public:
    RasterFieldComputation() = default;

    // Sets additive blending, builds the splatting program and creates the
    // field texture, its framebuffer and the instanced quad reading point
    // positions from `positionBuffer` (two floats per point). The support
    // (embedding units) is compute()'s. Objects of an earlier init() are freed
    // first.
    void init(unsigned int positionBuffer, float support);
    // Renders the field of `numPoints` points onto a width x height grid that
    // covers the given bounds. Leaves the field framebuffer bound.
    void compute(unsigned int width, unsigned int height, float support, unsigned int numPoints, float xMin, float xMax,
                 float yMin, float yMax);
    // Deletes every OpenGL object created by init(). Safe to repeat.
    void clean();
    // A (2 radius + 1)^2 texel table of the kernel (four floats per texel,
    // rows of texels), radius in texels: texel (i, j) holds the splatted value
    // at offset ((i - r) / r, (j - r) / r) x support.
    void generateTSNEKernel(float radius, std::vector<float>& out, float support) const;

    unsigned int fieldTexture() const { return _field_texture; }
    unsigned int framebuffer() const { return _framebuffer; }

private:
    ShaderProgram _program;
    unsigned int _field_texture = 0;
    unsigned int _framebuffer = 0;
    unsigned int _vertex_array = 0;
    unsigned int _quad_buffer = 0;
    float _view_matrix[16] = {};
};

}  // namespace dr
}  // namespace vel
