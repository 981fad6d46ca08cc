// The iterations of the CPU t-SNE engine that run as one parallel stretch
// each: the forces over the Barnes-Hut tree or the exact sum of all pairs, and
// the update of the embedding.
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <type_traits>
#include <unordered_map>

#include "vel/data/MapMemEff.h"
#include "vel/dr/LearningRate.h"
#include "vel/dr/SmallMapGrowth.h"
#include "vel/dr/SparseTSNEUserDefProbabilities.h"

namespace vel {
namespace dr {

namespace {

template <typename T>
int sign(T x) {
    return (T(0) < x) - (x < T(0));
}

// Nanoseconds of one thread per pair of the exact sum, per point and node of
// the Barnes-Hut queries, and the least work that pays for one more thread.
constexpr double kPairNanoseconds = 0.25;
constexpr double kThreadNanoseconds = 250000.0;
constexpr double kCoordinateNanoseconds = 5.0;
constexpr double kTreePointNanoseconds = 1000.0;

// Whether the exact sum of all pairs costs less than the Barnes-Hut tree at
// this size and theta. Measured on one thread over 2-D embeddings of 1,000 to
// 20,000 points: the sum takes 0.24 ns per pair, a query of the tree about
// 0.3 us x theta^-1.2 x log2(N) / 12 per point.
bool exactSumBeatsTheTree(std::size_t N, double theta) {
    if (theta <= 0.0) return true;
    const double n = static_cast<double>(N);
    return n * 0.25e-3 < 0.3 * std::pow(theta, -1.2) * std::log2(std::max(n, 2.0)) / 12.0;
}

}  // namespace

template <typename scalar_type, typename sparse_scalar_matrix_type>
template <unsigned int D>
void SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::attractiveForces(std::size_t i,
                                                                                              double exaggeration) {
    // Two entries at a time in the two lanes of a vector, with one division
    // each: the divisions, not the loads, bound this loop. Each lane sums
    // every other entry of the row; the lanes are added at the end, so the
    // result depends on the row alone.
    typedef double Pair __attribute__((vector_size(16)));
    const scalar_type* y = _embedding_container->data();
    const double scale = exaggeration / static_cast<double>(_P.size());
    const scalar_type* yi = y + i * D;
    double* a = _attractive.data() + i * D;
    // Rows of any kind: walked with their iterators, two entries a step.
    const auto& row = _P[i];
    Pair sum[D] = {};
    auto it = row.begin();
    const auto end = row.end();
    while (it != end) {
        const auto first = it++;
        if (it == end) {
            it = first;
            break;
        }
        const auto second = it++;
        const scalar_type* y0 = y + static_cast<std::size_t>(first->first) * D;
        const scalar_type* y1 = y + static_cast<std::size_t>(second->first) * D;
        Pair delta[D];
        Pair w = {1.0, 1.0};
        for (unsigned int d = 0; d < D; ++d) {
            delta[d] = Pair{static_cast<double>(static_cast<scalar_type>(yi[d] - y0[d])),
                            static_cast<double>(static_cast<scalar_type>(yi[d] - y1[d]))};
            w += delta[d] * delta[d];
        }
        const Pair p = {static_cast<double>(first->second), static_cast<double>(second->second)};
        const Pair c = p * scale / w;
        for (unsigned int d = 0; d < D; ++d) sum[d] += delta[d] * c;
    }
    double total[D];
    for (unsigned int d = 0; d < D; ++d) total[d] = sum[d][0] + sum[d][1];
    if (it != end) {
        const scalar_type* yj = y + static_cast<std::size_t>(it->first) * D;
        double delta[D];
        double w = 1.0;
        for (unsigned int d = 0; d < D; ++d) {
            delta[d] = static_cast<double>(static_cast<scalar_type>(yi[d] - yj[d]));
            w += delta[d] * delta[d];
        }
        const double c = static_cast<double>(it->second) * scale / w;
        for (unsigned int d = 0; d < D; ++d) total[d] += delta[d] * c;
    }
    for (unsigned int d = 0; d < D; ++d) a[d] = total[d];
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
template <unsigned int D>
void SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::barnesHutForces(
    BarnesHutTree<scalar_type, D>& tree, double exaggeration) {
    const std::size_t N = _P.size();
    const scalar_type* y = _embedding_container->data();
    // One thread builds the tree's last part while the others start on the
    // attractive forces, which do not need it; the loop's barrier completes
    // the tree. Each row's forces are its own, so who takes which changes no
    // number.
    tree.build(y, static_cast<unsigned int>(N), false);
#pragma omp for schedule(dynamic, 256)
    for (long long li = 0; li < static_cast<long long>(N); ++li)
        attractiveForces<D>(static_cast<std::size_t>(li), exaggeration);
    // The repulsive queries run in the tree's depth-first order: neighbouring
    // queries walk the same nodes, which keeps them in cache. Each point's
    // result is its own, so the order changes no number.
    const std::vector<unsigned int>& order = tree.queryOrder();
    const double theta = static_cast<double>(_theta);
#pragma omp for schedule(dynamic, 256)
    for (long long k = 0; k < static_cast<long long>(N); ++k) {
        const unsigned int i = order[static_cast<std::size_t>(k)];
        double* force = _repulsive.data() + static_cast<std::size_t>(i) * D;
        for (unsigned int d = 0; d < D; ++d) force[d] = 0.0;
        _partial_normalisers[i] = 0.0;
        tree.repulsion(y + static_cast<std::size_t>(i) * D, i, theta, force, _partial_normalisers[i]);
    }
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
int SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::threadsFor(double work) {
    const int most = omp_in_parallel() ? 1 : omp_get_max_threads();
    const double wanted = std::floor(work / kThreadNanoseconds);
    return wanted < 1.0 ? 1 : wanted >= static_cast<double>(most) ? most : static_cast<int>(wanted);
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
typename SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::Step
SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::stepSettings(double multiplier) {
    Step step;
    step.momentum =
        _params.momentumSwitchIteration > static_cast<double>(_iteration) ? _params.momentum : _params.finalMomentum;
    step.learningRate = stableLearningRate(_params.learningRate, _P.size());
    step.minimumGain = _params.minimumGain;
    step.multiplier = multiplier;
    step.grow = static_cast<scalar_type>(exaggerationFactor()) > 1.2;
    step.scale = 1.0;
    // The runs' boxes, sized here: finishStep runs inside the team.
    const std::size_t N = _P.size(), D = _embedding->numDimensions();
    _run_boxes.resize((N + kSumRun - 1) / kSumRun * 2 * D);
    return step;
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::finishStep(const Step& step) {
    const std::size_t N = _P.size();
    const std::size_t D = _embedding->numDimensions();
    const std::size_t runs = (N + kSumRun - 1) / kSumRun;
    scalar_type* y = _embedding_container->data();
    // The normaliser in double over fixed runs of points, the runs added in
    // order, by every thread alike: cheaper than another wait for the team.
    double sum = 0.0;
    for (std::size_t r = 0; r < runs; ++r) {
        const std::size_t end = std::min(N, (r + 1) * kSumRun);
        double run = 0.0;
        for (std::size_t i = r * kSumRun; i < end; ++i) run += _partial_normalisers[i];
        sum += run;
    }
    const scalar_type Z = static_cast<scalar_type>(sum);
    const bool repulsion = Z > scalar_type(0);
    const double z = static_cast<double>(Z);

    // Gradient, gains and update per coordinate, and each run's box.
#pragma omp for schedule(static)
    for (long long r = 0; r < static_cast<long long>(runs); ++r) {
        scalar_type* box = _run_boxes.data() + static_cast<std::size_t>(r) * 2 * D;
        for (std::size_t d = 0; d < D; ++d) {
            box[2 * d] = std::numeric_limits<scalar_type>::max();
            box[2 * d + 1] = -std::numeric_limits<scalar_type>::max();
        }
        const std::size_t end = std::min(N, static_cast<std::size_t>(r + 1) * kSumRun);
        for (std::size_t i = static_cast<std::size_t>(r) * kSumRun; i < end; ++i)
            for (std::size_t d = 0; d < D; ++d) {
                const std::size_t k = i * D + d;
                const scalar_type g = static_cast<scalar_type>(
                    step.scale * (repulsion ? _attractive[k] - _repulsive[k] / z : _attractive[k]));
                _gradient[k] = g;
                const scalar_type u = _previous_gradient[k];
                scalar_type gain = _gain[k];
                gain = sign(g) != sign(u) ? static_cast<scalar_type>(static_cast<double>(gain) + 0.2)
                                          : static_cast<scalar_type>(static_cast<double>(gain) * 0.8);
                if (step.minimumGain > static_cast<double>(gain)) gain = static_cast<scalar_type>(step.minimumGain);
                _gain[k] = gain;
                const scalar_type change =
                    static_cast<scalar_type>(step.momentum * static_cast<double>(u) -
                                             step.learningRate * static_cast<double>(gain) * static_cast<double>(g));
                _previous_gradient[k] = change;
                y[k] += static_cast<scalar_type>(static_cast<double>(change) * step.multiplier);
                const scalar_type v = y[k];
                if (v < box[2 * d]) box[2 * d] = v;
                if (v > box[2 * d + 1]) box[2 * d + 1] = v;
            }
    }

    // The box joined in run order (each bound the first of its value, as one
    // serial scan finds it), then growIfSmallerThan(0.1) while exaggerating
    // and zeroCentered() after, to the same bits.
    std::vector<scalar_type> joined(2 * D);
    scalar_type* bounds = joined.data();
    scalar_type* highs = joined.data() + D;
    for (std::size_t d = 0; d < D; ++d) {
        bounds[d] = std::numeric_limits<scalar_type>::max();
        highs[d] = -std::numeric_limits<scalar_type>::max();
        for (std::size_t r = 0; r < runs; ++r) {
            const scalar_type* box = _run_boxes.data() + r * 2 * D;
            if (box[2 * d] < bounds[d]) bounds[d] = box[2 * d];
            if (box[2 * d + 1] > highs[d]) highs[d] = box[2 * d + 1];
        }
    }
    bool apply = true;
    scalar_type factor = scalar_type(1);
    if (step.grow) {
        scalar_type extent = 0;
        for (std::size_t d = 0; d < D; ++d) extent = std::max(extent, highs[d] - bounds[d]);
        const scalar_type target = scalar_type(0.1);
        if (target <= extent) apply = false;
        factor = growthFactor(extent, target);
    }
    if (apply) {
        // The team's end waits for this loop.
#pragma omp for schedule(static) nowait
        for (long long li = 0; li < static_cast<long long>(N); ++li)
            for (std::size_t d = 0; d < D; ++d) {
                const scalar_type offset = -(bounds[d] + highs[d]) * scalar_type(0.5);
                scalar_type& v = y[static_cast<std::size_t>(li) * D + d];
                v = step.grow ? (v + offset) * factor : v + offset;
            }
    }
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
bool SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::exactSumPays() const {
    if (!std::is_same_v<scalar_type, float> || _embedding->numDimensions() != 2) return false;
    return exactSumBeatsTheTree(_P.size(), static_cast<double>(_theta));
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::doAnIterationExactSum(double multiplier,
                                                                                                   double scale) {
    if constexpr (std::is_same_v<scalar_type, float>) {
        const std::size_t N = _P.size();
        const double e = static_cast<double>(static_cast<scalar_type>(exaggerationFactor()));
        _attractive.resize(N * 2);
        _repulsive.resize(N * 2);
        _partial_normalisers.resize(N);
        Step step = stepSettings(multiplier);
        step.scale = scale;
        const scalar_type* y = _embedding_container->data();
        _exact.resize(N);
        const int threads =
            _threads.next(threadsFor(static_cast<double>(N) * static_cast<double>(N) * kPairNanoseconds));
        const auto begin = std::chrono::steady_clock::now();
#pragma omp parallel num_threads(threads) if (threads > 1)
        {
            _exact.load(y);
#pragma omp for schedule(dynamic, 16)
            for (long long li = 0; li < static_cast<long long>(N); ++li) {
                const std::size_t i = static_cast<std::size_t>(li);
                attractiveForces<2>(i, e);
                _exact.repulsion(i, _repulsive.data() + 2 * i, _partial_normalisers[i]);
            }
            finishStep(step);
        }
        _threads.record(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
        ++_iteration;
    }
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void SparseTSNEUserDefProbabilities<scalar_type, sparse_scalar_matrix_type>::doAnIterationBarnesHut(double multiplier) {
    const std::size_t N = _P.size();
    const std::size_t D = _embedding->numDimensions();
    const double e = static_cast<double>(static_cast<scalar_type>(exaggerationFactor()));
    _attractive.resize(N * D);
    _repulsive.resize(N * D);
    _partial_normalisers.resize(N);
    const Step step = stepSettings(multiplier);
    const double n = static_cast<double>(N);
    if (D == 2 || D == 3) {
        if (D == 2)
            _tree2.prepare(static_cast<unsigned int>(N));
        else
            _tree3.prepare(static_cast<unsigned int>(N));
        const int threads = _threads.next(threadsFor(n * kTreePointNanoseconds));
        const auto begin = std::chrono::steady_clock::now();
#pragma omp parallel num_threads(threads) if (threads > 1)
        {
            if (D == 2)
                barnesHutForces(_tree2, e);
            else
                barnesHutForces(_tree3, e);
            finishStep(step);
        }
        _threads.record(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    } else {
        std::fill(_attractive.begin(), _attractive.end(), 0.0);
        std::fill(_repulsive.begin(), _repulsive.end(), 0.0);
        std::fill(_partial_normalisers.begin(), _partial_normalisers.end(), 0.0);
        barnesHutForcesOfSPTree(e);
        const int threads = threadsFor(n * static_cast<double>(D) * kCoordinateNanoseconds);
#pragma omp parallel num_threads(threads) if (threads > 1)
        finishStep(step);
    }
    ++_iteration;
}

#include "vel/dr/SparseTSNEUserDefProbabilitiesInstances.inc"

}  // namespace dr
}  // namespace vel
