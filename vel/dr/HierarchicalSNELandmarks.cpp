// Landmark selection of a new scale and the random walks it is built on.

#include <algorithm>
#include <omp.h>
#include <cassert>
#include <chrono>
#include <string>
#include <vector>

#include "vel/dr/HierarchicalSNE.h"
#include "vel/dr/WalkLanes.h"
#include "vel/dr/WalkSteps.h"
#include "vel/dr/WalkStreams.h"
#include "vel/utils/ScopedTimer.h"

namespace vel {
namespace dr {

namespace {

void displayLine(utils::AbstractLog* logger, const std::string& text) {
    if (logger != nullptr) logger->display(text, false);
}

// A negative count from the parameters means no walks rather than ~4e9 of them.
unsigned int nonNegative(int value) { return value > 0 ? static_cast<unsigned int>(value) : 0u; }

}  // namespace

template <typename scalar_type, typename sparse_scalar_matrix_type>
std::uint32_t HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::seed() const {
    if (_params.seed > 0) return static_cast<std::uint32_t>(_params.seed);
    return static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
int HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::walkStep(
    unsigned int v, const sparse_scalar_matrix_type& M, std::uniform_real_distribution<double>& distribution,
    std::minstd_rand& generator) const {
    assert(v < M.size());
    // Drawn first, so that a failing step consumes the same draws as any other.
    const double u = distribution(generator);
    double sum = 0;
    for (const auto& entry : M[v]) {
        sum += static_cast<double>(entry.second);
        if (sum > u) {
            assert(entry.first < M.size());
            return entry.first == v ? -1 : static_cast<int>(entry.first);
        }
    }
    return -1;
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
int HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::randomWalk(
    unsigned int start, unsigned int length, const sparse_scalar_matrix_type& M,
    std::uniform_real_distribution<double>& distribution, std::minstd_rand& generator) const {
    int v = static_cast<int>(start);
    for (unsigned long long step = 0; step <= length; ++step) {
        v = walkStep(static_cast<unsigned int>(v), M, distribution, generator);
        if (v < 0) return -1;
    }
    return v;
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
int HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::randomWalk(
    unsigned int start, const std::vector<int>& stopIdx, unsigned int maxLength, const sparse_scalar_matrix_type& M,
    std::uniform_real_distribution<double>& distribution, std::minstd_rand& generator) const {
    assert(stopIdx.size() == M.size());
    int v = static_cast<int>(start);
    // Step maxLength + 1 is still made, so that it draws its value, and then given up.
    for (unsigned long long step = 1;; ++step) {
        v = walkStep(static_cast<unsigned int>(v), M, distribution, generator);
        if (v < 0 || step > maxLength) return -1;
        if (stopIdx[static_cast<unsigned int>(v)] != -1) return v;
    }
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::prepareNextScale(Scale& next, unsigned int n,
                                                                               unsigned int landmarks) {
    next.previousScaleToLandmarkIdx.assign(n, -1);
    next.areaOfInfluence.assign(n, {});
    next.landmarkToOriginalIdx.assign(landmarks, 0);
    next.landmarkToPreviousScaleIdx.assign(landmarks, 0);
    next.landmarkWeight.assign(landmarks, scalar_type(0));
    next.transitionMatrix.assign(landmarks, {});
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::selectLandmarksWithStationaryDistribution(
    const Scale& previous, Scale& next, unsigned int& numLandmarks) {
    displayLine(_logger, "Landmark selection...");
    const unsigned int n = static_cast<unsigned int>(previous.transitionMatrix.size());
    const float threshold = static_cast<float>(_params.mcmcsNumWalks) * _params.mcmcsLandmarkThresh;
    const unsigned int numWalks = nonNegative(_params.mcmcsNumWalks);
    const unsigned int walkLength = nonNegative(_params.mcmcsWalkLength);
    const sparse_scalar_matrix_type& M = previous.transitionMatrix;
    std::vector<unsigned int> counts(n, 0);
    long long T = 0;
    unsigned int L = 0;
    {
        utils::ScopedTimer<float> mcmcsTimer(_statistics.mcmcsTime);
        const std::uint32_t base = seed();
        const std::uint32_t scaleNumber = static_cast<std::uint32_t>(_hierarchy.size());
        numLandmarks = 0;
        displayLine(_logger, "Monte Carlo Approximation...");
        // Every start point has its own stream and the counts are sums, so the
        // result is the same on any number of threads and in any order of blocks.
        const WalkSteps<typename sparse_scalar_matrix_type::value_type::mapped_type> steps(M);
        const auto engineOf = [&](unsigned int i) { return walkEngine(base, scaleNumber, WalkPurpose::Selection, i); };
        const unsigned int walkBlock = WalkLanes::blockSize(n, omp_get_max_threads());
        const long long blocks = (static_cast<long long>(n) + walkBlock - 1) / walkBlock;
#pragma omp parallel for schedule(dynamic, 1)
        for (long long block = 0; block < blocks; ++block) {
            const unsigned int first = static_cast<unsigned int>(block) * walkBlock;
            const unsigned int last = std::min(n, first + walkBlock);
            if (!phaseStep(last - first)) continue;
            WalkLanes::fixedLength(steps, first, last, numWalks, walkLength, engineOf,
                                   [&](unsigned int, unsigned int end) {
                                       assert(end < n);
#pragma omp atomic
                                       ++counts[end];
                                   });
        }
        if (_params.useHardThresh) {
            if (n > 0) {
                std::vector<unsigned int> sorted(counts);
                std::sort(sorted.begin(), sorted.end());
                // Clamped before the conversion, so that a fraction outside [0, 1] or
                // a NaN cannot index outside the counts.
                const float last = static_cast<float>(n - 1);
                const float position = (1.f - _params.hardThresh) * last;
                const long long k =
                    position > 0 ? std::min<long long>(static_cast<long long>(std::min(position, last)), n - 1) : 0;
                T = sorted[static_cast<std::size_t>(k)];
            }
        } else {
            // Beyond any count (also NaN): no landmark; below -1 no different from -1.
            T = threshold < 4294967296.f ? static_cast<long long>(std::max(threshold, -1.f)) : 4294967296LL;
        }
        _statistics.landmarksSelectionNumWalks = static_cast<float>(_params.mcmcsNumWalks) * static_cast<float>(n);
        for (unsigned int c : counts) L += static_cast<long long>(c) > T ? 1u : 0u;
    }
    utils::ScopedTimer<float> selectionTimer(_statistics.landmarksSelectionTime);
    displayLine(_logger, "Selection...");
    prepareNextScale(next, n, L);
    for (unsigned int i = 0; i < n; ++i) {
        if (static_cast<long long>(counts[i]) <= T) continue;
        next.previousScaleToLandmarkIdx[i] = static_cast<int>(numLandmarks);
        next.landmarkToOriginalIdx[numLandmarks] = previous.landmarkToOriginalIdx[i];
        next.landmarkToPreviousScaleIdx[numLandmarks] = i;
        ++numLandmarks;
    }
    assert(numLandmarks == L);
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::selectLandmarks(const Scale& previous, Scale& next,
                                                                              unsigned int& numLandmarks) {
    utils::ScopedTimer<float> selectionTimer(_statistics.landmarksSelectionTime);
    displayLine(_logger, "Landmark selection with fixed reduction...");
    const unsigned int n = static_cast<unsigned int>(previous.transitionMatrix.size());
    const float wanted = static_cast<float>(n) * _params.fixedReductionRatio;
    // At most every point, also for a ratio above 1 or infinite; NaN gives none.
    const unsigned int L = !(wanted > 0) ? 0u : wanted >= static_cast<float>(n) ? n : static_cast<unsigned int>(wanted);
    std::minstd_rand generator =
        walkEngine(seed(), static_cast<std::uint32_t>(_hierarchy.size()), WalkPurpose::FixedReduction, 0);
    std::uniform_real_distribution<double> distribution(0.0, 1.0);
    prepareNextScale(next, n, L);
    numLandmarks = 0;
    // When fewer than L distinct vertices are reachable the draws alone would
    // never end; the landmarks found by then are kept.
    const unsigned long long maxAttempts = 100ULL * L;
    unsigned long long attempts = 0;
    if (L > 0) {
        std::uniform_int_distribution<int> startDistribution(0, static_cast<int>(n - 1));
        const int walks = _params.fixedReductionWalks;
        while (numLandmarks < L && attempts < maxAttempts) {
            const int start = startDistribution(generator);
            const int end = walks > 0 ? randomWalk(static_cast<unsigned int>(start), static_cast<unsigned int>(walks),
                                                   previous.transitionMatrix, distribution, generator)
                                      : start;
            ++attempts;
            if (end < 0 || next.previousScaleToLandmarkIdx[static_cast<unsigned int>(end)] != -1) continue;
            next.previousScaleToLandmarkIdx[static_cast<unsigned int>(end)] = static_cast<int>(numLandmarks);
            next.landmarkToOriginalIdx[numLandmarks] = previous.landmarkToOriginalIdx[static_cast<unsigned int>(end)];
            next.landmarkToPreviousScaleIdx[numLandmarks] = static_cast<unsigned int>(end);
            ++numLandmarks;
        }
    }
    if (numLandmarks < L) {
        displayLine(_logger, "Fixed reduction stopped after " + std::to_string(attempts) + " attempts with " +
                                 std::to_string(numLandmarks) + " of " + std::to_string(L) + " landmarks");
        next.landmarkToOriginalIdx.resize(numLandmarks);
        next.landmarkToPreviousScaleIdx.resize(numLandmarks);
        next.landmarkWeight.resize(numLandmarks);
        next.transitionMatrix.resize(numLandmarks);
    }
    _statistics.landmarksSelectionNumWalks =
        static_cast<float>(attempts) * static_cast<float>(_params.fixedReductionWalks);
}

using HierarchicalSNEF = HierarchicalSNE<float, std::vector<data::MapMemEff<unsigned int, float>>>;

template std::uint32_t HierarchicalSNEF::seed() const;
template int HierarchicalSNEF::walkStep(unsigned int, const sparse_scalar_matrix&,
                                        std::uniform_real_distribution<double>&, std::minstd_rand&) const;
template int HierarchicalSNEF::randomWalk(unsigned int, unsigned int, const sparse_scalar_matrix&,
                                          std::uniform_real_distribution<double>&, std::minstd_rand&) const;
template int HierarchicalSNEF::randomWalk(unsigned int, const std::vector<int>&, unsigned int,
                                          const sparse_scalar_matrix&, std::uniform_real_distribution<double>&,
                                          std::minstd_rand&) const;
template void HierarchicalSNEF::prepareNextScale(Scale&, unsigned int, unsigned int);
template void HierarchicalSNEF::selectLandmarksWithStationaryDistribution(const Scale&, Scale&, unsigned int&);
template void HierarchicalSNEF::selectLandmarks(const Scale&, Scale&, unsigned int&);

}  // namespace dr
}  // namespace vel
