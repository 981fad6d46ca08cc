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
    void TearDown() override {
        delete shellOwned;
        TsneAnalysisTest::TearDown();
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
    // Calls `f` at the n-th update report.
    void atUpdate(int n, std::function<void()> f) {
        ui.onUpdated = [this, n, f](void*) {
            if (++updates == n) f();
        };
    }
    MCV_TsneAnalysis* shellOwned = nullptr;
    int updates = 0;
};

TEST_F(TsneAnalysisControl, StopEndsTheLoopAndResumeRunsAnotherFullCount) {
    analysis->setIterations(200);
    analysis->setContinuousUpdates(false);
    atUpdate(1, [&] { analysis->stopGradientDescent(); });
    analysis->computeTSNE();
    EXPECT_EQ(ui.folded(), (Reports{"analysisInitialized", "analysisUpdated x1", "analysisFinished"}));
    EXPECT_FALSE(analysis->isRunning());

    ui.clear();
    const std::vector<float> stopped = *analysis->output();
    quietly([&] { analysis->embed(); });
    EXPECT_EQ(ui.folded(), (Reports{"analysisUpdated x2", "analysisFinished"}));
    EXPECT_NE(*analysis->output(), stopped);
    EXPECT_TRUE(allFinite(*analysis->output()));
}

TEST_F(TsneAnalysisControl, DeletionAtEveryStageEndsWithOneReadyForDeletion) {
    struct Case {
        const char* stage;
        Reports expected;
    };
    const Case cases[] = {
        {"initialized", {"analysisInitialized", "readyForDeletion"}},
        {"updated", {"analysisInitialized", "analysisUpdated x2", "readyForDeletion"}},
        {"finished", {"analysisInitialized", "analysisUpdated x10", "analysisFinished", "readyForDeletion"}},
        {"idle", {"readyForDeletion"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stage);
        TearDown();
        ui = CallbackLog();
        updates = 0;
        SetUp();
        analysis->setIterations(10);
        if (std::string(c.stage) == "idle") quietly([&] { analysis->computeTSNE(); });
        MCV_TsneAnalysis* a = releaseToShell();
        ui.clear();
        const std::string stage = c.stage;
        if (stage == "initialized") ui.onInitialized = [a](void*) { a->markForDeletion(); };
        if (stage == "updated") atUpdate(2, [a] { a->markForDeletion(); });
        if (stage == "finished")
            ui.onFinished = [a](void*) {
                EXPECT_FALSE(a->isRunning());
                a->markForDeletion();
            };
        if (stage == "idle")
            a->markForDeletion();
        else
            quietly([a] { a->computeTSNE(); });
        EXPECT_EQ(shellOwned, nullptr);
        EXPECT_EQ(ui.folded(), c.expected);
        if (stage == "updated") {
            EXPECT_NE(at(0, 0, var("QLMRN_TsneX")), 0.f) << "the last positions were written";
        }
    }
}

TEST_F(TsneAnalysisControl, AnAnalysisMarkedForDeletionIgnoresEveryLaterRequest) {
    ui.clear();
    analysis->markForDeletion();
    analysis->markForDeletion();
    analysis->computeTSNE();
    analysis->embed();
    EXPECT_EQ(ui.folded(), Reports{"readyForDeletion"});
}

TEST_F(TsneAnalysisControl, ASecondComputeDuringARunFollowsWhenTheLoopHasReturned) {
    analysis->setIterations(40);
    size_t callsAtNestedReturn = 0;
    atUpdate(5, [&] {
        analysis->setIterations(20);
        analysis->computeTSNE();  // what a second press of Compute does
        callsAtNestedReturn = ui.calls.size();
    });
    const std::string out = capturedStdout([&] { analysis->computeTSNE(); });
    EXPECT_EQ(callsAtNestedReturn, 6u) << "the nested call returned at once";
    EXPECT_EQ(ui.folded(), (Reports{"analysisInitialized", "analysisUpdated x5", "analysisInitialized",
                                    "analysisUpdated x20", "analysisFinished"}));
    EXPECT_NE(out.find("A-tSNE: A is running; the new request follows when the current run has ended.\n"),
              std::string::npos);
    EXPECT_FALSE(analysis->isRunning());
}

TEST_F(TsneAnalysisControl, RestartAndResumeInsideARun) {
    // Restart (the slider panel's) at the 3rd update starts a new embedding
    // from the same probabilities.
    analysis->setIterations(30);
    atUpdate(3, [&] {
        analysis->stopGradientDescent();
        analysis->computeGradientDescent();
    });
    quietly([&] { analysis->computeTSNE(); });
    EXPECT_EQ(ui.folded(), (Reports{"analysisInitialized", "analysisUpdated x33", "analysisFinished"}));
    EXPECT_TRUE(allFinite(*analysis->output()));

    // Resume while running adds nothing; stop and resume in one go continues.
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
}

}  // namespace
