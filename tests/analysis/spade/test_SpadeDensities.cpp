// The density stage against brute force: the nearest-neighbour sample, the
// radius and every event's count of neighbours within it, on generated blobs
// (with NaN and infinite values) and on a real instrument file, on one and on
// eight threads.
#include "SpadeAnalysisTest.h"

#include <limits>
#include <map>

namespace {

using SpadeDensities = SpadeAnalysisTest;

TEST_F(SpadeDensities, EqualABruteForceCountOnBlobsAndARealFileOnOneAndEightThreads) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> sets = {
        {"blobs", {write("a.fcs", blobRows(3, 200, 5, 11)), write("b.fcs", blobRows(2, 150, 5, 12))}},
        {"cyflow_cube_8", {copyReal("cyflow_cube_8.fcs")}},
    };
    for (const auto& [name, files] : sets) {
        SCOPED_TRACE(name);
        std::vector<std::vector<int>> densities[2];
        std::vector<float> radii[2];
        for (int t : {0, 1}) {
            fresh();
            removeCaches();
            load(files);
            if (name == "blobs") {
                // Values no sum can order (the reader replaces them in files):
                // NaN, both infinities, the lowest float.
                const float inf = std::numeric_limits<float>::infinity();
                at(0, 3, 1) = std::numeric_limits<float>::quiet_NaN();
                at(0, 40, 0) = at(0, 41, 0) = inf;
                at(0, 90, 4) = -inf;
                at(0, 91, 2) = std::numeric_limits<float>::lowest();
            }
            // Every file is below twice the sample size: the sample is every
            // event, so the radius is the same on every run.
            omp_set_num_threads(t == 0 ? 1 : 8);
            makeSpade();
            const std::string out = run();
            EXPECT_TRUE(contains(out, "threads ..\n\t\t")) << out;
            densities[t] = spade->localDensities();
            radii[t] = spade->densityRadii();
        }
        ASSERT_EQ(densities[0].size(), files.size());
        EXPECT_EQ(densities[0], densities[1]);
        EXPECT_EQ(radii[0], radii[1]);
        for (int f = 0; f < static_cast<int>(files.size()); ++f) {
            const float median = spade->medianMinimumDistances()[static_cast<size_t>(f)];
            EXPECT_EQ(median, bruteMedianNearest(f));
            EXPECT_EQ(spade->densityRadii()[static_cast<size_t>(f)], median * 3.0f);
            EXPECT_EQ(densities[0][static_cast<size_t>(f)],
                      bruteDensities(f, spade->densityRadii()[static_cast<size_t>(f)]));
        }
    }
}

// The sample when twice the sample size exceeds the events: distinct events,
// all of them when the size reaches the count. Event 0 lies far from the
// others, so a sample made of repeats of one event shows in the median.
TEST_F(SpadeDensities, TakeDistinctEventsWhenTheSampleIsMoreThanHalfTheFile) {
    Rows rows{{1000.0f}};
    for (int i = 0; i < 18; ++i) rows.push_back({static_cast<float>(i)});
    load({write("line.fcs", rows)});
    struct Case {
        int size;
        std::string lines;
    };
    const std::vector<Case> cases = {
        {10, "\tCreating 10 random samples\n\t\t"},
        {19, "\tCreating 19 random samples\n\t\t"},
        {500, "\tCreating 19 random samples\n\t\t"},
        {0, "\t\tRandom sample size 0 is below 1, using 1.\n\tCreating 1 random samples\n\t\t"},
        {-4, "\t\tRandom sample size -4 is below 1, using 1.\n\tCreating 1 random samples\n\t\t"},
    };
    for (const Case& c : cases) {
        for (int repeat = 0; repeat < 5; ++repeat) {
            removeCaches();
            makeSpade();
            spade->setMaxRandomSampleSize(c.size);
            const std::string out = run();
            EXPECT_TRUE(contains(out, "\tComputing median minimum distance ..\n" + c.lines)) << c.size << out;
            // One event alone may be the far one.
            if (c.size > 1) {
                EXPECT_EQ(spade->medianMinimumDistances()[0], 1.0f) << c.size;
            }
        }
    }
}

// Files of fewer than ten events give progress steps of one event; a file of
// one event has no neighbour at all.
TEST_F(SpadeDensities, RunOnFilesOfOneToThreeEvents) {
    load({write("one.fcs", {{1.0f, 2.0f}}), write("three.fcs", {{0.0f, 0.0f}, {1.0f, 0.0f}, {5.0f, 5.0f}})});
    omp_set_num_threads(1);
    makeSpade();
    spade->setMaxRandomSampleSize(2);
    const std::string out = run();
    EXPECT_TRUE(contains(out, "\tCreating 1 random samples\n\t\t0%.. done.\n")) << out;
    EXPECT_TRUE(contains(out, "\tComputing local densities using 1 threads ..\n\t\t33%..66%..100%.. done.\n")) << out;
    EXPECT_EQ(spade->medianMinimumDistances()[0], 1e8f);
    EXPECT_EQ(spade->localDensities(),
              (std::vector<std::vector<int>>{{0}, bruteDensities(1, spade->densityRadii()[1])}));
}

// The hook reports each long loop from 0 to 100 percent, naming the file,
// while the analysis says it runs; a run asked for meanwhile is refused and a
// setting changed meanwhile is due in the next run.
TEST_F(SpadeDensities, ReportProgressThroughTheHookWhileRunning) {
    load({write("s1.fcs", blobRows(2, 300, 4, 5)), write("s2.fcs", blobRows(2, 100, 4, 6))});
    makeSpade();
    std::map<std::string, std::vector<int>> reports;
    bool running = true;
    // The panel's event handling may ask for another run or change a
    // setting meanwhile.
    spade->setProgressHook([&](const std::string& what, int percent) {
        running = running && spade->isRunning();
        if (reports.empty()) spade->computeSpadeTree(), spade->setAlpha(2.0f);
        reports[what].push_back(percent);
    });
    EXPECT_FALSE(spade->isRunning());
    EXPECT_TRUE(contains(run(), "SPADE is already running; the request was ignored.\n"));
    EXPECT_FALSE(spade->isRunning());
    EXPECT_TRUE(running);
    EXPECT_TRUE(spade->densitiesDirty());
    for (const char* what :
         {"Local densities of s1", "Local densities of s2", "Nearest neighbours of s1", "Nearest neighbours of s2"})
        EXPECT_EQ(reports.count(what), 1u) << what;
    for (const auto& [what, percents] : reports) {
        ASSERT_GE(percents.size(), 2u) << what;
        EXPECT_EQ(percents.front(), 0) << what;
        EXPECT_EQ(percents.back(), 100) << what;
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end())) << what;
    }
}

}  // namespace
