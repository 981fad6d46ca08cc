#pragma once
// Sparse symmetric joint probabilities of a high-dimensional float data set:
// K nearest neighbours per point from one of the kNN back ends, a Gaussian per
// point calibrated to a fixed perplexity over its neighbours, then the mean of
// the conditional matrix and its transpose. Rows sum to N in total; the t-SNE
// engines normalise.

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <exception>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "vel/data/MapMemEff.h"
#include "vel/dr/JointProbabilitySymmetrisation.h"
#include "vel/utils/AbstractLog.h"
#include "vel/utils/GaussianDistributions.h"
#include "vel/utils/KnnBackend.h"
#include "vel/utils/KnnCodes.h"
#include "vel/utils/LogValue.h"
#include "vel/utils/ReleaseFreedMemory.h"
#include "vel/utils/ScopedTimer.h"

namespace vel {
namespace dr {

// Number of kNN back ends.
unsigned int HDJointProbabilityGenerator_NrOfKnnAlgorithms();

template <typename scalar_type = float,
          typename sparse_scalar_matrix_type = std::vector<data::MapMemEff<unsigned int, float>>>
class HDJointProbabilityGenerator {
public:
    using sparse_row_type = typename sparse_scalar_matrix_type::value_type;
    using probability_type = typename sparse_row_type::mapped_type;

    struct Parameters {
        float perplexity = 30;
        int perplexityMultiplier = 3;  // neighbours per point relative to the perplexity
        int numTrees = 4;              // FLANN kd-trees, Annoy trees
        int aknnNumChecks = 1024;      // FLANN search checks
        int knnLibrary = utils::KNN_FLANN;
        int knnMetric = utils::KNN_METRIC_EUCLIDEAN;
        double hnswM = 16;
        double hnswEfConstruction = 200;
    };

    struct Statistics {
        float totalTime = 0;
        float treesConstructionTime = 0;
        float aknnTime = 0;
        float distributionsTime = 0;
        void reset() { *this = Statistics(); }
        void log(utils::AbstractLog* logger) const {
            if (logger == nullptr) return;
            logger->display("\n-------- HD Joint Probability Generator Statistics -----------", false);
            utils::logValue(logger, "Total time", totalTime, true, 1);
            utils::logValue(logger, "\tTrees construction time", treesConstructionTime, true, 1);
            utils::logValue(logger, "\tAKNN time", aknnTime, true, 3);
            utils::logValue(logger, "\tDistributions time", distributionsTime, true, 2);
            logger->display(std::string(62, '-') + "\n", false);
        }
    };

    HDJointProbabilityGenerator() = default;

    utils::AbstractLog* logger() const { return _logger; }
    void setLogger(utils::AbstractLog* logger) { _logger = logger; }
    // Handed to the kNN back end with every search (see KnnBackend::Request::progress).
    void setSearchProgress(std::function<bool(std::size_t)> progress) { _searchProgress = std::move(progress); }
    Statistics& statistics() { return _statistics; }
    const Statistics& statistics() const { return _statistics; }

    // Neighbours kept per point, the point itself included: the truncation of
    // perplexityMultiplier * perplexity + 1, at most the number of points.
    static unsigned int neighbourCount(const Parameters& params, unsigned int numPoints) {
        const float wanted = static_cast<float>(params.perplexityMultiplier) * params.perplexity + 1.f;
        if (!(wanted >= 2.f))
            throw std::logic_error("HDJointProbabilityGenerator: perplexity x perplexityMultiplier must be at least 1");
        const double clamped = std::min(static_cast<double>(wanted), static_cast<double>(numPoints));
        return static_cast<unsigned int>(clamped);
    }

    // kNN, calibration and symmetrisation. P gets N rows; rows that already exist
    // keep their entries. Needs N >= 2.
    void computeJointProbabilityDistribution(float* data, unsigned int dims, unsigned int N,
                                             sparse_scalar_matrix_type& P, Parameters params) {
        utils::ScopedTimer<float> timer(_statistics.totalTime);
        log("Computing the HD joint probability distribution...");
        P.resize(N);
        conditionalRows(data, dims, N, P, params);
        symmetrize(P);
    }

    // As computeJointProbabilityDistribution without the symmetrisation.
    void computeProbabilityDistributions(float* data, unsigned int dims, unsigned int N, sparse_scalar_matrix_type& P,
                                         Parameters params) {
        utils::ScopedTimer<float> timer(_statistics.totalTime);
        log("Computing the HD joint probability distribution...");
        P.resize(N);
        conditionalRows(data, dims, N, P, params);
    }

    // kNN step, then the dense calibration: P holds N x K probabilities with the
    // point itself at position 0 of its row and probability 0.
    void computeProbabilityDistributions(float* data, unsigned int dims, unsigned int N, std::vector<float>& P,
                                         std::vector<int>& indices, Parameters params) {
        utils::ScopedTimer<float> timer(_statistics.totalTime);
        log("Computing the HD joint probability distribution...");
        std::vector<float> distances;
        computeHighDimensionalDistances(data, dims, N, distances, indices, params);
        computeGaussianDistributions(distances, indices, P, params);
    }

    // Rows of K (neighbour, squared distance) pairs in ascending distance, the
    // point itself first. Throws std::logic_error for N < 2 or an unknown
    // back-end code, std::runtime_error when a back end cannot deliver K
    // neighbours for a point.
    void computeHighDimensionalDistances(float* data, unsigned int dims, unsigned int N, std::vector<float>& distances,
                                         std::vector<int>& indices, Parameters& params) {
        if (N < 2) throw std::logic_error("HDJointProbabilityGenerator: at least two data points are required");
        const unsigned int K = neighbourCount(params, N);
        const auto backend = utils::KnnBackend::create(params.knnLibrary);
        if (!backend)
            throw std::logic_error("HDJointProbabilityGenerator: unknown kNN library code " +
                                   std::to_string(params.knnLibrary));
        utils::KnnBackend::Request request;
        request.data = data;
        request.dims = dims;
        request.numPoints = N;
        request.k = K;
        request.metric = params.knnMetric;
        request.numTrees = params.numTrees;
        request.numChecks = params.aknnNumChecks;
        request.hnswM = params.hnswM;
        request.hnswEfConstruction = params.hnswEfConstruction;
        request.progress = _searchProgress;
        utils::KnnBackend::Timings timings;
        try {
            backend->search(request, distances, indices, timings, _logger);
        } catch (...) {
            _statistics.treesConstructionTime = timings.treesConstructionTime;
            _statistics.aknnTime = timings.aknnTime;
            throw;
        }
        _statistics.treesConstructionTime = timings.treesConstructionTime;
        _statistics.aknnTime = timings.aknnTime;
        if (distances.size() != static_cast<std::size_t>(N) * K || indices.size() != distances.size())
            throw std::runtime_error("HDJointProbabilityGenerator: the kNN back end returned incomplete lists");
        putSelfFirst(N, K, distances, indices);
    }

    // Calibrates every row of the kNN lists and stores the conditional
    // probabilities of the neighbours (not of the point itself) in P, which must
    // already hold N rows.
    void computeGaussianDistributions(const std::vector<float>& distances, const std::vector<int>& indices,
                                      sparse_scalar_matrix_type& P, Parameters& params) {
        utils::ScopedTimer<float> timer(_statistics.distributionsTime);
        log("Computing joint-probability distribution...");
        const unsigned int N = static_cast<unsigned int>(P.size());
        const unsigned int K = checkedListWidth(distances, indices, N, params);
        std::vector<float> probabilities;
        calibrate(distances, N, K, params.perplexity, probabilities);
        fillRows(probabilities, indices, N, K, P);
    }

    // Dense form: P becomes N x K probabilities, row-major.
    void computeGaussianDistributions(const std::vector<float>& distances, const std::vector<int>& indices,
                                      std::vector<float>& P, Parameters& params) {
        utils::ScopedTimer<float> timer(_statistics.distributionsTime);
        log("Computing joint-probability distribution...");
        const unsigned int N = pointsOfLists(distances.size(), params);
        const unsigned int K = checkedListWidth(distances, indices, N, params);
        calibrate(distances, N, K, params.perplexity, P);
    }

    // From a full N x N matrix of squared distances: row i is calibrated over all
    // N entries without the entry i, and all N values are stored, the diagonal 0
    // included. Not symmetrised.
    void computeProbabilityDistributionsFromDistanceMatrix(const std::vector<float>& distances, unsigned int N,
                                                           sparse_scalar_matrix_type& P, Parameters params) {
        utils::ScopedTimer<float> timer(_statistics.distributionsTime);
        log("Computing joint-probability distribution...");
        if (distances.size() != static_cast<std::size_t>(N) * N)
            throw std::logic_error("HDJointProbabilityGenerator: the distance matrix must hold N x N values");
        P.resize(N);
        std::vector<float> row(N);
        for (unsigned int i = 0; i < N; ++i) {
            const auto first = distances.begin() + static_cast<std::ptrdiff_t>(i) * N;
            utils::computeGaussianDistributionWithFixedPerplexity(first, first + N, row.begin(), row.end(),
                                                                  static_cast<double>(params.perplexity), 200, 1e-5,
                                                                  static_cast<int>(i));
            for (unsigned int j = 0; j < N; ++j) P[i][j] = static_cast<probability_type>(row[j]);
        }
    }

    // P[i][j] = P[j][i] = (P[i][j] + P[j][i]) / 2 for every stored pair, a missing
    // mirror counting as 0. Every key must be below the number of rows.
    void symmetrize(sparse_scalar_matrix_type& P) {
        const std::size_t n = P.size();
        if constexpr (std::is_same_v<sparse_row_type, data::MapMemEff<unsigned int, probability_type>>) {
            // Rows of sorted keys: every symmetric row is built once, at its final
            // size, in parallel; the input rows go when all are built, so the peak
            // holds the matrix before and after symmetrisation.
#ifndef NDEBUG
            for (const auto& row : P)
                for (const auto& entry : row) assert(entry.first < n);
#endif
            sparse_scalar_matrix_type joint(n);
            symmetrizeSortedRows(P, joint);
            P.swap(joint);
            return;
        }
        for (std::size_t i = 0; i < n; ++i) {
            for (auto it = P[i].begin(); it != P[i].end(); ++it) {
                const unsigned int j = it->first;
                assert(j < n);
                if (j == i) continue;  // (p + p) / 2 == p
                probability_type& mirror = P[j][static_cast<unsigned int>(i)];
                const probability_type v = (it->second + mirror) * probability_type(0.5);
                it->second = v;
                mirror = v;
            }
        }
    }

private:
    void log(const char* text) const {
        if (_logger) _logger->display(text, false);
    }

    void conditionalRows(float* data, unsigned int dims, unsigned int N, sparse_scalar_matrix_type& P,
                         Parameters& params) {
        std::vector<float> distances;
        std::vector<int> indices;
        computeHighDimensionalDistances(data, dims, N, distances, indices, params);
        utils::ScopedTimer<float> timer(_statistics.distributionsTime);
        log("Computing joint-probability distribution...");
        const unsigned int K = checkedListWidth(distances, indices, N, params);
        std::vector<float> probabilities;
        calibrate(distances, N, K, params.perplexity, probabilities);
        std::vector<float>().swap(distances);  // keeps the peak within the conditional rows and the lists
        utils::releaseFreedMemory();           // the neighbour index's pieces
        fillRows(probabilities, indices, N, K, P);
    }

    static unsigned int checkedListWidth(const std::vector<float>& distances, const std::vector<int>& indices,
                                         unsigned int N, const Parameters& params) {
        const unsigned int K = neighbourCount(params, N);
        if (distances.size() != static_cast<std::size_t>(N) * K || indices.size() != distances.size())
            throw std::logic_error("HDJointProbabilityGenerator: the kNN lists must hold N x K entries");
        return K;
    }

    // The N of lists of N x min(K, N) entries.
    static unsigned int pointsOfLists(std::size_t entries, const Parameters& params) {
        const float wanted = static_cast<float>(params.perplexityMultiplier) * params.perplexity + 1.f;
        const std::size_t k = wanted >= 2.f ? static_cast<std::size_t>(wanted) : 1;
        if (entries % k == 0 && entries / k >= k) return static_cast<unsigned int>(entries / k);
        return static_cast<unsigned int>(std::llround(std::sqrt(static_cast<double>(entries))));
    }

    // The point's own entry goes to position 0, where the calibration ignores it.
    // Found elsewhere (other points at distance 0 came first) it moves to the
    // front; missing (an approximate miss) it replaces the farthest neighbour.
    static void putSelfFirst(unsigned int N, unsigned int K, std::vector<float>& distances, std::vector<int>& indices) {
#pragma omp parallel for schedule(static)
        for (long long i = 0; i < static_cast<long long>(N); ++i) {
            int* rowIndices = indices.data() + static_cast<std::size_t>(i) * K;
            float* rowDistances = distances.data() + static_cast<std::size_t>(i) * K;
            unsigned int self = 0;
            while (self < K && rowIndices[self] != static_cast<int>(i)) ++self;
            const float selfDistance = self < K ? rowDistances[self] : 0.f;
            const unsigned int last = self < K ? self : K - 1;
            for (unsigned int j = last; j > 0; --j) {
                rowIndices[j] = rowIndices[j - 1];
                rowDistances[j] = rowDistances[j - 1];
            }
            rowIndices[0] = static_cast<int>(i);
            rowDistances[0] = selfDistance;
        }
        for (std::size_t e = 0; e < indices.size(); ++e)
            if (indices[e] < 0 || static_cast<unsigned int>(indices[e]) >= N)
                throw std::runtime_error("HDJointProbabilityGenerator: the kNN back end returned an invalid neighbour");
    }

    static void calibrate(const std::vector<float>& distances, unsigned int N, unsigned int K, float perplexity,
                          std::vector<float>& probabilities) {
        probabilities.assign(static_cast<std::size_t>(N) * K, 0.f);
#pragma omp parallel for schedule(static)
        for (long long i = 0; i < static_cast<long long>(N); ++i) {
            const std::size_t first = static_cast<std::size_t>(i) * K;
            utils::computeGaussianDistributionWithFixedPerplexity(
                distances.begin() + first, distances.begin() + first + K, probabilities.begin() + first,
                probabilities.begin() + first + K, static_cast<double>(perplexity), 200, 1e-5, 0);
        }
    }

    // Stores the neighbours 1 .. K-1 of every row; a key listed twice keeps its
    // later value.
    static void fillRows(const std::vector<float>& probabilities, const std::vector<int>& indices, unsigned int N,
                         unsigned int K, sparse_scalar_matrix_type& P) {
        if constexpr (std::is_same_v<sparse_row_type, data::MapMemEff<unsigned int, probability_type>>) {
#pragma omp parallel for schedule(static)
            for (long long i = 0; i < static_cast<long long>(N); ++i) {
                auto& row = P[i];
                const std::size_t first = static_cast<std::size_t>(i) * K;
                if (!row.empty()) {
                    for (unsigned int j = 1; j < K; ++j)
                        row[static_cast<unsigned int>(indices[first + j])] =
                            static_cast<probability_type>(probabilities[first + j]);
                    continue;
                }
                std::vector<std::pair<unsigned int, probability_type>> entries;
                entries.reserve(K - 1);
                for (unsigned int j = 1; j < K; ++j)
                    entries.emplace_back(static_cast<unsigned int>(indices[first + j]),
                                         static_cast<probability_type>(probabilities[first + j]));
                std::stable_sort(entries.begin(), entries.end(),
                                 [](const auto& a, const auto& b) { return a.first < b.first; });
                // Of equal keys the later one wins: keep the last of each run.
                std::size_t kept = 0;
                for (std::size_t e = 0; e < entries.size(); ++e) {
                    if (e + 1 < entries.size() && entries[e + 1].first == entries[e].first) continue;
                    entries[kept++] = entries[e];
                }
                entries.resize(kept);
                row.initialize(entries.begin(), entries.end(), -std::numeric_limits<probability_type>::infinity());
            }
        } else {
            for (unsigned int i = 0; i < N; ++i) {
                const std::size_t first = static_cast<std::size_t>(i) * K;
                for (unsigned int j = 1; j < K; ++j)
                    P[i][static_cast<unsigned int>(indices[first + j])] =
                        static_cast<probability_type>(probabilities[first + j]);
            }
        }
    }

    utils::AbstractLog* _logger = nullptr;
    std::function<bool(std::size_t)> _searchProgress;
    Statistics _statistics;
};

}  // namespace dr
}  // namespace vel
