#include "FCTreeTestData.h"
#include "data/CallbackLog.h"

#include "data/MCV_CytometryData.h"

using NodePtr = MCV_FCTree::NodePtr;
using Floats = std::vector<float>;

namespace {

// 4000 points; landmark i of scale 3 is data point 8i.
MCV_DerivedDataHierarchy& h() {
    static const auto hierarchy = fctest::randomHierarchy(4000, 4, 7);
    return *hierarchy;
}
// The tree reset to `scale`, reporting to `log`, and the pointNodes (root, i).
MCV_FCTree::PointNodes resetTo(MCV_FCTree& tree, int scale, CallbackLog* log = nullptr) {
    tree.setUiInterface(log);
    tree.reset(scale, *h().transitionMatrix(scale), &h());
    MCV_FCTree::PointNodes points;
    for (size_t i = 0; i < tree.root()->numLandmarks(); ++i) points.emplace_back(tree.root(), int(i));
    return points;
}

}  // namespace

TEST(FCTree, ResetSplitAndJsonFollowTheWorkedExamples) {
    MCV_FCTree tree;
    auto points = resetTo(tree, 3);
    const NodePtr root = tree.root();
    EXPECT_EQ(std::make_tuple(root->id, root->type, root->scale, root->landmarkIdxs[499], root->globalIdxs[499]),
              std::make_tuple(0u, hierarchyNodeFocus, 3, 499u, 499u * 8));
    EXPECT_EQ(root->coordinates, Floats(1000, 0.0f));
    EXPECT_TRUE(*tree.leaves() == *tree.focus() && tree.focus()->front() == root && tree.context()->empty());

    for (size_t i = 0; i < 500; ++i) root->coordinates[2 * i] = float(i);
    std::vector<unsigned> selection{7, 3, 7}, beyond{500}, elsewhere{7};
    ASSERT_TRUE(tree.split(root, &selection, &points));
    const NodePtr f = root->children[0], c = root->children[1];
    EXPECT_EQ(f->landmarkIdxs, (std::vector<unsigned>{7, 3})) << "selection order, a repeat counts once";
    EXPECT_EQ(f->coordinates, (Floats{7, 0, 3, 0}));
    EXPECT_TRUE(c->numLandmarks() == 498 && std::is_sorted(c->landmarkIdxs.begin(), c->landmarkIdxs.end()));
    EXPECT_EQ(std::make_tuple(points[7], points[3], points[4]),
              std::make_tuple(std::make_pair(f, 0), std::make_pair(f, 1), std::make_pair(c, 3)));
    EXPECT_TRUE(*tree.leaves() == (MCV_FCTree::NodeList{f, c}) && tree.context()->front() == c);
    EXPECT_FALSE(tree.split(c, &beyond, &points) || tree.split(c, &elsewhere, &points));
    tree.detachHierarchy();
    EXPECT_TRUE(!tree.split(f, &selection, &points) && !tree.merge(f, c) && c->children.empty()) << "no hierarchy";

    // The texts of the tree page.
    MCV_FCTree fresh;
    EXPECT_EQ(fresh.jsonObject(), "") << "never reset";
    points = resetTo(tree, 2);
    EXPECT_EQ(tree.jsonObject(), "{\n\"id\":0,\n\"type\":0,\n\"scale\":2\n}");
    selection = {1};
    tree.split(tree.root(), &selection, &points);
    EXPECT_EQ(tree.jsonObject(),
              "{\n\"id\":0,\n\"type\":0,\n\"scale\":2,\n\"children\":[\n{\n\"id\":1,\n\"type\":0,\n\"scale\":2\n},{\n"
              "\"id\":2,\n\"type\":2,\n\"scale\":2\n}\n]\n}");
    resetTo(tree, 2);
    tree.append(tree.root(), hierarchyNodeFocus, 1);
    EXPECT_EQ(tree.jsonObject(),
              "{\n\"id\":-1,\n\"children\":[\n{\n\"id\":0,\n\"type\":0,\n\"scale\":2,\n\"children\":[\n{\n\"id\":1,\n"
              "\"type\":0,\n\"scale\":1\n}\n]\n}\n]\n}");
}

// A landmark that no embedding point shows (a pruned map) stays in the tree:
// the context half takes it after the points, with its data point and place.
TEST(FCTree, ASplitKeepsTheLandmarksNoPointShowsInTheContextHalf) {
    MCV_FCTree tree;
    auto points = resetTo(tree, 3);
    const NodePtr root = tree.root();
    for (size_t i = 0; i < 500; ++i) root->coordinates[2 * i + 1] = float(i);
    points.erase(points.begin() + 20);
    points.erase(points.begin() + 10);  // landmarks 10 and 20 have no point
    std::vector<unsigned> selection{0, 1};
    ASSERT_TRUE(tree.split(root, &selection, &points));
    const NodePtr f = root->children[0], c = root->children[1];
    EXPECT_EQ(f->landmarkIdxs, (std::vector<unsigned>{0, 1}));
    ASSERT_EQ(c->numLandmarks(), 498u);
    EXPECT_EQ(std::vector<unsigned>(c->landmarkIdxs.end() - 2, c->landmarkIdxs.end()), (std::vector<unsigned>{10, 20}));
    EXPECT_EQ(std::vector<unsigned>(c->globalIdxs.end() - 2, c->globalIdxs.end()), (std::vector<unsigned>{80, 160}));
    EXPECT_EQ(Floats(c->coordinates.end() - 4, c->coordinates.end()), (Floats{0, 10, 0, 20}));
    EXPECT_EQ(c->transitionMatrix.size(), 498u);
    EXPECT_EQ(points[495], std::make_pair(c, 493)) << "the points keep their order";
}

TEST(FCTree, StructuralOperationsReportOnceAndFreeWhatLeavesNodeMatricesAndTheDataModelsTrees) {
    MCV_FCTree tree;
    CallbackLog log;
    auto points = resetTo(tree, 3, &log);
    std::weak_ptr<HierarchyNode> oldRoot = tree.root();
    points = resetTo(tree, 3, &log);
    const NodePtr root = tree.root();
    EXPECT_TRUE(oldRoot.expired()) << "a reset frees the old tree";
    int reports = 2;
    const auto reported = [&](const char* what) { EXPECT_EQ(log.count("dataRefreshed", &tree), ++reports) << what; };
    std::vector<unsigned> selection{0, 1};
    tree.split(root, &selection, &points), reported("split");
    const NodePtr f = root->children[0], c = root->children[1];
    EXPECT_EQ(std::make_tuple(tree.hasSiblings(root), tree.sibling(f), tree.sibling(c)), std::make_tuple(false, c, f));
    EXPECT_TRUE(!tree.merge(f, c) && root->children.size() == 2) << "types differ";
    f->coordinates = {1, 2, 3, 4};
    c->type = hierarchyNodeFocus;
    const NodePtr m = tree.merge(f, c);
    reported("merge");
    ASSERT_EQ(root->children, MCV_FCTree::NodeList{m});
    EXPECT_EQ(std::make_pair(m->landmarkIdxs[1], m->landmarkIdxs[2]), std::make_pair(1u, 2u)) << "a's, then b's";
    EXPECT_EQ(Floats(root->coordinates.begin(), root->coordinates.begin() + 5), (Floats{1, 2, 3, 4, 0}));
    EXPECT_TRUE(!tree.hasSiblings(m) && !tree.sibling(m));

    NodePtr child = tree.append(root, hierarchyNodeFocus, 3);
    std::weak_ptr<HierarchyNode> grandChild = tree.append(child, tree.createNode(hierarchyNodeContext, 2));
    EXPECT_TRUE(tree.append(child, root) == root && child->children.size() == 1) << "no node under itself";
    ++reports, reported("two appends");
    root->globalIdxs[1] = root->globalIdxs[0];
    child->globalIdxs = {root->globalIdxs[0]};
    child->coordinates = {5, 6};
    tree.purge(child), reported("purge");
    EXPECT_EQ(Floats(root->coordinates.begin(), root->coordinates.begin() + 4), (Floats{5, 6, 5, 6}));
    tree.purgeChildren(root), reported("purgeChildren");
    points.clear();
    child.reset();
    EXPECT_TRUE(root->children.empty() && grandChild.expired()) << "a removed subtree is freed";

    const NodePtr node = tree.createNode(hierarchyNodeFocus, 3);
    node->landmarkIdxs = {5, 2, 5};
    h().transitionMatrixForSelection(node);
    ASSERT_EQ(node->transitionMatrix.size(), 3u) << "a row for every listed landmark";
    EXPECT_EQ(node->transitionMatrix[2].memory(), node->transitionMatrix[0].memory());
    for (const auto& row : node->transitionMatrix)
        for (const auto& entry : row) EXPECT_LT(entry.first, 2u) << "columns name the first place";

    MCV_FCTree::registerKind();
    auto data = MCV_CytometryData::createDetached();
    MCV_FCTree* t = data->derivedDataTrees("T", true);
    EXPECT_TRUE(t && t->type() == 4 && t->name() == "T" && data->derivedDataTrees("T", true) == t);
    EXPECT_EQ(data->derivedDataTrees(), (std::vector<MCV_FCTree*>{t, data->derivedDataTrees("T", false)}));
}
