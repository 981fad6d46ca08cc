#pragma once
// t-SNE gradient descent on the GPU over a sparse joint-probability matrix,
// the counterpart of the CPU engine with the same calling pattern and the
// same start positions for the same seed: initialize(), then doAnIteration()
// as often as the caller likes. Two-dimensional embeddings only; each step is
// one GpgpuSneRaster step.
//
// OpenGL: initialize(), doAnIteration() and releaseOpenGLObjects() need the
// same context current; all OpenGL objects belong to it. initialize() frees
// the objects of an earlier run before it creates new ones. The destructor
// never touches OpenGL: an owner that keeps its context beyond the engine
// calls releaseOpenGLObjects() with the context current first; destroying the
// context frees them as well.

#include <vector>

#include "vel/data/Embedding.h"
#include "vel/data/MapMemEff.h"
#include "vel/dr/GpgpuSneRaster.h"
#include "vel/dr/TsneParameters.h"
#include "vel/utils/AbstractLog.h"

namespace vel {
namespace dr {

class GradientDescentTSNETexture {
public:
    using sparse_scalar_matrix_type = std::vector<data::MapMemEff<unsigned int, float>>;

    GradientDescentTSNETexture() = default;

    void setLogger(utils::AbstractLog* logger) { _logger = logger; }
    utils::AbstractLog* logger() const { return _logger; }

    // Symmetrises P, sizes the embedding to 2 x N (N = rows of P) and, unless
    // params.presetEmbedding is set, draws the start positions. Throws
    // std::logic_error for an embedding dimensionality other than 2 or a column
    // of P that is not below N, before anything changes.
    void initialize(const sparse_scalar_matrix_type& P, data::Embedding<float>* embedding, TsneParameters params);
    // As initialize, taking P unchanged as the finished joint matrix and
    // drawing the start positions with params.initialSpread.
    void initializeWithJointProbabilityDistribution(const sparse_scalar_matrix_type& P,
                                                    data::Embedding<float>* embedding, TsneParameters params);
    // Throws std::logic_error "Cannot compute a gradient descent iteration on
    // unitialized data" before initialize.
    void doAnIteration(double multiplier = 1.0);
    // The exaggeration of the current iteration, rounded to single precision.
    double exaggerationFactor() const;
    // Throws std::runtime_error before initialize.
    void updateParams(TsneParameters params);
    // KL(P || Q) of the current embedding, P normalised to sum 1 and Q the
    // Student-t similarities over all pairs; O(N^2). 0 for an empty embedding.
    double computeKullbackLeiblerDivergence() const;
    // Blocks iterations until the next initialize.
    void reset() { _initialized = false; }
    // Empties the caller's embedding; needs an earlier initialize.
    void clear();
    // Deletes the OpenGL objects of the run; the engine then needs initialize().
    void releaseOpenGLObjects();

    unsigned int iteration() const { return _iteration; }
    unsigned int getNumberOfDataPoints() const { return static_cast<unsigned int>(_P.size()); }
    const sparse_scalar_matrix_type& getDistributionP() const { return _P; }
    double& exaggeration_baseline() { return _exaggeration_baseline; }
    const double& exaggeration_baseline() const { return _exaggeration_baseline; }

private:
    void prepare(const sparse_scalar_matrix_type& P, data::Embedding<float>* embedding, const TsneParameters& params,
                 bool symmetrise);
    void log(const char* text) const {
        if (_logger) _logger->display(text, false);
    }

    sparse_scalar_matrix_type _P;
    data::Embedding<float>* _embedding = nullptr;
    bool _initialized = false;
    double _exaggeration_baseline = 1.0;
    GpgpuSneRaster _gpgpu_sne;
    TsneParameters _params;
    unsigned int _iteration = 0;
    utils::AbstractLog* _logger = nullptr;
};

}  // namespace dr
}  // namespace vel
