#pragma once

#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

class Boruvka;
class MCV_DerivedDataClusters;
class MCV_DerivedDataPoints;

// What the clustering analyses (SPADE, template classification) publish: the
// clusters' members, their median profiles over the enabled markers and the
// minimum spanning tree that links the medians.
class MCV_ClusterResult {
public:
    using PointList = std::vector<std::pair<int, int>>;
    using Edge = std::tuple<int, int, float>;

    MCV_ClusterResult();
    ~MCV_ClusterResult();

    // Per cluster, per marker of `markers` (in that order): the element
    // count / 2 of the member values sorted ascending (rows of the data set's
    // combined header width); an empty cluster gets zeros. Parallel over
    // clusters.
    void computeMedians(const std::vector<unsigned>& markers);
    // Prints "\nBuilding minimum spanning tree.. " and replaces the edges by
    // the tree over the medians; does nothing without clusters or medians.
    void computeSpanningTree();
    // Finds (reuse) or registers the cluster set `name` (the data set may
    // rename a new one: `name` becomes the set's name) and stores copies of
    // the clusters and edges with `selection` as their reference set. Stale
    // edges of an earlier result are dropped even when there are none now.
    MCV_DerivedDataClusters* publish(std::string& name, bool reuse, MCV_DerivedDataPoints* selection);

    std::vector<PointList> clusters;
    std::vector<Edge> edges;
    std::vector<std::vector<float>> medians;

private:
    std::unique_ptr<Boruvka> m_builder;
};
