// Density-dependent down-sampling: the outlier and target densities, the
// passes and their stopping rule, the limits that keep everything or nothing.
#include "SpadeAnalysisTest.h"

#include <cstdlib>
#include <regex>

namespace {

class SpadeDownsampling : public SpadeAnalysisTest {
protected:
    void SetUp() override {
        SpadeAnalysisTest::SetUp();
        load({write("d.fcs", blobRows(2, 500, 4, 9))});
    }
    int sortedAt(float percentile) {
        std::vector<int> sorted = spade->localDensities()[0];
        std::sort(sorted.begin(), sorted.end());
        const float step = static_cast<float>(sorted.size() - 1) / 100.0f;
        return sorted[static_cast<size_t>(percentile * step)];
    }
    size_t keptCount() {
        const auto& mask = spade->keepMasks()[0];
        return static_cast<size_t>(std::count(mask.begin(), mask.end(), true));
    }
};

TEST_F(SpadeDownsampling, PassesDropOutliersKeepSparseEventsAndStopNearTheLimit) {
    struct Case {
        float limit, target, outlier;
        float usedTarget, usedOutlier;  // percentiles out of range are taken at its ends
    };
    const std::regex pass(
        "\t\toutlier density = (\\d+), target density = (\\d+), max cellcount = (\\d+), curve exponent = (\\d+) \\.\\. "
        "(\\d+) samples remain\\.\n");
    // The last case keeps every event above the outlier density in every
    // pass, so only the pass limit ends it.
    const float nan = std::nanf("");
    for (const Case c :
         {Case{10, 3, 1, 3, 1}, Case{50, 50, 10, 50, 10}, Case{30, 20, nan, 20, 0}, Case{1, 250, -5, 100, 0}}) {
        SCOPED_TRACE(std::to_string(c.limit) + " " + std::to_string(c.target) + " " + std::to_string(c.outlier));
        makeSpade();
        spade->setDensityLimit(c.limit);
        spade->setTargetDensityPercentile(c.target);
        spade->setOutlierDensityPercentile(c.outlier);
        EXPECT_EQ(spade->targetDensityPercentile(), c.usedTarget);
        EXPECT_EQ(spade->outlierDensityPercentile(), c.usedOutlier);
        const std::string out = run();
        const int outlier = sortedAt(c.usedOutlier), target = std::max(1, sortedAt(c.usedTarget));
        const int maxCells = static_cast<int>(c.limit * 0.01f * 1000.0f);
        std::vector<int> counts;
        for (std::sregex_iterator m(out.begin(), out.end(), pass), end; m != end; ++m) {
            EXPECT_EQ(std::stoi((*m)[1]), outlier);
            EXPECT_EQ(std::stoi((*m)[2]), target);
            EXPECT_EQ(std::stoi((*m)[3]), maxCells);
            EXPECT_EQ(std::stoi((*m)[4]), static_cast<int>(counts.size()) + 1);
            counts.push_back(std::stoi((*m)[5]));
        }
        ASSERT_FALSE(counts.empty()) << out;
        ASSERT_LE(counts.size(), 11u);
        for (size_t p = 0; p + 1 < counts.size(); ++p) EXPECT_GT(counts[p], 1.05 * maxCells);
        EXPECT_TRUE(counts.back() <= 1.05 * maxCells || counts.size() == 11u);
        EXPECT_EQ(keptCount(), static_cast<size_t>(counts.back()));
        EXPECT_TRUE(contains(out, "\t\tDone, " + std::to_string(counts.back()) + " (")) << out;
        const auto& densities = spade->localDensities()[0];
        const auto& mask = spade->keepMasks()[0];
        for (size_t e = 0; e < densities.size(); ++e) {
            // At or below the outlier density out, up to the target in.
            if (densities[e] <= outlier || densities[e] <= target) {
                EXPECT_EQ(mask[e], densities[e] > outlier) << e;
            }
        }
    }
}

// Without a pass a run keeps nothing, also after an earlier run's pass left
// a mask.
TEST_F(SpadeDownsampling, KeepsEverythingAboveALimitOf99Point9AndNothingBelowOneEvent) {
    struct Case {
        float limit;
        bool passes;  // "\tDownsampling ..\n" printed
        size_t kept;
    };
    // 0.05% of 1000 events is no event; NaN wants none either.
    for (const Case c : {Case{100, false, 1000}, Case{99.95f, false, 1000}, Case{0.05f, true, 0}, Case{-3, true, 0},
                         Case{std::nanf(""), true, 0}})
        for (bool earlierPass : {false, true}) {
            SCOPED_TRACE(std::to_string(c.limit) + (earlierPass ? " after a pass" : ""));
            makeSpade();
            if (earlierPass) {
                spade->setDensityLimit(50);
                run();
                ASSERT_GT(keptCount(), 0u);
            }
            spade->setDensityLimit(c.limit);
            const std::string out = run();
            EXPECT_EQ(contains(out, "\tDownsampling ..\n"), c.passes) << out;
            EXPECT_FALSE(contains(out, "curve exponent")) << out;
            EXPECT_EQ(keptCount(), c.kept);
            if (c.kept == 0) {
                EXPECT_TRUE(contains(out, "\t\tDone, 0 (0%) active Samples remain.\n")) << out;
                EXPECT_TRUE(contains(out, "\n\tNo events remain after down-sampling; no tree was built.\n")) << out;
                EXPECT_FALSE(spade->errorMessage().empty());
            }
        }
}

// Each pass draws from one seed of the process's generator, so the same seed
// keeps the same events on any number of threads.
TEST_F(SpadeDownsampling, KeepsTheSameEventsOnOneAndEightThreadsForOneSeed) {
    std::vector<bool> masks[2];
    for (int t : {0, 1}) {
        omp_set_num_threads(t == 0 ? 1 : 8);
        makeSpade();
        std::srand(17);
        run();
        masks[t] = spade->keepMasks()[0];
    }
    EXPECT_EQ(masks[0], masks[1]);
    EXPECT_GT(std::count(masks[0].begin(), masks[0].end(), true), 0);
}

}  // namespace
