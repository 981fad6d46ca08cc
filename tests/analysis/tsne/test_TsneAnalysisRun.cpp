// The A-tSNE analysis on the CPU engine: what a run accepts, what it reports and
// writes, and requests that reach it from inside its own reports (as when the
// views pump the event loop).
#include "TsneAnalysisTest.h"

#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"

#include <functional>

namespace {

// 60 events in two files of 30, and an analysis of 10 iterations over them.
class TsneAnalysisRun : public TsneAnalysisTest {
protected:
    void SetUp() override {
        TsneAnalysisTest::SetUp();
        loadBlobs(3, 20, 4, 2);
        makeAnalysis(10);
    }
    // A point set of the first `n` events of file 0.
    MCV_DerivedDataPoints* firstEvents(int n) {
        MCV_DerivedDataPoints* p = data->derivedDataPoints("first", false);
        for (int e = 0; e < n; ++e) p->data().emplace_back(0, e);
        return p;
    }
    std::vector<float> allValues() {
        std::vector<float> v;
        for (int f = 0; f < 2; ++f) v.insert(v.end(), data->rawData(f), data->rawData(f) + 30 * numVariables());
        return v;
    }
    // Calls `f` at the n-th update report.
    void atUpdate(int n, std::function<void()> f) {
        ui.onUpdated = [this, n, f](void*) {
            if (++updates == n) f();
        };
    }
    // Whether the output columns of every embedded event hold output() now.
    bool columnsHoldOutput() {
        const auto& refs = *analysis->pointReferences();
        const auto& out = *analysis->output();
        for (size_t i = 0; i < refs.size(); ++i)
            if (at(refs[i].first, refs[i].second, var("QLMRN_TsneX")) != out[2 * i] ||
                at(refs[i].first, refs[i].second, var("QLMRN_TsneY")) != out[2 * i + 1])
                return false;
        return true;
    }
    int updates = 0;
};

TEST_F(TsneAnalysisRun, ReportsComeEveryIterationOrEveryHundredthAndTheColumnsFollow) {
    // Continuous: every iteration is reported, every tenth written.
    analysis->setIterations(30);
    std::vector<bool> written;
    ui.onUpdated = [&](void*) {
        EXPECT_TRUE(analysis->isRunning() && analysis->gradientDescentInitialized());
        written.push_back(columnsHoldOutput());
    };
    ui.onFinished = [&](void*) { EXPECT_FALSE(analysis->isRunning() || analysis->gradientDescentInitialized()); };
    quietly([&] { analysis->computeTSNE(); });
    EXPECT_EQ(ui.folded(), (Reports{"analysisInitialized", "analysisUpdated x30", "analysisFinished"}));
    ASSERT_EQ(written.size(), 30u);
    for (size_t i = 0; i < written.size(); ++i) EXPECT_EQ(written[i], (i + 1) % 10 == 0) << "iteration " << i + 1;

    // Otherwise every hundredth is reported and written, and the end once more.
    ui.clear();
    written.clear();
    analysis->setContinuousUpdates(false);
    analysis->setIterations(250);
    quietly([&] { analysis->computeTSNE(); });
    EXPECT_EQ(ui.folded(), (Reports{"analysisInitialized", "analysisUpdated x2", "analysisFinished"}));
    EXPECT_EQ(written, (std::vector<bool>{true, true}));

    // No iterations still writes the start positions.
    ui.clear();
    analysis->setIterations(0);
    quietly([&] { analysis->computeTSNE(); });
    EXPECT_EQ(ui.folded(), (Reports{"analysisInitialized", "analysisFinished"}));
    EXPECT_TRUE(columnsHoldOutput());
}

TEST_F(TsneAnalysisRun, OutputVariablesHoldTheEmbeddingOfTheSubsetAndNothingElseChanges) {
    // Every third event of file 0 and the last ten of file 1, not in file order.
    MCV_DerivedDataPoints* subset = data->derivedDataPoints("subset", false);
    Points pts;
    for (int e = 29; e >= 20; --e) pts.emplace_back(1, e);
    for (int e = 0; e < 30; e += 3) pts.emplace_back(0, e);
    subset->setPoints(pts, false);
    subset->setNumDiscreteMetaValues(3);
    analysis->setActiveDataSelection(subset);
    std::vector<float> expected = allValues();
    quietly([&] { analysis->computeTSNE(); });

    EXPECT_EQ(*analysis->pointReferences(), pts);
    EXPECT_EQ(analysis->outputFileIdxs()->front() * 10 + analysis->outputFileIdxs()->back(), 10) << "1 ... 0";
    EXPECT_EQ(analysis->numDiscreteMetaValues(), 3);
    ASSERT_EQ(analysis->output()->size(), 40u);
    const int x = var("QLMRN_TsneX"), y = var("QLMRN_TsneY"), n = numVariables();
    for (size_t i = 0; i < pts.size(); ++i) {
        const size_t row = size_t(pts[i].first * 30 + pts[i].second) * size_t(n);
        expected[row + size_t(x)] = (*analysis->output())[2 * i];
        expected[row + size_t(y)] = (*analysis->output())[2 * i + 1];
    }
    EXPECT_EQ(allValues(), expected);
    // markers() holds the whole written rows of the embedded points, in their order.
    ASSERT_EQ(analysis->markers()->size(), pts.size() * size_t(n));
    for (size_t i = 0; i < pts.size() * size_t(n); ++i)
        ASSERT_EQ((*analysis->markers())[i], at(pts[i / size_t(n)].first, pts[i / size_t(n)].second, int(i) % n));
    // The radius is the largest value of the padded square box of the last update.
    vel::data::Embedding<float> e(2, 20);
    e.getContainer() = *analysis->output();
    std::vector<float> box;
    e.computeEmbeddingBBox(box, 0.1f, true);
    EXPECT_FLOAT_EQ(analysis->radius(), *std::max_element(box.begin(), box.end()));
}

TEST_F(TsneAnalysisRun, MissingOutputVariablesAreReportedOnceAndNothingIsWritten) {
    TearDown();
    TsneAnalysisTest::SetUp();
    loadBlobs(3, 20, 4, 2, 10.0, /*outputs=*/false);
    makeAnalysis(10);
    const std::vector<float> before = allValues();
    const std::string out = capturedStdout([&] { analysis->computeTSNE(); });
    const std::string line = "A-tSNE: the data have no variable QLMRN_TsneX or QLMRN_TsneY";
    EXPECT_NE(out.find(line), std::string::npos) << out;
    EXPECT_EQ(out.find(line), out.rfind(line)) << out;
    EXPECT_EQ(allValues(), before);
    EXPECT_EQ(ui.count("analysisFinished"), 1);
}

// This binary has no GUI application, so no hidden OpenGL context.
TEST_F(TsneAnalysisRun, TheGpuChoiceFallsBackToTheCpuWithoutOpenGl) {
    analysis->setUseGPU(true);
    const std::string out = capturedStdout([&] { analysis->computeTSNE(); });
    EXPECT_NE(out.find("A-tSNE: the GPU is not available; A runs on the CPU.\n"), std::string::npos) << out;
    EXPECT_FALSE(analysis->gpuEngineActive());
    EXPECT_EQ(ui.count("analysisFinished"), 1);
    EXPECT_TRUE(allFinite(*analysis->output()));
}

TEST_F(TsneAnalysisRun, ClustersAreStoredUnderTheirNameAndTheAnalysisName) {
    quietly([&] { analysis->computeTSNE(); });
    std::vector<std::vector<unsigned>> clusters = {{0, 1, 2}, {59}};
    MCV_DerivedDataClusters* set = analysis->updateClusters(&clusters, "Density Clusters");
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->name(), "Density Clusters - A");
    const auto& refs = *analysis->pointReferences();
    EXPECT_EQ(set->clusters(), (std::vector<Points>{{refs[0], refs[1], refs[2]}, {refs[59]}}));
    EXPECT_EQ(set->landmarkClusters()[0], (std::vector<unsigned>{0, 1, 2}));
    EXPECT_EQ(set->originTotals(), (std::vector<int>{30, 30})) << "counted against the run's own points";

    // With a data selection the set is reused; indices beyond the embedded
    // points (a clustering of an older embedding) are left out.
    clusters = {{5, 60, 61}};
    quietly([&] { EXPECT_EQ(analysis->updateClusters(&clusters, "Density Clusters"), set); });
    EXPECT_EQ(set->clusters(), (std::vector<Points>{{refs[5]}}));
}

// A run keeps the points it took: its subset edited, refilled or replaced
// afterwards changes neither its own points nor the totals its cluster sets
// count against; the next run takes the subset as it is then.
TEST_F(TsneAnalysisRun, OwnPointsAndClusterTotalsStayWithTheRunWhateverHappensToItsSubset) {
    EXPECT_EQ(analysis->ownPoints(), nullptr) << "no run yet";
    MCV_DerivedDataPoints* subset = data->derivedDataPoints("subset", false);
    Points taken;
    for (int e = 0; e < 12; ++e) taken.emplace_back(0, e);
    for (int e = 0; e < 20; ++e) taken.emplace_back(1, e);
    subset->setPoints(taken, false);
    analysis->setActiveDataSelection(subset);
    quietly([&] { analysis->computeTSNE(); });
    MCV_DerivedDataPoints* own = analysis->ownPoints();
    ASSERT_NE(own, nullptr);
    ASSERT_NE(own, subset);
    EXPECT_EQ(own->data(), taken);
    for (MCV_DerivedDataPoints* p : data->derivedDataPoints()) EXPECT_NE(p, own) << "not in the registry";

    struct Change {
        const char* what;
        std::function<void()> apply;
    };
    const std::vector<Change> changes = {
        {"edited in place",
         [&] {
             subset->data().resize(3);
             subset->refreshed(nullptr);
         }},
        {"refilled with other events",
         [&] {
             subset->setPoints({{1, 29}, {1, 28}}, true);
         }},
        {"emptied", [&] { subset->setPoints({}, true); }},
        {"another subset chosen", [&] { analysis->setActiveDataSelection(firstEvents(5)); }},
    };
    std::vector<std::vector<unsigned>> clusters = {{0, 1, 2}, {12, 13}};
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        change.apply();
        EXPECT_EQ(analysis->ownPoints(), own);
        EXPECT_EQ(own->data(), taken);
        EXPECT_EQ(own->pointsPerFile(), (std::vector<int>{12, 20}));
        MCV_DerivedDataClusters* set = nullptr;
        quietly([&] { set = analysis->updateClusters(&clusters, "Density Clusters"); });
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(set->originTotals(), (std::vector<int>{12, 20}));
        // Cluster 1's row of file 1: total, in the cluster, and the three shares.
        EXPECT_NE(set->originCsvString(0).find(", 12.000000, 3.000000, 25.000000, 100.000000, 100.000000\n"),
                  std::string::npos)
            << set->originCsvString(0);
    }
    // A cluster set made before keeps its totals when the subset changes
    // later.
    MCV_DerivedDataClusters* kept = analysis->updateClusters(&clusters, "Density Clusters");
    subset->setPoints(Points(60, {0, 0}), true);
    EXPECT_EQ(kept->originTotals(), (std::vector<int>{12, 20}));

    // The next run takes the subset as it is then; the former own points stay
    // as they were for whoever still holds them.
    const std::shared_ptr<MCV_DerivedDataPoints> former = analysis->sharedOwnPoints();
    subset->setPoints({{0, 3}, {0, 4}, {1, 5}, {1, 6}, {1, 7}, {0, 8}, {1, 9}, {0, 10}, {1, 11}, {0, 12}}, true);
    analysis->setActiveDataSelection(subset);
    quietly([&] { analysis->computeTSNE(); });
    ASSERT_NE(analysis->ownPoints(), nullptr);
    EXPECT_EQ(analysis->ownPoints()->data(), subset->data());
    EXPECT_EQ(analysis->ownPoints()->pointsPerFile(), (std::vector<int>{5, 5}));
    EXPECT_EQ(former->data(), taken);
}

using TsneAnalysisSetup = TsneAnalysisRun;

TEST_F(TsneAnalysisSetup, ARunEmbedsExactlyTheEnabledMarkers) {
    analysis->setMarkerState(1, false);
    analysis->setMarkerState(var("QLMRN_TsneY"), true);
    EXPECT_EQ(*analysis->selectedMarkers(), (std::vector<unsigned>{0, 2, 3, 6}));
    const std::string out = capturedStdout([&] { analysis->computeTSNE(); });
    EXPECT_NE(out.find("Num dimensions: 4.\nNum data-points: 60\n"), std::string::npos) << out;
}

TEST_F(TsneAnalysisSetup, PerplexityIsLoweredForSmallSubsetsForThatRunOnly) {
    // {points (0: all 60), setting, used}: N / 4 at most, never below 1.
    for (const auto& c : std::vector<std::vector<int>>{{20, 30, 5}, {0, 30, 15}, {0, 10, 10}, {4, 30, 1}, {0, 0, 1}}) {
        analysis->setPerplexity(c[1]);
        analysis->setActiveDataSelection(c[0] ? firstEvents(c[0]) : allPoints());
        quietly([&] { analysis->computeTSNE(); });
        EXPECT_EQ(analysis->runPerplexity(), float(c[2])) << c[0] << " " << c[1];
        EXPECT_EQ(analysis->perplexity(), c[1]) << "the user's setting is kept";
    }
}

TEST_F(TsneAnalysisSetup, RefusedRequestsEndBeforeAnythingIsReadWithOnlyTheFinishingReport) {
    MCV_TsneAnalysis* a = analysis.get();
    const std::string empty = "A-tSNE: nothing to embed: the data selection of A is empty.\n";
    const std::string stale = "A-tSNE: the data selection of A refers to events that are not loaded.\n";
    // Each case prepares the analysis; all but the first two then compute.
    std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[&] { a->computeGradientDescent(); }, "A-tSNE: A has no probabilities to embed; compute them first.\n"},
        {[&] { a->embed(); }, "A-tSNE: A has no embedding to continue; compute it first.\n"},
        {[&] { a->setActiveDataSelection(nullptr); }, empty},
        {[&] { a->setActiveDataSelection(data->derivedDataPoints("empty", false)); }, empty},
    };
    for (int n = 1; n <= 3; ++n)
        cases.push_back(
            {[this, a, n] { a->setActiveDataSelection(firstEvents(n)); },
             "A-tSNE: A needs at least 4 points to embed; the data selection has " + std::to_string(n) + ".\n"});
    // References to events that are not loaded (a selection kept from data
    // that were replaced) would read past the event matrices.
    for (auto bad : {std::make_pair(0, 30), std::make_pair(2, 0), std::make_pair(-1, 0)})
        cases.push_back({[this, a, bad] {
                             MCV_DerivedDataPoints* p = firstEvents(10);
                             p->data().push_back(bad);
                             a->setActiveDataSelection(p);
                         },
                         stale});
    cases.push_back({[&] {
                         a->setActiveDataSelection(allPoints());
                         for (int m = 0; m < 4; ++m) a->setMarkerState(m, false);
                     },
                     "A-tSNE: A has no marker selected.\n"});
    const std::vector<float> before = allValues();
    for (size_t i = 0; i < cases.size(); ++i) {
        ui.clear();
        const std::string out = capturedStdout([&] {
            cases[i].first();
            if (i >= 2) a->computeTSNE();
        });
        EXPECT_EQ(out, cases[i].second);
        EXPECT_EQ(ui.folded(), Reports{"analysisFinished"}) << out;
        EXPECT_FALSE(a->isRunning() || a->gradientDescentInitialized());
        EXPECT_EQ(a->numDataPoints(), 0);
    }
    EXPECT_EQ(allValues(), before);
}

TEST_F(TsneAnalysisSetup, ALibraryFailureEndsTheRunAndLeavesTheAnalysisUsable) {
    // No such neighbour back end: the library refuses it with an exception.
    analysis->setKnnLibrary(static_cast<vel::utils::knn_library>(7));
    const std::string out = capturedStdout([&] { analysis->computeTSNE(); });
    EXPECT_NE(out.find("[ERROR] A-tSNE: A stopped: "), std::string::npos) << out;
    EXPECT_FALSE(analysis->isRunning()) << "the shell would refuse every later import";
    EXPECT_EQ(ui.folded().back(), "analysisFinished");

    ui.clear();
    analysis->setKnnLibrary(static_cast<vel::utils::knn_library>(0));
    quietly([&] { analysis->computeTSNE(); });
    EXPECT_EQ(ui.folded(), (Reports{"analysisInitialized", "analysisUpdated x10", "analysisFinished"}));
    EXPECT_TRUE(allFinite(*analysis->output()));
}

using TsneAnalysisControl = TsneAnalysisRun;

TEST_F(TsneAnalysisControl, DeletionAtEveryStageEndsWithOneReadyForDeletion) {
    enum Stage { Initialized, Updated, Finished, Idle };
    const Reports expected[] = {
        {"analysisInitialized", "readyForDeletion"},
        {"analysisInitialized", "analysisUpdated x2", "readyForDeletion"},
        {"analysisInitialized", "analysisUpdated x10", "analysisFinished", "readyForDeletion"},
        {"readyForDeletion"},
    };
    for (int stage : {Initialized, Updated, Finished, Idle}) {
        SCOPED_TRACE(stage);
        if (stage != Initialized) {
            TearDown();
            ui = CallbackLog();
            SetUp();
        }
        // The shell destroys the analysis inside readyForDeletion; an idle
        // one it keeps must ignore every later request.
        MCV_TsneAnalysis* a = analysis.release();
        ui.onReadyForDeletion = [&a, stage](void*) {
            if (stage == Idle) return;
            delete a;
            a = nullptr;
        };
        updates = 0;
        if (stage == Initialized) ui.onInitialized = [a](void*) { a->markForDeletion(); };
        if (stage == Updated) atUpdate(2, [a] { a->markForDeletion(); });
        if (stage == Finished) ui.onFinished = [a](void*) { a->markForDeletion(); };
        MCV_TsneAnalysis* running = a;
        quietly([&] {
            if (stage != Idle) return running->computeTSNE();
            running->markForDeletion();
            running->markForDeletion();
            running->computeTSNE();
            running->embed();
        });
        EXPECT_EQ(a == nullptr, stage != Idle);
        delete a;
        EXPECT_EQ(ui.folded(), expected[stage]);
        EXPECT_TRUE(stage != Updated || at(0, 0, var("QLMRN_TsneX")) != 0.f) << "the last positions were written";
    }
}

TEST_F(TsneAnalysisControl, ASecondComputeDuringARunFollowsWhenTheLoopHasReturned) {
    analysis->setIterations(40);
    size_t callsAtNestedReturn = 0;
    atUpdate(5, [&] {
        analysis->setIterations(20);
        analysis->computeTSNE();  // what a second press of Compute does
        callsAtNestedReturn = ui.calls.size();
    });
    quietly([&] { analysis->computeTSNE(); });
    EXPECT_EQ(callsAtNestedReturn, 6u) << "the nested call returned at once";
    EXPECT_EQ(ui.folded(), (Reports{"analysisInitialized", "analysisUpdated x5", "analysisInitialized",
                                    "analysisUpdated x20", "analysisFinished"}));
}

TEST_F(TsneAnalysisControl, StopRestartAndResumeInsideARun) {
    // Restart (the slider panel's) at the 3rd update starts a new embedding
    // from the same probabilities.
    analysis->setIterations(30);
    atUpdate(3, [&] {
        analysis->stopGradientDescent();
        analysis->computeGradientDescent();
    });
    quietly([&] { analysis->computeTSNE(); });
    EXPECT_EQ(ui.folded(), (Reports{"analysisInitialized", "analysisUpdated x33", "analysisFinished"}));

    // Resume while running adds nothing; stop and resume in one go continues
    // for a full count.
    ui.clear();
    updates = 0;
    analysis->setIterations(20);
    ui.onUpdated = [&](void*) {
        if (++updates == 2) analysis->embed();
        if (updates == 4) {
            analysis->stopGradientDescent();
            analysis->embed();
        }
    };
    quietly([&] { analysis->computeTSNE(); });
    EXPECT_EQ(ui.folded(), (Reports{"analysisInitialized", "analysisUpdated x24", "analysisFinished"}));
    EXPECT_FALSE(analysis->isRunning());
    EXPECT_TRUE(allFinite(*analysis->output()));
}

}  // namespace
