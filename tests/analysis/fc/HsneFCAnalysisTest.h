#pragma once
// Seeded Gaussian blobs with the HSNE output pair (the HSNE fixture) and a
// focus-and-context analysis over "All Points" on the CPU that reports to a
// recording interface; destroyed by the fixture, as the shell would.
#include "analysis/hsne/HsneAnalysisTest.h"

#include "analysis/fc/MCV_FCTree.h"
#include "analysis/fc/MCV_HsneFCAnalysis.h"

#include <map>
#include <set>
#include <utility>

class HsneFCAnalysisTest : public HsneAnalysisTest {
protected:
    void TearDown() override {
        fc.reset();
        HsneAnalysisTest::TearDown();
    }
    MCV_HsneFCAnalysis* makeFc(int scales, int iterations = 30, bool caching = false) {
        fc = std::make_unique<MCV_HsneFCAnalysis>();
        fc->init(&ui, "F");
        fc->setActiveDataSelection(allPoints());
        for (const char* off : {"label", "QLMRN_HsneDataX", "QLMRN_HsneDataY"})
            if (var(off) >= 0) fc->setMarkerState(var(off), false);
        fc->setNumScales(scales);
        fc->setSeed(3);
        fc->setCachingEnabled(caching);
        fc->setUseGPU(false);
        fc->setIterations(iterations);
        return fc.get();
    }
    // A computed analysis over `clusters` blobs of `perCluster` events.
    MCV_HsneFCAnalysis* computed(unsigned clusters = 3, unsigned perCluster = 600, int scales = 3,
                                 int iterations = 30) {
        loadHsneBlobs(clusters, perCluster);
        makeFc(scales, iterations);
        quietly([&] { fc->initHSNE(); });
        return fc.get();
    }
    MCV_FCTree::NodeList leaves() { return *fc->fcTree()->leaves(); }
    // Splits the root: its points of blob `label` become the focus.
    void focusOn(int label) {
        std::vector<unsigned> focus = blob(fc.get(), label);
        quietly([&] { fc->setFocus(&focus); });
    }
    // The user's road after Compute: "Set focus and differentiate." on
    // `focus`, "Refine all.", "Coarsen All.", with `check` given each step's
    // name after it.
    template <typename Check>
    void focusRefineCoarsen(std::vector<unsigned> focus, Check check) {
        quietly([&] {
            fc->setFocus(&focus);
            fc->differentiateFocusMore();
        });
        check("Set focus and differentiate.");
        quietly([&] { fc->refineAll(); });
        check("Refine all.");
        quietly([&] { fc->coarsenAll(); });
        check("Coarsen All.");
    }
    // The embedding points held by `node`.
    std::vector<unsigned> pointsOf(const MCV_FCTree::NodePtr& node) {
        std::vector<unsigned> points;
        for (size_t i = 0; i < fc->pointNodes()->size(); ++i)
            if ((*fc->pointNodes())[i].first == node) points.push_back(static_cast<unsigned>(i));
        return points;
    }
    // The (file, event) pairs that the landmarks of the nodes stand for.
    using Events = std::set<std::pair<int, int>>;
    Events eventsOfNodes(const MCV_FCTree::NodeList& nodes) {
        Events events;
        for (const MCV_FCTree::NodePtr& node : nodes)
            for (unsigned l : node->landmarkIdxs)
                if (const auto* refs = fc->hierarchy()->pointBasedHierarchyForLandmark({node->scale, l}))
                    events.insert(refs->begin(), refs->end());
        return events;
    }
    // For each event on the map, the embedding point whose position the
    // output columns give it: of all points whose landmark lists it, the one
    // of the lowest scale, the first such point among equals.
    using Owners = std::map<std::pair<int, int>, size_t>;
    Owners positionOwners() {
        Owners owner;
        std::map<std::pair<int, int>, int> scaleOf;
        const std::vector<MCV_HsneFCAnalysis::PointNode>& nodes = *fc->pointNodes();
        for (size_t i = 0; i < nodes.size(); ++i) {
            const int scale = nodes[i].first->scale;
            if (const auto* refs = fc->hierarchy()->pointBasedHierarchyForLandmark(
                    {scale, nodes[i].first->landmarkIdxs.at(static_cast<size_t>(nodes[i].second))}))
                for (const auto& r : *refs) {
                    const auto [it, added] = scaleOf.emplace(r, scale);
                    if (added || scale < it->second) it->second = scale, owner[r] = i;
                }
        }
        return owner;
    }
    static testing::AssertionResult keepsEvery(const Events& before, const Events& after) {
        size_t lost = 0;
        for (const auto& e : before) lost += after.count(e) == 0;
        if (lost == 0) return testing::AssertionSuccess();
        return testing::AssertionFailure() << lost << " of " << before.size() << " events left the map";
    }
    std::unique_ptr<MCV_HsneFCAnalysis> fc;
};

// The road of a user: compute, focus on one blob, refine twice, coarsen all.
// Refining never lowers the point count and the landmarks' 10-NN blob
// agreement in the map stays high at every step.
class HsneFCEndToEnd : public HsneFCAnalysisTest {
protected:
    double agreement() { return veltest::nearestLabelAccuracy(*fc->output(), landmarkLabels(fc.get())); }
    void road(bool gpu) {
        // 5 x 1,000 events rather than 5 x 10,000, to keep the run short.
        loadHsneBlobs(5, 1000, 6);
        makeFc(3, 300)->setUseGPU(gpu);
        quietly([&] { fc->initHSNE(); });
        EXPECT_GE(agreement(), 0.95);
        std::vector<unsigned> focus = blob(fc.get(), 2);
        ASSERT_FALSE(focus.empty());
        fc->setIterations(100);  // the later runs start from kept positions
        for (int step = 0, count = fc->numDataPoints(); step < 3; ++step, count = fc->numDataPoints()) {
            quietly([&] {
                if (step == 0) fc->setFocus(&focus);
                fc->differentiateFocusMore();
            });
            EXPECT_GE(fc->numDataPoints(), count) << step;
            EXPECT_GE(agreement(), 0.95) << step;
        }
        quietly([&] { fc->coarsenAll(); });
        EXPECT_GE(agreement(), 0.95);
        EXPECT_EQ(ui.count("analysisFinished"), 5);
    }
};
