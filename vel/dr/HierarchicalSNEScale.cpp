// Construction of a new scale: landmarks, area of influence, landmark weights
// and the transition matrix between landmarks.

#include <algorithm>
#include <cassert>
#include <string>
#include <utility>
#include <vector>

#include "vel/dr/HierarchicalSNE.h"
#include "vel/dr/WalkStreams.h"
#include "vel/utils/LogValue.h"
#include "vel/utils/ScopedTimer.h"

namespace vel {
namespace dr {

namespace {

void displayLine(utils::AbstractLog* logger, const std::string& text) {
    if (logger != nullptr) logger->display(text, false);
}

// Points walked in parallel before their results are merged in point order: large
// enough to keep every thread busy, small enough that the pending counts stay a
// small fraction of the scale.
constexpr unsigned int kMergeBlock = 8192;

// (landmark, walks ending there) in increasing landmark order.
using WalkCounts = std::vector<std::pair<unsigned int, unsigned int>>;

}  // namespace

template <typename scalar_type, typename sparse_scalar_matrix_type>
bool HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::addScale() {
    assert(!_hierarchy.empty());
    _statistics.reset();
    {
        utils::ScopedTimer<float> totalTimer(_statistics.totalTime);
        addScaleImpl();
        _statistics.log(_logger);
    }
    return true;
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
bool HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::addScaleImpl() {
    utils::ScopedTimer<float> totalTimer(_statistics.totalTime);
    displayLine(_logger, "Add a new scale ...");
    _hierarchy.emplace_back();
    // References taken after the append, which may move the scales.
    Scale& S = _hierarchy.back();
    const Scale& P = _hierarchy[_hierarchy.size() - 2];
    unsigned int L = 0;
    if (_params.monteCarloSampling)
        selectLandmarksWithStationaryDistribution(P, S, L);
    else
        selectLandmarks(P, S, L);
    utils::logValue(_logger, "\t#landmarks", L, true, 1);

    const std::uint32_t base = seed();
    const std::uint32_t scaleNumber = static_cast<std::uint32_t>(_hierarchy.size() - 1);
    const sparse_scalar_matrix_type& M = P.transitionMatrix;
    const unsigned int n = static_cast<unsigned int>(M.size());
    assert(P.landmarkWeight.size() == n && S.previousScaleToLandmarkIdx.size() == n && S.areaOfInfluence.size() == n);
    assert(S.size() == L && S.landmarkWeight.size() == L && S.transitionMatrix.size() == L);
    const unsigned int W =
        _params.numWalksPerLandmark > 0 ? static_cast<unsigned int>(_params.numWalksPerLandmark) : 0u;
    const double t = static_cast<double>(_params.pruneThresh);
    constexpr unsigned int kWalkLimit = 100;

    displayLine(_logger, "\tComputing area of influence...");
    {
        utils::ScopedTimer<float> aoiTimer(_statistics.aoiTime);
        unsigned long long aoiEntries = 0;
        std::vector<WalkCounts> pending(std::min(n, kMergeBlock));
        for (unsigned int blockStart = 0; blockStart < n; blockStart += kMergeBlock) {
            const unsigned int blockSize = std::min(kMergeBlock, n - blockStart);
            // Every point walks on a stream of its own, so the counts do not depend
            // on which thread walks it.
#pragma omp parallel for schedule(static)
            for (long long lk = 0; lk < static_cast<long long>(blockSize); ++lk) {
                const unsigned int k = static_cast<unsigned int>(lk);
                const unsigned int i = blockStart + k;
                std::minstd_rand generator = walkEngine(base, scaleNumber, WalkPurpose::Influence, i);
                std::uniform_real_distribution<double> distribution(0.0, 1.0);
                std::vector<unsigned int> ends;
                ends.reserve(W);
                for (unsigned int w = 0; w < W; ++w) {
                    const int end = randomWalk(i, S.previousScaleToLandmarkIdx, kWalkLimit, M, distribution, generator);
                    if (end < 0) continue;
                    const int landmark = S.previousScaleToLandmarkIdx[static_cast<unsigned int>(end)];
                    assert(landmark >= 0 && static_cast<unsigned int>(landmark) < L);
                    ends.push_back(static_cast<unsigned int>(landmark));
                }
                std::sort(ends.begin(), ends.end());
                WalkCounts& counts = pending[k];
                counts.clear();
                for (unsigned int landmark : ends) {
                    if (counts.empty() || counts.back().first != landmark)
                        counts.emplace_back(landmark, 1u);
                    else
                        ++counts.back().second;
                }
            }
            // Merged in point order: the float sums then come out the same on any
            // number of threads.
            for (unsigned int k = 0; k < blockSize; ++k) {
                const unsigned int i = blockStart + k;
                const WalkCounts& counts = pending[k];
                const scalar_type weight = P.landmarkWeight[i];
                aoiEntries += counts.size();
                for (const auto& [a, ca] : counts) {
                    if (!(static_cast<double>(ca) > t)) continue;
                    for (const auto& [b, cb] : counts) {
                        if (b == a || !(static_cast<double>(cb) > t)) continue;
                        S.transitionMatrix[a][b] += weight * static_cast<scalar_type>(static_cast<double>(ca) * cb);
                    }
                }
                std::vector<std::pair<unsigned int, scalar_type>> shares;
                shares.reserve(counts.size());
                for (const auto& [b, cb] : counts) {
                    const scalar_type share = static_cast<scalar_type>(cb) / static_cast<scalar_type>(W);
                    shares.emplace_back(b, share);
                    S.landmarkWeight[b] += share * weight;
                }
                S.areaOfInfluence[i].initialize(shares.begin(), shares.end(), scalar_type(0));
            }
        }
        _statistics.aoiNumWalks = static_cast<float>(W) * static_cast<float>(n);
        // Without points or landmarks there is no sparsity to speak of: it stays -1.
        const double cells = static_cast<double>(n) * static_cast<double>(L);
        if (cells > 0) _statistics.aoiSparsity = static_cast<float>(1.0 - static_cast<double>(aoiEntries) / cells);
    }

    displayLine(_logger, "\tComputing finite markov chain...");
    {
        utils::ScopedTimer<float> fmcTimer(_statistics.fmcTime);
        unsigned long long entries = 0;
        unsigned long long effectiveEntries = 0;
        for (auto& row : S.transitionMatrix) {
            double sum = 0;
            for (const auto& entry : row) sum += static_cast<double>(entry.second);
            // Every stored product is positive, so a non-empty row has a positive sum.
            if (row.empty()) continue;
            assert(sum > 0);
            for (auto& entry : row) {
                entry.second = static_cast<scalar_type>(static_cast<double>(entry.second) / sum);
                if (entry.second > scalar_type(0.01)) ++effectiveEntries;
            }
            entries += row.size();
        }
        const double cells = static_cast<double>(L) * static_cast<double>(L);
        if (cells > 0) {
            _statistics.fmcSparsity = static_cast<float>(1.0 - static_cast<double>(entries) / cells);
            _statistics.fmcEffectiveSparsity = static_cast<float>(1.0 - static_cast<double>(effectiveEntries) / cells);
        }
    }
    utils::logValue(_logger, "Min memory requirements (MB)", S.mimMemoryOccupation(), true, 1);
    return true;
}

using HierarchicalSNEF = HierarchicalSNE<float, std::vector<data::MapMemEff<unsigned int, float>>>;

template bool HierarchicalSNEF::addScale();
template bool HierarchicalSNEF::addScaleImpl();

}  // namespace dr
}  // namespace vel
