// The A-tSNE analysis on the GPU engine, in its hidden OpenGL context, with
// real shaders on the test display.
#include "TsneAnalysisTest.h"
#include "analysis/applicationSurfaceFormat.h"

#include <QGuiApplication>
#include <QOpenGLContext>
#include <QSurfaceFormat>

namespace {

class TsneAnalysisGpu : public TsneAnalysisTest {
protected:
    // What main() sets before any window exists.
    void SetUp() override {
        setApplicationSurfaceFormat();
        TsneAnalysisTest::SetUp();
    }
    static int windows() { return QGuiApplication::allWindows().size(); }
};

TEST_F(TsneAnalysisGpu, FiveBlobsSeparateAndTheContextIsNeverLeftCurrent) {
    loadBlobs(5, 2000, 10, 5, /*centreSpread=*/4.0);
    MCV_TsneAnalysis* a = makeAnalysis(320);  // the exaggeration schedule ends at 320
    a->setContinuousUpdates(false);
    a->setUseGPU(true);
    bool contextLeftCurrent = false;
    ui.onUpdated = [&](void*) { contextLeftCurrent |= QOpenGLContext::currentContext() != nullptr; };
    quietly([&] { a->computeTSNE(); });

    EXPECT_TRUE(a->gpuEngineActive());
    EXPECT_FALSE(contextLeftCurrent || QOpenGLContext::currentContext());
    std::vector<float> y;
    std::vector<int> labels;
    for (int f = 0; f < data->numFiles(); ++f)
        for (int e = 0; e < data->header(f)->numEvents(); ++e) {
            y.push_back(at(f, e, var("QLMRN_TsneX")));
            y.push_back(at(f, e, var("QLMRN_TsneY")));
            labels.push_back(static_cast<int>(at(f, e, var("label"))));
        }
    EXPECT_GE(veltest::nearestLabelAccuracy(y, labels), 0.98);
}

TEST_F(TsneAnalysisGpu, TheHiddenWindowIsMadeOnceAndOnlyForTheGpu) {
    loadBlobs(3, 40, 4, 2);
    const int before = windows();
    MCV_TsneAnalysis* a = makeAnalysis();
    quietly([&] { a->computeTSNE(); });
    EXPECT_EQ(windows(), before) << "a CPU run made a window";

    // GPU, restart, back to the CPU and again to the GPU: one window.
    for (bool gpu : {true, true, false, true}) {
        a->setUseGPU(gpu);
        quietly([&] { a->computeGradientDescent(); });
        EXPECT_EQ(a->gpuEngineActive(), gpu);
        EXPECT_EQ(windows(), before + 1);
    }
    analysis.reset();
    EXPECT_EQ(windows(), before);
}

TEST_F(TsneAnalysisGpu, WithoutAUsableContextTheGpuChoiceFallsBackToTheCpu) {
    // An OpenGL ES default format: the hidden context exists but cannot run
    // the engine's desktop GLSL 3.30, as on a machine without OpenGL 3.3.
    QSurfaceFormat unusable;
    unusable.setRenderableType(QSurfaceFormat::OpenGLES);
    unusable.setVersion(2, 0);
    QSurfaceFormat::setDefaultFormat(unusable);

    loadBlobs(3, 20, 4, 2);
    MCV_TsneAnalysis* a = makeAnalysis();
    a->setUseGPU(true);
    const std::string out = capturedStdout([&] { a->computeTSNE(); });
    EXPECT_NE(out.find("A-tSNE: the GPU is not available; A runs on the CPU.\n"), std::string::npos) << out;
    EXPECT_FALSE(a->gpuEngineActive());
    EXPECT_EQ(ui.count("analysisFinished"), 1);
    EXPECT_TRUE(allFinite(*a->output()));
    setApplicationSurfaceFormat();
}

}  // namespace
