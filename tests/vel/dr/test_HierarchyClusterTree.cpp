#include "vel/dr/HierarchicalSNEClusterTree.h"
#include "vel/dr/HierarchyTestData.h"

using namespace hsnetest;
using Tree = Hsne::ClusterTree;

namespace {

void add(Tree& tree, unsigned int scale, int id, int parent, std::unordered_set<unsigned int> landmarks = {}) {
    Tree::Cluster c;
    std::tie(c.id(), c.parent_id(), c.landmarks()) = std::tie(id, parent, landmarks);
    tree.addCluster(scale, c);
}

// Clusters (scale, id, parent, landmarks): 5 and 7 on the top, one below each.
Tree threeScaleTree() {
    Tree tree(3);
    const std::tuple<unsigned int, int, int, std::unordered_set<unsigned int>> clusters[] = {
        {2, 5, -1, {0}}, {2, 7, -1, {1}}, {1, 0, 5, {0}}, {1, 1, 7, {1}}, {0, 0, 0, {0, 1}}, {0, 1, 1, {2, 3}}};
    for (const auto& [scale, id, parent, landmarks] : clusters) add(tree, scale, id, parent, landmarks);
    return tree;
}

}  // namespace

TEST(HierarchyClusterTree, IdsAndListsFollowTheirRules) {
    Tree tree(2);
    for (int id : {0, 1, 3}) add(tree, 1, id, -1);
    for (int id : {1, 2}) add(tree, 0, id, 0);
    EXPECT_TRUE(tree.getFreeClusterId(1) == 2 && tree.getFreeClusterId(0) == 0 && Tree(1).getFreeClusterId(0) == 0);
    tree.removeCluster(1, 9), tree.removeCluster(1, 1);
    EXPECT_EQ(tree.clusterTree()[1].back().id(), 3);
    const std::pair<std::function<void()>, std::string> refusals[] = {
        {[&] { add(tree, 2, 4, -1); }, "ClusterHierarchy::addCluster: invalid scale"},
        {[&] { add(tree, 1, 3, -1); }, "ClusterHierarchy::addCluster: duplicated id"},
        {[&] { add(tree, 1, 4, 0); },
         "ClusterHierarchy::addCluster: root clusters must have parent_id = Cluster::NULL_LINK"},
        {[&] { add(tree, 0, 4, -1); },
         "ClusterHierarchy::addCluster: non-root clusters must have parent_id != Cluster::NULL_LINK"},
        {[&] { tree.removeCluster(2, 0); }, "ClusterHierarchy::removeCluster: invalid scale"},
        {[&] { tree.hasClusterId(2, 0); }, "ClusterHierarchy::hasClusterId: invalid scale"},
        {[&] { tree.cluster(1, 1); }, "ClusterHierarchy::cluster: invalid cluster"},
        {[&] { tree.checkCluterConsistency(threeScales(), 0, 0); },
         "ClusterHierarchy::checkCluterConsistency: invalid cluster"}};
    for (const auto& [call, message] : refusals) EXPECT_EQ(thrown(call), message);
    EXPECT_EQ(tree.clusterTree()[1].size() + tree.clusterTree()[0].size(), 4u);
}

TEST(HierarchyClusterTree, ConsistencyAndPointsFollowTheInfluenceOfEachCluster) {
    const Hsne h = threeScales({{{0, .6f}, {1, .4f}}, {{0, .1f}, {1, .9f}}});
    Tree tree = threeScaleTree();
    Lines log;
    EXPECT_TRUE(tree.checkTreeConsistency(h));
    tree.setLogger(&log);
    // Landmark 3 of scale 0 sends all its influence to landmark 1 of scale 1.
    add(tree, 0, 2, 0, {3});
    EXPECT_FALSE(tree.checkCluterConsistency(h, 0, 2));
    EXPECT_EQ(log.text,
              "Validating cluster 2 at scale 0 with parent 0 ()\n\tUnclusterd:\t0\n"
              "\tCluster-0 () :\t0\n\tCluster-1 () :\t1\n\nINVALID!\n");
    // Without cluster 1 of scale 1 that influence lies outside every coarser cluster.
    tree.removeCluster(1, 1), tree.removeCluster(0, 2);
    add(tree, 0, 2, 1, {3});
    EXPECT_FALSE(tree.checkCluterConsistency(h, 0, 2));
    add(tree, 0, 3, 0, {4});
    EXPECT_THROW(tree.checkCluterConsistency(h, 0, 3), std::logic_error);

    std::vector<Tree::association> got;
    threeScaleTree().computePointsToClusterAssociation(h, got);
    // Point 1 reaches 7 by (.475, .525), but 1 under 7 with .25 of (.75, .25): no win.
    const std::vector<Tree::association> want{{0, 0, 1.f}, {2, 7, .525f}, {2, 7, .65f}, {0, 1, 1.f}};
    for (auto& a : got) std::get<2>(a) = std::round(std::get<2>(a) * 1e5f) / 1e5f;
    EXPECT_EQ(got, want);
    Tree::association one;
    Tree(h).computePointToClusterAssociation(h, 2, one);
    EXPECT_EQ(one, Tree::association(2, -1, 1.f));

    EXPECT_THROW(Tree(h).computePointToClusterAssociation(h, 4, one), std::logic_error);
    EXPECT_THROW(Tree(4).computePointToClusterAssociation(h, 0, one), std::logic_error);
    EXPECT_THROW(Tree(4).computePointsToClusterAssociation(h, got), std::logic_error);
}
