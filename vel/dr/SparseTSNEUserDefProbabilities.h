#pragma once
// t-SNE gradient descent on the CPU over a sparse joint-probability matrix
// given by the caller. One iteration per doAnIteration() call; positions are
// written in place into the caller's embedding. theta 0 selects the exact
// O(N^2) gradient, theta > 0 the Barnes-Hut approximation (BarnesHutTree).
// For a 2-D float embedding the repulsion is the exact sum of all pairs
// (ExactRepulsion) at theta 0, and also at a theta > 0 small enough for the
// size that the tree would visit most of its nodes and cost more than the sum
// it approximates; the gradient keeps the scale of the rule chosen (the exact
// gradient's or Barnes-Hut's).
//
// Each iteration runs as one parallel stretch on as many threads as its work
// pays for, at most omp_get_max_threads(). Results do not depend on the thread
// count: every parallel loop writes only the rows of its own points, and every
// sum over points is formed over fixed runs of points added in index order.

#include <string>
#include <vector>

#include "vel/data/Embedding.h"
#include "vel/dr/BarnesHutTree.h"
#include "vel/dr/ExactRepulsion.h"
#include "vel/utils/ThreadCountTuner.h"
#include "vel/dr/TsneParameters.h"
#include "vel/utils/AbstractLog.h"

namespace vel {
namespace dr {

template <typename scalar_type, typename sparse_scalar_matrix_type>
class SparseTSNEUserDefProbabilities {
public:
    using embedding_type = data::Embedding<scalar_type>;
    using scalar_vector_type = std::vector<scalar_type>;

    SparseTSNEUserDefProbabilities() = default;

    void setLogger(utils::AbstractLog* logger) { _logger = logger; }
    utils::AbstractLog* logger() const { return _logger; }
    void setTheta(double theta) { _theta = static_cast<scalar_type>(theta); }
    scalar_type theta() const { return _theta; }

    // Symmetrises P into the engine, sizes the embedding to D x N and draws the
    // start positions. Rows must be sorted by column with columns below N.
    // Throws std::logic_error for fewer than 2 dimensions or a column >= N.
    void initialize(const sparse_scalar_matrix_type& P, embedding_type* embedding, TsneParameters params);
    // As initialize, taking P as the finished joint matrix, unchanged.
    void initializeWithJointProbabilityDistribution(const sparse_scalar_matrix_type& P, embedding_type* embedding,
                                                    TsneParameters params);
    // Throws std::logic_error "Cannot compute a gradient descent iteration on
    // unitialized data" before initialize.
    void doAnIteration(double multiplier = 1.0);

    unsigned int iteration() const { return _iteration; }
    void setIteration(unsigned int iteration) { _iteration = iteration; }
    unsigned int getNumberOfDataPoints() const { return static_cast<unsigned int>(_P.size()); }
    const sparse_scalar_matrix_type& getDistributionP() const { return _P; }
    // The dense Q of the last exact iteration that did not take the exact sum
    // (embeddings of 3 or more dimensions, double positions); empty otherwise.
    const scalar_vector_type& getDistributionQ() const { return _Q; }
    double& exaggeration_baseline() { return _exaggeration_baseline; }
    const double& exaggeration_baseline() const { return _exaggeration_baseline; }
    // Blocks iterations until the next initialize; keeps all data.
    void reset() { _initialized = false; }
    // Clears the caller's embedding; needs an earlier initialize.
    void clear();
    // This engine computes no divergence.
    double computeKullbackLeiblerDivergence() const { return 0.0; }
    // The coordinates of one point.
    void getEmbeddingPosition(scalar_vector_type& position, unsigned int index) const;

private:
    void prepare(const sparse_scalar_matrix_type& P, embedding_type* embedding, const TsneParameters& params,
                 bool symmetrise);
    void checkInput(const sparse_scalar_matrix_type& P, const TsneParameters& params) const;
    void computeHighDimensionalDistribution(const sparse_scalar_matrix_type& P);
    void initializeEmbeddingPosition(int seed, double spread);
    double exaggerationFactor() const;
    void doAnIterationExact(double multiplier);
    void doAnIterationBarnesHut(double multiplier);
    void computeLowDimensionalDistribution();
    void computeExactGradient(double exaggeration);
    // Adds the attraction of P's row i to its point.
    template <unsigned int D>
    void attractiveForces(std::size_t i, double exaggeration);
    // The attractive and repulsive forces and the normalisers' shares.
    // Orphaned work-sharing, as finishStep.
    template <unsigned int D>
    void barnesHutForces(BarnesHutTree<scalar_type, D>& tree, double exaggeration);
    // Embeddings of more than kMaxTreeDimensions dimensions use the pointer tree.
    void barnesHutForcesOfSPTree(double exaggeration);
    void updateTheEmbedding(double multiplier);

    // One step of the whole embedding from the attractive and repulsive forces
    // and the normalisers' shares: the gradient, gains, update and the box
    // rescaling or centring. Orphaned work-sharing: called by every thread of
    // a team, or by one thread outside a parallel region, with the same result;
    // its last loop does not wait, so it comes last in the team.
    struct Step {
        double momentum, learningRate, minimumGain, multiplier;
        double scale;  // of the gradient: 4 for the exact gradient, 1 for Barnes-Hut's
        bool grow;     // scale up to a width of 0.1 while exaggerating, else centre
    };
    // Also sizes finishStep's working memory.
    Step stepSettings(double multiplier);
    void finishStep(const Step& step);
    // 2-D float iterations take the exact sum of all pairs at theta 0, and
    // where the Barnes-Hut tree would cost more than it at this theta; the
    // gradient is scaled as the exact (4) or the Barnes-Hut (1) gradient is.
    bool exactSumPays() const;
    void doAnIterationExactSum(double multiplier, double scale);
    // Threads for a parallel stretch of about `work` nanoseconds on one thread:
    // enough work per thread to pay for its waking, at most the caller's count.
    static int threadsFor(double work);
    void log(const std::string& text) const {
        if (_logger) _logger->display(text, false);
    }

    embedding_type* _embedding = nullptr;
    scalar_vector_type* _embedding_container = nullptr;
    bool _initialized = false;
    double _exaggeration_baseline = 1.0;
    sparse_scalar_matrix_type _P;
    scalar_vector_type _Q;
    scalar_type _normalization_Q = 0;
    scalar_vector_type _gradient;
    scalar_vector_type _previous_gradient;
    scalar_vector_type _gain;
    scalar_type _theta = 0;
    TsneParameters _params;
    unsigned int _iteration = 0;
    utils::AbstractLog* _logger = nullptr;

    // Element-wise passes over fewer coordinates run on the calling thread: a
    // parallel region would cost more than it saves.
    static constexpr std::size_t kParallelCoordinates = std::size_t(1) << 16;
    static constexpr std::size_t kSumRun = 1024;  // points per partial sum of the normaliser, and per box
    std::vector<scalar_type> _run_boxes;
    ExactRepulsion _exact;
    // The thread count of an iteration's parallel stretch: at most what its
    // work pays for, fewer when fewer finish sooner (a busy machine).
    utils::ThreadCountTuner _threads;

    // Barnes-Hut working memory, kept between iterations.
    static constexpr std::size_t kMaxTreeDimensions = 3;
    BarnesHutTree<scalar_type, 2> _tree2;
    BarnesHutTree<scalar_type, 3> _tree3;
    std::vector<double> _attractive;
    std::vector<double> _repulsive;
    std::vector<double> _partial_normalisers;
    std::vector<unsigned int> _query_order;
};

}  // namespace dr
}  // namespace vel
