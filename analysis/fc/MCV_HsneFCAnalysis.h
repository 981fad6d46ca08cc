#pragma once

#include "analysis/MCV_Analysis.h"
#include "analysis/hsne/MCV_HsneHierarchyBuilder.h"

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

class MCV_DerivedDataHierarchy;
class MCV_FCEventCover;
class MCV_FCTree;
class MCV_GpuGradientDescent;
struct HierarchyNode;

// The HSNE focus-and-context analysis (type 3): one two-dimensional map that
// mixes landmarks of several scales of one HSNE hierarchy. The focus is shown
// with fine landmarks, the context with coarse ones. Which landmarks of which
// scale are on the map is the focus-and-context tree (a derived-data set of
// the data model named after the analysis): every leaf is one group of
// landmarks of one scale, every landmark of a leaf one embedding point.
//
// Embedding point i is described in parallel by pointNodes()[i] (its leaf and
// the position in the leaf's landmark list), pointReferences()[i],
// outputFileIdxs()[i], row i of markers() and row i of the mixed transition
// matrix; x, y of point i are output()[2i], output()[2i + 1].
//
// Caches: the hierarchy caches beside the data are shared with the HSNE
// analysis and used only through their gate: "All Points" with caching on and
// a parameter cache that records exactly this analysis's settings. A build
// writes the two hierarchy files first and the parameter cache last. The
// load, build and write run off the GUI thread through builder(), whose
// progress hook keeps the window alive; markForDeletion stops a build at its
// next block, which then changes nothing.
//
// Re-entrancy: the views pump the event loop inside analysisUpdated, so stop,
// delete, compute and tree operations may arrive while the embed loop is on
// the stack. Stop and delete are flag writes seen at the loop's next check. A
// compute, restart or tree operation arriving during a run stops the loop and
// is carried out once the loop has returned; the run and the requests it took
// over end with one final report (analysisFinished or readyForDeletion), the
// last thing the run does.
//
// Ownership: the analysis owns its hierarchy, engines, embedding, logger and
// hidden context; the tree belongs to the data model and is detached from the
// hierarchy when the analysis is destroyed. GUI thread only.
class MCV_HsneFCAnalysis : public MCV_Analysis {
public:
    using SparseMatrix = std::vector<vel::data::MapMemEff<unsigned int, float>>;
    using CpuEngine = vel::dr::SparseTSNEUserDefProbabilities<float, SparseMatrix>;
    using NodePtr = std::shared_ptr<HierarchyNode>;
    using PointNode = std::pair<NodePtr, int>;

    MCV_HsneFCAnalysis();
    ~MCV_HsneFCAnalysis() override;

    // Common initialisation, a new console logger and a new empty embedding.
    // Computes nothing. Refused with a line during a run.
    void init(MCV_UiInterface* ui, std::string name);

    // ---- Hierarchy ----
    // Builds or loads the hierarchy over the enabled markers of the active
    // selection, resets the tree to the top scale and embeds it; returns when
    // the run has ended. Too small a selection or a library error prints a
    // line and changes nothing.
    void initHSNE();
    // Whether the gated caches held this analysis's hierarchy and it was
    // loaded into the current hierarchy object.
    bool loadCachedHSNE();
    // Writes the gated caches of the current hierarchy (parameter cache last).
    void cacheHSNE();

    // ---- Tree operations (called by the view) ----
    // No operation takes an event off the map: the leaves together always
    // stand for every event they stood for before (an event may be listed by
    // two leaves; it then holds the position of the finer landmark, see
    // writeHsneChannels).
    //
    // Makes the selected embedding points the focus; no embedding set-up. A
    // selection of every point of a focus leaf leaves the tree as it is.
    void setFocus(std::vector<unsigned>* selection);
    // Stop, change the tree, re-initialise keeping positions, update the
    // per-point data, report analysisInitialized, embed.
    void differentiateFocusMore();
    void differentiateFocusLess();
    void differentiateFocus(bool more);
    void refineAll();
    void coarsenAll();
    void refineAll(bool refine);
    // Tree changes alone (no set-up, no embed).
    // Refines a leaf one scale: its child holds the finer landmarks under it
    // and, for every event of the leaf that none of those stands for, the
    // finer landmark that does.
    void zoomIntoNode(NodePtr node);
    // Coarsens a leaf: a refinement goes back into its parent; a half of a
    // split has nothing coarser and stays; the root stays. When the parent is
    // itself half of a split, the split above moves up as far as that keeps
    // every event on the map.
    void zoomOutOfNode(NodePtr node);
    void zoomIntoAll();
    void zoomOutOfAll();
    void zoomIntoFocus();
    void zoomOutOfFocus();

    // ---- Per-point data ----
    // Resets the tree to one root holding every top-scale landmark.
    void initDerivedData();
    // Point references, file indices and data rows of every embedding point.
    void updateDerivedData();

    // ---- Mixed transition matrix ----
    // Rebuilds it by the current mode when a tree change asked for it.
    void buildMixedTransitionMatrix();
    void buildMixedTransitionMatrixStandard();
    void buildMixedTransitionMatrixPruneDeepest();
    void buildMixedTransitionMatrixPruneDeepestOverwriteContext();
    void buildMixedTransitionMatrixPushDown();
    void appendSparseTransitionMatrix(SparseMatrix* rows);
    // The whole transition matrix of `scale`; nothing without a hierarchy.
    void initTransitionMatrix(int scale);

    // ---- Embedding ----
    // Sets up the engine over the mixed transition matrix; keepPositions
    // starts from the tree's coordinates times the rescale factor, otherwise
    // from random positions drawn from seed() when it is above 0 (the same
    // start on the CPU and the GPU, and the same CPU map on any thread
    // count), from the clock otherwise.
    void reInitEmbedding(bool keepPositions);
    // One gradient-descent step and its report.
    void iterate();
    // The embed loop from the current positions for iterations() iterations.
    void embed();
    // Stops a run and starts afresh from random positions over the current
    // mixed transition matrix.
    void reEmbed();
    // Ends the running loop after its current iteration; the tree receives
    // the current positions.
    void stopGradientDescent();
    // Sets the deletion mark and stops a run or a hierarchy build (which then
    // leaves nothing behind); readyForDeletion follows at once when idle, else
    // when the run has ended.
    void markForDeletion();
    // Every leaf landmark that is an embedding point takes the point's x, y.
    void updateTreeCoordinates();
    // Writes x, y of every embedding point into "QLMRN_HsneDataX"/"...Y" of
    // every event its landmark stands for; all other events get 0. An event
    // that several points' landmarks stand for holds the position of the
    // finest of them (lowest scale; among points of one landmark the first),
    // by the rule of updateClusters: an exported cluster's events lie at its
    // own points.
    void writeHsneChannels();
    // Fills m_eventOwners for the points and files of now, by the rule above
    // (MCV_FCEventCover::partitionEvents, each point a group of its own).
    void findEventOwners(size_t files);

    // The analysis' own cluster set "<name> - <analysis name>" (a "-k" variant
    // when another set bears that name, MCV_CytometryData::ownedClusters) of
    // the events of each cluster of embedding points; points beyond the
    // embedding are left out. The clusters share no event: an event that
    // landmarks of several clusters stand for belongs to the cluster of the
    // finest of them (lowest scale), and among landmarks of that scale (the
    // same landmark in several clusters) to the first such cluster
    // (MCV_FCEventCover::partitionEvents).
    MCV_DerivedDataClusters* updateClusters(std::vector<std::vector<unsigned>>* clusters, std::string name) override;
    // The rows of markers(), point by point.
    void widenPointRows() override { widenRows(m_pointData, m_pointReferences); }
    // Empties refs and fills it with the (file, event) pairs that the given
    // embedding points stand for, each once (the leaves of a focus stand for
    // many of the same events), only of files whose flag is set (all with a
    // null mask; a file beyond the mask counts as unset). Points beyond the
    // embedding (a selection older than the last tree change) are skipped.
    void computePointReferencesForLandmarkIdxs(std::vector<unsigned>* points, std::vector<std::pair<int, int>>* refs,
                                               std::vector<bool>* fileMask);
    // Four floats per embedding point for the renderer (depth, weight, event
    // count, focus value) and ranges (depth span, largest weight, largest
    // count, -1).
    void pointScaleForSampleSelection(std::vector<bool> samples, std::vector<float>& values,
                                      std::vector<float>& ranges);

    // ---- Settings (stored; the hierarchy ones act at the next initHSNE) ----
    void setNumScales(int scales) { settings().numScales = scales; }
    void setSeed(int seed) { settings().seed = seed; }
    // The settings of a descent over `rows` points: from a random start, or
    // from the kept positions of the tree.
    vel::dr::TsneParameters descentParameters(size_t rows, bool keepPositions) const;
    void setNumWalksPerLandmark(int walks) { settings().numWalksPerLandmark = walks; }
    void setMcmcsNumWalks(int walks) { settings().mcmcsNumWalks = walks; }
    void setMcmcsLandmarkThresh(float thresh) { settings().mcmcsLandmarkThresh = thresh; }
    void setMcmcsWalkLength(int length) { settings().mcmcsWalkLength = length; }
    void setMonteCarloSampling(bool on) { settings().monteCarloSampling = on; }
    void setPruneThresh(int thresh) { settings().pruneThresh = thresh; }
    void setAknnNumChecks(int checks) { settings().aknnNumChecks = checks; }
    void setKnnLibrary(vel::utils::knn_library library) { settings().knnLibrary = library; }
    void setKnnMetric(vel::utils::knn_distance_metric metric) { settings().knnMetric = metric; }
    void setMemoryPreserving(bool on) { settings().memoryPreserving = on; }
    void setUseHardThresh(bool on) { settings().useHardThresh = on; }
    void setHardThresh(float thresh) { settings().hardThresh = thresh; }
    void setNumNeighbors(int neighbors) { settings().numNeighbors = neighbors; }
    void setCachingEnabled(bool on) { settings().cachingEnabled = on; }
    void setIterations(int iterations) { m_iterations = iterations; }
    // Early exaggeration of the next embedding: its stop iteration and its decay length.
    void setExaggerationIter(int iteration) { m_exaggerationIter = iteration; }
    void setExpDecay(int iterations) { m_expDecay = iterations; }
    void setExaggerationFactorRefine(float factor) { m_exaggerationFactorRefine = factor; }
    void setMomentumRefine(float momentum) { m_momentumRefine = momentum; }
    void setRescaleFactor(float factor) { m_rescaleFactor = factor; }
    void setUseGPU(bool on) { m_useGpu = on; }
    // Stores the mode (TransitionMatrixMode; other values build as the
    // standard mode); the next tree operation builds with it.
    void setTransitionMatrixMode(int mode);

    int numScales() const { return settings().numScales; }
    int activeNumScales() const { return m_activeNumScales; }
    int seed() const { return settings().seed; }
    int numWalksPerLandmark() const { return settings().numWalksPerLandmark; }
    int mcmcsNumWalks() const { return settings().mcmcsNumWalks; }
    float mcmcsLandmarkThresh() const { return settings().mcmcsLandmarkThresh; }
    int mcmcsWalkLength() const { return settings().mcmcsWalkLength; }
    bool monteCarloSampling() const { return settings().monteCarloSampling; }
    int pruneThresh() const { return settings().pruneThresh; }
    int aknnNumChecks() const { return settings().aknnNumChecks; }
    int numTrees() const { return settings().numTrees; }
    int knnLibrary() const { return settings().knnLibrary; }
    int knnMetric() const { return settings().knnMetric; }
    bool memoryPreserving() const { return settings().memoryPreserving; }
    bool useHardThresh() const { return settings().useHardThresh; }
    float hardThresh() const { return settings().hardThresh; }
    int numNeighbors() const { return settings().numNeighbors; }
    bool cachingEnabled() const { return settings().cachingEnabled; }
    int iterations() const { return m_iterations; }
    int exaggerationIter() const { return m_exaggerationIter; }
    int expDecay() const { return m_expDecay; }
    float exaggerationFactorRefine() const { return m_exaggerationFactorRefine; }
    float momentumRefine() const { return m_momentumRefine; }
    float rescaleFactor() const { return m_rescaleFactor; }
    bool useGPU() const { return m_useGpu; }
    int transitionMatrixMode() const { return m_transitionMatrixMode; }
    // Whether the last engine set-up runs on the GPU (the GPU choice falls
    // back to the CPU without a usable OpenGL context).
    bool gpuEngineActive() const;

    // True from the start of a run (or initHSNE) until it returns.
    bool isRunning() const override { return m_inProgress; }
    bool markedForDeletion() const { return m_markedForDeletion; }

    // The build settings and the road to the hierarchy (caches, build).
    MCV_HsneHierarchyBuilder& builder() { return m_builder; }
    MCV_HsneHierarchyBuilder::Settings& settings() { return m_builder.settings(); }
    const MCV_HsneHierarchyBuilder::Settings& settings() const { return m_builder.settings(); }

    // ---- State and results (pointers stay valid for the analysis's life) ----
    MCV_DerivedDataHierarchy* hierarchy() const { return m_hierarchy.get(); }
    // The analysis's own tree, made at its first Compute and registered in
    // the data set (which owns it) under the analysis's name or its next
    // free "-k" variant; null before.
    MCV_FCTree* fcTree() const { return m_fcTree; }
    int numDataPoints() const { return static_cast<int>(m_pointNodes.size()); }
    std::vector<PointNode>* pointNodes() { return &m_pointNodes; }
    SparseMatrix* mixedTransitionMatrix() { return &m_mixedTransitionMatrix; }
    bool rebuildTransitionMatrix() const { return m_rebuildTransitionMatrix; }
    std::vector<std::pair<int, int>>* pointReferences() { return &m_pointReferences; }
    std::vector<std::pair<int, int>>* pointsData() { return &m_pointsData; }
    // x, y of embedding point i at 2i, 2i + 1, copied after every iteration.
    std::vector<float>* output() { return &m_output; }
    std::vector<int>* outputFileIdxs() { return &m_pointFileIdxs; }
    // All variables of each embedding point's event, row-major.
    std::vector<float>* markers() { return &m_pointData; }
    vel::data::Embedding<float>* embedding() { return m_embedding.get(); }
    // Largest bounding-box value after the last iteration.
    float embeddingExtent() const { return m_embeddingExtent; }

private:
    // Work that may arrive while a run is on the stack; carried out in order
    // once the loop has returned.
    enum class Request { Compute, Restart, Embed, SetFocus, FocusMore, FocusLess, RefineAll, CoarsenAll };
    struct Pending {
        Request request;
        std::vector<unsigned> selection;  // SetFocus
    };

    // Clears the running flag and hands the positions to the tree.
    void stopRunning();
    // Runs `first` and every request queued meanwhile, then the final report.
    void run(Pending first);
    void submit(Pending request);
    void carryOut(const Pending& request);
    void applySetFocus(std::vector<unsigned> selection);
    void applyTreeOperation(Request request);
    void embedLoop();
    bool build();
    bool checkBuildable(const std::vector<std::pair<int, int>>& points) const;
    bool setUpEngine(bool keepPositions);
    void placeKeptPositions();
    // Whether the embedding holds one position per embedding point.
    bool positionsMatchPoints() const;
    // The landmark assignment of the current hierarchy, read both ways.
    MCV_FCEventCover& eventCover();
    // The (scale, landmark) of each embedding point listed; points beyond the
    // embedding are skipped.
    std::vector<std::pair<int, unsigned>> landmarksOfPoints(const std::vector<unsigned>& points) const;
    // Coarsening a refinement whose parent P is one half of a split (S the
    // other half) below an outer split half A: A is divided anew, P's
    // landmarks with their subtree becoming its focus and what S held its
    // context, which joins A's sibling. Done, and true, only when the leaves
    // then still stand for every event they stood for; otherwise nothing
    // changes and P stays a leaf.
    bool redivideAround(const NodePtr& a, const NodePtr& p, const NodePtr& s);

    // ---- Hierarchy ----
    std::unique_ptr<vel::utils::CoutLog> m_logger;
    MCV_HsneHierarchyBuilder m_builder;
    int m_activeNumScales = 4;
    int m_iterations = 1000;
    std::shared_ptr<MCV_DerivedDataHierarchy> m_hierarchy;
    std::unique_ptr<MCV_FCEventCover> m_eventCover;  // of m_hierarchy, made on first use

    // ---- Embedding ----
    SparseMatrix m_mixedTransitionMatrix;
    std::unique_ptr<CpuEngine> m_cpuEngine;
    std::unique_ptr<MCV_GpuGradientDescent> m_gpu;
    bool m_gpuActive = false;
    bool m_engineReady = false;
    bool m_useGpu = true;
    int m_exaggerationIter = 200;
    int m_expDecay = 50;
    float m_exaggerationFactorRefine = 0.75f;
    float m_momentumRefine = 0.75f;
    float m_rescaleFactor = 0.5f;
    float m_lastRescaleFactor = 1.f;  // kept when a computed factor has no base
    float m_embeddingExtent = 50;
    std::unique_ptr<vel::data::Embedding<float>> m_embedding;
    std::vector<float> m_output;

    // ---- Points and tree ----
    std::vector<std::pair<int, int>> m_pointReferences;
    std::vector<std::pair<int, int>> m_pointsData;
    std::vector<float> m_pointData;
    std::vector<int> m_pointFileIdxs;
    std::vector<PointNode> m_pointNodes;
    MCV_FCTree* m_fcTree = nullptr;
    int m_transitionMatrixMode = 0;
    bool m_rebuildTransitionMatrix = true;

    // ---- Run state ----
    bool m_running = false;     // the loop goes on while set
    bool m_inProgress = false;  // a run or initHSNE is on the stack
    bool m_markedForDeletion = false;
    std::vector<Pending> m_pending;
    bool m_missingOutputReported = false;
    // For every event of every file the embedded point whose position it
    // holds (see writeHsneChannels), or -1: built at the first write after
    // each engine set-up, so that the writes of a run go over the events once
    // and in parallel.
    std::vector<std::vector<int>> m_eventOwners;
    size_t m_eventOwnerPoints = 0;
    bool m_eventOwnersReady = false;
};
