// The user's road on the GPU engine, in the analysis's hidden OpenGL context.
#include "HsneFCAnalysisTest.h"

#include "analysis/applicationSurfaceFormat.h"

#include <QOpenGLContext>

namespace {

using HsneFCGpu = HsneFCEndToEnd;

TEST_F(HsneFCGpu, FocusRefineAndCoarsenLeaveNoContextCurrent) {
    setApplicationSurfaceFormat();
    bool contextLeftCurrent = false;
    ui.onUpdated = [&](void*) { contextLeftCurrent |= QOpenGLContext::currentContext() != nullptr; };
    road(true);
    EXPECT_TRUE(fc->gpuEngineActive());
    EXPECT_FALSE(contextLeftCurrent);
}

}  // namespace
