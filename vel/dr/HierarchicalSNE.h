#pragma once
// A multi-scale description of a data set. Scale 0 has one landmark per data
// point and a sparse transition matrix; every further scale keeps a subset of
// the previous scale's points as landmarks, with an area of influence and a
// transition matrix of its own.
//
// Sizes and indices are 32-bit: a hierarchy holds at most 2^31 - 1 points, and
// -1 in previousScaleToLandmarkIdx means "not a landmark".
//
// The object is used from one thread at a time.

#include <cstdint>
#include <map>
#include <random>
#include <unordered_map>
#include <vector>

#include "vel/data/MapMemEff.h"
#include "vel/dr/BuildProgress.h"
#include "vel/utils/AbstractLog.h"

namespace vel {
namespace dr {

// Number of kNN back ends a hierarchy can be built with.
unsigned int HierarchicalSNE_NrOfKnnAlgorithms();

template <typename scalar_type, typename sparse_scalar_matrix_type>
class HierarchicalSNE {
public:
    using sparse_scalar_matrix = sparse_scalar_matrix_type;
    using scalar_vector_type = std::vector<scalar_type>;

    class Parameters {
    public:
        // Seed of every random walk; below 1 the system clock is used instead.
        int seed = -1;
        // Neighbours per point, the point itself not counted.
        int numNeighbors = 30;
        int numTrees = 4;
        int aknnNumChecks = 1024;
        // vel::utils::knn_library code.
        int knnLibrary = -1;
        // vel::utils::knn_distance_metric code.
        int knnMetric = 0;
        double hnswM = 16.0;
        double hnswEfConstruction = 200.0;
        // Landmarks by visit counts when set, by the fixed reduction otherwise.
        bool monteCarloSampling = true;
        int mcmcsNumWalks = 10;
        float mcmcsLandmarkThresh = 1.5f;
        int mcmcsWalkLength = 10;
        bool useHardThresh = false;
        float hardThresh = 0.1f;
        float fixedReductionRatio = 0.1f;
        int fixedReductionWalks = 10;
        bool memoryPreserving = false;
        int numWalksPerLandmark = 100;
        float pruneThresh = 1.5f;
    };

    // One scale. N is the number of points of the previous scale, L the number
    // of landmarks of this one; scale 0 leaves the two previous-scale fields empty.
    class Scale {
    public:
        // L entries: the landmark's index among the data points.
        std::vector<unsigned int> landmarkToOriginalIdx;
        // L entries: the landmark's index among the previous scale's points.
        std::vector<unsigned int> landmarkToPreviousScaleIdx;
        // L rows: probability of a step from landmark a to landmark b.
        sparse_scalar_matrix_type transitionMatrix;
        // L entries: how much of the data the landmark stands for.
        scalar_vector_type landmarkWeight;
        // N entries: landmark index of each previous-scale point, -1 when none.
        std::vector<int> previousScaleToLandmarkIdx;
        // N rows: share of the walks from previous-scale point i ending at landmark b.
        sparse_scalar_matrix_type areaOfInfluence;

        unsigned int size() const { return static_cast<unsigned int>(landmarkToOriginalIdx.size()); }
        // Estimate in megabytes: capacities of the four vectors plus 8 bytes per
        // stored entry of both matrices.
        float mimMemoryOccupation() const;
    };

    // Figures of the last construction; -1 means not measured. Times in seconds.
    class Statistics {
    public:
        Statistics() { reset(); }
        void reset();
        // The statistics block, one line per measured figure; nothing without a logger.
        void log(utils::AbstractLog* logger) const;

        float totalTime;
        float initKnnTime;
        float initProbabilitiesTime;
        float initFmcTime;
        float mcmcsTime;
        float landmarksSelectionTime;
        float landmarksSelectionNumWalks;
        float aoiTime;
        float fmcTime;
        float aoiNumWalks;
        float aoiSparsity;
        float fmcSparsity;
        float fmcEffectiveSparsity;
    };

    using hierarchy_type = std::vector<Scale>;

    // Named groups of landmarks on every scale, linked into a tree
    // (vel/dr/HierarchicalSNEClusterTree.h).
    class ClusterTree;

    HierarchicalSNE() = default;

    // Throws std::logic_error once initialized or for d < 1.
    void setDimensionality(int d);
    int dimensionality() const { return _dimensionality; }

    // Scale 0 from the data: every point is a landmark of weight 1, and its row
    // holds its numNeighbors nearest neighbours (never the point itself) with
    // Gaussian probabilities at perplexity numNeighbors / 3, summing to 1. With
    // fewer than numNeighbors + 1 points, each point takes all others and the
    // perplexity is lowered to match. The data (N rows of dimensionality() values)
    // are not copied and must outlive every later read of the hierarchy.
    // Throws std::logic_error, leaving the scales as they were, when the
    // dimensionality is unset, data is null, N < 2, numNeighbors < 1 or knnLibrary
    // is not a vel::utils::knn_library code; a back end that cannot deliver the
    // neighbours throws std::runtime_error, and the hierarchy is then empty.
    void initialize(scalar_type* data, unsigned int N, Parameters params = Parameters());
    // Scale 0 takes P unchanged as its transition matrix (no normalisation, no
    // test); the hierarchy has no data pointer afterwards. Discards all scales.
    void initialize(const sparse_scalar_matrix_type& P, Parameters params = Parameters());

    // Clears the initialized flag only; the scales stay.
    void reset() { _initialized = false; }
    // Forgets the data pointer and clears the initialized flag; the scales stay.
    void clear() {
        _highDimensionalData = nullptr;
        _initialized = false;
    }

    utils::AbstractLog* logger() const { return _logger; }
    void setLogger(utils::AbstractLog* logger) { _logger = logger; }
    // When set, the memory-preserving construction writes its progress lines to
    // the logger; off after construction.
    bool verbose() const { return _verbose; }
    void setVerbose(bool verbose) { _verbose = verbose; }
    // Where initialize() and addScale() report their progress and learn of a
    // stop request; not owned, null (the default) for none. A stopped build
    // throws BuildProgress::Stopped and leaves the hierarchy without scales.
    void setProgress(BuildProgress* progress) { _progress = progress; }
    BuildProgress* progress() const { return _progress; }
    Statistics& statistics() { return _statistics; }
    const Statistics& statistics() const { return _statistics; }
    hierarchy_type& hierarchy() { return _hierarchy; }
    const hierarchy_type& hierarchy() const { return _hierarchy; }
    // i must be below the number of scales.
    Scale& scale(unsigned int i) { return _hierarchy[i]; }
    const Scale& scale(unsigned int i) const { return _hierarchy[i]; }
    // At least one scale must exist.
    Scale& top_scale() { return _hierarchy.back(); }
    const Scale& top_scale() const { return _hierarchy.back(); }

    // Seed of the random walks: params.seed when above 0, else the system clock's
    // current count. Read once per selection or area-of-influence computation.
    std::uint32_t seed() const;

    // Landmarks of `next` by visit counts of short walks from every point of
    // `previous`: a point is kept when more than T walks ended on it. Landmarks
    // are numbered in increasing order of their previous-scale index.
    void selectLandmarksWithStationaryDistribution(const Scale& previous, Scale& next, unsigned int& numLandmarks);
    // Landmarks of `next` by the fixed reduction: the distinct ends of walks from
    // uniformly drawn starts, numbered in the order chosen, until the previous
    // size x fixedReductionRatio are found or 100 attempts per wanted landmark
    // are spent; in the latter case the landmarks found are kept.
    void selectLandmarks(const Scale& previous, Scale& next, unsigned int& numLandmarks);
    // On return of either selection `next` holds N empty area-of-influence rows,
    // previousScaleToLandmarkIdx (-1 or the landmark), and numLandmarks entries of
    // the landmark indices, zero weights and empty transition rows; N is the
    // row count of previous.transitionMatrix.

    // Walk of length + 1 steps over M; the end vertex, or -1 when a step leaves
    // an empty row, stays on its vertex or finds a row summing to u or less.
    int randomWalk(unsigned int start, unsigned int length, const sparse_scalar_matrix_type& M,
                   std::uniform_real_distribution<double>& distribution, std::minstd_rand& generator) const;
    // Walk to the first vertex v with stopIdx[v] != -1, at least one step; -1 when
    // a step fails or maxLength steps do not reach such a vertex.
    int randomWalk(unsigned int start, const std::vector<int>& stopIdx, unsigned int maxLength,
                   const sparse_scalar_matrix_type& M, std::uniform_real_distribution<double>& distribution,
                   std::minstd_rand& generator) const;

    // Influence queries between scales; they only read the hierarchy, so several
    // threads may run them at once with outputs of their own. N0 is the size of
    // scale 0, A_s the area of influence of scale s. Point and landmark indices
    // given by the caller are checked against the rows they index and refused
    // with std::out_of_range; scale numbers are checked as each query states.
    using influence_rows = std::vector<std::unordered_map<unsigned int, scalar_type>>;

    // Landmarks of scale - 1 on which the given landmarks of `scale` have a summed
    // (double) influence above 0, with that sum. Empty for scale 0 or beyond the top.
    void getInfluencedLandmarksInPreviousScale(unsigned int scale, std::vector<unsigned int>& landmarks,
                                               std::map<unsigned int, scalar_type>& out) const;
    // Landmarks of scale + 1 reaching the given points of `scale` (a repeated point
    // counts again), each with the share of its whole area of influence that lies
    // on them; 0 for a landmark whose total is 0. Empty on the top scale.
    void getInfluencingLandmarksInNextScale(unsigned int scale, std::vector<unsigned int>& points,
                                            std::map<unsigned int, scalar_type>& out) const;
    // Per scale, the landmarks influencing data point p: {p: 1} on scale 0, row p
    // of A_1 on scale 1, then the chain through entries of the previous scale not
    // below threshold. normalise scales each map of scale 1 and above to sum 1
    // (a map summing to 0 is left as it is).
    void getInfluenceOnDataPoint(unsigned int p, influence_rows& influence, scalar_type threshold,
                                 bool normalise) const;
    // Per data point (or per given point), its weights over the landmarks of
    // `scale` (negative: the top scale); throws std::logic_error when the scale is
    // not below the number of scales or there are fewer than two scales.
    void getInterpolationWeights(sparse_scalar_matrix_type& weights, int scale = -1) const;
    void getInterpolationWeights(const std::vector<unsigned int>& points, sparse_scalar_matrix_type& weights,
                                 int scale = -1) const;
    // N0 values: the influence of the given landmarks of `scale` on each data point.
    void getAreaOfInfluence(unsigned int scale, const std::vector<unsigned int>& landmarks,
                            std::vector<scalar_type>& area) const;
    // N0 values: 1 for the data points reached by descending from the given
    // landmarks, keeping on every scale the landmarks influenced by more than 0.3.
    void getAreaOfInfluenceTopDown(unsigned int scale, const std::vector<unsigned int>& landmarks,
                                   std::vector<scalar_type>& area) const;
    // Per given point of `origin`, its weights over the landmarks of `destination`.
    void getStochasticLocationAtHigherScale(unsigned int origin, unsigned int destination,
                                            const std::vector<unsigned int>& points,
                                            sparse_scalar_matrix_type& location) const;
    // The input coordinates of data point p; throws std::logic_error when the
    // hierarchy holds no data pointer (built from a matrix or loaded).
    void getHighDimensionalDescriptor(std::vector<scalar_type>& out, unsigned int p) const;
    // Appends one coarser scale over the last one: its landmarks (by the
    // selection the parameters choose), the area of influence of every previous
    // point (shares of numWalksPerLandmark walks ending at each landmark), the
    // landmark weights and a row-stochastic transition matrix between landmarks.
    // Resets the statistics and logs their block. Needs a first scale.
    bool addScale();

private:
    // The in-memory construction: the walks of every point on a stream of its
    // own, then each landmark's weight and transition row summed in point order,
    // so the scale does not depend on the thread count.
    bool addScaleImpl();
    // The memory-preserving construction: the area of influence first, then the
    // transition matrix from its transpose, dropping entries at or below 0.001.
    bool addScaleOutOfCoreImpl();
    // The steps both constructions begin with; returns the new scale's landmark count.
    unsigned int beginScale(const char* firstLine);
    // One step from v: the next vertex, or -1 (see the fixed-length walk).
    int walkStep(unsigned int v, const sparse_scalar_matrix_type& M,
                 std::uniform_real_distribution<double>& distribution, std::minstd_rand& generator) const;
    // Sizes the vectors of `next` for `landmarks` landmarks over n previous points.
    static void prepareNextScale(Scale& next, unsigned int n, unsigned int landmarks);

    void initializeFirstScale();
    // The build's progress calls (see BuildProgress); nothing without one.
    void beginPhase(BuildProgress::Phase phase, unsigned int scale, std::size_t units) {
        if (_progress != nullptr) _progress->begin(phase, scale, units);
    }
    bool phaseStep(std::size_t units = 1) const { return _progress == nullptr || _progress->step(units); }
    void phaseBlock(std::size_t units) {
        if (_progress != nullptr) _progress->block(units);
    }
    void endPhase() {
        if (_progress != nullptr) _progress->end();
    }
    // N x K neighbour indices and their probabilities, K = min(numNeighbors + 1,
    // N), row i holding point i at position 0 with probability 0.
    void computeNeighborhoodGraph(std::vector<float>& probabilities, std::vector<int>& neighbours);
    void initializeFirstScale(const sparse_scalar_matrix_type& P);

    hierarchy_type _hierarchy;
    int _dimensionality = 0;
    unsigned int _numDataPoints = 0;
    // The caller's data, row-major, _dimensionality values per point; not owned.
    const scalar_type* _highDimensionalData = nullptr;
    bool _initialized = false;
    bool _verbose = false;
    Parameters _params;
    utils::AbstractLog* _logger = nullptr;
    Statistics _statistics;
    BuildProgress* _progress = nullptr;
};

}  // namespace dr
}  // namespace vel
