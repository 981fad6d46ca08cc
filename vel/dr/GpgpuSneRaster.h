#pragma once
// One t-SNE gradient-descent step of a two-dimensional embedding with the
// repulsive forces taken from rasterised fields: upload the positions, fit
// the field grid to the padded bounds, render the fields, sample them at
// every point on the GPU, read the samples back, add the attractive forces of
// the sparse joint probabilities on the CPU and apply the gain-and-momentum
// update.
//
// Everything runs inside a current OpenGL 3.3 (or later core) context, the
// one current at initialize(). The destructor does not touch OpenGL: the owner
// calls clean() while that context is current, or destroys the context.

#include <array>
#include <vector>

#include "vel/data/Embedding.h"
#include "vel/data/MapMemEff.h"
#include "vel/dr/RasterFieldComputation.h"
#include "vel/dr/ShaderProgram.h"
#include "vel/dr/TsneParameters.h"

namespace vel {
namespace dr {

class GpgpuSneRaster {
public:
    using sparse_scalar_matrix_type = std::vector<data::MapMemEff<unsigned int, float>>;

    GpgpuSneRaster() = default;

    // Keeps the parameters and a copy of P (rows of a two-dimensional embedding
    // of the same number of points) and creates the OpenGL objects; those of an
    // earlier initialize() are freed first.
    void initialize(const data::Embedding<float>* embedding, TsneParameters params, sparse_scalar_matrix_type& P);
    // One step; the embedding's coordinates change in place. Throws
    // std::logic_error before initialize() or after clean().
    void compute(data::Embedding<float>* embedding, float exaggeration, float iteration, float multiplier);
    // Deletes every OpenGL object of this step; initialize() is needed again.
    void clean();
    // Throws std::runtime_error before initialize().
    void updateParams(TsneParameters params);
    bool isInitialized() const { return _initialized; }

    // Width and height of the field grid for the padded ranges rx and ry.
    static void fieldGridSize(float rx, float ry, bool adaptive, unsigned int& width, unsigned int& height);
    // Shrinks a grid to at most 64 pixels a point (at least 256 x 256, at
    // most 2048 x 2048) and kMostFieldSide pixels a side, keeping its aspect
    // (each side at least five): a map that spreads far gets a coarser field,
    // not a larger one, so that no step costs more than a few normal ones.
    static void boundFieldGrid(unsigned int numPoints, unsigned int& width, unsigned int& height);

    // State of the last step. A point's sampled field is that of the other
    // points, its own kernel taken out.
    const std::vector<double>& gradient() const { return _gradient; }
    const std::vector<float>& sampledFields() const { return _sampled_fields; }
    // Padded bounds: minimum x, minimum y, maximum x, maximum y.
    const std::array<float, 4>& bounds() const { return _bounds; }
    unsigned int fieldTexture() const { return _field_computation.fieldTexture(); }
    unsigned int sampleTexture() const { return _sample_texture; }

private:
    void computeBounds(const data::Embedding<float>& embedding);
    void interpolateFields(unsigned int numPoints, unsigned int fieldWidth, unsigned int fieldHeight);
    void computeGradients(const data::Embedding<float>& embedding, double exaggeration);
    void updateEmbedding(data::Embedding<float>* embedding, float exaggeration, float iteration, float multiplier);

    static constexpr unsigned int kFixedFieldHeight = 40;  // grid height when not adaptive
    static constexpr unsigned int kMinimumFieldSize = 5;   // smallest adaptive grid side
    static constexpr float kPixelsPerUnit = 2.0f;          // adaptive grid resolution
    static constexpr unsigned int kMostFieldSide = 4096;   // longest side of a bounded grid

    bool _initialized = false;
    bool _adaptive_resolution = true;
    unsigned int _sample_framebuffer = 0;
    unsigned int _sample_texture = 0;
    ShaderProgram _interpolation_program;
    unsigned int _point_vertex_array = 0;
    unsigned int _position_buffer = 0;
    std::vector<double> _gradient;
    std::vector<double> _previous_update;
    std::vector<double> _gains;
    std::vector<float> _sampled_fields;
    std::vector<float> _readback;
    sparse_scalar_matrix_type _P;
    RasterFieldComputation _field_computation;
    std::array<float, 4> _bounds = {0.f, 0.f, 0.f, 0.f};
    TsneParameters _params;
    float _function_support = 6.5f;
    unsigned int _max_texture_size = 0;
};

}  // namespace dr
}  // namespace vel
