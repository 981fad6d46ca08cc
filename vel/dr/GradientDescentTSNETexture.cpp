#include "vel/dr/GradientDescentTSNETexture.h"

#include <cmath>
#include <cstdint>
#include <stdexcept>

#include "vel/dr/JointProbabilitySymmetrisation.h"
#include "vel/dr/RandomStartPositions.h"
#include "vel/utils/LogValue.h"

namespace vel {
namespace dr {

void GradientDescentTSNETexture::initialize(const sparse_scalar_matrix_type& P, data::Embedding<float>* embedding,
                                            TsneParameters params) {
    log("Initializing tSNE...");
    prepare(P, embedding, params, true);
}

void GradientDescentTSNETexture::initializeWithJointProbabilityDistribution(const sparse_scalar_matrix_type& P,
                                                                            data::Embedding<float>* embedding,
                                                                            TsneParameters params) {
    log("Initializing tSNE with a user-defined joint-probability distribution...");
    prepare(P, embedding, params, false);
}

void GradientDescentTSNETexture::prepare(const sparse_scalar_matrix_type& P, data::Embedding<float>* embedding,
                                         const TsneParameters& params, bool symmetrise) {
    // The raster step reads x and y of every point as one packed array, and the
    // symmetrisation indexes rows by column.
    if (params.embeddingDimensionality != 2)
        throw std::logic_error("GradientDescentTSNETexture: the embedding must be two-dimensional");
    const std::size_t n = P.size();
    for (const auto& row : P)
        for (const auto& entry : row)
            if (entry.first >= n)
                throw std::logic_error("GradientDescentTSNETexture: a column index is not below the number of rows");

    _params = params;
    _embedding = embedding;
    const unsigned int N = static_cast<unsigned int>(n);
    _embedding->resize(2, N, 0.f);

    _P.clear();
    _P.resize(N);
    utils::logValue(_logger, "Number of data points", N, true, 1);
    if (symmetrise) {
        log("Computing high-dimensional joint probability distribution...");
        symmetrizeSortedRows(P, _P);
    } else {
        _P = P;
    }

    if (!_params.presetEmbedding) {
        log("Initializing the embedding...");
        // The plain start always has the default spread (0.1, as the block's
        // float), so that a seed gives the CPU engine's default start.
        const float spread = symmetrise ? TsneParameters().initialSpread : _params.initialSpread;
        drawRandomStartPositions(*_embedding, _params.seed, static_cast<double>(spread));
    }

    _gpgpu_sne.initialize(_embedding, _params, _P);
    _iteration = 0;
    _initialized = true;
    log("Initialization complete!");
}

void GradientDescentTSNETexture::doAnIteration(double multiplier) {
    if (!_initialized) throw std::logic_error("Cannot compute a gradient descent iteration on unitialized data");
    if (_params.momentumSwitchIteration == static_cast<double>(_iteration)) log("Switch to final momentum...");
    if (_iteration == _params.removeExaggerationIteration) log("Remove exaggeration...");
    _gpgpu_sne.compute(_embedding, static_cast<float>(exaggerationFactor()), static_cast<float>(_iteration),
                       static_cast<float>(multiplier));
    ++_iteration;
}

double GradientDescentTSNETexture::exaggerationFactor() const {
    const double f = _params.exaggerationFactor;
    const double b = _exaggeration_baseline;
    const std::uint64_t r = _params.removeExaggerationIteration;
    const std::uint64_t d = _params.exaggerationDecayIterations;
    const std::uint64_t t = _iteration;
    double e = b;
    if (t <= r)
        e = f;
    else if (t <= r + d)
        e = b + (f - b) * (1.0 - static_cast<double>(t - r) / static_cast<double>(d));
    return static_cast<double>(static_cast<float>(e));
}

void GradientDescentTSNETexture::updateParams(TsneParameters params) {
    if (!_initialized)
        throw std::runtime_error("GradientDescentTSNETexture must be initialized before updating the tsne parameters");
    _gpgpu_sne.updateParams(params);
    _params = params;
}

double GradientDescentTSNETexture::computeKullbackLeiblerDivergence() const {
    if (_embedding == nullptr || _embedding->numDataPoints() == 0 || _P.empty()) return 0.0;
    const std::size_t N = _P.size();
    const std::vector<float>& y = _embedding->getContainer();
    // Per-row sums added in index order: the same value on any thread count.
    std::vector<double> rowZ(N, 0.0), rowP(N, 0.0);
#pragma omp parallel for schedule(static)
    for (long long li = 0; li < static_cast<long long>(N); ++li) {
        const std::size_t i = static_cast<std::size_t>(li);
        double z = 0;
        for (std::size_t j = 0; j < N; ++j) {
            if (j == i) continue;
            const double dx = y[2 * i] - y[2 * j], dy = y[2 * i + 1] - y[2 * j + 1];
            z += 1.0 / (1.0 + dx * dx + dy * dy);
        }
        rowZ[i] = z;
        double p = 0;
        for (const auto& entry : _P[i]) p += entry.second;
        rowP[i] = p;
    }
    double Z = 0, sumP = 0;
    for (std::size_t i = 0; i < N; ++i) {
        Z += rowZ[i];
        sumP += rowP[i];
    }
    if (!(Z > 0) || !(sumP > 0)) return 0.0;
    double kl = 0;
    for (std::size_t i = 0; i < N; ++i)
        for (const auto& entry : _P[i]) {
            if (entry.second <= 0) continue;
            const std::size_t j = entry.first;
            const double dx = y[2 * i] - y[2 * j], dy = y[2 * i + 1] - y[2 * j + 1];
            const double p = entry.second / sumP;
            const double q = 1.0 / (1.0 + dx * dx + dy * dy) / Z;
            kl += p * std::log(p / q);
        }
    return kl;
}

void GradientDescentTSNETexture::clear() {
    if (_embedding == nullptr) throw std::logic_error("GradientDescentTSNETexture: clear before initialize");
    _embedding->clear();
    _initialized = false;
}

void GradientDescentTSNETexture::releaseOpenGLObjects() {
    _gpgpu_sne.clean();
    _initialized = false;
}

}  // namespace dr
}  // namespace vel
