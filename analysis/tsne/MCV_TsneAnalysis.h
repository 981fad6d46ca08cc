#pragma once

#include "analysis/MCV_Analysis.h"

#include "vel/data/Embedding.h"
#include "vel/data/MapMemEff.h"
#include "vel/dr/TsneParameters.h"
#include "vel/utils/KnnCodes.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vel {
namespace utils {
class CoutLog;
}
namespace dr {
template <typename scalar_type, typename sparse_scalar_matrix_type>
class SparseTSNEUserDefProbabilities;
}
}  // namespace vel

class MCV_GpuGradientDescent;

// The A-tSNE analysis (type 1): a two-dimensional t-SNE embedding of a point
// subset of the loaded data, computed on the GUI thread and shown live.
//
// A run gathers the subset's values of the enabled markers, computes the
// sparse conditional probabilities, sets up the CPU (Barnes-Hut) or GPU
// (raster field) gradient descent, which symmetrises them, and iterates. Every step is reported through the
// callback interface; the coordinates are kept for the renderer and written
// into the data set as the variables "QLMRN_TsneX" and "QLMRN_TsneY", so they
// travel with exported files. Progress and timings go to standard output.
//
// Re-entrancy: the views pump the event loop inside analysisUpdated, so every
// request (compute, restart, resume, stop, delete) may arrive while a run is on
// the stack. Stop and delete are flag writes seen at the loop's next check. A
// compute or restart that arrives during a run stops the current loop and is
// carried out by the outermost call once the loop has returned; so is a resume
// that arrives after a stop (a resume while the loop runs changes nothing). A
// run and the requests it took over end with one final report
// (analysisFinished or readyForDeletion), the last thing the run does: after
// readyForDeletion the analysis touches nothing of itself.
class MCV_TsneAnalysis : public MCV_Analysis {
public:
    using SparseMatrix = std::vector<vel::data::MapMemEff<unsigned int, float>>;
    using CpuEngine = vel::dr::SparseTSNEUserDefProbabilities<float, SparseMatrix>;

    // Fewest points a run accepts: the perplexity is lowered to N / 4 for
    // small subsets and must stay at least 1.
    static constexpr int kMinPoints = 4;

    MCV_TsneAnalysis();
    ~MCV_TsneAnalysis() override;

    // Creates the console logger, then the common initialisation.
    void init(MCV_UiInterface* ui, std::string name);

    // Probabilities, set-up and the embed loop, all before returning.
    void computeTSNE();
    // A new embedding from the probabilities of the last run, then the loop.
    void computeGradientDescent();
    // Runs the loop from the current embedding for a full iteration count
    // (resume); the engine's schedule continues where it stopped.
    void embed();
    // Only the probability step: reports analysisInitialized when it computed
    // them. Refused while a run is in progress.
    void initTSNE();

    // Ends the running loop after its current iteration.
    void stopGradientDescent();
    // Stops a running loop; readyForDeletion follows at once when idle, else
    // when the run has ended. Later requests are ignored.
    void markForDeletion();

    // Stores the clusters (indices into the embedded points) as the analysis'
    // own cluster set "<name> - <analysis name>" (a "-k" variant when another
    // set bears that name, MCV_CytometryData::ownedClusters) and returns it.
    // Indices beyond the embedded points are skipped.
    MCV_DerivedDataClusters* updateClusters(std::vector<std::vector<unsigned>>* clusters, std::string name) override;
    // The rows of markers(), point by point.
    void widenPointRows() override { widenRows(m_pointValues, m_pointReferences); }

    // True from the start of a compute, restart or resume until its call
    // returns: the data it works on must not be replaced meanwhile.
    bool isRunning() const override;
    bool gradientDescentInitialized() const { return m_gradientDescentInitialized; }

    // ---- Settings (read at the next run; the loop reads the iteration count live) ----
    void setIterations(int iterations) { m_iterations = iterations; }
    void setNumTrees(int trees) { m_numTrees = trees; }
    void setNumChecks(int checks) { m_numChecks = checks; }
    void setKnnLibrary(vel::utils::knn_library library) { m_knnLibrary = library; }
    void setKnnMetric(vel::utils::knn_distance_metric metric) { m_knnMetric = metric; }
    void setExaggerationIter(int iteration) { m_exaggerationIter = iteration; }
    void setExpDecay(int iterations) { m_expDecay = iterations; }
    void setPerplexity(int perplexity) { m_perplexity = perplexity; }
    // The seed of the start positions; negative (the default) takes it from
    // the clock, so every run starts afresh.
    void setSeed(int seed) { m_seed = seed; }
    // Only 2 is supported: the GPU engine, the output variables and the
    // renderer are two-dimensional.
    void setNumDimensionsOutput(int dimensions) { m_numDimensionsOutput = dimensions; }
    void setUseGPU(bool useGpu) { m_useGpu = useGpu; }
    void setContinuousUpdates(bool on) { m_continuousUpdates = on; }
    void setVerbose(bool verbose) { m_verbose = verbose; }
    void setSkipNormalization(bool skip) { m_skipNormalization = skip; }

    int iterations() const { return m_iterations; }
    int numTrees() const { return m_numTrees; }
    int numChecks() const { return m_numChecks; }
    int knnLibrary() const { return m_knnLibrary; }
    int knnMetric() const { return m_knnMetric; }
    int exaggerationIter() const { return m_exaggerationIter; }
    int expDecay() const { return m_expDecay; }
    int perplexity() const { return m_perplexity; }
    int numDimensionsOutput() const { return m_numDimensionsOutput; }
    bool useGPU() const { return m_useGpu; }
    bool continuousUpdates() const { return m_continuousUpdates; }
    bool verbose() const { return m_verbose; }
    bool skipNormalization() const { return m_skipNormalization; }
    // The perplexity the last probability step used (the setting, lowered for
    // small subsets); 0 before any.
    float runPerplexity() const { return m_runPerplexity; }

    // ---- Results (pointers stay valid for the analysis's life) ----
    int numDataPoints() const { return m_numPoints; }
    // x, y of point i at 2i, 2i + 1.
    std::vector<float>* output() { return &m_output; }
    // The file index of each embedded point.
    std::vector<int>* outputFileIdxs() { return &m_outputFileIdxs; }
    // The full data row (all variables) of each embedded point, refreshed
    // whenever the output variables are written.
    std::vector<float>* markers() { return &m_pointValues; }
    // (file index, event index) of each embedded point.
    std::vector<std::pair<int, int>>* pointReferences() { return &m_pointReferences; }
    float radius() const { return m_radius; }
    int numDiscreteMetaValues() const { return m_numDiscreteMetaValues; }
    // Which engine the last set-up created (the GPU choice may have fallen
    // back to the CPU).
    bool gpuEngineActive() const { return m_engine == Engine::Gpu; }

private:
    // What a caller asked for, in increasing order of the work it redoes.
    enum class Request { None, Embed, GradientDescent, Tsne };
    enum class Engine { None, Cpu, Gpu };

    // Runs `request` and every request that arrived during it, then makes the
    // final report. Called only when no run is in progress.
    void run(Request request);
    // One request of a run; library failures propagate to run().
    void perform(Request request);
    // Records a request that arrived during a run; compute and restart end the
    // running loop.
    void defer(Request request);
    bool interrupted() const { return m_deletionRequested || m_pending >= Request::GradientDescent; }

    // Probability step; false when it refused (and printed why).
    bool computeProbabilities();
    // Checks the data selection, the markers and the loaded data; prints the
    // reason and returns false when a run cannot start.
    bool checkRunnable(const std::vector<std::pair<int, int>>& points) const;
    // Gradient-descent set-up; false when there is nothing to set up.
    bool setUpGradientDescent();
    vel::dr::TsneParameters descentParameters() const;
    void setUpCpuEngine(const vel::dr::TsneParameters& params);
    bool setUpGpuEngine(const vel::dr::TsneParameters& params);
    // Whether the last set-up matches the current points.
    bool readyToEmbed() const;
    // The iteration loop with its console lines.
    void embedLoop();
    void doOneIteration();
    void refreshBounds();
    // Output := the embedding; writes it into the two output variables of the
    // embedded events and refreshes their point-value rows.
    void writeTsneChannels();

    // Settings.
    int m_iterations = 1000;
    int m_numTrees = 4;
    int m_numChecks = 1024;
    int m_knnLibrary = vel::utils::KNN_ANNOY;
    int m_knnMetric = vel::utils::KNN_METRIC_EUCLIDEAN;
    int m_exaggerationIter = 250;
    int m_expDecay = 70;
    int m_perplexity = 30;
    int m_seed = -1;
    int m_numDimensionsOutput = 2;
    bool m_useGpu = false;
    bool m_continuousUpdates = true;
    bool m_verbose = false;
    bool m_skipNormalization = false;

    // Run state.
    bool m_running = false;     // the loop goes on while set
    bool m_inProgress = false;  // a request is on the call stack
    bool m_gradientDescentInitialized = false;
    bool m_deletionRequested = false;
    Request m_pending = Request::None;
    bool m_missingOutputReported = false;  // once per loop
    float m_runPerplexity = 0;

    // Results.
    std::vector<std::pair<int, int>> m_pointReferences;
    int m_numPoints = 0;
    float m_radius = 0;
    std::vector<float> m_output;
    std::vector<int> m_outputFileIdxs;
    int m_numDiscreteMetaValues = 0;
    std::vector<float> m_pointValues;

    // Computation.
    std::unique_ptr<vel::utils::CoutLog> m_logger;
    std::vector<float> m_highDimensionalData;
    unsigned m_highDimensionalDims = 0;
    SparseMatrix m_probabilities;  // conditional, not symmetrised
    std::unique_ptr<CpuEngine> m_cpuEngine;
    std::unique_ptr<MCV_GpuGradientDescent> m_gpu;
    Engine m_engine = Engine::None;
    std::unique_ptr<vel::data::Embedding<float>> m_embedding;
};
