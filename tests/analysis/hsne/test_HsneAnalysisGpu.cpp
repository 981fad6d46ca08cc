// An HSNE level on the GPU engine, in its hidden OpenGL context.
#include "HsneAnalysisTest.h"
#include "analysis/applicationSurfaceFormat.h"

#include "vel/dr/RandomStartPositions.h"

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

// A seed gives the GPU engine the start it gives the CPU engine.
TEST_F(HsneAnalysisGpu, ASeedGivesTheStartOfTheCpuEngine) {
    setApplicationSurfaceFormat();
    loadHsneBlobs(3, 600);
    makeHsne(3, 0)->setUseGPU(true);
    hsne->setSeed(8);
    quietly([&] { hsne->initHSNE(); });
    ASSERT_TRUE(overview()->gpuEngineActive());
    vel::data::Embedding<float> drawn(2, static_cast<unsigned>(overview()->numDataPoints()));
    vel::dr::drawRandomStartPositions(drawn, 8, static_cast<double>(0.1f));
    EXPECT_EQ(*overview()->output(), drawn.getContainer());
}

}  // namespace
