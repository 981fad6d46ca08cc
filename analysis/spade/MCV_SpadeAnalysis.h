#pragma once

#include "analysis/MCV_Analysis.h"
#include "analysis/clustering/HierarchicalClustering.h"
#include "analysis/clustering/MCV_ClusterResult.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

class MCV_DerivedDataClusters;
class MCV_DerivedDataPoints;
template <typename T>
class MCV_L1Columns;

// SPADE over all loaded files: per file a local density for every event
// (cached beside the file), density-dependent down-sampling, a farthest-first
// dendrogram of the kept events of all files, its cut into the target number
// of clusters, a minimum spanning tree over the clusters' medians and the
// up-sampling of every other event to the nearest median. The result is
// published as the cluster set named after the analysis.
//
// Stages run only when a parameter they depend on changed (each setter
// returns its stage's dirty flag), so changing only the target number of
// clusters re-cuts the dendrogram. Runs synchronously on the GUI thread with
// OpenMP loops inside; reports on standard output and through the progress
// hook, never through the callback interface.
class MCV_SpadeAnalysis : public MCV_Analysis {
public:
    using PointList = MCV_ClusterResult::PointList;
    using Edge = MCV_ClusterResult::Edge;
    // Progress of a long stage: what runs (a text for the user, e.g. the
    // file's name) and how far it is, 0 to 100. Called on the GUI thread
    // between blocks of work, never from inside a parallel region.
    using ProgressHook = std::function<void(const std::string& what, int percent)>;

    MCV_SpadeAnalysis();
    ~MCV_SpadeAnalysis() override;

    void init(MCV_UiInterface* ui, std::string name);

    int maxRandomSampleSize() const { return m_maxRandomSampleSize; }
    float alpha() const { return m_alpha; }
    float targetDensityPercentile() const { return m_targetDensityPercentile; }
    float outlierDensityPercentile() const { return m_outlierDensityPercentile; }
    float densityLimit() const { return m_densityLimit; }
    int targetNumberOfClusters() const { return m_targetNumberOfClusters; }

    // Each stores the value and returns its stage's dirty flag.
    bool setMaxRandomSampleSize(int size);
    bool setAlpha(float alpha);
    bool setTargetDensityPercentile(float percentile);
    bool setOutlierDensityPercentile(float percentile);
    bool setDensityLimit(float limit);
    bool setTargetNumberOfClusters(int clusters);

    bool densitiesDirty() const { return m_densitiesDirty; }
    bool downsamplingDirty() const { return m_downsamplingDirty; }
    bool clusteringDirty() const { return m_clusteringDirty; }

    // Runs the stages that are due and publishes the result. When no event is
    // left to cluster it publishes nothing and errorMessage() says why. A call
    // during a run (from the progress hook) is refused with a console line;
    // a setter called then marks its stage for the next run.
    void computeSpadeTree();
    // Why the last run published nothing (a sentence for the user); empty
    // after a run that published.
    const std::string& errorMessage() const { return m_error; }
    // Why the last run could not keep a file's densities for the next one,
    // in a sentence for the user: the first cache file not written, with the
    // writer's reason, and how many more files' caches failed; empty when
    // every cache the run wrote was written. The run itself is not affected.
    std::string cacheNote() const;
    // A setting the last run could not take as given, and the value it used
    // instead: a heuristic sample below 1 event, or a target number of
    // clusters outside 1 to the number of kept events.
    struct Adjustment {
        enum Setting { SampleSize, TargetClusters };
        Setting setting;
        int requested;
        int used;
    };
    const std::vector<Adjustment>& adjustments() const { return m_adjustments; }
    // The adjusted settings take the values the last run used, without
    // making any stage due: the result is already that of these values.
    void adoptAdjustments();
    // Registers (or finds) the cluster set and fills it with the result.
    void createDerivedData(bool reuse);
    // Puts the events of the given clusters of the published cluster set
    // (as the tree page draws it, merges included) into the point set
    // `name`: a new set is whole before it is registered, a set this
    // analysis made is refilled and announced. Returns false (with a console
    // line) when the name belongs to a point set this analysis did not make,
    // or to another kind of data.
    bool addSubtree(std::string name, std::vector<int>* clusterIndices);
    // Whether the point set registered under `name` (the one an export by
    // name would write) is one this analysis made through addSubtree.
    bool madeSubtree(const std::string& name) const;

    MCV_DerivedDataClusters* updateClusters(std::vector<std::vector<unsigned>>* clusters, std::string name) override;
    bool isRunning() const override { return m_running; }

    void setProgressHook(ProgressHook hook) { m_progress = std::move(hook); }

    // The L1 distance of the stages, summed in float in order: between two
    // event rows over the listed columns (null gives 0), and between two
    // profiles (over the shorter one when the lengths differ).
    static float distance(const float* a, const float* b, const std::vector<unsigned>* markers);
    static float distance(const std::vector<float>* a, const std::vector<float>* b);

    // The last run's result, for the views and tests.
    const std::vector<PointList>& clusters() const { return m_result.clusters; }
    const std::vector<Edge>& edges() const { return m_result.edges; }
    const std::vector<std::vector<float>>& clusterMedians() const { return m_result.medians; }
    const std::vector<std::vector<int>>& localDensities() const { return m_localDensities; }
    const std::vector<std::vector<bool>>& keepMasks() const { return m_keepMasks; }
    const std::vector<float>& densityRadii() const { return m_densityRadii; }
    const std::vector<float>& medianMinimumDistances() const { return m_medianMinimumDistances; }

private:
    // The stages of one run, decided when it starts.
    struct Due {
        bool densities = false;
        bool downsampling = false;
        bool clustering = false;
    };

    // Stages; each returns whether it ran.
    bool loadCachedDensities(int file);
    bool computeMedianMinimumDistance(int file, const MCV_L1Columns<float>& events);
    bool computeLocalDensities(int file, const MCV_L1Columns<float>& events);
    void cacheDensities(int file);
    // Reports a cache file that was not written (console line, cacheNote).
    void cacheFailed(const std::string& path, const std::string& why);
    bool downsample(int file);
    bool clusterDownsampledData();
    bool extractClustersFromDendrogram();
    void computeMedianClusterExpression();
    bool computeMinimumSpanningTree();
    bool upsampleData(int file);

    void runStages();
    // Events of a file (0 for a bad index or a file without data) and its rows.
    int numEvents(int file) const;
    const float* rows(int file) const;
    size_t rowWidth() const;
    // The selected columns of every event of `file`.
    void loadColumns(int file, MCV_L1Columns<float>& events) const;
    // Cache names: the file's name (without ".fcs") in the file's own folder
    // + suffix.
    std::string cacheBase(int file) const;
    // The identity of a file's data, its selected markers and its densities
    // file, as stored beside the cache (see the cache's .cpp); `byPosition`
    // gives the form of earlier caches, which named the selected columns by
    // their positions.
    std::string checksumText(int file, const char* densityBytes, size_t size, bool byPosition = false) const;
    void clearDendrogram();
    void report(const std::string& what, int percent);
    void noteAdjustment(Adjustment::Setting setting, int requested, int used);

    int m_maxRandomSampleSize = 2000;
    float m_alpha = 3.0f;
    float m_targetDensityPercentile = 3.0f;
    float m_outlierDensityPercentile = 1.0f;
    float m_densityLimit = 10.0f;
    int m_targetNumberOfClusters = 50;
    bool m_densitiesDirty = true;
    bool m_downsamplingDirty = true;
    bool m_clusteringDirty = true;
    bool m_running = false;
    Due m_due;
    std::string m_error;
    std::vector<Adjustment> m_adjustments;
    std::vector<std::string> m_cacheFailures;  // of the last run: "<path> was not written: <why>"
    ProgressHook m_progress;
    std::chrono::steady_clock::time_point m_created;

    std::vector<float> m_medianMinimumDistances;
    std::vector<float> m_densityRadii;
    std::vector<std::vector<int>> m_localDensities;
    std::vector<std::vector<int>> m_sortedDensities;
    std::vector<std::vector<unsigned>> m_downsampledEvents;
    std::vector<std::vector<bool>> m_keepMasks;
    // The dendrogram points are owned here; the map refers to them.
    std::vector<std::unique_ptr<cPoint_t>> m_dendrogramPoints;
    Dendrogram m_dendrogram;
    MCV_ClusterResult m_result;
    // Point sets this analysis registered through addSubtree: the only ones
    // it refills.
    std::vector<MCV_DerivedDataPoints*> m_subtrees;
};
