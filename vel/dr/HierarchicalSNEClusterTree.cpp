// The cluster tree over a hierarchy. The tree trusts its own bookkeeping but
// not how it meets a hierarchy: a tree with more scales than the hierarchy, a
// point beyond scale 0 or a landmark beyond its scale would read past the
// hierarchy's rows, so they are refused.

#include "vel/dr/HierarchicalSNEClusterTree.h"

#include <algorithm>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>

namespace vel {
namespace dr {

namespace {

// Index of the winner among `sums` (in order, strictly greater than the best
// so far, starting from the unclustered sum), -1 when none beats it.
int winnerIndex(const std::vector<float>& sums, float unclustered) {
    int winner = -1;
    float best = unclustered;
    for (std::size_t i = 0; i < sums.size(); ++i)
        if (sums[i] > best) {
            best = sums[i];
            winner = static_cast<int>(i);
        }
    return winner;
}

}  // namespace

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::ClusterTree::checkScale(unsigned int scale,
                                                                                      const char* operation) const {
    if (scale >= _tree.size())
        throw std::logic_error(std::string("ClusterHierarchy::") + operation + ": invalid scale");
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::ClusterTree::checkHierarchy(
    const HierarchicalSNE& hierarchy, const char* operation) const {
    if (_tree.size() > hierarchy.hierarchy().size())
        throw std::logic_error(std::string("ClusterHierarchy::") + operation +
                               ": the tree has more scales than the hierarchy");
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
std::int32_t HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::ClusterTree::getFreeClusterId(
    unsigned int scale) const {
    checkScale(scale, "getFreeClusterId");
    const auto& clusters = _tree[scale];
    // Of n clusters at least one id in 0 .. n is free, so only those are looked at.
    std::vector<bool> used(clusters.size() + 1, false);
    for (const auto& c : clusters)
        if (c.id() >= 0 && static_cast<std::size_t>(c.id()) < used.size()) used[c.id()] = true;
    const auto free = std::find(used.begin(), used.end(), false) - used.begin();
    return free < std::numeric_limits<std::int32_t>::max() ? static_cast<std::int32_t>(free) : 0;
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::ClusterTree::addCluster(unsigned int scale,
                                                                                      const Cluster& cluster) {
    checkScale(scale, "addCluster");
    if (hasClusterId(scale, cluster.id())) throw std::logic_error("ClusterHierarchy::addCluster: duplicated id");
    const bool top = scale + 1 == _tree.size();
    if (top && cluster.parent_id() != Cluster::NULL_LINK)
        throw std::logic_error("ClusterHierarchy::addCluster: root clusters must have parent_id = Cluster::NULL_LINK");
    if (!top && cluster.parent_id() == Cluster::NULL_LINK)
        throw std::logic_error(
            "ClusterHierarchy::addCluster: non-root clusters must have parent_id != Cluster::NULL_LINK");
    _tree[scale].push_back(cluster);
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::ClusterTree::removeCluster(unsigned int scale, int id) {
    checkScale(scale, "removeCluster");
    auto& clusters = _tree[scale];
    const auto it = std::find_if(clusters.begin(), clusters.end(), [id](const Cluster& c) { return c.id() == id; });
    if (it != clusters.end()) clusters.erase(it);
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
bool HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::ClusterTree::hasClusterId(unsigned int scale,
                                                                                        int id) const {
    checkScale(scale, "hasClusterId");
    const auto& clusters = _tree[scale];
    return std::any_of(clusters.begin(), clusters.end(), [id](const Cluster& c) { return c.id() == id; });
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
const typename HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::ClusterTree::Cluster&
HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::ClusterTree::cluster(unsigned int scale, int id) const {
    if (!hasClusterId(scale, id)) throw std::logic_error("ClusterHierarchy::cluster: invalid cluster");
    const auto& clusters = _tree[scale];
    return *std::find_if(clusters.begin(), clusters.end(), [id](const Cluster& c) { return c.id() == id; });
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
bool HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::ClusterTree::checkCluterConsistency(
    const HierarchicalSNE& hierarchy, unsigned int scale, int id) {
    if (!hasClusterId(scale, id)) throw std::logic_error("ClusterHierarchy::checkCluterConsistency: invalid cluster");
    const Cluster& c = cluster(scale, id);
    if (scale + 1 == _tree.size()) {
        std::ostringstream line;
        line << "Validating cluster " << c.id() << " at scale " << scale << ":\tis a root node => valid";
        log(line.str());
        return true;
    }
    checkHierarchy(hierarchy, "checkCluterConsistency");
    const auto& parents = _tree[scale + 1];
    const auto& area = hierarchy.scale(scale + 1).areaOfInfluence;
    std::vector<float> sums(parents.size(), 0.f);
    float unclustered = 0.f;
    for (unsigned int l : c.landmarks()) {
        if (l >= area.size()) throw std::logic_error("ClusterHierarchy::checkCluterConsistency: invalid landmark");
        for (const auto& [b, v] : area[l]) {
            bool clustered = false;
            for (std::size_t p = 0; p < parents.size(); ++p)
                if (parents[p].landmarks().count(b)) {
                    sums[p] += v;
                    clustered = true;
                }
            if (!clustered) unclustered += v;
        }
    }
    const int winner = winnerIndex(sums, unclustered);
    const std::int32_t winnerId = winner < 0 ? -1 : parents[winner].id();

    std::ostringstream text;
    text << "Validating cluster " << c.id() << " at scale " << scale << " with parent " << c.parent_id() << " ("
         << c.notes() << ")\n";
    text << "\tUnclusterd:\t" << unclustered << "\n";
    for (std::size_t p = 0; p < parents.size(); ++p)
        text << "\tCluster-" << parents[p].id() << " (" << parents[p].notes() << ") :\t" << sums[p] << "\n";
    log(text.str());
    const bool valid = winnerId == c.parent_id();
    log(valid ? "Valid" : "INVALID!");
    return valid;
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
bool HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::ClusterTree::checkTreeConsistency(
    const HierarchicalSNE& hierarchy) {
    bool valid = true;
    for (auto scale = static_cast<unsigned int>(_tree.size()); scale-- > 0;)
        for (const auto& c : _tree[scale]) valid = checkCluterConsistency(hierarchy, scale, c.id()) && valid;
    return valid;
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::ClusterTree::computePointToClusterAssociation(
    const HierarchicalSNE& hierarchy, unsigned int point, association& result) const {
    checkHierarchy(hierarchy, "computePointToClusterAssociation");
    if (hierarchy.hierarchy().empty() || point >= hierarchy.scale(0).size())
        throw std::logic_error("ClusterHierarchy::computePointToClusterAssociation: invalid point");
    const auto T = static_cast<unsigned int>(_tree.size());
    result = association(T - 1, -1, 1.f);
    if (T == 0) return;
    influence_rows influence;
    hierarchy.getInfluenceOnDataPoint(point, influence, 0, true);

    std::vector<const Cluster*> candidates;
    for (const auto& c : _tree[T - 1]) candidates.push_back(&c);
    for (unsigned int s = T; s-- > 0 && !candidates.empty();) {
        std::vector<float> sums(candidates.size(), 0.f);
        float unclustered = 0.f;
        for (const auto& [landmark, value] : influence[s]) {
            bool clustered = false;
            for (std::size_t k = 0; k < candidates.size(); ++k)
                if (candidates[k]->landmarks().count(landmark)) {
                    sums[k] += value;
                    clustered = true;
                }
            if (!clustered) unclustered += value;
        }
        const int winner = winnerIndex(sums, unclustered);
        if (winner < 0) return;
        const std::int32_t winnerId = candidates[winner]->id();
        result = association(s, winnerId, sums[winner]);
        if (s == 0) return;
        candidates.clear();
        for (const auto& c : _tree[s - 1])
            if (c.parent_id() == winnerId) candidates.push_back(&c);
    }
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::ClusterTree::computePointsToClusterAssociation(
    const HierarchicalSNE& hierarchy, std::vector<association>& result) const {
    checkHierarchy(hierarchy, "computePointsToClusterAssociation");
    const unsigned int n = hierarchy.hierarchy().empty() ? 0u : hierarchy.scale(0).size();
    result.assign(n, association(0, -1, 1.f));
#pragma omp parallel for schedule(static)
    for (unsigned int i = 0; i < n; ++i) computePointToClusterAssociation(hierarchy, i, result[i]);
}

using HierarchicalSNEF = HierarchicalSNE<float, std::vector<data::MapMemEff<unsigned int, float>>>;
template class HierarchicalSNEF::ClusterTree;

}  // namespace dr
}  // namespace vel
