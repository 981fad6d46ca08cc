// The setters' stage flags: set by a change, kept until the next run, left
// clear by the current value.
#include "SpadeAnalysisTest.h"

#include <functional>

namespace {

using SpadeSettings = SpadeAnalysisTest;

TEST_F(SpadeSettings, ASetterMarksItsStageWhenTheValueChangesAndTheRunClearsIt) {
    load({write("f.fcs", blobRows(1, 20, 2, 1))});
    enum Stage { Densities, Downsampling, Clustering };
    struct Case {
        const char* name;
        std::function<bool(MCV_SpadeAnalysis&, bool other)> set;  // the default or another value
        Stage stage;
    };
    const float nan = std::nanf("");
    const std::vector<Case> cases = {
        {"sample size", [](MCV_SpadeAnalysis& s, bool o) { return s.setMaxRandomSampleSize(o ? 100 : 2000); },
         Densities},
        {"alpha", [](MCV_SpadeAnalysis& s, bool o) { return s.setAlpha(o ? 2.5f : 3.0f); }, Densities},
        {"target density", [](MCV_SpadeAnalysis& s, bool o) { return s.setTargetDensityPercentile(o ? 5.0f : 3.0f); },
         Downsampling},
        {"outlier density", [](MCV_SpadeAnalysis& s, bool o) { return s.setOutlierDensityPercentile(o ? 0.0f : 1.0f); },
         Downsampling},
        {"density limit", [](MCV_SpadeAnalysis& s, bool o) { return s.setDensityLimit(o ? 100.0f : 10.0f); },
         Downsampling},
        {"target clusters", [](MCV_SpadeAnalysis& s, bool o) { return s.setTargetNumberOfClusters(o ? 7 : 50); },
         Clustering},
    };
    makeSpade();
    const auto flags = [&] {
        return std::vector<bool>{spade->densitiesDirty(), spade->downsamplingDirty(), spade->clusteringDirty()};
    };
    EXPECT_EQ(flags(), std::vector<bool>(3, true));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        run();
        EXPECT_EQ(flags(), std::vector<bool>(3, false));
        EXPECT_FALSE(c.set(*spade, false));
        EXPECT_EQ(flags(), std::vector<bool>(3, false));
        EXPECT_TRUE(c.set(*spade, true));
        // Back to the value of the last run: the flag stays set.
        EXPECT_TRUE(c.set(*spade, false));
        std::vector<bool> expected(3, false);
        expected[c.stage] = true;
        EXPECT_EQ(flags(), expected);
    }
    // A NaN differs from every value, itself included.
    run();
    EXPECT_TRUE(spade->setAlpha(nan));
    run();
    EXPECT_TRUE(spade->setAlpha(nan));
    // A changed marker makes the densities due on the next run.
    spade->setAlpha(3.0f);
    run();
    spade->setMarkerState(1, false);
    EXPECT_TRUE(contains(run(), "\nProcessing File: "));
    EXPECT_FALSE(spade->markersChanged());
}

}  // namespace
