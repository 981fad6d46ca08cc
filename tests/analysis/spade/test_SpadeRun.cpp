// Whole runs: the clusters of well separated blobs, which stages a setting
// re-runs, the published cluster set and its edges, and inputs that leave
// nothing or extreme values to cluster.
#include "SpadeAnalysisTest.h"

#include <limits>
#include <map>

namespace {

// The adjusted Rand index of two labellings of the same events.
double adjustedRand(const std::vector<int>& a, const std::vector<int>& b) {
    std::map<std::pair<int, int>, double> both;
    std::map<int, double> rows, cols;
    for (size_t i = 0; i < a.size(); ++i) ++both[{a[i], b[i]}], ++rows[a[i]], ++cols[b[i]];
    const auto pairs = [](double n) { return n * (n - 1) / 2; };
    double index = 0, sumRows = 0, sumCols = 0;
    for (const auto& [key, n] : both) index += pairs(n);
    for (const auto& [key, n] : rows) sumRows += pairs(n);
    for (const auto& [key, n] : cols) sumCols += pairs(n);
    const double expected = sumRows * sumCols / pairs(static_cast<double>(a.size()));
    return (index - expected) / ((sumRows + sumCols) / 2 - expected);
}

class SpadeRun : public SpadeAnalysisTest {
protected:
    // Files of three blobs each (1000 / `perBlob` events per blob, blob after blob).
    void loadBlobs(int files, int perBlob) {
        std::vector<std::string> paths;
        for (int f = 0; f < files; ++f)
            paths.push_back(write("b" + std::to_string(f) + ".fcs", blobRows(3, perBlob, 5, 20 + f)));
        load(paths);
        blobSize = perBlob;
    }
    // Every event of every file is in exactly one cluster; returns the
    // cluster of each event, file after file.
    std::vector<int> partition() {
        std::vector<std::vector<int>> owner(static_cast<size_t>(data->numFiles()));
        for (int f = 0; f < data->numFiles(); ++f)
            owner[static_cast<size_t>(f)].assign(static_cast<size_t>(data->header(f)->numEvents()), -1);
        const auto& clusters = spade->clusters();
        for (size_t c = 0; c < clusters.size(); ++c)
            for (const auto& [file, event] : clusters[c]) {
                int& o = owner.at(static_cast<size_t>(file)).at(static_cast<size_t>(event));
                EXPECT_EQ(o, -1) << file << " " << event << " twice";
                o = static_cast<int>(c);
            }
        std::vector<int> all;
        for (const auto& file : owner) all.insert(all.end(), file.begin(), file.end());
        EXPECT_EQ(std::count(all.begin(), all.end(), -1), 0);
        return all;
    }
    MCV_DerivedDataClusters* published() { return data->derivedDataClusters(spade->name(), true); }

    int blobSize = 0;
};

TEST_F(SpadeRun, FindsThreeSeparateBlobsLinkedByTheirMediansAndPublishesThem) {
    loadBlobs(3, 1000);
    makeSpade();
    spade->setDensityLimit(100);
    spade->setTargetNumberOfClusters(3);
    const std::string out = run();
    EXPECT_TRUE(spade->errorMessage().empty());
    const std::vector<int> found = partition();
    std::vector<int> truth;
    for (int f = 0; f < 3; ++f)
        for (int e = 0; e < 3000; ++e) truth.push_back(e / blobSize);
    EXPECT_DOUBLE_EQ(adjustedRand(found, truth), 1.0);
    EXPECT_TRUE(contains(out, "\tTotal number of points in clusters: 9000.\n")) << out;

    const auto& medians = spade->clusterMedians();
    ASSERT_EQ(medians.size(), 3u);
    ASSERT_EQ(spade->edges().size(), 2u);
    for (const auto& [s, t, w] : spade->edges()) {
        float d = 0.0f;
        for (size_t m = 0; m < 5; ++m)
            d += std::fabs(medians[static_cast<size_t>(s)][m] - medians[static_cast<size_t>(t)][m]);
        EXPECT_EQ(w, d);
    }
    MCV_DerivedDataClusters* set = published();
    EXPECT_EQ(set->clusters(), spade->clusters());
    EXPECT_EQ(set->edges(), spade->edges());

    // Only the cut changes with the target; every event stays in one cluster.
    for (int target : {5, 1, 2}) {
        SCOPED_TRACE(target);
        spade->setTargetNumberOfClusters(target);
        const std::string again = run();
        for (const char* stage : {"Trying to load", "Downsampling", "Computing hierachical clustering"})
            EXPECT_FALSE(contains(again, stage)) << again;
        EXPECT_EQ(spade->clusters().size(), static_cast<size_t>(target));
        partition();
        // One cluster has no edge: the published set keeps none of before.
        EXPECT_EQ(published()->edges().size(), static_cast<size_t>(target - 1));
    }

    // A run that keeps no event (also twice) leaves the published set as it
    // was; the next run that keeps events publishes again.
    const auto clusters = published()->clusters();
    const auto edges = published()->edges();
    spade->setDensityLimit(0.005f);
    for (int repeat = 0; repeat < 2; ++repeat) {
        run();
        EXPECT_FALSE(spade->errorMessage().empty());
        EXPECT_EQ(published()->clusters(), clusters);
        EXPECT_EQ(published()->edges(), edges);
    }
    spade->setDensityLimit(10);
    run();
    EXPECT_TRUE(spade->errorMessage().empty());
    partition();
    EXPECT_EQ(published()->clusters(), spade->clusters());
}

// A setter marks its stage when the value changes, also when set back to the
// value of the last run; the next run redoes the stages from there on (the
// densities of the last run's settings come from their cache).
TEST_F(SpadeRun, RerunsOnlyTheStagesASettingMarks) {
    loadBlobs(2, 150);
    makeSpade();
    const auto flags = [&] {
        return std::string{spade->densitiesDirty() ? 'D' : '-', spade->downsamplingDirty() ? 'S' : '-',
                           spade->clusteringDirty() ? 'T' : '-'};
    };
    EXPECT_EQ(flags(), "DST");
    spade->setTargetNumberOfClusters(4);
    run();
    // The stages' own lines.
    const std::vector<std::string> lines = {
        "\tTrying to load cached densities ..",
        "\nProcessing File: ",
        "\tDownsampling ..\n",
        "\nFiles Combined.\n\nComputing hierachical clustering and Dendrogram ..",
        "\tTargeting 4 clusters from Dendrogram .. done with 4 clusters.\n",
        "\nBuilding minimum spanning tree.. ",
        "\nUpsampling data ..",
        "No parameters changed, no update necessary.\n",
    };
    using S = MCV_SpadeAnalysis;
    struct Case {
        const char* name;
        std::function<bool(S&, bool other)> set;  // the value of the last run or another
        std::function<void(S&)> change;           // when there is no such value
        std::string flags;
        std::string stages;  // one letter per line above that the run prints
    };
    const std::vector<Case> cases = {
        {"nothing", nullptr, [](S&) {}, "---", "-------N"},
        {"target clusters", [](S& s, bool o) { return s.setTargetNumberOfClusters(o ? 5 : 4); }, nullptr, "--T",
         "----TMU-"},
        {"density limit", [](S& s, bool o) { return s.setDensityLimit(o ? 20.0f : 10.0f); }, nullptr, "-S-",
         "--SHTMU-"},
        {"target density", [](S& s, bool o) { return s.setTargetDensityPercentile(o ? 4.0f : 3.0f); }, nullptr, "-S-",
         "--SHTMU-"},
        {"outlier density", [](S& s, bool o) { return s.setOutlierDensityPercentile(o ? 0.0f : 1.0f); }, nullptr, "-S-",
         "--SHTMU-"},
        {"alpha", [](S& s, bool o) { return s.setAlpha(o ? 2.5f : 3.0f); }, nullptr, "D--", "D-SHTMU-"},
        {"sample size", [](S& s, bool o) { return s.setMaxRandomSampleSize(o ? 100 : 2000); }, nullptr, "D--",
         "D-SHTMU-"},
        {"marker", nullptr, [](S& s) { s.setMarkerState(4, false); }, "", "DPSHTMU-"},
        {"marker back", nullptr, [](S& s) { s.setMarkerState(4, true); }, "", "DPSHTMU-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.set) {
            EXPECT_FALSE(c.set(*spade, false));
            EXPECT_EQ(flags(), "---");
            EXPECT_TRUE(c.set(*spade, true));
            EXPECT_TRUE(c.set(*spade, false));
            EXPECT_EQ(flags(), c.flags);
        } else {
            c.change(*spade);
        }
        const std::string out = run();
        for (size_t l = 0; l < lines.size(); ++l)
            EXPECT_EQ(contains(out, lines[l]), c.stages[l] != '-') << lines[l] << "\n" << out;
        EXPECT_EQ(flags(), "---");
        EXPECT_FALSE(spade->markersChanged());
        partition();
    }
    // A NaN differs from every value, itself included.
    spade->setAlpha(std::nanf(""));
    run();
    EXPECT_TRUE(spade->setAlpha(std::nanf("")));
}

TEST_F(SpadeRun, ClampsTheTargetToTheKeptEvents) {
    loadBlobs(1, 10);
    makeSpade();
    spade->setDensityLimit(100);
    struct Case {
        int target, used;
        std::string line;
    };
    for (const Case& c : {Case{0, 1, "\tTarget number of clusters 0 is out of range, using 1 (1 to 30 points).\n"},
                          Case{-2, 1, "\tTarget number of clusters -2 is out of range, using 1 (1 to 30 points).\n"},
                          Case{31, 30, "\tTarget number of clusters 31 is out of range, using 30 (1 to 30 points).\n"},
                          Case{30, 30, "\tTargeting 30 clusters"}}) {
        spade->setTargetNumberOfClusters(c.target);
        const std::string out = run();
        EXPECT_TRUE(contains(out, c.line)) << out;
        EXPECT_EQ(spade->clusters().size(), static_cast<size_t>(c.used));
        EXPECT_EQ(spade->targetNumberOfClusters(), c.target);
        partition();
    }
}

// Events far from every median (the lowest float, infinities, NaN) and a file
// without events: every event still joins exactly one cluster.
TEST_F(SpadeRun, PutsEveryEventIntoOneClusterWhateverItsValues) {
    load({write("a.fcs", blobRows(3, 60, 5, 1)), write("empty.fcs", {}, 5), write("c.fcs", blobRows(2, 50, 5, 2))});
    const float inf = std::numeric_limits<float>::infinity();
    at(0, 0, 0) = std::numeric_limits<float>::lowest();
    at(0, 1, 1) = -inf;
    at(0, 2, 2) = inf;
    at(0, 3, 3) = std::numeric_limits<float>::quiet_NaN();
    at(2, 0, 0) = at(2, 1, 1) = std::numeric_limits<float>::quiet_NaN();
    makeSpade();
    spade->setTargetNumberOfClusters(4);
    for (float limit : {30.0f, 100.0f}) {
        spade->setDensityLimit(limit);
        const std::string out = run();
        // Reported where the densities are computed.
        EXPECT_EQ(contains(out, "empty.fcs holds no events and is skipped.\n"), limit == 30.0f) << out;
        EXPECT_TRUE(spade->errorMessage().empty()) << out;
        partition();
    }
}

TEST_F(SpadeRun, StoresSubtreesOnlyUnderNamesItMadeOrFreeOnes) {
    loadBlobs(1, 50);
    makeSpade();
    spade->setTargetNumberOfClusters(3);
    run();
    MCV_DerivedDataPoints* all = data->derivedDataPoints("All Points", true);
    const auto allPoints = all->data();
    MCV_DerivedDataPoints* foreign = data->derivedDataPoints("Gate", false);
    foreign->setPoints({{0, 1}}, false);
    std::vector<int> two{2, 0}, invalid{7, -1, 1};
    const auto& c = spade->clusters();
    auto joined = [&](std::vector<int> order) {
        MCV_SpadeAnalysis::PointList points;
        for (int i : order)
            points.insert(points.end(), c[static_cast<size_t>(i)].begin(), c[static_cast<size_t>(i)].end());
        return points;
    };
    struct Case {
        std::string name;
        std::vector<int>* clusters;
        bool stored;
        MCV_SpadeAnalysis::PointList points;
    };
    const std::vector<Case> cases = {
        {"Subtree", &two, true, joined({2, 0})},
        {"Subtree", &invalid, true, joined({1})},  // its own set is refilled
        {"Empty", nullptr, true, {}},
        {"All Points", &two, false, {}},
        {"Selection", &two, false, {}},
        {"Gate", &two, false, {}},
        {spade->name(), &two, false, {}},  // the cluster set
        {"", &two, false, {}},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        const size_t sets = data->derivedDataPoints().size();
        bool stored = false;
        const std::string out = capturedStdout([&] { stored = spade->addSubtree(t.name, t.clusters); });
        EXPECT_EQ(stored, t.stored) << out;
        if (!t.stored) {
            EXPECT_TRUE(contains(out, "The subtree could not be stored as \"" + t.name + "\"")) << out;
            continue;
        }
        MCV_DerivedDataPoints* set = data->derivedDataPoints(t.name, true);
        EXPECT_EQ(set->data(), t.points);
        EXPECT_EQ(set->numDiscreteMetaValues(), 3);
        EXPECT_LE(data->derivedDataPoints().size(), sets + 1);
    }
    EXPECT_EQ(all->data(), allPoints);
    EXPECT_EQ(foreign->data(), (MCV_SpadeAnalysis::PointList{{0, 1}}));
    EXPECT_EQ(data->selectionPoints()->data().size(), 0u);

    // Exports go by name: only names whose registered set this analysis made.
    MCV_SpadeAnalysis other;
    other.init(nullptr, "Other");
    for (const auto& [name, mine, theirs] : {std::tuple("Subtree", true, false),
                                             {"Empty", true, false},
                                             {"Gate", false, false},
                                             {"All Points", false, false},
                                             {"", false, false}})
        EXPECT_EQ(std::make_pair(spade->madeSubtree(name), other.madeSubtree(name)), std::make_pair(mine, theirs))
            << name;
}

// The tree page draws the published cluster set, which the heat map may
// merge: a subtree of the page's indices holds the cells of the merged set's
// clusters, not those of the run's own clusters of the same indices.
TEST_F(SpadeRun, SubtreesAfterAMergeHoldTheMergedSetsClusters) {
    loadBlobs(1, 50);
    makeSpade();
    spade->setTargetNumberOfClusters(6);
    run();
    const std::vector<MCV_SpadeAnalysis::PointList> own = spade->clusters();
    const int n = static_cast<int>(own.size());
    ASSERT_GE(n, 5);
    published()->merge({3, 1});
    ASSERT_EQ(published()->numClusters(), n - 1);
    ASSERT_EQ(spade->clusters().size(), own.size()) << "the run's own clusters stay as they were";

    // Node k of the page after the merge, from the run's own clusters: the
    // merged node holds cluster 1's cells and then cluster 3's; the nodes
    // above 3 moved down by one.
    const auto node = [&](int k) {
        MCV_SpadeAnalysis::PointList points = own[static_cast<size_t>(k < 3 ? k : k + 1)];
        if (k == 1) points.insert(points.end(), own[3].begin(), own[3].end());
        return points;
    };
    const auto nodes = [&](std::vector<int> ks) {
        MCV_SpadeAnalysis::PointList points;
        for (int k : ks) {
            const auto p = node(k);
            points.insert(points.end(), p.begin(), p.end());
        }
        return points;
    };
    struct Case {
        std::string name;
        std::vector<int> page;
        MCV_SpadeAnalysis::PointList points;
        bool dropped;  // an index the run has but the page does not
    };
    const std::vector<Case> cases = {
        {"Merged", {1}, nodes({1}), false},
        {"Moved", {3}, nodes({3}), false},
        {"Last", {n - 2, 0}, nodes({n - 2, 0}), false},
        {"Merged", {2, 1}, nodes({2, 1}), false},  // refilled
        {"Gone", {n - 1, 2}, nodes({2}), true},
    };
    for (Case t : cases) {
        SCOPED_TRACE(t.name);
        bool stored = false;
        const std::string out = capturedStdout([&] { stored = spade->addSubtree(t.name, &t.page); });
        ASSERT_TRUE(stored) << out;
        EXPECT_EQ(contains(out, "Cluster " + std::to_string(n - 1) + " does not exist"), t.dropped) << out;
        MCV_DerivedDataPoints* set = data->derivedDataPoints(t.name, true);
        EXPECT_EQ(set->data(), t.points);
        EXPECT_EQ(set->numDiscreteMetaValues(), n - 1) << "the clusters the page shows";
    }
}

}  // namespace
