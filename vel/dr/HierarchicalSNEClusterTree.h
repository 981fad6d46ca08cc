#pragma once
// Named groups of landmarks on every scale of a hierarchy, linked into a tree:
// each cluster below the top scale names one cluster of the next coarser scale
// as its parent. The tree can check that a cluster's landmarks lie, by
// influence, inside their parent, and place a data point in the finest cluster
// that holds it. Errors are std::logic_error with texts prefixed
// "ClusterHierarchy::".

#include <cstdint>
#include <string>
#include <tuple>
#include <unordered_set>
#include <vector>

#include "vel/dr/HierarchicalSNE.h"
#include "vel/utils/AbstractLog.h"

namespace vel {
namespace dr {

template <typename scalar_type, typename sparse_scalar_matrix_type>
class HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::ClusterTree {
public:
    class Cluster {
    public:
        // The parent of a top-scale cluster.
        static constexpr std::int32_t NULL_LINK = -1;

        std::int32_t& id() { return _id; }
        const std::int32_t& id() const { return _id; }
        std::int32_t& parent_id() { return _parent_id; }
        const std::int32_t& parent_id() const { return _parent_id; }
        // Landmark indices of the cluster's own scale.
        std::unordered_set<unsigned int>& landmarks() { return _landmarks; }
        const std::unordered_set<unsigned int>& landmarks() const { return _landmarks; }
        // Free text, used only in log lines.
        std::string& notes() { return _notes; }
        const std::string& notes() const { return _notes; }

    private:
        std::int32_t _id = 0;
        std::int32_t _parent_id = NULL_LINK;
        std::unordered_set<unsigned int> _landmarks;
        std::string _notes;
    };

    using cluster_tree_type = std::vector<std::vector<Cluster>>;
    // (scale, cluster id, influence)
    using association = std::tuple<unsigned int, int, float>;

    explicit ClusterTree(unsigned int numScales = 0) : _tree(numScales) {}
    explicit ClusterTree(const HierarchicalSNE& hierarchy) : _tree(hierarchy.hierarchy().size()) {}

    const cluster_tree_type& clusterTree() const { return _tree; }
    utils::AbstractLog* logger() const { return _logger; }
    void setLogger(utils::AbstractLog* logger) { _logger = logger; }

    // The smallest id of the scale no cluster uses; 0 when all are in use.
    std::int32_t getFreeClusterId(unsigned int scale) const;
    // Every operation taking a scale refuses one not below the number of scales.
    // Appends a copy; refuses a duplicated id, a top-scale cluster with a parent
    // and a lower cluster without one. Neither the parent nor the landmarks are
    // checked here; a consistency check refuses a landmark beyond its scale.
    void addCluster(unsigned int scale, const Cluster& cluster);
    // Erases the first cluster with the id, if any; its children stay.
    void removeCluster(unsigned int scale, int id);
    bool hasClusterId(unsigned int scale, int id) const;
    const Cluster& cluster(unsigned int scale, int id) const;

    // True when the coarser cluster receiving most of the cluster's influence
    // (more than the influence outside every coarser cluster) is its parent;
    // always true on the top scale. Logs the sums.
    bool checkCluterConsistency(const HierarchicalSNE& hierarchy, unsigned int scale, int id);
    // Every cluster checked, top scale first, without stopping at a failure.
    bool checkTreeConsistency(const HierarchicalSNE& hierarchy);

    // The finest cluster reached by descending from the top scale, following
    // on each scale the candidate holding most of the point's influence;
    // (top, -1, 1) when no top-scale cluster holds the point. Refuses a tree
    // with more scales than the hierarchy and a point beyond scale 0.
    void computePointToClusterAssociation(const HierarchicalSNE& hierarchy, unsigned int point,
                                          association& result) const;
    // One association per data point.
    void computePointsToClusterAssociation(const HierarchicalSNE& hierarchy, std::vector<association>& result) const;

private:
    void log(const std::string& text) const {
        if (_logger) _logger->display(text, false);
    }
    void checkScale(unsigned int scale, const char* operation) const;
    void checkHierarchy(const HierarchicalSNE& hierarchy, const char* operation) const;

    cluster_tree_type _tree;
    utils::AbstractLog* _logger = nullptr;
};

}  // namespace dr
}  // namespace vel
