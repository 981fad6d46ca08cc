// Scale 0 of the hierarchy from the data: the kNN graph and its calibration.

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "vel/dr/HierarchicalSNE.h"
#include "vel/utils/HDJointProbabilityGenerator.h"
#include "vel/utils/KnnCodes.h"
#include "vel/utils/LogValue.h"
#include "vel/utils/ScopedTimer.h"

namespace vel {
namespace dr {

namespace {

void displayLine(utils::AbstractLog* logger, const char* text) {
    if (logger != nullptr) logger->display(text, false);
}

// The lines announcing the kNN search of a back end. FLANN and hnswlib run
// without a logger (their own lines differ from the hierarchy's), so theirs
// come before the search as a whole. Annoy's metric line and the line after
// its tree build are the back end's own, written at their place in the
// search; only the first line is the hierarchy's.
void logSearch(utils::AbstractLog* logger, int knnLibrary) {
    switch (knnLibrary) {
        case utils::KNN_HNSW:
            displayLine(logger, "Computing the neighborhood graph with HNSW Lib...");
            displayLine(logger, "\tBuilding the trees...");
            displayLine(logger, "\tAKNN queries...");
            return;
        case utils::KNN_FLANN:
            displayLine(logger, "Computing the neighborhood graph...");
            displayLine(logger, "\tBuilding the trees...");
            displayLine(logger, "\tAKNN queries...");
            return;
        default:
            displayLine(logger, "Computing approximated knn with Annoy...");
            return;
    }
}

}  // namespace

unsigned int HierarchicalSNE_NrOfKnnAlgorithms() { return HDJointProbabilityGenerator_NrOfKnnAlgorithms(); }

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::initialize(scalar_type* data, unsigned int N,
                                                                         Parameters params) {
    _statistics.reset();
    // Recorded also when the construction ends by an exception.
    utils::ScopedTimer<float> totalTimer(_statistics.totalTime);
    _initialized = false;
    // Refused before anything changes: these would otherwise search without data
    // or build rows that do not hold the neighbours.
    if (_dimensionality < 1) throw std::logic_error("HierarchicalSNE::initialize: the dimensionality is not set");
    if (data == nullptr) throw std::logic_error("HierarchicalSNE::initialize: no data");
    if (N < 2) throw std::logic_error("HierarchicalSNE::initialize: at least two data points are required");
    if (params.numNeighbors < 1)
        throw std::logic_error("HierarchicalSNE::initialize: at least one neighbor per point is required");
    if (params.knnLibrary != utils::KNN_FLANN && params.knnLibrary != utils::KNN_HNSW &&
        params.knnLibrary != utils::KNN_ANNOY)
        throw std::logic_error("HierarchicalSNE::initialize: unknown kNN library code " +
                               std::to_string(params.knnLibrary));
    displayLine(_logger, "Initializing Hierarchical-SNE...");
    _params = params;
    _highDimensionalData = data;
    _numDataPoints = N;
    utils::logValue(_logger, "Number of data points", _numDataPoints, true, 1);
    try {
        initializeFirstScale();
    } catch (const BuildProgress::Stopped&) {
        _hierarchy.clear();
        throw;
    }
    _initialized = true;
    displayLine(_logger, "Initialization complete!");
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::initializeFirstScale() {
    displayLine(_logger, "Initializing the first scale...");
    // A failed search leaves no scale behind rather than an empty scale 0.
    _hierarchy.clear();
    std::vector<float> probabilities;
    std::vector<int> neighbours;
    computeNeighborhoodGraph(probabilities, neighbours);
    const unsigned int n = _numDataPoints;
    const std::size_t K = probabilities.size() / n;

    _hierarchy.emplace_back();
    Scale& scale0 = _hierarchy.back();
    {
        utils::ScopedTimer<float> fmcTimer(_statistics.initFmcTime);
        displayLine(_logger, "Creating transition matrix...");
        scale0.landmarkToOriginalIdx.resize(n);
        scale0.landmarkToPreviousScaleIdx.resize(n);
        for (unsigned int i = 0; i < n; ++i) {
            scale0.landmarkToOriginalIdx[i] = i;
            scale0.landmarkToPreviousScaleIdx[i] = i;
        }
        scale0.landmarkWeight.assign(n, scalar_type(1));
        scale0.transitionMatrix.resize(n);
        // Position 0 is the point itself and stays out of its row; of a column
        // listed twice the later position wins.
#pragma omp parallel for schedule(static)
        for (long long li = 0; li < static_cast<long long>(n); ++li) {
            auto& row = scale0.transitionMatrix[static_cast<std::size_t>(li)];
            const std::size_t first = static_cast<std::size_t>(li) * K;
            row.reserve(K - 1);
            for (std::size_t j = 1; j < K; ++j)
                row[static_cast<unsigned int>(neighbours[first + j])] = probabilities[first + j];
        }
    }
    endPhase();
    utils::logValue(_logger, "Min memory requirements (MB)", scale0.mimMemoryOccupation(), true, 1);
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::computeNeighborhoodGraph(
    std::vector<float>& probabilities, std::vector<int>& neighbours) {
    using Generator = HDJointProbabilityGenerator<scalar_type, sparse_scalar_matrix_type>;
    const unsigned int n = _numDataPoints;
    // A point cannot have more neighbours than there are other points; the
    // perplexity keeps its ratio to the neighbour count.
    const unsigned int K = static_cast<unsigned int>(std::min<long long>(_params.numNeighbors + 1LL, n));
    if (K < static_cast<unsigned int>(_params.numNeighbors) + 1u)
        utils::logValue(_logger, "Fewer data points than neighbors, number of neighbors lowered to", K - 1, true, 1);

    typename Generator::Parameters generatorParams;
    generatorParams.perplexity = static_cast<float>((K - 1) / 3.0);
    generatorParams.perplexityMultiplier = 3;
    generatorParams.numTrees = _params.numTrees;
    generatorParams.aknnNumChecks = _params.aknnNumChecks;
    generatorParams.knnLibrary = _params.knnLibrary;
    generatorParams.knnMetric = _params.knnMetric;
    generatorParams.hnswM = _params.hnswM;
    generatorParams.hnswEfConstruction = _params.hnswEfConstruction;
    // The generator derives K from the perplexity in single precision, which is
    // exact for every neighbour count whose lists fit in memory.
    if (Generator::neighbourCount(generatorParams, n) != K)
        throw std::logic_error("HierarchicalSNE::initialize: too many neighbors per point");

    Generator generator;
    logSearch(_logger, _params.knnLibrary);
    beginPhase(BuildProgress::Phase::NeighbourGraph, 0, n);
    std::vector<float> distances;
    {
        utils::ScopedTimer<float> knnTimer(_statistics.initKnnTime);
        // Annoy writes its lines through the generator's logger. The generator
        // adds none of its own in this step; its calibration line is not the
        // hierarchy's, so the logger is taken back before the calibration.
        if (_params.knnLibrary == utils::KNN_ANNOY) generator.setLogger(_logger);
        if (_progress != nullptr) generator.setSearchProgress([this](std::size_t points) { return phaseStep(points); });
        try {
            generator.computeHighDimensionalDistances(const_cast<float*>(_highDimensionalData),
                                                      static_cast<unsigned int>(_dimensionality), n, distances,
                                                      neighbours, generatorParams);
        } catch (const utils::KnnBackend::Stopped&) {
            throw BuildProgress::Stopped();
        }
        generator.setLogger(nullptr);
    }
    endPhase();
    beginPhase(BuildProgress::Phase::Probabilities, 0, n);
    displayLine(_logger, "\tFMC computation...");
    {
        utils::ScopedTimer<float> probabilitiesTimer(_statistics.initProbabilitiesTime);
        generator.computeGaussianDistributions(distances, neighbours, probabilities, generatorParams);
    }
}

template void HierarchicalSNE<float, std::vector<data::MapMemEff<unsigned int, float>>>::initialize(float* data,
                                                                                                    unsigned int N,
                                                                                                    Parameters params);

}  // namespace dr
}  // namespace vel
