#pragma once

#include "analysis/MCV_Analysis.h"
#include "analysis/clustering/MCV_ClusterResult.h"

#include <string>
#include <tuple>
#include <utility>
#include <vector>

class MCV_DerivedDataClusters;

// Classifies every event of every loaded file against a table of cluster
// profiles (templates, one value per variable of the combined header): an
// event joins the nearest template by L1 distance over the enabled markers,
// when no marker differs by more than the single-marker limit and the total
// is below the total limit; the rest form one last, unassigned cluster. The
// clusters' medians are linked by a minimum spanning tree and published as
// the cluster set named after the analysis. GUI thread; reports on standard
// output.
//
// The result is that of the plain serial loop (events in file and event
// order, templates in table order, each distance summed in marker order, ties
// to the lower template index) on any number of threads.
class MCV_TemplateAnalysis : public MCV_Analysis {
public:
    using PointList = MCV_ClusterResult::PointList;
    using Edge = MCV_ClusterResult::Edge;

    MCV_TemplateAnalysis();
    ~MCV_TemplateAnalysis() override;

    // An empty table is accepted: every event then lands in the unassigned
    // cluster.
    void init(MCV_UiInterface* ui, std::string name, std::vector<std::vector<float>> templates);

    float maxSingleDistance() const { return m_maxSingleDistance; }
    void setMaxSingleDistance(float distance) { m_maxSingleDistance = distance; }
    float maxTotalDistance() const { return m_maxTotalDistance; }
    void setMaxTotalDistance(float distance) { m_maxTotalDistance = distance; }

    // The classification run. False when it was refused (an enabled marker
    // that the templates do not reach); errorMessage() then says why and
    // nothing was published.
    bool upsampleData();
    const std::string& errorMessage() const { return m_error; }

    void createDerivedData(bool reuse);
    // The templates restricted to the enabled markers, in marker order. A
    // marker past a template's row gives NaN there, which matches no event
    // (upsampleData refuses such a run before it gets here).
    void createShortenedClassifier();
    // The clusters' median profiles over the enabled markers.
    void computeMedianClusterExpression();
    // Links the medians by a minimum spanning tree (no edges without
    // clusters or medians); returns true.
    bool computeMinimumSpanningTree();
    // The capped L1 distance: -1 when some |a[k] - b[k]| is greater than the
    // single-marker limit, else the sum in float in order (0 for empty or
    // null vectors; over the shorter one when the lengths differ).
    float distance(std::vector<float>* a, std::vector<float>* b) const;
    // The same between two event rows over the listed columns.
    float distance(float* a, float* b, std::vector<int>* markers) const;
    MCV_DerivedDataClusters* updateClusters(std::vector<std::vector<unsigned>>* clusters, std::string name) override;
    bool isRunning() const override { return m_running; }

    const std::vector<std::vector<float>>& templates() const { return m_templates; }
    const std::vector<PointList>& clusters() const { return m_result.clusters; }
    const std::vector<Edge>& edges() const { return m_result.edges; }
    const std::vector<std::vector<float>>& clusterMedians() const { return m_result.medians; }

private:
    // Why the enabled markers cannot be classified with the templates (a
    // sentence for the user), or empty when they can.
    std::string refusal(size_t variables) const;
    // Classifies events [begin, end) of one file's rows into `outcome`: the
    // template index, or for an unassigned event the way it failed (see the
    // .cpp).
    void classifyEvents(const float* rows, size_t width, size_t begin, size_t end, int* outcome) const;

    float m_maxSingleDistance = 2.5f;
    float m_maxTotalDistance = 20.0f;
    bool m_running = false;
    std::string m_error;
    std::vector<std::vector<float>> m_templates;
    std::vector<std::vector<float>> m_shortenedTemplates;
    MCV_ClusterResult m_result;
};
