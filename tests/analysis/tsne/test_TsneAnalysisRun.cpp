// One embed run: the reports and when they come, the output variables, the
// results the views read, and the clusters.
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
    std::vector<float> allValues() {
        std::vector<float> v;
        for (int f = 0; f < 2; ++f) v.insert(v.end(), data->rawData(f), data->rawData(f) + 30 * numVariables());
        return v;
    }
};

TEST_F(TsneAnalysisRun, ReportsComeEveryIterationOrEveryHundredthAndTheColumnsFollow) {
    // Continuous: every iteration is reported, every tenth written.
    analysis->setIterations(30);
    std::vector<bool> written;
    ui.onInitialized = [&](void*) { EXPECT_FALSE(analysis->gradientDescentInitialized()); };
    ui.onUpdated = [&](void* a) {
        EXPECT_EQ(a, analysis.get());
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
    analysis->setIterations(50);
    std::vector<float> expected = allValues();
    quietly([&] { analysis->computeTSNE(); });

    EXPECT_EQ(*analysis->pointReferences(), pts);
    std::vector<int> files;
    for (const auto& p : pts) files.push_back(p.first);
    EXPECT_EQ(*analysis->outputFileIdxs(), files);
    EXPECT_EQ(analysis->numDiscreteMetaValues(), 3);
    ASSERT_EQ(analysis->output()->size(), 40u);
    EXPECT_TRUE(allFinite(*analysis->output()));
    const int x = var("QLMRN_TsneX"), y = var("QLMRN_TsneY"), n = numVariables();
    for (size_t i = 0; i < pts.size(); ++i) {
        const size_t row = size_t(pts[i].first * 30 + pts[i].second) * size_t(n);
        expected[row + size_t(x)] = (*analysis->output())[2 * i];
        expected[row + size_t(y)] = (*analysis->output())[2 * i + 1];
        // markers() holds the written rows of the embedded points.
        EXPECT_EQ(std::vector<float>(analysis->markers()->begin() + long(i) * n,
                                     analysis->markers()->begin() + long(i + 1) * n),
                  std::vector<float>(expected.begin() + long(row), expected.begin() + long(row) + n));
    }
    EXPECT_EQ(allValues(), expected);
    // The radius is the largest value of the padded square box of the last update.
    vel::data::Embedding<float> e(2, 20);
    e.getContainer() = *analysis->output();
    std::vector<float> box;
    e.computeEmbeddingBBox(box, 0.1f, true);
    EXPECT_FLOAT_EQ(analysis->radius(), *std::max_element(box.begin(), box.end()));
}

TEST_F(TsneAnalysisRun, MissingOutputVariablesAreReportedOnceAndNothingIsWritten) {
    TearDown();  // data without the output pair (the shell normally adds it first)
    TsneAnalysisTest::SetUp();
    loadBlobs(3, 20, 4, 2);
    makeAnalysis();
    analysis->setIterations(20);
    const std::vector<float> before = allValues();
    const std::string out = capturedStdout([&] { analysis->computeTSNE(); });
    const std::string line = "A-tSNE: the data have no variable QLMRN_TsneX or QLMRN_TsneY";
    EXPECT_NE(out.find(line), std::string::npos) << out;
    EXPECT_EQ(out.find(line), out.rfind(line)) << out;
    EXPECT_EQ(allValues(), before);
    EXPECT_EQ(ui.count("analysisFinished"), 1);
}

TEST_F(TsneAnalysisRun, ARunOfNoIterationsStillWritesTheStartPositions) {
    analysis->setIterations(0);
    quietly([&] { analysis->computeTSNE(); });
    EXPECT_EQ(ui.folded(), (Reports{"analysisInitialized", "analysisFinished"}));
    EXPECT_TRUE(columnsHoldOutput());
    EXPECT_TRUE(allFinite(*analysis->output()));
}

TEST_F(TsneAnalysisRun, ClustersAreStoredUnderTheirNameAndTheAnalysisName) {
    analysis->setIterations(10);
    quietly([&] { analysis->computeTSNE(); });
    std::vector<std::vector<unsigned>> clusters = {{0, 1, 2}, {59}, {10, 20}};
    MCV_DerivedDataClusters* set = analysis->updateClusters(&clusters, "Density Clusters");
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->name(), "Density Clusters - A");
    const auto& refs = *analysis->pointReferences();
    EXPECT_EQ(set->clusters(), (std::vector<Points>{{refs[0], refs[1], refs[2]}, {refs[59]}, {refs[10], refs[20]}}));
    EXPECT_EQ(set->landmarkClusters()[0], (std::vector<unsigned>{0, 1, 2}));
    EXPECT_EQ(set->referencePoints(), allPoints());

    // With a data selection the set is reused; indices beyond the embedded
    // points (a clustering of an older embedding) are left out.
    clusters = {{5, 60, 61}};
    const std::string out =
        capturedStdout([&] { EXPECT_EQ(analysis->updateClusters(&clusters, "Density Clusters"), set); });
    EXPECT_NE(out.find("2 members"), std::string::npos) << out;
    EXPECT_EQ(set->clusters(), (std::vector<Points>{{refs[5]}}));
    EXPECT_EQ(set->landmarkClusters()[0], std::vector<unsigned>{5});

    // Without one, every call makes a new set under a free name.
    analysis->setActiveDataSelection(nullptr);
    MCV_DerivedDataClusters* other = nullptr;
    quietly([&] { other = analysis->updateClusters(&clusters, "Density Clusters"); });
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->name(), "Density Clusters - A-1");
}

}  // namespace
