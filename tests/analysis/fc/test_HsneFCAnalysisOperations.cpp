// The tree operations of the focus-and-context analysis on a hierarchy built
// over blobs, and the user's road on the CPU.
#include "HsneFCAnalysisTest.h"

#include <omp.h>

#include <map>

namespace {

using NodePtr = MCV_FCTree::NodePtr;
const auto focusThenContext = std::make_pair(hierarchyNodeFocus, hierarchyNodeContext);

using HsneFCOperations = HsneFCAnalysisTest;

// Whether every landmark of `child` (refined from `parent`) starts at its
// position in the parent by data point, else at the first strongest positive
// entry towards a held landmark, else at (0, 0); `placed` counts the second.
testing::AssertionResult placedFromParent(const NodePtr& parent, const NodePtr& child, size_t* placed) {
    std::map<unsigned, size_t> held;
    for (size_t k = 0; k < parent->globalIdxs.size(); ++k) held.emplace(parent->globalIdxs[k], k);
    auto parentAt = [&](unsigned g) {
        return std::make_pair(parent->coordinates[2 * held.at(g)], parent->coordinates[2 * held.at(g) + 1]);
    };
    *placed = 0;
    for (size_t i = 0; i < child->landmarkIdxs.size(); ++i) {
        const bool kept = held.count(child->globalIdxs[i]) > 0;
        auto expected = kept ? parentAt(child->globalIdxs[i]) : std::make_pair(0.f, 0.f);
        float best = 0;
        for (const auto& e : child->transitionMatrix[i]) {
            if (kept || !held.count(child->globalIdxs[e.first]) || !(e.second > best)) continue;
            best = e.second, expected = parentAt(child->globalIdxs[e.first]);
        }
        *placed += best > 0;
        if (std::make_pair(child->coordinates[2 * i], child->coordinates[2 * i + 1]) != expected)
            return testing::AssertionFailure() << "landmark " << i << " of the child";
    }
    return testing::AssertionSuccess();
}

TEST_F(HsneFCOperations, RefinedLandmarksStartAtThemselvesOrTheirStrongestHeldNeighbourAndFocusReshapesTheTree) {
    computed();
    const NodePtr root = fc->fcTree()->root();
    const int points = fc->numDataPoints();
    for (size_t j = 0; j < root->coordinates.size(); ++j) root->coordinates[j] = static_cast<float>(j) + 1.f;
    fc->zoomIntoNode(root);
    ASSERT_EQ(root->children.size(), 1u);
    const NodePtr child = root->children[0];
    EXPECT_TRUE(fc->rebuildTransitionMatrix());

    size_t placed = 0;
    EXPECT_TRUE(placedFromParent(root, child, &placed));
    EXPECT_GT(placed, 0u);
    // Coarsening it returns to the leaf.
    fc->zoomOutOfNode(child);
    EXPECT_TRUE(root->children.empty());

    // A selection across leaves splits nothing.
    focusOn(1);
    ASSERT_EQ(leaves().size(), 2u);
    std::vector<unsigned> across{pointsOf(leaves()[0])[0], pointsOf(leaves()[1])[0]};
    quietly([&] { fc->setFocus(&across); });
    EXPECT_EQ(leaves().size(), 2u);

    // The context half of the root's split: the new focus replaces the old
    // one, which joins the context.
    std::vector<unsigned> inContext = blob(fc.get(), 2);
    quietly([&] { fc->setFocus(&inContext); });
    ASSERT_EQ(root->children.size(), 2u);
    EXPECT_EQ(std::make_pair(root->children[0]->type, root->children[1]->type), focusThenContext);
    EXPECT_EQ(pointsOf(root->children[0]).size(), blob(fc.get(), 2).size());
    EXPECT_EQ(fc->numDataPoints(), points);

    // A context leaf made by refining: its branch becomes the focus.
    quietly([&] { fc->refineAll(); });
    const NodePtr oldContext = root->children[1];
    ASSERT_EQ(oldContext->children.size(), 1u);
    std::vector<unsigned> deep = blob(fc.get(), 0);
    quietly([&] { fc->setFocus(&deep); });
    ASSERT_EQ(root->children.size(), 2u);
    EXPECT_EQ(root->children[0], oldContext);
    EXPECT_EQ(std::make_pair(root->children[0]->type, root->children[1]->type), focusThenContext);
    EXPECT_TRUE(root->children[1]->children.empty());
    EXPECT_EQ(fc->fcTree()->focus()->front()->scale, root->scale - 1);
}

// A node refined into more than 4,096 landmarks, whose new landmarks are
// placed on several threads: the same positions on 1, 3 and 8 threads.
TEST_F(HsneFCOperations, ALargeRefinementPlacesItsLandmarksAlikeOnAnyThreadCount) {
    computed(3, 2000, 2);
    const NodePtr root = fc->fcTree()->root();
    const int threads = omp_get_max_threads();
    std::vector<float> first;
    for (int threadCount : {1, 3, 8}) {
        omp_set_num_threads(threadCount);
        for (size_t j = 0; j < root->coordinates.size(); ++j) root->coordinates[j] = static_cast<float>(j) + 1.f;
        fc->zoomIntoNode(root);
        ASSERT_EQ(root->children.size(), 1u);
        const NodePtr child = root->children[0];
        ASSERT_GT(child->numLandmarks(), 4096u);
        size_t placed = 0;
        EXPECT_TRUE(placedFromParent(root, child, &placed)) << threadCount << " threads";
        EXPECT_GT(placed, 0u);
        if (first.empty()) first = child->coordinates;
        EXPECT_EQ(child->coordinates, first) << threadCount << " threads";
        fc->zoomOutOfNode(child);
    }
    omp_set_num_threads(threads);
}

TEST_F(HsneFCOperations, CoarseningReturnsToAnAncestorOrTheRoot) {
    computed();
    const NodePtr root = fc->fcTree()->root();
    // Collapsing into the root: the split half above has no split above it.
    focusOn(1);
    const NodePtr focus = root->children[0];
    fc->zoomIntoNode(focus);
    fc->zoomOutOfNode(focus->children[0]);
    EXPECT_EQ(leaves(), MCV_FCTree::NodeList({root}));
    // Coarsening the root does nothing.
    fc->zoomOutOfNode(root);
    EXPECT_EQ(leaves(), MCV_FCTree::NodeList({root}));
}

TEST_F(HsneFCOperations, RenderValuesTellTheTreeAndCoarseningBelowASecondSplitKeepsEveryEvent) {
    computed();
    const NodePtr root = fc->fcTree()->root();
    focusOn(1);
    quietly([&] { fc->differentiateFocusMore(); });
    // Render values: depth, weight, events and focus (1 held by the focus half).
    const NodePtr half = root->children[0];
    std::vector<float> values, ranges;
    fc->pointScaleForSampleSelection({}, values, ranges);
    ASSERT_EQ(values.size(), 4 * fc->pointNodes()->size());
    EXPECT_EQ(ranges[0], 1.f);
    for (size_t i = 0; i < fc->pointNodes()->size(); ++i) {
        const auto& [leaf, j] = (*fc->pointNodes())[i];
        const auto refs = fc->hierarchy()->pointBasedHierarchyForLandmark({leaf->scale, leaf->landmarkIdxs[size_t(j)]});
        const bool held = std::count(half->globalIdxs.begin(), half->globalIdxs.end(), leaf->globalIdxs[size_t(j)]);
        EXPECT_EQ(values[4 * i], static_cast<float>(3 - leaf->scale)) << i;
        EXPECT_GE(values[4 * i + 1], 0.1f);
        EXPECT_EQ(values[4 * i + 2], refs ? static_cast<float>(refs->size()) : 0.1f) << i;
        EXPECT_EQ(values[4 * i + 3], leaf->isFocus() ? (held ? 1.f : 0.f) : 2.f) << i;
    }

    const NodePtr refined = half->children.at(0);
    std::vector<unsigned> part = pointsOf(refined);
    part.resize(part.size() / 2);
    quietly([&] {
        fc->setFocus(&part);
        fc->differentiateFocusMore();
    });
    const NodePtr split = refined->children.at(0), deepest = split->children.at(0);
    EXPECT_EQ(deepest->scale, 0);
    const Events before = eventsOfNodes(leaves());
    fc->zoomOutOfNode(deepest);
    // Dividing the root's focus half anew around the refined split would
    // leave the events of the split's context half that the coarse half does
    // not stand for in no leaf: the split's focus half is a leaf again and the
    // rest stays in place.
    ASSERT_EQ(root->children.size(), 2u);
    EXPECT_EQ(root->children[0], half);
    EXPECT_EQ(half->children, MCV_FCTree::NodeList({refined}));
    EXPECT_EQ(refined->children.size(), 2u);
    EXPECT_TRUE(split->children.empty());
    EXPECT_EQ(leaves(), MCV_FCTree::NodeList({split, refined->children[1], root->children[1]}));
    EXPECT_TRUE(keepsEvery(before, eventsOfNodes(leaves())));
}

// A split of the root's focus half, whose focus half was refined: coarsening
// that refinement moves the split up into the root's, which keeps every event.
TEST_F(HsneFCOperations, CoarseningBelowASplitOfASplitHalfRedividesThatHalf) {
    computed();
    const NodePtr root = fc->fcTree()->root();
    focusOn(1);
    const NodePtr half = root->children[0], context = root->children[1];
    std::vector<unsigned> part = pointsOf(half);
    part.resize(part.size() / 2);
    quietly([&] { fc->setFocus(&part); });
    ASSERT_EQ(half->children.size(), 2u);
    const NodePtr inner = half->children[0], innerContext = half->children[1];
    fc->zoomIntoNode(inner);
    const Events before = eventsOfNodes(leaves());
    fc->zoomOutOfNode(inner->children.at(0));
    ASSERT_EQ(root->children.size(), 2u);
    const NodePtr focus = root->children[0], merged = root->children[1];
    EXPECT_EQ(std::make_pair(focus->type, merged->type), focusThenContext);
    EXPECT_EQ(focus->children, MCV_FCTree::NodeList({inner}));
    EXPECT_EQ(focus->numLandmarks(), inner->numLandmarks());
    EXPECT_EQ(merged->numLandmarks(), context->numLandmarks() + innerContext->numLandmarks());
    EXPECT_EQ(leaves(), MCV_FCTree::NodeList({inner, merged}));
    EXPECT_TRUE(keepsEvery(before, eventsOfNodes(leaves())));
}

TEST_F(HsneFCEndToEnd, FocusRefineAndCoarsenOnTheCpu) { road(false); }

}  // namespace
