// The user's road on the GPU engine, in the analysis's hidden OpenGL context.
#include "HsneFCAnalysisTest.h"

#include "analysis/applicationSurfaceFormat.h"

#include <QOpenGLContext>

namespace {

class HsneFCGpu : public HsneFCEndToEnd {
protected:
    void SetUp() override {
        setApplicationSurfaceFormat();
        HsneFCEndToEnd::SetUp();
    }
};

TEST_F(HsneFCGpu, FocusRefineAndCoarsenLeaveNoContextCurrent) {
    bool contextLeftCurrent = false;
    ui.onUpdated = [&](void*) { contextLeftCurrent |= QOpenGLContext::currentContext() != nullptr; };
    road(true);
    EXPECT_TRUE(fc->gpuEngineActive());
    EXPECT_FALSE(contextLeftCurrent);
}

}  // namespace
