#include "FCTreeTestData.h"
#include "data/CallbackLog.h"

#include "data/MCV_CytometryData.h"

using NodePtr = MCV_FCTree::NodePtr;
using Floats = std::vector<float>;

namespace {

struct FCTreeTest : testing::Test {
    // 4000 points, landmark i of scale 3 is data point 8i.
    static MCV_DerivedDataHierarchy& h() {
        static const auto hierarchy = fctest::randomHierarchy(4000, 4, 7);
        return *hierarchy;
    }
    NodePtr resetTo(int scale) {
        tree.setUiInterface(&log);
        tree.reset(scale, *h().transitionMatrix(scale), &h());
        points.clear();
        for (size_t i = 0; i < tree.root()->numLandmarks(); ++i) points.emplace_back(tree.root(), int(i));
        return tree.root();
    }
    MCV_FCTree tree;
    CallbackLog log;
    MCV_FCTree::PointNodes points;
};

}  // namespace

TEST_F(FCTreeTest, ResetAndSplitFollowTheWorkedExample) {
    const NodePtr root = resetTo(3);
    EXPECT_EQ(std::make_tuple(root->id, root->type, root->scale, root->landmarkIdxs[499], root->globalIdxs[499]),
              std::make_tuple(0u, hierarchyNodeFocus, 3, 499u, 499u * 8));
    EXPECT_EQ(root->coordinates, Floats(1000, 0.0f));
    EXPECT_TRUE(*tree.leaves() == *tree.focus() && tree.focus()->front() == root && tree.context()->empty());
    EXPECT_EQ(tree.createNode(hierarchyNodeFocus, 1)->id, 1u);

    for (size_t i = 0; i < 500; ++i) root->coordinates[2 * i] = float(i);
    std::vector<unsigned> selection{7, 3, 7};
    ASSERT_TRUE(tree.split(root, &selection, &points));
    const NodePtr f = root->children[0], c = root->children[1];
    EXPECT_EQ(f->landmarkIdxs, (std::vector<unsigned>{7, 3})) << "selection order, a repeat counts once";
    EXPECT_EQ(f->coordinates, (Floats{7, 0, 3, 0}));
    EXPECT_TRUE(c->numLandmarks() == 498 && std::is_sorted(c->landmarkIdxs.begin(), c->landmarkIdxs.end()));
    EXPECT_EQ(std::make_tuple(points[7], points[3], points[4]),
              std::make_tuple(std::make_pair(f, 0), std::make_pair(f, 1), std::make_pair(c, 3)));
    EXPECT_EQ(*tree.leaves(), (MCV_FCTree::NodeList{f, c}));
    EXPECT_EQ(tree.context()->front()->type, hierarchyNodeContext);
    fctest::Matrix expected;
    h().transitionMatrixForSelection(&expected, 3, &c->landmarkIdxs);
    EXPECT_EQ(expected[9].memory(), c->transitionMatrix[9].memory());

    for (std::vector<unsigned> bad : {std::vector<unsigned>{500}, std::vector<unsigned>{7}}) {
        EXPECT_FALSE(tree.split(c, &bad, &points)) << "beyond the list, or held by another leaf";
        EXPECT_TRUE(c->children.empty() && points[7].first == f);
    }
    tree.detachHierarchy();
    EXPECT_FALSE(tree.split(f, &selection, &points)) << "no hierarchy";
    EXPECT_EQ(tree.merge(f, c), nullptr);
}

TEST_F(FCTreeTest, JsonTextsOfTheTreePage) {
    EXPECT_EQ(tree.jsonObject(), "") << "never reset";
    resetTo(2);
    EXPECT_EQ(tree.jsonObject(), "{\n\"id\":0,\n\"type\":0,\n\"scale\":2\n}");
    std::vector<unsigned> selection{1};
    tree.split(tree.root(), &selection, &points);
    EXPECT_EQ(tree.jsonObject(),
              "{\n\"id\":0,\n\"type\":0,\n\"scale\":2,\n\"children\":[\n{\n\"id\":1,\n\"type\":0,\n\"scale\":2\n},{\n"
              "\"id\":2,\n\"type\":2,\n\"scale\":2\n}\n]\n}");
    tree.append(tree.root()->children[0], hierarchyNodeFocus, 1);  // one child, with a sibling: no wrapper
    EXPECT_EQ(tree.jsonObject().find("-1"), std::string::npos);
    tree.append(resetTo(2), hierarchyNodeFocus, 1);
    EXPECT_EQ(tree.jsonObject(),
              "{\n\"id\":-1,\n\"children\":[\n{\n\"id\":0,\n\"type\":0,\n\"scale\":2,\n\"children\":[\n{\n\"id\":1,\n"
              "\"type\":0,\n\"scale\":1\n}\n]\n}\n]\n}");
}

TEST_F(FCTreeTest, StructuralOperationsReportOnceAndFreeWhatLeaves) {
    std::weak_ptr<HierarchyNode> oldRoot = resetTo(3);
    const NodePtr root = resetTo(3);
    EXPECT_TRUE(oldRoot.expired()) << "a reset frees the old tree";
    int reports = 2;
    const auto reported = [&](const char* what) { EXPECT_EQ(log.count("dataRefreshed", &tree), ++reports) << what; };
    std::vector<unsigned> selection{0, 1};
    tree.split(root, &selection, &points), reported("split");
    const NodePtr f = root->children[0], c = root->children[1];
    EXPECT_EQ(std::make_tuple(tree.hasSiblings(root), tree.sibling(f), tree.sibling(c)), std::make_tuple(false, c, f));
    EXPECT_EQ(tree.merge(f, c), nullptr) << "types differ";
    EXPECT_EQ(root->children.size(), 2u);

    f->coordinates = {1, 2, 3, 4};
    c->type = hierarchyNodeFocus;
    const NodePtr m = tree.merge(f, c);
    reported("merge");
    ASSERT_EQ(root->children, MCV_FCTree::NodeList{m});
    EXPECT_EQ(std::make_pair(m->landmarkIdxs[1], m->landmarkIdxs[2]), std::make_pair(1u, 2u)) << "a's, then b's";
    EXPECT_EQ(Floats(root->coordinates.begin(), root->coordinates.begin() + 5), (Floats{1, 2, 3, 4, 0}));
    EXPECT_TRUE(!tree.hasSiblings(m) && !tree.sibling(m));

    NodePtr child = tree.append(root, hierarchyNodeFocus, 3);
    reported("append");
    std::weak_ptr<HierarchyNode> grandChild = tree.append(child, tree.createNode(hierarchyNodeContext, 2));
    reported("append a node");
    root->globalIdxs[1] = root->globalIdxs[0];
    child->globalIdxs = {root->globalIdxs[0]};
    child->coordinates = {5, 6};
    tree.purge(child), reported("purge");
    EXPECT_EQ(Floats(root->coordinates.begin(), root->coordinates.begin() + 4), (Floats{5, 6, 5, 6}));
    tree.pushCoordinates(m, root);
    tree.purgeChildren(root), reported("purgeChildren");
    points.clear();
    EXPECT_TRUE(root->children.empty() && !grandChild.expired());
    child.reset();
    EXPECT_TRUE(grandChild.expired()) << "a removed subtree is freed";
}

TEST_F(FCTreeTest, NodeMatrixHasARowForEveryListedLandmark) {
    const auto node = std::make_shared<HierarchyNode>();
    node->scale = 3;
    node->landmarkIdxs = {5, 2, 5};
    h().transitionMatrixForSelection(node);
    ASSERT_EQ(node->transitionMatrix.size(), 3u);
    EXPECT_EQ(node->transitionMatrix[2].memory(), node->transitionMatrix[0].memory());
    for (const auto& row : node->transitionMatrix)
        for (const auto& entry : row) EXPECT_LT(entry.first, 2u) << "columns name the first place";
}

TEST_F(FCTreeTest, TheDataModelMakesTreesOnceTheirKindIsInstalled) {
    MCV_FCTree::registerKind();
    auto data = MCV_CytometryData::createDetached();
    data->init(&log);
    MCV_FCTree* t = data->derivedDataTrees("T", true);
    ASSERT_TRUE(t);
    EXPECT_EQ(std::make_tuple(t->type(), t->name(), t->uiInterface() == &log), std::make_tuple(4, "T", true));
    EXPECT_EQ(data->derivedDataTrees("T", true), t);
    EXPECT_EQ(data->derivedDataTrees("T", false)->name(), "T-1");
    auto* own = new MCV_FCTree();
    own->setName("U");
    EXPECT_TRUE(data->addDerivedDataTree(own));
    EXPECT_EQ(data->derivedDataTrees(), (std::vector<MCV_FCTree*>{t, data->derivedDataTrees("T-1", true), own}));
}
