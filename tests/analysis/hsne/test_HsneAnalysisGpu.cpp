// An HSNE level on the GPU engine, in its hidden OpenGL context.
#include "HsneAnalysisTest.h"
#include "analysis/applicationSurfaceFormat.h"

#include <QOpenGLContext>

namespace {

using HsneAnalysisGpu = HsneAnalysisTest;

TEST_F(HsneAnalysisGpu, TheOverviewRunsOnTheGpuAndLeavesNoContextCurrent) {
    setApplicationSurfaceFormat();
    loadHsneBlobs(3, 2000);
    makeHsne(3, 320)->setUseGPU(true);
    bool contextLeftCurrent = false;
    ui.onUpdated = [&](void*) { contextLeftCurrent |= QOpenGLContext::currentContext() != nullptr; };
    quietly([&] { hsne->initHSNE(); });
    EXPECT_TRUE(overview()->gpuEngineActive());
    EXPECT_FALSE(contextLeftCurrent);
    EXPECT_EQ(ui.count("analysisUpdated"), 320);
    EXPECT_GE(veltest::nearestLabelAccuracy(*overview()->output(), landmarkLabels(overview())), 0.95);
}

}  // namespace
