// Template classification: the matching rules at their limits, the report,
// the published cluster set, the refusal of markers the templates do not
// reach, and the parallel run against the serial loop on 1 and 8 threads.
#include "TemplateAnalysisTest.h"

#include "analysis/spade/MCV_SpadeAnalysis.h"

#include <omp.h>

#include <limits>
#include <random>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Ten markers of `value`, with some set apart.
std::vector<float> row(float value, std::vector<std::pair<int, float>> apart = {}) {
    std::vector<float> r(10, value);
    for (auto [m, v] : apart) r[static_cast<size_t>(m)] = v;
    return r;
}

using TemplateRun = TemplateAnalysisTest;

TEST_F(TemplateRun, EventsJoinTheNearestTemplateStrictlyWithinBothLimits) {
    // Default limits: 2.5 per marker, 20 in total. `joins` holds each event's
    // cluster; the last cluster (index = number of templates) is unassigned.
    struct Case {
        const char* what;
        Rows templates, events;
        std::vector<size_t> joins;
        FailureCounts failures;
    } cases[] = {
        {"a total of exactly 20 is no match, nor a failure of the total",
         {row(0)},
         {row(0, {{0, 2.5f}, {1, 2.5f}, {2, 2.5f}, {3, 2.5f}, {4, 2.5f}, {5, 2.5f}, {6, 2.5f}, {7, 2.5f}}),
          row(0, {{0, 2.5f}, {1, 2.5f}, {2, 2.5f}, {3, 2.5f}, {4, 2.5f}, {5, 2.5f}, {6, 2.5f}, {7, 2.49f}})},
         {1, 0},
         {0, 0, 1}},
        {"one single-marker failure and totals over the limit otherwise are mixed",
         {row(0, {{0, 3}}), row(2.2f), row(-2.3f)},
         {row(0)},
         {3},
         {0, 0, 1}},
        {"every template over the total", {row(2.2f), row(-2.2f)}, {row(0)}, {2}, {0, 1, 0}},
        {"every template over a single marker (NaN elsewhere exceeds nothing)",
         {row(0), row(1)},
         {row(0, {{9, 10}}), row(kNaN, {{4, -3}})},
         {2, 2},
         {2, 0, 0}},
        {"no templates: every event fails on a single marker", {}, {row(0), row(7), row(kNaN)}, {0, 0, 0}, {3, 0, 0}},
        {"ties go to the template listed first",
         {row(0, {{0, 1}}), row(0, {{1, 1}}), row(0, {{0, -1}})},
         {row(0), row(0, {{1, 0.5f}})},
         {0, 1},
         {0, 0, 0}},
        {"NaN in an event or a template matches nothing",
         {row(0, {{2, kNaN}}), row(0)},
         {row(0), row(0, {{3, kNaN}})},
         {1, 2},
         {0, 0, 1}},
        {"a template that nothing matches keeps an empty cluster", {row(0), row(100)}, {row(0.1f)}, {0}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        load({c.events});
        make(c.templates);
        bool accepted = false;
        const std::string out = run(&accepted);
        ASSERT_TRUE(accepted);
        std::vector<PointList> expected(c.templates.size() + 1);
        for (size_t k = 0; k < c.joins.size(); ++k) expected[c.joins[k]].emplace_back(0, static_cast<int>(k));
        EXPECT_EQ(analysis->clusters(), expected);
        EXPECT_EQ(failureCounts(out), c.failures);
        // Empty clusters have all-zero medians, one value per marker.
        ASSERT_EQ(analysis->clusterMedians().size(), expected.size());
        for (size_t k = 0; k < expected.size(); ++k)
            if (expected[k].empty()) {
                EXPECT_EQ(analysis->clusterMedians()[k], std::vector<float>(10, 0.0f));
            }
        EXPECT_EQ(published()->clusters(), expected);
        // The unassigned cluster is a vertex of the tree like the others.
        EXPECT_EQ(analysis->edges().size(), expected.size() - 1);
        // (printed, as NaN weights compare unequal)
        EXPECT_EQ(testing::PrintToString(published()->edges()), testing::PrintToString(analysis->edges()));
    }
}

TEST_F(TemplateRun, ReportsEachFileWithProgressMarksAndTheCounts) {
    // 25 events step by 2 (past 100 %), 3 events by 1; a file without events
    // is listed and skipped.
    Rows a(25, std::vector<float>(3, 0.0f)), b(3, std::vector<float>(3, 9.0f));
    a[24] = {0, 0, 0.5f};
    load({a, b, {}});
    make({{0, 0, 0}, {9, 9, 9}});
    analysis->setMaxSingleDistance(2.75f);
    analysis->setMaxTotalDistance(1e-3f);
    const std::string out = run();
    const std::string f1 = data->fileName(0, false), f2 = data->fileName(1, false), f3 = data->fileName(2, false);
    EXPECT_EQ(out,
              "\nUpsampling data .."
              "\nMaximum Distance for a single marker is 2.75"
              "\nMaximum Distance for the complete marker profile is 0.001"
              "\n\tFile " +
                  f1 +
                  " (1 of 3).\n\t0%..10%..20%..30%..40%..50%..60%..70%..80%..90%..100%..110%..120%.."
                  "\n\tFile " +
                  f2 +
                  " (2 of 3).\n\t0%..10%..20%.."
                  "\n\tFile " +
                  f3 +
                  " (3 of 3).\n\t"
                  "\n\nCluster 0 contains 24 cells.\nCluster 1 contains 3 cells.\nCluster 2 contains 1 cells.\n"
                  "28 total cells clustered.\n"
                  "0 failed because all matches resulted in failures in a single marker.\n"
                  "0 failed because all matches resulted in failures the combined markers.\n"
                  "1 failed because of a mix of both.\n"
                  "\nBuilding minimum spanning tree..  Found in: 1 iteration(s) \n"
                  "Updating Clusters.\n done.\n");
}

TEST_F(TemplateRun, PublishesIntoItsOwnSetAndIsRunningMeanwhile) {
    load({{row(0), row(1), row(5)}});
    make({row(0), row(5)}, "Template Matching Analysis");
    MCV_DerivedDataClusters* set = published();
    bool runningWhilePublishing = false;
    dataUi.onRefreshed = [&](void*) { runningWhilePublishing = analysis->isRunning(); };
    dataUi.clear();
    for (int i = 0; i < 2; ++i) {
        runningWhilePublishing = false;
        EXPECT_NE(run().find(" done.\n"), std::string::npos);
        EXPECT_TRUE(runningWhilePublishing);
        EXPECT_FALSE(analysis->isRunning());
        EXPECT_EQ(published(), set) << "every run republishes into the same set";
        EXPECT_EQ(set->clusters(), (std::vector<PointList>{{{0, 0}, {0, 1}}, {{0, 2}}, {}}));
        // Medians 1, 5 and 0 on every marker (the empty unassigned cluster).
        EXPECT_EQ(set->edges(), (std::vector<MCV_TemplateAnalysis::Edge>{{0, 2, 10.0f}, {0, 1, 40.0f}}));
    }
    EXPECT_EQ(dataUi.count("dataRefreshed", set), 2);
}

TEST_F(TemplateRun, MarkersTheTemplatesDoNotReachRefuseTheRunAndKeepTheLastResult) {
    load({{row(0), row(3)}}, {"CD3", "CD4", "CD8"});
    struct Case {
        Rows templates;
        int enable;
        std::string error;
    } cases[] = {
        {{std::vector<float>(5, 0.0f), std::vector<float>(5, 3.0f)},
         6,
         "The templates have 5 values per row; the enabled marker \"V7\" (variable 7) has none. Disable it or use a "
         "table with a value for every variable."},
        {{std::vector<float>(5, 0.0f), std::vector<float>(1, 3.0f)},
         1,
         "Template 2 has only 1 value; the enabled marker \"CD4\" (variable 2) has none. Disable it or use a table "
         "with a value for every variable."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        make(c.templates);
        // A first run over the markers the templates reach.
        for (unsigned m = 0; m < 10; ++m)
            if (m >= std::min(c.templates[0].size(), c.templates[1].size()))
                analysis->setMarkerState(static_cast<int>(m), false);
        ASSERT_TRUE(capturedStdout([&] { analysis->upsampleData(); }).find(" done.\n") != std::string::npos);
        const std::vector<PointList> before = analysis->clusters();
        const auto medians = analysis->clusterMedians();

        analysis->setMarkerState(c.enable, true);
        dataUi.clear();
        bool accepted = true;
        const std::string out = run(&accepted);
        EXPECT_FALSE(accepted);
        EXPECT_EQ(analysis->errorMessage(), c.error);
        EXPECT_EQ(out, "\n[ERROR] " + analysis->name() + ": " + c.error + "\n");
        EXPECT_EQ(analysis->clusters(), before);
        EXPECT_EQ(analysis->clusterMedians(), medians);
        EXPECT_EQ(published()->clusters(), before);
        EXPECT_TRUE(dataUi.calls.empty()) << "nothing published";

        analysis->setMarkerState(c.enable, false);
        run(&accepted);
        EXPECT_TRUE(accepted);
        EXPECT_EQ(analysis->errorMessage(), "");
    }
}

// Values on a grid of halves and limits on the same grid give many exact ties
// and totals exactly at the limit; NaN on some values and every value of a
// few events. Files of 33,000 (more than one chunk of the classification)
// and 37 events.
TEST_F(TemplateRun, ParallelRunsEqualTheSerialLoopOnOneAndEightThreads) {
    std::mt19937 rng(11);
    const auto value = [&] { return rng() % 50 == 0 ? kNaN : static_cast<float>(rng() % 9) * 0.5f - 2.0f; };
    std::vector<Rows> files{Rows(33000), Rows(37)};
    for (Rows& f : files)
        for (size_t k = 0; k < f.size(); ++k) {
            f[k].resize(8);
            for (float& v : f[k]) v = k % 97 == 5 ? kNaN : value();
        }
    load(files);
    Rows templates(12, std::vector<float>(8));
    for (auto& t : templates)
        for (float& v : t) v = static_cast<float>(rng() % 9) * 0.5f - 2.0f;
    templates[7] = templates[2];
    templates[9][1] = kNaN;

    struct Setting {
        float single, total;
        std::vector<int> disabled;
    } settings[] = {{2.5f, 20.0f, {}},
                    {1.0f, 3.0f, {0, 5}},
                    {1.5f, 4.0f, {3}},
                    {-1.0f, 20.0f, {}},
                    {-1.0f, 20.0f, {0, 1, 2, 3, 4, 5, 6, 7}},
                    {0.0f, 0.0f, {2, 4}},
                    {2.0f, 20.0f, {0, 1, 2, 3, 4, 5, 6, 7}}};
    const int threads = omp_get_max_threads();
    for (const Setting& s : settings) {
        SCOPED_TRACE(std::to_string(s.single) + " " + std::to_string(s.total) + " off " +
                     std::to_string(s.disabled.size()));
        make(templates);
        for (int m : s.disabled) analysis->setMarkerState(m, false);
        analysis->setMaxSingleDistance(s.single);
        analysis->setMaxTotalDistance(s.total);
        const SerialClassification ref =
            classifySerially(loaded, templates, *analysis->selectedMarkers(), s.single, s.total);
        std::string reports[2];
        const int counts[2] = {1, 8};
        for (int i = 0; i < 2; ++i) {
            omp_set_num_threads(counts[i]);
            reports[i] = run();
            EXPECT_EQ(analysis->clusters(), ref.clusters) << counts[i] << " threads";
            EXPECT_EQ(failureCounts(reports[i]), ref.failures) << counts[i] << " threads";
        }
        omp_set_num_threads(threads);
        EXPECT_EQ(reports[0], reports[1]);
    }
}

// The single-pair distances of both clustering analyses are the kernel's
// sums: plain in SPADE, capped by the single-marker limit (2.5) here.
TEST_F(TemplateRun, PairDistancesAreTheKernelsSumsWithAndWithoutAMarkerSubset) {
    make({});
    const struct {
        std::vector<float> a, b;
        std::vector<int> markers;  // empty: the whole vectors
        float l1, capped;
    } cases[] = {
        {{1, 2, 3, 4}, {1.5f, 4, 3, 0}, {}, 6.5f, -1.0f},
        {{1, 2, 3, 4}, {1.5f, 4, 3, 0}, {0, 1, 2}, 2.5f, 2.5f},
        {{1, 2, 3, 4}, {1.5f, 4, 3, 0}, {3, 1}, 6.0f, -1.0f},
        {{0, -1}, {2.5f, 1.5f}, {}, 5.0f, 5.0f},  // at the limit is not over it
        {{}, {}, {}, 0.0f, 0.0f},
        {{1, 2, 3}, {2, 3}, {}, 2.0f, 2.0f},  // over the shorter one
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.a) + " " + ::testing::PrintToString(c.markers));
        std::vector<float> a = c.a, b = c.b;
        if (c.markers.empty()) {
            EXPECT_EQ(MCV_SpadeAnalysis::distance(&a, &b), c.l1);
            EXPECT_EQ(analysis->distance(&a, &b), c.capped);
            continue;
        }
        std::vector<int> markers = c.markers;
        const std::vector<unsigned> columns(markers.begin(), markers.end());
        EXPECT_EQ(MCV_SpadeAnalysis::distance(a.data(), b.data(), &columns), c.l1);
        EXPECT_EQ(analysis->distance(a.data(), b.data(), &markers), c.capped);
    }
}

}  // namespace
