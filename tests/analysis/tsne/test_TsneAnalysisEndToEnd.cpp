// Whole runs on loaded data: five well-separated blobs of 2,000 events, spread
// over five files, must come out as five groups in the output variables.
#include "TsneAnalysisTest.h"

namespace {

using TsneEndToEnd = TsneAnalysisTest;

TEST_F(TsneEndToEnd, FiveBlobsSeparateOnTheCpu) {
    loadBlobs(5, 2000, 10, 5, /*centreSpread=*/4.0);
    addOutputVariables();
    MCV_TsneAnalysis* a = makeAnalysis("blobs");
    a->setContinuousUpdates(false);
    a->setIterations(320);  // the exaggeration schedule ends at 320
    a->setUseGPU(false);
    quietly([&] { a->computeTSNE(); });
    EXPECT_FALSE(a->gpuEngineActive());
    EXPECT_EQ(ui.folded(), (Reports{"analysisInitialized", "analysisUpdated x3", "analysisFinished"}));
    EXPECT_GE(accuracyFromOutputColumns(), 0.98);
}

// This binary has no GUI application, so no hidden OpenGL context: the GPU
// choice falls back to the CPU engine with a line, and the run completes.
TEST_F(TsneEndToEnd, TheGpuChoiceFallsBackToTheCpuWithoutOpenGl) {
    loadBlobs(3, 20, 4, 2);
    addOutputVariables();
    MCV_TsneAnalysis* a = makeAnalysis();
    a->setUseGPU(true);
    a->setIterations(20);
    const std::string out = capturedStdout([&] { a->computeTSNE(); });
    EXPECT_NE(out.find("A-tSNE: the GPU is not available; A runs on the CPU.\n"), std::string::npos) << out;
    EXPECT_FALSE(a->gpuEngineActive());
    EXPECT_EQ(ui.count("analysisFinished"), 1);
    EXPECT_TRUE(allFinite(*a->output()));
}

}  // namespace
