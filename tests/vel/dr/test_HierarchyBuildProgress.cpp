// The progress a hierarchy build reports and the stop a caller can ask for.
#include <gtest/gtest.h>

#include "HierarchyTestData.h"

#include <tuple>

using namespace hsnetest;
using Phase = vel::dr::BuildProgress::Phase;

namespace {

struct Report {
    Phase phase;
    unsigned int scale;
    double fraction;
};

// Three scales over the blobs with `progress`, seed 42, Annoy.
void build3(Hsne& h, const veltest::Blobs& b, bool preserving, vel::dr::BuildProgress* progress) {
    Hsne::Parameters p;
    std::tie(p.seed, p.knnLibrary, p.memoryPreserving) = std::make_tuple(42, 1, preserving);
    h.setProgress(progress);
    h.setDimensionality(static_cast<int>(b.dims));
    h.initialize(const_cast<float*>(b.data.data()), b.n, p);
    while (h.hierarchy().size() < 3) h.addScale();
}

const veltest::Blobs& fiftyThousand() {
    static const veltest::Blobs b = veltest::makeBlobs(5, 10000 / kShrink, 10, 10.0, 3);
    return b;
}

// Every phase of 50,000 points reports 0 first, then non-decreasing
// fractions, and 1 last, in the order the build runs them; the long phases
// report shares in between. The hierarchy is the one built without progress.
TEST(HierarchyBuildProgress, EveryPhaseRunsFromZeroToOneWithoutChangingTheHierarchy) {
    const veltest::Blobs& b = fiftyThousand();
    const std::vector<std::pair<Phase, unsigned int>> order = {
        {Phase::NeighbourGraph, 0},  {Phase::Probabilities, 0},    {Phase::LandmarkSelection, 1},
        {Phase::AreaOfInfluence, 1}, {Phase::TransitionMatrix, 1}, {Phase::LandmarkSelection, 2},
        {Phase::AreaOfInfluence, 2}, {Phase::TransitionMatrix, 2}};
    for (bool preserving : {true, false}) {
        SCOPED_TRACE(preserving ? "memory-preserving" : "in memory");
        std::vector<Report> reports;
        vel::dr::BuildProgress progress([&](Phase phase, unsigned int scale, double fraction) {
            reports.push_back({phase, scale, fraction});
        });
        Hsne with, without;
        build3(with, b, preserving, &progress);
        build3(without, b, preserving, nullptr);
        EXPECT_EQ(saved(with), saved(without));

        std::vector<std::pair<Phase, unsigned int>> phases;
        std::size_t between = 0;
        for (std::size_t k = 0; k < reports.size(); ++k) {
            const Report& r = reports[k];
            const bool first = k == 0 || reports[k - 1].phase != r.phase || reports[k - 1].scale != r.scale;
            const bool last =
                k + 1 == reports.size() || reports[k + 1].phase != r.phase || reports[k + 1].scale != r.scale;
            if (first) {
                phases.emplace_back(r.phase, r.scale);
                EXPECT_EQ(r.fraction, 0.0) << k;
            } else {
                EXPECT_GE(r.fraction, reports[k - 1].fraction) << k;
            }
            if (last) {
                EXPECT_EQ(r.fraction, 1.0) << k;
            }
            if (r.phase == Phase::AreaOfInfluence && r.scale == 1 && r.fraction > 0 && r.fraction < 1) ++between;
        }
        EXPECT_EQ(phases, order);
        EXPECT_GE(between, 5u);
    }
}

// A stop asked for from the callback ends the build at the next check with
// Stopped and leaves no scales, wherever it comes; the same object then
// builds the hierarchy it would have built without the stop.
TEST(HierarchyBuildProgress, AStopLeavesNoScalesAndALaterBuildRunsNormally) {
    const veltest::Blobs b = veltest::makeBlobs(4, 3000 / kShrink, 8, 10.0, 5);
    Hsne reference;
    build3(reference, b, true, nullptr);
    Hsne inMemory;
    build3(inMemory, b, false, nullptr);
    const std::string expected[2] = {saved(inMemory), saved(reference)};

    struct Case {
        const char* name;
        bool preserving;
        Phase phase;
        unsigned int scale;
        double fraction;  // the first report of the phase at or beyond it stops
    };
    const Case cases[] = {
        {"the second scale begins", true, Phase::LandmarkSelection, 2, 0.0},
        {"the kNN graph begins", true, Phase::NeighbourGraph, 0, 0.0},
        {"half the neighbour search", true, Phase::NeighbourGraph, 0, 0.5},
        {"the end of the probabilities", true, Phase::Probabilities, 0, 1.0},
        {"half the landmark walks", true, Phase::LandmarkSelection, 1, 0.5},
        {"half the areas of influence", true, Phase::AreaOfInfluence, 1, 0.5},
        {"half the similarities", true, Phase::TransitionMatrix, 1, 0.5},
        {"the last report", true, Phase::TransitionMatrix, 2, 1.0},
        {"the second scale, in memory", false, Phase::LandmarkSelection, 2, 0.0},
        {"a block of influence, in memory", false, Phase::AreaOfInfluence, 1, 0.1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::size_t afterStop = 0;
        bool asked = false;
        vel::dr::BuildProgress progress;
        progress.setCallback([&](Phase phase, unsigned int scale, double fraction) {
            if (progress.stopRequested()) ++afterStop;
            if (asked || phase != c.phase || scale != c.scale || fraction < c.fraction) return;
            asked = true;
            progress.requestStop();
        });
        Hsne h;
        EXPECT_THROW(build3(h, b, c.preserving, &progress), vel::dr::BuildProgress::Stopped);
        EXPECT_TRUE(h.hierarchy().empty());
        EXPECT_TRUE(asked);
        EXPECT_EQ(afterStop, 0u) << "reports after the stop";

        progress.clearStop();
        build3(h, b, c.preserving, &progress);
        EXPECT_EQ(saved(h), expected[c.preserving]);
    }
}

}  // namespace
