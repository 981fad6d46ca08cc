#include "vel/dr/SparseTSNEUserDefProbabilities.h"

#include "vel/dr/SmallMapGrowth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <map>
#include <stdexcept>
#include <type_traits>
#include <unordered_map>
#include <utility>

#include "vel/data/MapMemEff.h"
#include "vel/dr/JointProbabilitySymmetrisation.h"
#include "vel/dr/LearningRate.h"
#include "vel/dr/RandomStartPositions.h"
#include "vel/dr/SPTree.h"
#include "vel/utils/Distances.h"
#include "vel/utils/LogValue.h"
#include "vel/utils/ReleaseFreedMemory.h"

namespace vel {
namespace dr {

namespace {

template <typename Row>
typename Row::mapped_type valueOrZero(const Row& row, unsigned int key) {
    const auto it = row.find(key);
    return it == row.end() ? typename Row::mapped_type(0) : it->second;
}

template <typename T>
int sign(T x) {
    return (T(0) < x) - (x < T(0));
}

template <typename Row>
struct IsSortedVectorRow : std::false_type {};
template <typename S>
struct IsSortedVectorRow<data::MapMemEff<unsigned int, S>> : std::true_type {};

}  // namespace

// ---------------------------------------------------------------- set-up

template <typename scalar_type, typename sparse_scalar_matrix_type>
void SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::checkInput(
    const sparse_scalar_matrix_type& P, const TsneParameters& params) const {
    // The start positions write coordinates 0 and 1 of every point.
    if (params.embeddingDimensionality < 2)
        throw std::logic_error("SparseTSNEUserDefProbabilities: the embedding needs at least 2 dimensions");
    const std::size_t n = P.size();
    bool outside = false;
#pragma omp parallel for schedule(static) reduction(|| : outside)
    for (long long li = 0; li < static_cast<long long>(n); ++li)
        for (const auto& entry : P[static_cast<std::size_t>(li)]) outside = outside || entry.first >= n;
    if (outside)
        throw std::logic_error("SparseTSNEUserDefProbabilities: a column index is not below the number of rows");
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::initialize(
    const sparse_scalar_matrix_type& P, embedding_type* embedding, TsneParameters params) {
    log("Initializing tSNE...");
    prepare(P, embedding, params, true);
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::initializeWithJointProbabilityDistribution(
    const sparse_scalar_matrix_type& P, embedding_type* embedding, TsneParameters params) {
    log("Initializing tSNE with a user-defined joint-probability distribution...");
    prepare(P, embedding, params, false);
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::prepare(const sparse_scalar_matrix_type& P,
                                                                                     embedding_type* embedding,
                                                                                     const TsneParameters& params,
                                                                                     bool symmetrise) {
    checkInput(P, params);
    _params = params;
    _embedding = embedding;
    _embedding_container = &embedding->getContainer();
    const unsigned int N = static_cast<unsigned int>(P.size());
    const unsigned int D = static_cast<unsigned int>(params.embeddingDimensionality);
    _embedding->resize(D, N, scalar_type(0));

    _P.clear();
    _P.resize(N);
    const std::size_t coordinates = static_cast<std::size_t>(N) * D;
    // Gains and previous updates of an earlier run of the same size carry over.
    _gradient.resize(coordinates, scalar_type(0));
    _previous_gradient.resize(coordinates, scalar_type(0));
    _gain.resize(coordinates, scalar_type(1));

    utils::logValue(_logger, "Number of data points", N, true, 1);
    if (symmetrise) {
        log("Computing high-dimensional joint probability distribution...");
        computeHighDimensionalDistribution(P);
    } else {
        _P = P;
    }
    // The symmetrisation's working memory and whatever the caller freed before.
    utils::releaseFreedMemory();
    initializeEmbeddingPosition(_params.seed, _params.initialSpread);
    _iteration = 0;
    _initialized = true;
    log("Initialization complete!");
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::computeHighDimensionalDistribution(
    const sparse_scalar_matrix_type& P) {
    using row_type = typename sparse_scalar_matrix_type::value_type;
    using value_type = typename row_type::mapped_type;
    const std::size_t n = P.size();
    if constexpr (IsSortedVectorRow<row_type>::value) {
        symmetrizeSortedRows(P, _P);
    } else {
        for (std::size_t i = 0; i < n; ++i)
            for (const auto& entry : P[i]) {
                const unsigned int j = entry.first;
                const value_type v = (entry.second + valueOrZero(P[j], static_cast<unsigned int>(i))) * value_type(0.5);
                _P[i][j] = v;
                _P[j][static_cast<unsigned int>(i)] = v;
            }
    }
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::initializeEmbeddingPosition(
    int seed, double spread) {
    log("Initializing the embedding...");
    drawRandomStartPositions(*_embedding, seed, spread);
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::clear() {
    if (_embedding == nullptr) throw std::logic_error("SparseTSNEUserDefProbabilities: clear before initialize");
    _embedding->clear();
    _initialized = false;
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::getEmbeddingPosition(
    scalar_vector_type& position, unsigned int index) const {
    if (!_initialized) throw std::logic_error("Algorithm must be initialized before ");
    const unsigned int D = _embedding->numDimensions();
    if (index >= _embedding->numDataPoints())
        throw std::logic_error("SparseTSNEUserDefProbabilities: point index out of range");
    position.assign(_embedding_container->begin() + static_cast<std::ptrdiff_t>(index) * D,
                    _embedding_container->begin() + static_cast<std::ptrdiff_t>(index + 1) * D);
}

// ---------------------------------------------------------------- iterations

template <typename scalar_type, typename sparse_scalar_matrix_type>
double SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::exaggerationFactor() const {
    const double f = _params.exaggerationFactor;
    const double b = _exaggeration_baseline;
    const std::uint64_t r = _params.removeExaggerationIteration;
    const std::uint64_t d = _params.exaggerationDecayIterations;
    const std::uint64_t t = _iteration;
    if (t <= r) return f;
    if (t <= r + d) return b + (f - b) * (1.0 - static_cast<double>(t - r) / static_cast<double>(d));
    return b;
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::doAnIteration(double multiplier) {
    if (!_initialized) throw std::logic_error("Cannot compute a gradient descent iteration on unitialized data");
    if (_params.momentumSwitchIteration == static_cast<double>(_iteration)) log("Switch to final momentum...");
    if (_iteration == _params.removeExaggerationIteration) log("Remove exaggeration...");
    if (exactSumPays())
        doAnIterationExactSum(multiplier, _theta == scalar_type(0) ? 4.0 : 1.0);
    else if (_theta == scalar_type(0))
        doAnIterationExact(multiplier);
    else
        doAnIterationBarnesHut(multiplier);
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::doAnIterationExact(double multiplier) {
    computeLowDimensionalDistribution();
    computeExactGradient(exaggerationFactor());
    updateTheEmbedding(multiplier);
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::computeLowDimensionalDistribution() {
    const std::size_t N = _P.size();
    const std::size_t D = _embedding->numDimensions();
    _Q.resize(N * N);
    const scalar_type* y = _embedding_container->data();
#pragma omp parallel for schedule(static)
    for (long long li = 0; li < static_cast<long long>(N); ++li) {
        const std::size_t i = static_cast<std::size_t>(li);
        _Q[i * N + i] = scalar_type(0);
        for (std::size_t j = i + 1; j < N; ++j) {
            const scalar_type distance =
                utils::euclideanDistanceSquared<scalar_type>(y + i * D, y + i * D + D, y + j * D, y + j * D + D);
            const scalar_type q = static_cast<scalar_type>(1.0 / (1.0 + static_cast<double>(distance)));
            _Q[i * N + j] = q;
            _Q[j * N + i] = q;
        }
    }
    double sum = 0;
    for (const scalar_type q : _Q) sum += static_cast<double>(q);
    _normalization_Q = static_cast<scalar_type>(sum);
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::computeExactGradient(double exaggeration) {
    const std::size_t N = _P.size();
    const std::size_t D = _embedding->numDimensions();
    const scalar_type* y = _embedding_container->data();
    const scalar_type e = static_cast<scalar_type>(exaggeration);
    const scalar_type Z = _normalization_Q;
    const scalar_type n = static_cast<scalar_type>(N);
    std::fill(_gradient.begin(), _gradient.end(), scalar_type(0));
#pragma omp parallel for schedule(static)
    for (long long li = 0; li < static_cast<long long>(N); ++li) {
        const std::size_t i = static_cast<std::size_t>(li);
        scalar_type* g = _gradient.data() + i * D;
        const scalar_type* yi = y + i * D;
        // A single point has no pair and no normaliser: no repulsion.
        if (Z > scalar_type(0)) {
            for (std::size_t j = 0; j < N; ++j) {
                const scalar_type q = _Q[i * N + j];
                const scalar_type qq = q * q / Z;
                const scalar_type* yj = y + j * D;
                for (std::size_t d = 0; d < D; ++d)
                    g[d] = static_cast<scalar_type>(static_cast<double>(g[d]) + -4.0 * static_cast<double>(qq) *
                                                                                    static_cast<double>(yi[d] - yj[d]));
            }
        }
        for (const auto& entry : _P[i]) {
            const std::size_t j = entry.first;
            const scalar_type pn = static_cast<scalar_type>(entry.second) / n;
            const scalar_type q = _Q[i * N + j];
            const scalar_type* yj = y + j * D;
            for (std::size_t d = 0; d < D; ++d)
                g[d] = static_cast<scalar_type>(static_cast<double>(g[d]) +
                                                4.0 * static_cast<double>(e) * static_cast<double>(pn) *
                                                    static_cast<double>(q) * static_cast<double>(yi[d] - yj[d]));
        }
    }
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::barnesHutForcesOfSPTree(
    double exaggeration) {
    const std::size_t N = _P.size();
    const std::size_t D = _embedding->numDimensions();
    scalar_type* y = _embedding_container->data();
    const SPTree<scalar_type> tree(static_cast<unsigned int>(D), y, static_cast<unsigned int>(N));
    _query_order.resize(N);
    std::size_t listed = tree.getAllIndices(_query_order.data());
    std::vector<unsigned char> seen(N, 0);
    for (std::size_t k = 0; k < listed; ++k) seen[_query_order[k]] = 1;
    for (std::size_t i = 0; i < N; ++i)
        if (!seen[i]) _query_order[listed++] = static_cast<unsigned int>(i);
    const double theta = static_cast<double>(_theta);
#pragma omp parallel for schedule(static)
    for (long long li = 0; li < static_cast<long long>(N); ++li) {
        const std::size_t i = static_cast<std::size_t>(li);
        const scalar_type* yi = y + i * D;
        double* a = _attractive.data() + i * D;
        std::vector<double> delta(D);
        for (const auto& entry : _P[i]) {
            const scalar_type* yj = y + static_cast<std::size_t>(entry.first) * D;
            double w = 1.0;
            for (std::size_t d = 0; d < D; ++d) {
                delta[d] = static_cast<double>(static_cast<scalar_type>(yi[d] - yj[d]));
                w += delta[d] * delta[d];
            }
            const double c = static_cast<double>(entry.second) * exaggeration / w / static_cast<double>(N);
            for (std::size_t d = 0; d < D; ++d) a[d] += delta[d] * c;
        }
    }
#pragma omp parallel for schedule(static)
    for (long long k = 0; k < static_cast<long long>(N); ++k) {
        const unsigned int i = _query_order[static_cast<std::size_t>(k)];
        tree.computeNonEdgeForcesOMP(i, theta, _repulsive.data() + static_cast<std::size_t>(i) * D,
                                     _partial_normalisers[i]);
    }
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::updateTheEmbedding(double multiplier) {
    const double exaggeration = exaggerationFactor();
    const double momentum =
        _params.momentumSwitchIteration > static_cast<double>(_iteration) ? _params.momentum : _params.finalMomentum;
    const double minimumGain = _params.minimumGain;
    const double learningRate = stableLearningRate(_params.learningRate, _P.size());
    scalar_type* y = _embedding_container->data();
    const long long count = static_cast<long long>(_gradient.size());
#pragma omp parallel for schedule(static) if (static_cast <std::size_t>(count) >= kParallelCoordinates)
    for (long long k = 0; k < count; ++k) {
        const scalar_type g = _gradient[k];
        const scalar_type u = _previous_gradient[k];
        scalar_type gain = _gain[k];
        gain = sign(g) != sign(u) ? static_cast<scalar_type>(static_cast<double>(gain) + 0.2)
                                  : static_cast<scalar_type>(static_cast<double>(gain) * 0.8);
        if (minimumGain > static_cast<double>(gain)) gain = static_cast<scalar_type>(minimumGain);
        _gain[k] = gain;
        const scalar_type step = static_cast<scalar_type>(
            momentum * static_cast<double>(u) - learningRate * static_cast<double>(gain) * static_cast<double>(g));
        _previous_gradient[k] = step;
        y[k] += static_cast<scalar_type>(static_cast<double>(step) * multiplier);
    }
    if (static_cast<scalar_type>(exaggeration) > 1.2)
        growIfSmallerThan(*_embedding, scalar_type(0.1));
    else
        _embedding->zeroCentered();
    ++_iteration;
}

#include "vel/dr/SparseTSNEUserDefProbabilitiesInstances.inc"

}  // namespace dr
}  // namespace vel
