#pragma once

#include "analysis/MCV_Analysis.h"

#include "vel/data/Embedding.h"
#include "vel/data/MapMemEff.h"
#include "vel/dr/TsneParameters.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vel {
namespace dr {
template <typename scalar_type, typename sparse_scalar_matrix_type>
class SparseTSNEUserDefProbabilities;
}
}  // namespace vel

class MCV_DerivedDataHierarchy;
class MCV_GpuGradientDescent;
class MCV_HsneAnalysisHierarchy;

// One embedded level of an HSNE hierarchy (type 2): landmarks of one scale laid
// out by t-SNE gradient descent over their transition matrix. The overview
// level holds every landmark of the top scale; a drill-down level the
// landmarks of the next finer scale under a selection.
//
// Three index spaces: a level position (0 .. numDataPoints() - 1, the point
// index of the embedding and of the plot), a scale landmark index (position in
// the landmark list of the level's scale) and a data-point index (position in
// the hierarchy's point references).
//
// The level writes its coordinates into "QLMRN_HsneDataX"/"QLMRN_HsneDataY"
// of every event its landmarks stand for: at the start, every 100 iterations
// and at the end of a run. A level marked for deletion writes nothing more.
//
// Ownership: the level shares the derived hierarchy with its hierarchy
// analysis (the last owner frees it); it owns its engines, embedding and hidden
// context, and a drill-down level its transition matrix and landmark list.
// The shell destroys levels; the owner is told, and a level outlives its owner
// safely.
//
// Re-entrancy: the views pump the event loop inside analysisUpdated. Stop and
// delete are flag writes seen at the loop's next check; a restart
// (reInitEmbedding) during a run ends the loop and is carried out, followed by
// a new loop, once the loop has returned; a resume (embed) during a run changes
// nothing. Set-up calls (init, reInit, setHierarchy) during a run are refused
// with a line. The final report (analysisFinished or readyForDeletion) is the
// last thing a run does.
class MCV_HsneAnalysis : public MCV_Analysis {
public:
    using SparseMatrix = std::vector<vel::data::MapMemEff<unsigned int, float>>;
    using CpuEngine = vel::dr::SparseTSNEUserDefProbabilities<float, SparseMatrix>;

    explicit MCV_HsneAnalysis(MCV_HsneAnalysisHierarchy* owner);
    ~MCV_HsneAnalysis() override;

    // Base init; engine choice; a new empty embedding; no transition matrix.
    void init(MCV_UiInterface* ui, std::string name, bool useGPU);
    // The level's scale, and (drill-down) the transition matrix and landmark
    // list made for it; null matrix: the scale's own matrix, null list: every
    // landmark of the scale.
    void reInit(int scale, std::unique_ptr<SparseMatrix> matrix, std::unique_ptr<std::vector<unsigned>> landmarkIdxs);
    // Binds the hierarchy, sets up the engine, loads the landmark data and
    // reports analysisInitialized.
    void setHierarchy(std::shared_ptr<MCV_DerivedDataHierarchy> hierarchy);
    // A new embedding from random start positions (restart).
    //
    // Every engine set-up (binding, restart) draws the start from the
    // hierarchy analysis's seed when it is above 0 (the same start on the CPU
    // and the GPU, and the same CPU map on any thread count), from the clock
    // otherwise; a level without its analysis keeps the seed it last had.
    void reInitEmbedding();
    // Point references, file indices, marker rows and weights of the level.
    void initDerivedData();
    // Runs the gradient descent for iterations() iterations from the current
    // coordinates, reporting every iteration.
    void embed();
    // Ends the running loop after its current iteration.
    void stopGradientDescent();
    // Sets the deletion mark and stops a running loop; readyForDeletion is
    // reported at once when idle, else when the run has ended.
    void markForDeletion();

    // The scale landmark indices of level positions (bounds-checked:
    // std::out_of_range); the argument itself for the overview level. The
    // result is owned by the level and overwritten by the next call.
    std::vector<unsigned>* selectedLandmarkIdxs(std::vector<unsigned>* selection);
    // Empties refs and fills it with the (file, event) pairs that the selected
    // level positions stand for, only of files whose flag is set (all with a
    // null filter). std::out_of_range for a position beyond the level or a
    // file beyond the filter.
    void computePointReferencesForLandmarkIdxs(std::vector<unsigned>* selection, std::vector<std::pair<int, int>>* refs,
                                               std::vector<bool>* fileFilter);
    // The level's own cluster set "<name> - <level name>" (a "-k" variant when
    // another set bears that name, MCV_CytometryData::ownedClusters) of the
    // events of each cluster of level positions; positions beyond the level
    // are left out.
    MCV_DerivedDataClusters* updateClusters(std::vector<std::vector<unsigned>>* clusters, std::string name) override;
    // The rows of markers(), point by point; the appended values come from
    // each landmark's own event (the next output write lays every row from
    // the last event of the landmark's list again).
    void widenPointRows() override { widenRows(m_markers, m_pointReferences); }
    // Four floats per level position for the renderer (level, share of the
    // landmark's events in selected files x weight, 1, 1); returns the largest
    // weight (10 at scale 0, where every entry is 1; -1 without landmarks).
    float pointScaleForSampleSelection(std::vector<bool> sampleSelection, std::vector<float>& scales);
    // Writes the coordinates into the output variables of every event the
    // level stands for and refreshes the marker rows.
    void writeHsneChannels();
    // When scale >= 0 and a hierarchy is bound: a new empty embedding.
    void reset();

    // ---- Settings (the loop reads the iteration count live) ----
    void setIterations(int iterations) { m_iterations = iterations; }
    void setExaggerationIter(int iteration) { m_exaggerationIter = iteration; }
    void setExpDecay(int iterations) { m_expDecay = iterations; }
    void setScale(int scale) { m_scale = scale; }
    int iterations() const { return m_iterations; }
    int exaggerationIter() const { return m_exaggerationIter; }
    int expDecay() const { return m_expDecay; }
    int scale() const { return m_scale; }
    bool useGPU() const { return m_useGpu; }
    // Whether the last engine set-up runs on the GPU (the GPU choice falls back
    // to the CPU without a usable OpenGL context).
    bool gpuEngineActive() const;

    // True from the start of embed until it returns.
    bool isRunning() const override { return m_inProgress; }
    bool markedForDeletion() const { return m_markedForDeletion; }

    MCV_HsneAnalysisHierarchy* owner() const { return m_owner; }
    MCV_DerivedDataHierarchy* hierarchy() const { return m_hierarchy.get(); }
    // Null for the overview level (every landmark of the scale in order).
    const std::vector<unsigned>* landmarkIdxs() const { return m_landmarkIdxs.get(); }

    // ---- Results (pointers stay valid for the level's life) ----
    int numDataPoints() const { return static_cast<int>(m_pointReferences.size()); }
    // (file index, event index) of each landmark's own data point.
    std::vector<std::pair<int, int>>* pointReferences() { return &m_pointReferences; }
    // x, y of level position i at 2i, 2i + 1.
    std::vector<float>* output() { return &m_output; }
    std::vector<int>* outputFileIdxs() { return &m_outputFileIdxs; }
    // All variables of each level position, row-major.
    std::vector<float>* markers() { return &m_markers; }
    const std::vector<float>& landmarkWeights() const { return m_landmarkWeights; }

    // Called by the owner when it goes away before the level.
    void ownerDestroyed() { m_owner = nullptr; }

private:
    enum class Request { None, Embed, Restart };

    void run(Request request);
    void defer(Request request);
    // Whether set-up may proceed; prints why not during a run.
    bool refuseWhileRunning(const char* what) const;
    bool bound() const { return m_scale >= 0 && m_hierarchy != nullptr; }
    bool setUpEngine();
    vel::dr::TsneParameters descentParameters(size_t rows) const;
    const SparseMatrix* matrix() const;
    void embedLoop();
    void iterate();

    MCV_HsneAnalysisHierarchy* m_owner = nullptr;
    std::shared_ptr<MCV_DerivedDataHierarchy> m_hierarchy;
    std::unique_ptr<SparseMatrix> m_ownMatrix;  // drill-down levels
    std::unique_ptr<std::vector<unsigned>> m_landmarkIdxs;
    std::vector<unsigned> m_selectedLandmarkIdxs;
    std::unique_ptr<CpuEngine> m_cpuEngine;
    std::unique_ptr<MCV_GpuGradientDescent> m_gpu;
    bool m_gpuActive = false;
    bool m_engineReady = false;
    std::unique_ptr<vel::data::Embedding<float>> m_embedding;

    bool m_useGpu = true;
    int m_iterations = 1000;
    int m_scale = -1;
    int m_exaggerationIter = 125;
    int m_expDecay = 50;
    int m_seed = -1;  // the owner's seed at the last engine set-up

    bool m_running = false;     // the loop goes on while set
    bool m_inProgress = false;  // embed is on the call stack
    bool m_markedForDeletion = false;
    Request m_pending = Request::None;
    bool m_missingOutputReported = false;  // once per run

    std::vector<std::pair<int, int>> m_pointReferences;
    std::vector<float> m_output;
    std::vector<int> m_outputFileIdxs;
    std::vector<float> m_markers;
    std::vector<float> m_landmarkWeights;
};
