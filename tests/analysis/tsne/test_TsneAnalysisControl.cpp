// Requests that reach a run from inside its own reports, as they do when the
// views pump the event loop: stop, resume, restart, a second compute, and
// deletion at every stage.
#include "TsneAnalysisTest.h"

namespace {

class TsneAnalysisControl : public TsneAnalysisTest {
protected:
    void SetUp() override {
        TsneAnalysisTest::SetUp();
        loadBlobs(3, 20, 4, 2);
        addOutputVariables();
        makeAnalysis();
    }
    // Hands the analysis to readyForDeletion's receiver, which destroys it
    // inside the call the way the shell does.
    MCV_TsneAnalysis* releaseToShell() {
        ui.onReadyForDeletion = [this](void* a) {
            EXPECT_EQ(a, shellOwned);
            delete shellOwned;
            shellOwned = nullptr;
        };
        shellOwned = analysis.release();
        return shellOwned;
    }
    void TearDown() override {
        delete shellOwned;
        TsneAnalysisTest::TearDown();
    }
    MCV_TsneAnalysis* shellOwned = nullptr;
};

TEST_F(TsneAnalysisControl, StopEndsTheLoopAndResumeRunsAnotherFullCount) {
    analysis->setIterations(320);
    analysis->setContinuousUpdates(false);
    ui.onUpdated = [&](void*) { analysis->stopGradientDescent(); };
    analysis->computeTSNE();
    EXPECT_EQ(reports(), (std::vector<std::string>{"analysisInitialized", "analysisUpdated x1", "analysisFinished"}));
    EXPECT_FALSE(analysis->isRunning());

    ui.clear();
    ui.onUpdated = nullptr;
    const std::vector<float> stopped = *analysis->output();
    testing::internal::CaptureStdout();
    analysis->embed();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(reports(), (std::vector<std::string>{"analysisUpdated x3", "analysisFinished"}));
    EXPECT_NE(out.find("iteration 320/320"), std::string::npos);
    EXPECT_NE(*analysis->output(), stopped);
    EXPECT_TRUE(allFinite(*analysis->output()));
}

TEST_F(TsneAnalysisControl, DeletionDuringARunEndsItWithReadyForDeletion) {
    analysis->setIterations(100);
    MCV_TsneAnalysis* a = releaseToShell();
    int updates = 0;
    std::vector<float> lastOutput;
    ui.onUpdated = [&](void*) {
        if (++updates == 2) a->markForDeletion();
    };
    testing::internal::CaptureStdout();
    a->computeTSNE();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(shellOwned, nullptr);
    EXPECT_EQ(reports(), (std::vector<std::string>{"analysisInitialized", "analysisUpdated x2", "readyForDeletion"}));
    EXPECT_NE(out.find("] done"), std::string::npos);
    EXPECT_NE(out.find("A-tSNE: Finished embedding of A in: "), std::string::npos);
    // The positions after the last iteration went into the data.
    EXPECT_NE(at(0, 0, var("QLMRN_TsneX")), 0.f);
}

TEST_F(TsneAnalysisControl, DeletionWhileIdleIsReportedAtOnceAndOnlyOnce) {
    analysis->setIterations(10);
    analysis->computeTSNE();
    ui.clear();
    MCV_TsneAnalysis* a = releaseToShell();
    a->markForDeletion();
    EXPECT_EQ(reports(), std::vector<std::string>{"readyForDeletion"});
    EXPECT_EQ(shellOwned, nullptr);

    // An analysis that nobody destroys ignores every later request.
    MCV_TsneAnalysis b;
    b.init(&ui, "B");
    b.setActiveDataSelection(allPoints());
    ui.clear();
    ui.onReadyForDeletion = nullptr;
    b.markForDeletion();
    b.markForDeletion();
    b.computeTSNE();
    b.embed();
    EXPECT_EQ(reports(), std::vector<std::string>{"readyForDeletion"});
}

TEST_F(TsneAnalysisControl, DeletionBeforeTheLoopSkipsTheDescent) {
    analysis->setIterations(50);
    MCV_TsneAnalysis* a = releaseToShell();
    ui.onInitialized = [&](void*) { a->markForDeletion(); };
    a->computeTSNE();
    EXPECT_EQ(shellOwned, nullptr);
    EXPECT_EQ(reports(), (std::vector<std::string>{"analysisInitialized", "readyForDeletion"}));
}

TEST_F(TsneAnalysisControl, DeletionInsideTheFinishedReportIsAnsweredAtOnce) {
    analysis->setIterations(10);
    MCV_TsneAnalysis* a = releaseToShell();
    ui.onFinished = [&](void*) {
        EXPECT_FALSE(a->isRunning());
        a->markForDeletion();
    };
    a->computeTSNE();
    EXPECT_EQ(shellOwned, nullptr);
    EXPECT_EQ(reports(), (std::vector<std::string>{"analysisInitialized", "analysisUpdated x10", "analysisFinished",
                                                   "readyForDeletion"}));
}

TEST_F(TsneAnalysisControl, ASecondComputeDuringARunFollowsWhenTheLoopHasReturned) {
    analysis->setIterations(40);
    int updates = 0;
    size_t callsAtNestedReturn = 0;
    ui.onUpdated = [&](void*) {
        if (++updates != 5) return;
        analysis->setIterations(20);
        analysis->computeTSNE();  // what a second press of Compute does
        callsAtNestedReturn = ui.calls.size();
    };
    testing::internal::CaptureStdout();
    analysis->computeTSNE();
    const std::string out = testing::internal::GetCapturedStdout();
    // The nested call returned at once; the first loop ended after its fifth
    // iteration, and the second run followed with one finishing report.
    EXPECT_EQ(callsAtNestedReturn, 6u);
    EXPECT_EQ(reports(), (std::vector<std::string>{"analysisInitialized", "analysisUpdated x5", "analysisInitialized",
                                                   "analysisUpdated x20", "analysisFinished"}));
    EXPECT_NE(out.find("A-tSNE: A is running; the new request follows when the current run has ended.\n"),
              std::string::npos);
    EXPECT_FALSE(analysis->isRunning());
}

TEST_F(TsneAnalysisControl, RestartDuringARunStartsANewEmbeddingFromTheSameProbabilities) {
    analysis->setIterations(30);
    int updates = 0;
    ui.onUpdated = [&](void*) {
        if (++updates != 3) return;
        analysis->stopGradientDescent();  // the slider panel's restart
        analysis->computeGradientDescent();
    };
    analysis->computeTSNE();
    EXPECT_EQ(reports(), (std::vector<std::string>{"analysisInitialized", "analysisUpdated x33", "analysisFinished"}));
    EXPECT_EQ(analysis->numDataPoints(), 60);
    EXPECT_TRUE(allFinite(*analysis->output()));
}

TEST_F(TsneAnalysisControl, ResumeWhileRunningChangesNothingAndAfterAStopContinues) {
    analysis->setIterations(20);
    int updates = 0;
    ui.onUpdated = [&](void*) {
        ++updates;
        if (updates == 2) analysis->embed();  // already running: nothing to add
        if (updates == 4) {
            analysis->stopGradientDescent();  // stop and run again in one go
            analysis->embed();
        }
    };
    analysis->computeTSNE();
    EXPECT_EQ(reports(), (std::vector<std::string>{"analysisInitialized", "analysisUpdated x24", "analysisFinished"}));
}

}  // namespace
