#include "FCTreeTestData.h"
#include "data/CallbackLog.h"

#include "data/MCV_CytometryData.h"

using namespace fctest;
using NodePtr = MCV_FCTree::NodePtr;

namespace {

struct FCTreeTest : testing::Test {
    static MCV_DerivedDataHierarchy& hierarchy() {
        static const auto h = randomHierarchy(4000, 4, 7);
        return *h;
    }
    // The tree reset to `scale`, reporting to the log, with pointNodes (root, i).
    void resetTo(int scale) {
        tree.setUiInterface(&log);
        tree.reset(scale, *hierarchy().transitionMatrix(scale), &hierarchy());
        points.clear();
        for (size_t i = 0; i < tree.root()->numLandmarks(); ++i) points.emplace_back(tree.root(), int(i));
    }
    std::vector<unsigned> lm(const NodePtr& n) { return n->landmarkIdxs; }
    MCV_FCTree tree;
    CallbackLog log;
    MCV_FCTree::PointNodes points;
};

}  // namespace

TEST_F(FCTreeTest, ResetAndSplitFollowTheWorkedExample) {
    resetTo(3);
    const NodePtr root = tree.root();
    EXPECT_EQ(std::make_tuple(root->id, root->type, root->scale, root->numLandmarks()),
              std::make_tuple(0u, hierarchyNodeFocus, 3, size_t(500)));
    EXPECT_EQ(root->landmarkIdxs[499], 499u);
    EXPECT_EQ(root->globalIdxs[499], 499u * 8) << "every scale keeps the even points";
    EXPECT_EQ(root->coordinates, std::vector<float>(1000, 0.0f));
    EXPECT_EQ(*tree.leaves(), MCV_FCTree::NodeList{root});
    EXPECT_EQ(*tree.focus(), MCV_FCTree::NodeList{root});
    EXPECT_TRUE(tree.context()->empty());
    EXPECT_EQ(tree.createNode(hierarchyNodeFocus, 1)->id, 1u);

    for (size_t i = 0; i < 500; ++i) root->coordinates[2 * i] = float(i);
    std::vector<unsigned> selection{7, 3, 7};
    ASSERT_TRUE(tree.split(root, &selection, &points));
    const NodePtr f = root->children[0], c = root->children[1];
    EXPECT_EQ(lm(f), (std::vector<unsigned>{7, 3})) << "selection order, a repeat counts once";
    EXPECT_EQ(std::make_pair(f->coordinates[0], f->coordinates[2]), std::make_pair(7.0f, 3.0f));
    EXPECT_EQ(c->numLandmarks(), 498u);
    EXPECT_TRUE(std::is_sorted(c->landmarkIdxs.begin(), c->landmarkIdxs.end()));
    EXPECT_EQ(c->type, hierarchyNodeContext);
    EXPECT_EQ(points[7], std::make_pair(f, 0));
    EXPECT_EQ(points[3], std::make_pair(f, 1));
    EXPECT_EQ(points[4], std::make_pair(c, 3));
    EXPECT_EQ(*tree.leaves(), (MCV_FCTree::NodeList{f, c}));
    MCV_DerivedDataHierarchy::SparseMatrix expected;
    hierarchy().transitionMatrixForSelection(&expected, 3, &c->landmarkIdxs);
    EXPECT_EQ(c->transitionMatrix.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), c->transitionMatrix.begin(),
                           [](auto& a, auto& b) { return a.memory() == b.memory(); }));

    for (std::vector<unsigned> bad : {std::vector<unsigned>{500}, std::vector<unsigned>{7}}) {
        const auto before = points;
        EXPECT_FALSE(tree.split(c, &bad, &points)) << "beyond the list, or held by another leaf";
        EXPECT_TRUE(points == before && c->children.empty());
    }
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
    resetTo(2);
    tree.append(tree.root(), hierarchyNodeFocus, 1);
    EXPECT_EQ(tree.jsonObject(),
              "{\n\"id\":-1,\n\"children\":[\n{\n\"id\":0,\n\"type\":0,\n\"scale\":2,\n\"children\":[\n{\n\"id\":1,\n"
              "\"type\":0,\n\"scale\":1\n}\n]\n}\n]\n}");
}

TEST_F(FCTreeTest, StructuralOperationsReportOnceAndFreeWhatLeaves) {
    resetTo(3);
    std::weak_ptr<HierarchyNode> oldRoot = tree.root();
    EXPECT_EQ(log.count("dataRefreshed", &tree), 1);
    resetTo(3);
    EXPECT_TRUE(oldRoot.expired()) << "a reset frees the old tree";
    const NodePtr root = tree.root();
    std::vector<unsigned> selection{0, 1};
    int reports = 2;
    const auto reported = [&](const char* what) { EXPECT_EQ(log.count("dataRefreshed", &tree), ++reports) << what; };
    tree.split(root, &selection, &points), reported("split");
    const NodePtr f = root->children[0], c = root->children[1];
    EXPECT_FALSE(tree.hasSiblings(root));
    EXPECT_EQ(std::make_pair(tree.sibling(f), tree.sibling(c)), std::make_pair(c, f));
    EXPECT_EQ(tree.merge(f, c), nullptr) << "types differ";
    EXPECT_EQ(root->children.size(), 2u);
    EXPECT_EQ(log.count("dataRefreshed", &tree), reports);

    f->coordinates = {1, 2, 3, 4};
    c->type = hierarchyNodeFocus;
    const NodePtr m = tree.merge(f, c);
    reported("merge");
    ASSERT_TRUE(m);
    EXPECT_EQ(root->children, MCV_FCTree::NodeList{m});
    EXPECT_EQ(m->landmarkIdxs[1], 1u);
    EXPECT_EQ(m->landmarkIdxs[2], 2u) << "a's landmarks, then b's";
    EXPECT_EQ(std::vector<float>(root->coordinates.begin(), root->coordinates.begin() + 5),
              (std::vector<float>{1, 2, 3, 4, 0}));
    EXPECT_FALSE(tree.hasSiblings(m));
    EXPECT_EQ(tree.sibling(m), nullptr);

    NodePtr child = tree.append(root, hierarchyNodeFocus, 3);
    reported("append");
    std::weak_ptr<HierarchyNode> grandChild = tree.append(child, tree.createNode(hierarchyNodeContext, 2));
    reported("append node");
    root->globalIdxs[1] = root->globalIdxs[0];
    child->landmarkIdxs = {0};
    child->globalIdxs = {root->globalIdxs[0]};
    child->coordinates = {5, 6};
    tree.purge(child), reported("purge");
    EXPECT_EQ(std::vector<float>(root->coordinates.begin(), root->coordinates.begin() + 4),
              (std::vector<float>{5, 6, 5, 6}))
        << "every position holding the point";
    tree.pushCoordinates(m, root);
    tree.purgeChildren(root), reported("purgeChildren");
    EXPECT_TRUE(root->children.empty());
    points.clear();
    EXPECT_FALSE(grandChild.expired()) << "still held here";
    const std::weak_ptr<HierarchyNode> gone = child;
    child.reset();
    EXPECT_TRUE(gone.expired() && grandChild.expired()) << "a removed subtree is freed";
}

TEST_F(FCTreeTest, WithoutItsHierarchyTheTreeSplitsAndMergesNothing) {
    resetTo(3);
    tree.detachHierarchy();
    std::vector<unsigned> selection{0};
    EXPECT_FALSE(tree.split(tree.root(), &selection, &points));
    const NodePtr a = tree.append(tree.root(), hierarchyNodeFocus, 3),
                  b = tree.append(tree.root(), hierarchyNodeFocus, 3);
    EXPECT_EQ(tree.merge(a, b), nullptr);
}

TEST_F(FCTreeTest, NodeMatrixHasARowForEveryListedLandmark) {
    const auto node = std::make_shared<HierarchyNode>();
    node->scale = 3;
    node->landmarkIdxs = {5, 2, 5};
    hierarchy().transitionMatrixForSelection(node);
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
    EXPECT_EQ(std::make_tuple(t->type(), t->name(), t->uiInterface()),
              std::make_tuple(4, std::string("T"), (MCV_UiInterface*)&log));
    EXPECT_EQ(data->derivedDataTrees("T", true), t);
    EXPECT_EQ(data->derivedDataTrees("T", false)->name(), "T-1");
    auto* own = new MCV_FCTree();
    own->setName("U");
    EXPECT_TRUE(data->addDerivedDataTree(own));
    EXPECT_EQ(data->derivedDataTrees(), (std::vector<MCV_FCTree*>{t, data->derivedDataTrees("T-1", true), own}));
    EXPECT_TRUE(data->derivedDataPoints().empty());
}
