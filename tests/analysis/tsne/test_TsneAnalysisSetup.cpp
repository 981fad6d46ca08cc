// What a run accepts before it embeds: the markers it reads, the perplexity it
// uses, and the selections it refuses.
#include "TsneAnalysisTest.h"

namespace {

class TsneAnalysisSetup : public TsneAnalysisTest {
protected:
    // A point set of the first `n` events of file 0.
    MCV_DerivedDataPoints* firstEvents(int n, const std::string& name) {
        MCV_DerivedDataPoints* p = data->derivedDataPoints(name, false);
        std::vector<std::pair<int, int>> pts;
        for (int e = 0; e < n; ++e) pts.emplace_back(0, e);
        p->setPoints(pts, false);
        return p;
    }
    std::vector<float> column(const std::string& name) {
        std::vector<float> out;
        for (int f = 0; f < data->numFiles(); ++f)
            for (int e = 0; e < data->header(f)->numEvents(); ++e) out.push_back(at(f, e, var(name)));
        return out;
    }
};

TEST_F(TsneAnalysisSetup, ARunReadsExactlyTheEnabledMarkers) {
    loadBlobs(3, 20, 4, 2);
    MCV_TsneAnalysis* a = makeAnalysis();
    EXPECT_EQ(a->markerStates(), std::vector<bool>({true, true, true, true, false}));

    // Variables added after init (the shell adds the output pair) come in
    // disabled; enabling one appends it to the list.
    addOutputVariables();
    a->refreshMarkerData();
    EXPECT_EQ(a->markerStates().size(), 7u);
    EXPECT_FALSE(a->markerStates()[5]);
    EXPECT_EQ(*a->selectedMarkers(), (std::vector<unsigned>{0, 1, 2, 3}));
    a->setMarkerState(1, false);
    a->setMarkerState(var("QLMRN_TsneY"), true);
    EXPECT_EQ(*a->selectedMarkers(), (std::vector<unsigned>{0, 2, 3, 6}));

    a->setIterations(0);
    testing::internal::CaptureStdout();
    a->computeTSNE();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Num dimensions: 4.\nNum data-points: 60\n"), std::string::npos) << out;

    // markers() holds whole data rows of the embedded points, in point order.
    const auto& refs = *a->pointReferences();
    ASSERT_EQ(a->markers()->size(), refs.size() * 7);
    for (size_t i = 0; i < refs.size(); ++i)
        for (int v = 0; v < 7; ++v)
            ASSERT_EQ((*a->markers())[i * 7 + static_cast<size_t>(v)], at(refs[i].first, refs[i].second, v));
}

TEST_F(TsneAnalysisSetup, PerplexityIsLoweredForSmallSubsetsForThatRunOnly) {
    loadBlobs(3, 40, 4, 2);  // 120 events
    addOutputVariables();
    MCV_TsneAnalysis* a = makeAnalysis();
    a->setIterations(20);

    a->setActiveDataSelection(firstEvents(60, "sixty"));
    a->computeTSNE();
    EXPECT_EQ(a->runPerplexity(), 15.f);
    EXPECT_EQ(a->perplexity(), 30);  // the user's setting is kept
    EXPECT_TRUE(allFinite(*a->output()));

    a->setActiveDataSelection(allPoints());
    a->computeTSNE();
    EXPECT_EQ(a->runPerplexity(), 30.f);

    // Down to the smallest set: N / 4 = 1, never 0.
    a->setActiveDataSelection(firstEvents(7, "seven"));
    a->computeTSNE();
    EXPECT_EQ(a->runPerplexity(), 1.f);
    EXPECT_EQ(a->numDataPoints(), 7);
    EXPECT_TRUE(allFinite(*a->output()));

    // A setting below 1 is used as 1.
    a->setPerplexity(0);
    a->setActiveDataSelection(allPoints());
    a->computeTSNE();
    EXPECT_EQ(a->runPerplexity(), 1.f);
    EXPECT_TRUE(allFinite(*a->output()));
}

TEST_F(TsneAnalysisSetup, FewerThanFourPointsAreRefusedWithOnlyTheFinishingReport) {
    loadBlobs(3, 20, 4, 2);
    addOutputVariables();
    MCV_TsneAnalysis* a = makeAnalysis();
    a->setIterations(20);
    const std::vector<float> before = column("QLMRN_TsneX");
    for (int n = 1; n <= 3; ++n) {
        ui.clear();
        a->setActiveDataSelection(firstEvents(n, "few" + std::to_string(n)));
        testing::internal::CaptureStdout();
        a->computeTSNE();
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out,
                  "A-tSNE: A needs at least 4 points to embed; the data selection has " + std::to_string(n) + ".\n");
        EXPECT_EQ(reports(), std::vector<std::string>{"analysisFinished"});
        EXPECT_EQ(a->numDataPoints(), 0);
        EXPECT_FALSE(a->isRunning());
    }
    EXPECT_EQ(column("QLMRN_TsneX"), before);

    ui.clear();
    a->setActiveDataSelection(firstEvents(4, "four"));
    a->computeTSNE();
    EXPECT_EQ(reports(), (std::vector<std::string>{"analysisInitialized", "analysisUpdated x20", "analysisFinished"}));
    EXPECT_EQ(a->numDataPoints(), 4);
    EXPECT_TRUE(allFinite(*a->output()));
}

TEST_F(TsneAnalysisSetup, NothingToEmbedEndsBeforeTheSetUp) {
    loadBlobs(3, 20, 4, 2);
    addOutputVariables();
    MCV_TsneAnalysis* a = makeAnalysis();
    a->setIterations(20);

    struct Case {
        const char* what;
        std::function<void()> call;
        std::string line;
    };
    MCV_DerivedDataPoints* empty = data->derivedDataPoints("empty", false);
    const std::vector<Case> cases = {
        {"no selection",
         [&] {
             a->setActiveDataSelection(nullptr);
             a->computeTSNE();
         },
         "A-tSNE: nothing to embed: the data selection of A is empty.\n"},
        {"empty selection",
         [&] {
             a->setActiveDataSelection(empty);
             a->computeTSNE();
         },
         "A-tSNE: nothing to embed: the data selection of A is empty.\n"},
        {"restart without probabilities", [&] { a->computeGradientDescent(); },
         "A-tSNE: A has no probabilities to embed; compute them first.\n"},
        {"resume without an embedding", [&] { a->embed(); },
         "A-tSNE: A has no embedding to continue; compute it first.\n"},
    };
    for (const Case& c : cases) {
        ui.clear();
        testing::internal::CaptureStdout();
        c.call();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line) << c.what;
        EXPECT_EQ(reports(), std::vector<std::string>{"analysisFinished"}) << c.what;
        EXPECT_FALSE(a->gradientDescentInitialized()) << c.what;
        EXPECT_EQ(a->numDataPoints(), 0) << c.what;
    }
}

TEST_F(TsneAnalysisSetup, BadInputIsRefusedBeforeAnythingIsRead) {
    loadBlobs(3, 20, 4, 2);
    addOutputVariables();
    MCV_TsneAnalysis* a = makeAnalysis();

    for (int m = 0; m < 4; ++m) a->setMarkerState(m, false);
    testing::internal::CaptureStdout();
    a->computeTSNE();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "A-tSNE: A has no marker selected.\n");
    for (int m = 0; m < 4; ++m) a->setMarkerState(m, true);

    // References to events that are not loaded (a selection kept from data
    // that were replaced) would read past the event matrices.
    for (auto bad : {std::make_pair(0, 30), std::make_pair(2, 0), std::make_pair(-1, 0)}) {
        MCV_DerivedDataPoints* stale = firstEvents(10, "stale");
        stale->data().push_back(bad);
        a->setActiveDataSelection(stale);
        testing::internal::CaptureStdout();
        a->computeTSNE();
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "A-tSNE: the data selection of A refers to events that are not loaded.\n");
    }
    EXPECT_EQ(ui.count("analysisInitialized"), 0);
    EXPECT_EQ(ui.count("analysisFinished"), 4);
}

}  // namespace

TEST_F(TsneAnalysisSetup, ALibraryFailureEndsTheRunAndLeavesTheAnalysisUsable) {
    loadBlobs(3, 20, 4, 2);
    addOutputVariables();
    MCV_TsneAnalysis* a = makeAnalysis();
    a->setIterations(10);
    // No such neighbour back end: the library refuses it with an exception.
    a->setKnnLibrary(static_cast<vel::utils::knn_library>(7));
    testing::internal::CaptureStdout();
    a->computeTSNE();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("[ERROR] A-tSNE: A stopped: "), std::string::npos) << out;
    EXPECT_FALSE(a->isRunning()) << "the shell would refuse every later import";
    EXPECT_EQ(reports().back(), "analysisFinished");

    ui.clear();
    a->setKnnLibrary(static_cast<vel::utils::knn_library>(0));
    a->computeTSNE();
    EXPECT_EQ(reports().back(), "analysisFinished");
    EXPECT_EQ(a->numDataPoints(), 60);
    EXPECT_TRUE(allFinite(*a->output()));
}
