#pragma once

#include "data/MCV_DerivedData.h"

#include <string>
#include <tuple>
#include <utility>
#include <vector>

class MCV_DerivedDataPoints;

// A named partition of events into clusters (kind 2), as the analyses make
// them: density clusters of an embedding, SPADE clusters with the edges of
// their tree, template classes. Besides the members it keeps the cluster
// names, a selection and a highlight shared by all views, weighted edges
// (source cluster, target cluster, weight), the SPADE page's node layout,
// per-cluster statistics and the texts for the web pages and exports.
//
// Caches: six stale marks (median, mean, deviation, JSON, median CSV, origin
// tables), all set by construction, setClusters, merge and
// invalidateStatistics; renaming sets the three text marks. Selection and
// highlight changes touch no mark. Each compute operation runs only while its
// mark is set and clears it.
//
// Every change is announced through the callback interface (when one is set):
// dataRefreshed for contents, selectionRefreshed, highlightRefreshed and
// spadeTreeRefreshed for the rest.
class MCV_DerivedDataClusters : public MCV_DerivedData {
public:
    using PointList = std::vector<std::pair<int, int>>;
    using Edge = std::tuple<int, int, float>;

    MCV_DerivedDataClusters();
    ~MCV_DerivedDataClusters() override;

    // The JSON document the heat-map and SPADE pages parse: nodes (name, size,
    // expression = medians, stddev), links (only with edges) and names (the
    // variables). jsonString() is the same text ready for a script string.
    std::string& jsonObject() override;
    std::string& jsonString() override;
    void createJson() override;

    void init() {}

    // Stores the clusters and the per-file counts of the point subset they
    // were made from, as it is now (later changes to that subset leave the
    // counts alone; a null subset: the origin tables count against "All
    // Points" as it is when they are made), names them
    // "1", "2", ... and maps each to itself. A non-empty edge list replaces
    // the edges (an empty one keeps them); landmark lists, one per cluster,
    // are copied when given. Clears the selection, keeps the highlight, marks
    // everything stale and announces the set.
    void setClusters(std::vector<PointList> clusters, MCV_DerivedDataPoints* reference, std::vector<Edge> edges,
                     std::vector<std::vector<unsigned>>* landmarks);

    std::vector<PointList>& clusters() { return m_clusters; }
    int numClusters() const { return static_cast<int>(m_clusters.size()); }
    std::vector<std::vector<unsigned>>& landmarkClusters() { return m_landmarks; }
    std::vector<Edge>& edges() { return m_edges; }
    // For each cluster as made by the last setClusters: the index of the
    // current cluster that holds it now (after merges).
    std::vector<int>& originalClusterIdxs() { return m_clusterIndexMap; }

    // Out-of-range indices give an empty name / change nothing.
    std::string clusterName(int i) const;
    void setClusterName(int i, std::string name);

    std::vector<bool>& selection() { return m_selection; }
    // Toggles cluster `id` (after clearing the others unless `add`), puts the
    // landmark lists of all selected clusters into `landmarks` in cluster
    // order and returns `id`. A bad id prints "ERROR: cluster could not be
    // selected.", changes nothing and returns -1.
    int selectCluster(int id, bool add, std::vector<unsigned>& landmarks);
    // Makes exactly the valid given clusters selected (each bad index prints
    // "ERROR: problem with selection computation.") and puts their points into
    // the data set's selection set; returns the number of those points.
    int select(std::vector<int> indices);
    void resetSelectedClusters();
    int numSelectedClusters() const;
    // The points of all selected clusters, in cluster order, given to the
    // data set's selection set (announced); returns their number.
    int computePointSelectionFromClusterSelection();
    void selectionRefreshed();
    void highlightRefreshed();
    // Announced only when the value changes; any int is accepted, -1 is none.
    void setHighlight(int id);
    int highlightId() const { return m_highlight; }

    // Merges the selected clusters when there are at least two.
    void mergeSelected();
    // Merges the given clusters into the smallest index f: the members (and
    // landmark lists) of f followed by those of the others in ascending order.
    // The others are removed; names and the index map follow, and edges are
    // renumbered, edges inside the merged cluster dropped. Clears the
    // highlight and the selection, marks everything stale and announces the
    // set. Invalid and repeated indices are ignored; with no valid index
    // nothing changes.
    void merge(std::vector<int> indices);

    void computeMedianExpression();
    void computeMeanExpression();
    void computeStandardDeviation();
    // Per cluster, one value per variable of the combined header.
    const std::vector<std::vector<float>>& medianExpression() const { return m_median; }
    const std::vector<std::vector<float>>& meanExpression() const { return m_mean; }
    const std::vector<std::vector<float>>& standardDeviation() const { return m_stdDev; }
    void invalidateStatistics();
    // Whether the next jsonObject() builds the text anew (the set, its names
    // or the data's values changed since it was last built).
    bool jsonStale() const { return m_jsonStale; }

    // The SPADE page's node layout, stored as the page reports it; announced
    // through spadeTreeRefreshed.
    void updateSpadePositions(std::string positions);
    std::string spadePositions() const { return m_spadePositions; }

    // Median table: "Subset," and the variable names, then one row per
    // cluster of its name and medians.
    std::string& csvString();
    void createCsv();
    // Per cluster, its breakdown by sample file; an empty text for a bad index.
    std::string& originCsvString(int i);
    void createOriginCsv();

    // Per-file totals of the origin tables ("Total events"): the counts of
    // the subset the clusters were made from, else those of "All Points",
    // else the files' event counts. One entry per loaded file.
    std::vector<int> originTotals();

private:
    void markAllStale();

    std::vector<PointList> m_clusters;
    std::vector<std::vector<unsigned>> m_landmarks;
    std::vector<int> m_clusterIndexMap;
    std::vector<Edge> m_edges;
    std::vector<std::string> m_names;
    std::vector<bool> m_selection;
    int m_highlight = -1;
    std::vector<std::vector<float>> m_median;
    std::vector<std::vector<float>> m_mean;
    std::vector<std::vector<float>> m_stdDev;
    std::vector<std::string> m_originTables;
    bool m_medianStale = true;
    bool m_meanStale = true;
    bool m_stdDevStale = true;
    bool m_jsonStale = true;
    bool m_csvStale = true;
    bool m_originStale = true;
    bool m_hasReference = false;
    std::vector<int> m_referenceCounts;
    std::string m_spadePositions;
    std::string m_emptyText;
};
