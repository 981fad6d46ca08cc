#pragma once

#include "analysis/MCV_Analysis.h"
#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "analysis/hsne/MCV_HsneHierarchyBuilder.h"

#include "vel/utils/KnnCodes.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class MCV_HsneAnalysis;

// The HSNE analysis the user creates (type 99): it builds, or loads from the
// caches beside the data, an HSNE hierarchy over the enabled markers of a
// point selection and keeps the levels (MCV_HsneAnalysis) that embed single
// scales of it. Element 0 of analyses() is the overview level (the top scale);
// the shell adds drill-down levels through initNextLevelAnalysisFromSelection.
// It embeds nothing itself.
//
// Ownership: the derived hierarchy is shared with the levels (the last owner
// frees it); levels are created here or by the shell and destroyed by the
// shell; the list only refers to them and forgets a level when it is
// destroyed. A rebuild reports the dropped drill-down levels through
// analysesRemoved before anything they use is released.
//
// Re-entrancy: initHSNE runs the overview's loop, inside which the views pump
// the event loop. A compute that arrives while initHSNE is on the stack stops
// every running level and is carried out once the loop has returned; one that
// arrives while a level runs outside initHSNE is refused with a line. A failed
// build (too few points, a library error) prints a line, keeps the previous
// hierarchy and levels and reports analysisFinished for the overview.
//
// The hierarchy comes through builder(): its cache load, build and cache write
// run off the GUI thread while the builder's progress hook keeps the window
// alive. builder().stop() (the quit question's Yes) ends a build at its next
// block; initHSNE then changes nothing, as after a failed build.
class MCV_HsneAnalysisHierarchy : public MCV_Analysis {
public:
    // Neighbours of every point in the kNN graph of a build.
    static constexpr int kNumNeighbors = 91;

    MCV_HsneAnalysisHierarchy();
    ~MCV_HsneAnalysisHierarchy() override;

    // Common initialisation, the default scale count when a selection is set,
    // and the overview level overviewLevelName(name), which it returns.
    MCV_HsneAnalysis* init(MCV_UiInterface* ui, std::string name);
    // The name of the overview level of a hierarchy named `name`:
    // "<name> - Overview Level".
    static std::string overviewLevelName(const std::string& name);

    // The base setter, then the default scale count of the selection's size.
    void setActiveDataSelection(MCV_DerivedDataPoints* points);
    void calcInitialNumScales();
    // max(round(ln N / ln 8), 3) - 2; 0 for no points.
    static int defaultNumScales(size_t numPoints);

    // Builds or loads the hierarchy, re-binds the overview level, drops the
    // other levels and embeds the overview; returns when that is done.
    void initHSNE();
    // Whether the caches beside the data hold the hierarchy initHSNE would
    // build now. They are loaded into a scratch object: the hierarchy the
    // levels share stays as it is.
    bool loadCachedHSNE();
    // Writes the caches of the current hierarchy: the two hierarchy files,
    // then the parameter cache.
    void cacheHSNE();

    // A new level named levelName, initialised and appended to the list.
    MCV_HsneAnalysis* addAnalysis(std::string levelName);
    // Initialises the shell-made level, appends it and prepares it at
    // scale - 1 over the landmarks that the selection at `scale` stands for.
    // Refused with a line for a scale without a finer one below or without a
    // hierarchy; landmark indices beyond the scale are left out.
    void initNextLevelAnalysisFromSelection(MCV_HsneAnalysis* level, std::string name, int scale,
                                            std::vector<unsigned>* selection);
    std::vector<unsigned> computeNumberOfLandmarksOnNextLevels(int scale, std::vector<unsigned>* selection);
    std::vector<unsigned> computeNumberOfLandmarksOnPreviousLevels(int scale, std::vector<unsigned>* selection);

    std::vector<std::pair<int, int>>* pointReferences() { return &m_pointReferences; }
    std::vector<MCV_HsneAnalysis*>* analyses() { return &m_analyses; }
    // Null outside the list.
    MCV_HsneAnalysis* analysis(int i);
    // -1 before the first build.
    int numLandmarksInScale(int scale);
    std::shared_ptr<MCV_DerivedDataHierarchy> hierarchy() const { return m_hierarchy; }

    // True while initHSNE is on the stack or any level runs.
    bool isRunning() const override;
    // The level whose embedding makes initHSNE refuse now: one that runs
    // while initHSNE is not on the stack. Null when initHSNE would build, at
    // once or after the run on the stack.
    const MCV_HsneAnalysis* levelRefusingCompute() const;
    // The hierarchy analysis keeps no clusters.
    MCV_DerivedDataClusters* updateClusters(std::vector<std::vector<unsigned>>* clusters, std::string name) override;

    // Called by the constructor and destructor of a level made for this
    // analysis: the analysis tells the levels it has not dropped when it goes.
    void levelCreated(MCV_HsneAnalysis* level);
    void levelDestroyed(MCV_HsneAnalysis* level);

    // ---- Settings (stored only; read by the next initHSNE) ----
    void setNumScales(int scales) { settings().numScales = scales; }
    void setSeed(int seed) { settings().seed = seed; }
    void setNumWalksPerLandmark(int walks) { settings().numWalksPerLandmark = walks; }
    void setMonteCarloSampling(bool on) { settings().monteCarloSampling = on; }
    void setMcmcsNumWalks(int walks) { settings().mcmcsNumWalks = walks; }
    void setMcmcsLandmarkThresh(float thresh) { settings().mcmcsLandmarkThresh = thresh; }
    void setMcmcsWalkLength(int length) { settings().mcmcsWalkLength = length; }
    void setPruneThresh(int thresh) { settings().pruneThresh = thresh; }
    void setUseHardThresh(bool on) { settings().useHardThresh = on; }
    void setHardThresh(float thresh) { settings().hardThresh = thresh; }
    void setIterations(int iterations) { m_iterations = iterations; }
    void setMemoryPreserving(bool on) { settings().memoryPreserving = on; }
    void setAknnNumChecks(int checks) { settings().aknnNumChecks = checks; }
    void setKnnLibrary(vel::utils::knn_library library) { settings().knnLibrary = library; }
    void setKnnMetric(vel::utils::knn_distance_metric metric) { settings().knnMetric = metric; }
    void setUseGPU(bool on) { m_useGpu = on; }
    void setCachingEnabled(bool on) { settings().cachingEnabled = on; }

    int numScales() const { return settings().numScales; }
    int seed() const { return settings().seed; }
    int numWalksPerLandmark() const { return settings().numWalksPerLandmark; }
    bool monteCarloSampling() const { return settings().monteCarloSampling; }
    int mcmcsNumWalks() const { return settings().mcmcsNumWalks; }
    float mcmcsLandmarkThresh() const { return settings().mcmcsLandmarkThresh; }
    int mcmcsWalkLength() const { return settings().mcmcsWalkLength; }
    int pruneThresh() const { return settings().pruneThresh; }
    bool useHardThresh() const { return settings().useHardThresh; }
    float hardThresh() const { return settings().hardThresh; }
    int iterations() const { return m_iterations; }
    bool memoryPreserving() const { return settings().memoryPreserving; }
    int aknnNumChecks() const { return settings().aknnNumChecks; }
    int numTrees() const { return settings().numTrees; }
    int knnLibrary() const { return settings().knnLibrary; }
    int knnMetric() const { return settings().knnMetric; }
    bool useGPU() const { return m_useGpu; }
    bool cachingEnabled() const { return settings().cachingEnabled; }
    int numDataPoints() const { return m_numDataPoints; }

    // The build settings and the road to the hierarchy (caches, build).
    MCV_HsneHierarchyBuilder& builder() { return m_builder; }
    MCV_HsneHierarchyBuilder::Settings& settings() { return m_builder.settings(); }
    const MCV_HsneHierarchyBuilder::Settings& settings() const { return m_builder.settings(); }

private:
    // One build: false (after a line) when nothing was replaced.
    bool build();
    // Checks the selection, markers and loaded data before a build.
    bool checkBuildable(const std::vector<std::pair<int, int>>& points) const;
    // Adopts the new hierarchy: drops and reports the drill-down levels, then
    // re-binds the overview level.
    void replaceHierarchy(std::shared_ptr<MCV_DerivedDataHierarchy> fresh);

    MCV_HsneHierarchyBuilder m_builder;
    int m_iterations = 1000;

    std::shared_ptr<MCV_DerivedDataHierarchy> m_hierarchy;
    std::vector<MCV_HsneAnalysis*> m_analyses;
    MCV_HsneAnalysis* m_overview = nullptr;    // element 0 while it exists
    std::vector<MCV_HsneAnalysis*> m_members;  // every level that refers to this analysis
    std::vector<std::pair<int, int>> m_pointReferences;
    int m_numDataPoints = 0;
    bool m_useGpu = false;

    bool m_building = false;      // initHSNE is on the stack
    bool m_buildPending = false;  // a compute arrived meanwhile
};
