// What a run accepts before it embeds: the markers it reads, the perplexity it
// uses, and the selections and failures it refuses.
#include "TsneAnalysisTest.h"

#include <functional>

namespace {

class TsneAnalysisSetup : public TsneAnalysisTest {
protected:
    void SetUp() override {
        TsneAnalysisTest::SetUp();
        loadBlobs(3, 40, 4, 2);  // 120 events
        addOutputVariables();
        makeAnalysis()->setIterations(10);
    }
    // A point set of the first `n` events of file 0.
    MCV_DerivedDataPoints* firstEvents(int n) {
        MCV_DerivedDataPoints* p = data->derivedDataPoints("first", false);
        for (int e = 0; e < n; ++e) p->data().emplace_back(0, e);
        return p;
    }
    // Runs `f`; what it printed, after checking that it reported only the end.
    std::string refused(const std::function<void()>& f) {
        ui.clear();
        const std::string out = capturedStdout(f);
        EXPECT_EQ(ui.folded(), Reports{"analysisFinished"}) << out;
        EXPECT_FALSE(analysis->isRunning());
        return out;
    }
};

TEST_F(TsneAnalysisSetup, ARunReadsExactlyTheEnabledMarkersAndWholeRows) {
    analysis->setMarkerState(1, false);
    analysis->setMarkerState(var("QLMRN_TsneY"), true);
    EXPECT_EQ(*analysis->selectedMarkers(), (std::vector<unsigned>{0, 2, 3, 6}));
    const std::string out = capturedStdout([&] { analysis->computeTSNE(); });
    EXPECT_NE(out.find("Num dimensions: 4.\nNum data-points: 120\n"), std::string::npos) << out;
    const auto& refs = *analysis->pointReferences();
    ASSERT_EQ(analysis->markers()->size(), refs.size() * 7);
    for (size_t i = 0; i < refs.size(); ++i)
        for (int v = 0; v < 7; ++v)
            ASSERT_EQ((*analysis->markers())[i * 7 + size_t(v)], at(refs[i].first, refs[i].second, v));
}

TEST_F(TsneAnalysisSetup, PerplexityIsLoweredForSmallSubsetsForThatRunOnly) {
    struct Case {
        int points;  // 0: all 120
        int setting;
        float used;
    };
    // N / 4 at most, never below 1.
    for (const Case& c : {Case{60, 30, 15}, Case{0, 30, 30}, Case{7, 30, 1}, Case{0, 0, 1}}) {
        analysis->setPerplexity(c.setting);
        analysis->setActiveDataSelection(c.points ? firstEvents(c.points) : allPoints());
        quietly([&] { analysis->computeTSNE(); });
        EXPECT_EQ(analysis->runPerplexity(), c.used) << c.points << " " << c.setting;
        EXPECT_EQ(analysis->perplexity(), c.setting) << "the user's setting is kept";
        EXPECT_TRUE(allFinite(*analysis->output()));
    }
}

TEST_F(TsneAnalysisSetup, FewerThanFourPointsAreRefusedWithOnlyTheFinishingReport) {
    const std::vector<float> before(data->rawData(0), data->rawData(0) + 60 * numVariables());
    for (int n = 1; n <= 3; ++n) {
        analysis->setActiveDataSelection(firstEvents(n));
        EXPECT_EQ(refused([&] { analysis->computeTSNE(); }),
                  "A-tSNE: A needs at least 4 points to embed; the data selection has " + std::to_string(n) + ".\n");
        EXPECT_EQ(analysis->numDataPoints(), 0);
    }
    EXPECT_EQ(std::vector<float>(data->rawData(0), data->rawData(0) + 60 * numVariables()), before);
    ui.clear();
    analysis->setActiveDataSelection(firstEvents(4));
    quietly([&] { analysis->computeTSNE(); });
    EXPECT_EQ(ui.folded(), (Reports{"analysisInitialized", "analysisUpdated x10", "analysisFinished"}));
    EXPECT_TRUE(allFinite(*analysis->output()));
}

TEST_F(TsneAnalysisSetup, NothingToEmbedOrBadInputEndsBeforeAnythingIsRead) {
    MCV_TsneAnalysis* a = analysis.get();
    const std::string empty = "A-tSNE: nothing to embed: the data selection of A is empty.\n";
    const std::string stale = "A-tSNE: the data selection of A refers to events that are not loaded.\n";
    std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[&] { a->computeGradientDescent(); }, "A-tSNE: A has no probabilities to embed; compute them first.\n"},
        {[&] { a->embed(); }, "A-tSNE: A has no embedding to continue; compute it first.\n"},
        {[&] { a->setActiveDataSelection(nullptr); }, empty},
        {[&] { a->setActiveDataSelection(data->derivedDataPoints("empty", false)); }, empty},
    };
    // References to events that are not loaded (a selection kept from data
    // that were replaced) would read past the event matrices.
    for (auto bad : {std::make_pair(0, 60), std::make_pair(2, 0), std::make_pair(-1, 0)})
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
    for (const auto& c : cases) {
        EXPECT_EQ(refused([&] {
                      c.first();
                      if (c.second != cases[0].second && c.second != cases[1].second) a->computeTSNE();
                  }),
                  c.second);
        EXPECT_FALSE(a->gradientDescentInitialized());
        EXPECT_EQ(a->numDataPoints(), 0);
    }
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
    EXPECT_EQ(ui.folded().back(), "analysisFinished");
    EXPECT_EQ(analysis->numDataPoints(), 120);
    EXPECT_TRUE(allFinite(*analysis->output()));
}

}  // namespace
