// One embed run: the reports and when they come, the output variables, the
// results the views read, the console lines, and the clusters.
#include "TsneAnalysisTest.h"

#include "data/MCV_DerivedDataClusters.h"

#include <algorithm>

namespace {

class TsneAnalysisRun : public TsneAnalysisTest {
protected:
    void SetUp() override {
        TsneAnalysisTest::SetUp();
        loadBlobs(3, 20, 4, 2);  // 60 events, 30 per file
        addOutputVariables();
        makeAnalysis();
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
    static std::string bar(int filled, int i, int n) {
        return "\r[" + std::string(static_cast<size_t>(filled), '=') +
               std::string(static_cast<size_t>(40 - filled), ' ') + "] iteration " + std::to_string(i) + "/" +
               std::to_string(n);
    }
    static std::string separator() { return "\n" + std::string(80, '=') + "\n"; }
    static std::string embedText(const std::string& redraws) {
        return "A-tSNE: Computing gradient descent..\n[" + std::string(41, ' ') + "]" + redraws + "\r[" +
               std::string(40, '=') + "] done" + separator() + "A-tSNE: Finished embedding of A in: T seconds." +
               separator();
    }
    // The console text from the start of the embed loop on.
    static std::string embedPart(const std::string& out) {
        const size_t at = out.find("A-tSNE: Computing gradient descent..");
        return at == std::string::npos ? std::string() : withoutTimes(out.substr(at));
    }
};

TEST_F(TsneAnalysisRun, WithoutContinuousUpdatesEveryHundredthIterationIsReportedAndWritten) {
    analysis->setContinuousUpdates(false);
    analysis->setIterations(250);
    std::vector<bool> written;
    ui.onUpdated = [&](void* a) {
        EXPECT_EQ(a, analysis.get());
        written.push_back(columnsHoldOutput());
    };
    analysis->computeTSNE();
    EXPECT_EQ(reports(), (std::vector<std::string>{"analysisInitialized", "analysisUpdated x2", "analysisFinished"}));
    EXPECT_EQ(written, (std::vector<bool>{true, true}));
    EXPECT_TRUE(columnsHoldOutput());  // written once more at the end
}

TEST_F(TsneAnalysisRun, WithContinuousUpdatesEveryIterationIsReportedAndEveryTenthWritten) {
    analysis->setIterations(30);
    std::vector<bool> written;
    bool seenRunning = true;
    ui.onInitialized = [&](void*) { EXPECT_FALSE(analysis->gradientDescentInitialized()); };
    ui.onUpdated = [&](void*) {
        written.push_back(columnsHoldOutput());
        seenRunning = seenRunning && analysis->isRunning() && analysis->gradientDescentInitialized();
    };
    ui.onFinished = [&](void*) {
        EXPECT_FALSE(analysis->isRunning());
        EXPECT_FALSE(analysis->gradientDescentInitialized());
    };
    analysis->computeTSNE();
    EXPECT_EQ(reports(), (std::vector<std::string>{"analysisInitialized", "analysisUpdated x30", "analysisFinished"}));
    ASSERT_EQ(written.size(), 30u);
    for (size_t i = 0; i < written.size(); ++i) EXPECT_EQ(written[i], (i + 1) % 10 == 0) << "iteration " << i + 1;
    EXPECT_TRUE(seenRunning);
}

TEST_F(TsneAnalysisRun, OutputVariablesHoldTheEmbeddingOfTheSubsetAndNothingElseChanges) {
    // Every third event of file 0 and the last ten of file 1, not in file order.
    MCV_DerivedDataPoints* subset = data->derivedDataPoints("subset", false);
    std::vector<std::pair<int, int>> pts;
    for (int e = 29; e >= 20; --e) pts.emplace_back(1, e);
    for (int e = 0; e < 30; e += 3) pts.emplace_back(0, e);
    subset->setPoints(pts, false);
    subset->setNumDiscreteMetaValues(3);
    analysis->setActiveDataSelection(subset);
    analysis->setIterations(50);

    std::vector<std::vector<float>> before;
    for (int f = 0; f < 2; ++f) before.emplace_back(data->rawData(f), data->rawData(f) + 30 * numVariables());
    analysis->computeTSNE();

    ASSERT_EQ(analysis->numDataPoints(), 20);
    EXPECT_EQ(*analysis->pointReferences(), pts);
    std::vector<int> files;
    for (const auto& p : pts) files.push_back(p.first);
    EXPECT_EQ(*analysis->outputFileIdxs(), files);
    EXPECT_EQ(analysis->numDiscreteMetaValues(), 3);
    ASSERT_EQ(analysis->output()->size(), 40u);
    EXPECT_TRUE(allFinite(*analysis->output()));
    EXPECT_TRUE(columnsHoldOutput());

    const int x = var("QLMRN_TsneX"), y = var("QLMRN_TsneY");
    for (int f = 0; f < 2; ++f)
        for (int e = 0; e < 30; ++e) {
            const bool embedded = std::find(pts.begin(), pts.end(), std::make_pair(f, e)) != pts.end();
            for (int v = 0; v < numVariables(); ++v) {
                if (embedded && (v == x || v == y)) continue;
                ASSERT_EQ(at(f, e, v), before[static_cast<size_t>(f)][static_cast<size_t>(e * numVariables() + v)])
                    << "file " << f << " event " << e << " variable " << v;
            }
        }
    // markers() is refreshed with the written rows.
    const auto& rows = *analysis->markers();
    for (size_t i = 0; i < pts.size(); ++i) {
        EXPECT_EQ(rows[i * static_cast<size_t>(numVariables()) + static_cast<size_t>(x)], (*analysis->output())[2 * i]);
        EXPECT_EQ(rows[i * static_cast<size_t>(numVariables()) + static_cast<size_t>(y)],
                  (*analysis->output())[2 * i + 1]);
    }
    // The radius is the largest value of the padded square box of the last update.
    vel::data::Embedding<float> e(2, 20);
    e.getContainer() = *analysis->output();
    std::vector<float> box;
    e.computeEmbeddingBBox(box, 0.1f, true);
    EXPECT_FLOAT_EQ(analysis->radius(), *std::max_element(box.begin(), box.end()));
}

TEST_F(TsneAnalysisRun, MissingOutputVariablesAreReportedAndNothingIsWritten) {
    // Data without the output pair (the shell normally adds it first).
    TearDown();
    TsneAnalysisTest::SetUp();
    loadBlobs(3, 20, 4, 2);
    makeAnalysis();
    analysis->setIterations(20);
    std::vector<std::vector<float>> before;
    for (int f = 0; f < 2; ++f) before.emplace_back(data->rawData(f), data->rawData(f) + 30 * numVariables());

    testing::internal::CaptureStdout();
    analysis->computeTSNE();
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string line =
        "A-tSNE: the data have no variable QLMRN_TsneX or QLMRN_TsneY; the embedding of A is "
        "not written into the data.\n";
    size_t lines = 0;
    for (size_t p = out.find(line); p != std::string::npos; p = out.find(line, p + 1)) ++lines;
    EXPECT_EQ(lines, 1u) << out;
    for (int f = 0; f < 2; ++f)
        EXPECT_EQ(std::vector<float>(data->rawData(f), data->rawData(f) + 30 * numVariables()),
                  before[static_cast<size_t>(f)]);
    EXPECT_EQ(ui.count("analysisFinished"), 1);
    EXPECT_TRUE(allFinite(*analysis->output()));
}

TEST_F(TsneAnalysisRun, ConsoleLinesOfARun) {
    analysis->setIterations(80);
    analysis->setContinuousUpdates(false);
    testing::internal::CaptureStdout();
    analysis->computeTSNE();
    const std::string out = withoutTimes(testing::internal::GetCapturedStdout());

    const std::string head =
        "tSNE initialized.Sparse matrix allocated.Computing high dimensional probability "
        "distributions.\nNum dimensions: 4.\nNum data-points: 60\n";
    EXPECT_EQ(out.substr(0, head.size()), head);
    EXPECT_NE(out.find("Probability distributions calculated." + separator() +
                       "A-tSNE: Compute probability distribution: T seconds" + separator()),
              std::string::npos)
        << out;
    std::string redraws;
    for (int i = 2; i <= 80; i += 2) redraws += bar(i / 2, i, 80);
    EXPECT_EQ(embedPart(out), embedText(redraws));
}

TEST_F(TsneAnalysisRun, ARunOfNoIterationsStillWritesTheStartPositions) {
    analysis->setIterations(0);
    testing::internal::CaptureStdout();
    analysis->computeTSNE();
    EXPECT_EQ(embedPart(testing::internal::GetCapturedStdout()), embedText(""));
    EXPECT_EQ(reports(), (std::vector<std::string>{"analysisInitialized", "analysisFinished"}));
    EXPECT_TRUE(columnsHoldOutput());
    EXPECT_TRUE(allFinite(*analysis->output()));
}

TEST_F(TsneAnalysisRun, ClustersAreStoredUnderTheirNameAndTheAnalysisName) {
    analysis->setIterations(10);
    analysis->computeTSNE();
    std::vector<std::vector<unsigned>> clusters = {{0, 1, 2}, {59}, {10, 20}};
    testing::internal::CaptureStdout();
    MCV_DerivedDataClusters* set = analysis->updateClusters(&clusters, "Density Clusters");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->name(), "Density Clusters - A");
    ASSERT_EQ(set->numClusters(), 3);
    EXPECT_EQ(set->clusterName(0), "1");
    EXPECT_EQ(set->clusterName(2), "3");
    const auto& refs = *analysis->pointReferences();
    EXPECT_EQ(set->clusters()[1], (std::vector<std::pair<int, int>>{refs[59]}));
    EXPECT_EQ(set->clusters()[2], (std::vector<std::pair<int, int>>{refs[10], refs[20]}));
    EXPECT_EQ(set->landmarkClusters()[0], (std::vector<unsigned>{0, 1, 2}));
    EXPECT_EQ(set->referencePoints(), allPoints());

    // With a data selection the set is reused; indices beyond the embedded
    // points (a clustering of an older embedding) are left out.
    clusters = {{5, 60, 61}};
    testing::internal::CaptureStdout();
    EXPECT_EQ(analysis->updateClusters(&clusters, "Density Clusters"), set);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "A-tSNE: 2 members of the clusters Density Clusters are not embedded points and were left out.\n");
    ASSERT_EQ(set->numClusters(), 1);
    EXPECT_EQ(set->clusters()[0], (std::vector<std::pair<int, int>>{refs[5]}));
    EXPECT_EQ(set->landmarkClusters()[0], std::vector<unsigned>{5});

    // Without one, every call makes a new set under a free name.
    analysis->setActiveDataSelection(nullptr);
    MCV_DerivedDataClusters* other = analysis->updateClusters(&clusters, "Density Clusters");
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, set);
    EXPECT_EQ(other->name(), "Density Clusters - A-1");
}

}  // namespace
