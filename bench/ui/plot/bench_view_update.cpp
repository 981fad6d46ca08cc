// The per-iteration cost a live embedding view adds to a running A-tSNE: the
// t-SNE view's own handler of a reported iteration (the note to the scatter
// plot that the coordinates changed, the paced repaint request and the event
// processing that draws the frame, which takes the coordinates), next to the
// CPU engine's own iteration time on the same number of points, measured in
// the same run. The goal: the view adds at most 10% to an iteration. The cost
// of one unpaced frame with new coordinates is printed too.
//
//   bench_view_update [--n N] [--neighbours K] [--iterations I] [--size S]
//
// I iterations run without the view, I with it and I without it again.
//
// The engine runs on a synthetic sparse joint distribution (K random
// neighbours per point, no kNN search), so the figure is the gradient descent
// alone. Run under a display (Xvfb with Mesa is fine).

#include <epoxy/gl.h>

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "analysis/applicationSurfaceFormat.h"
#include "render/MCV_PointRenderer.h"
#include "ui/plot/UI_ScatterplotWidget.h"
#include "ui/tsne/UI_TsneWidget.h"
#include "vel/data/Embedding.h"
#include "vel/data/MapMemEff.h"
#include "vel/dr/SparseTSNEUserDefProbabilities.h"
#include "vel/utils/Timer.h"

#include <QApplication>

#include <algorithm>
#include <QSurfaceFormat>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <ratio>
#include <string>
#include <vector>

namespace {

using Matrix = std::vector<vel::data::MapMemEff<unsigned int, float>>;

struct Options {
    unsigned n = 1000000;
    unsigned neighbours = 20;
    int iterations = 40;
    int size = 800;
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const long value = std::strtol(argv[i + 1], nullptr, 10);
        if (value <= 0) continue;
        if (key == "--n") o.n = static_cast<unsigned>(value);
        if (key == "--neighbours") o.neighbours = static_cast<unsigned>(value);
        if (key == "--iterations") o.iterations = static_cast<int>(value);
        if (key == "--size") o.size = static_cast<int>(value);
    }
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const Options opt = parse(argc, argv);
    setApplicationSurfaceFormat();
    QApplication app(argc, argv);

    // Engine: K random neighbours per point, each row summing to 1.
    std::printf("building a synthetic distribution over %u points ...\n", opt.n);
    std::mt19937 random(1);
    std::uniform_int_distribution<unsigned> pick(0, opt.n - 1);
    Matrix P(opt.n);
    for (unsigned i = 0; i < opt.n; ++i)
        for (unsigned k = 0; k < opt.neighbours; ++k) {
            unsigned j = pick(random);
            if (j == i) j = (j + 1) % opt.n;
            P[i][j] = 1.0f / static_cast<float>(opt.neighbours);
        }
    vel::dr::TsneParameters params;
    params.seed = 1;
    vel::dr::SparseTSNEUserDefProbabilities<float, Matrix> engine;
    engine.setTheta(0.5);
    vel::data::Embedding<float> embedding;
    engine.initialize(P, &embedding, params);
    engine.doAnIteration(1.0);  // first iteration sets things up

    // View: a shown t-SNE view whose plot is fed with the engine's
    // coordinates (the analysis object only identifies the reports).
    std::vector<float>& positions = embedding.getContainer();
    std::vector<float> markers(opt.n, 0.0f);
    MCV_TsneAnalysis analysis;
    UI_TsneWidget tsneView(nullptr, &analysis);
    tsneView.resize(opt.size, opt.size);
    tsneView.show();
    QCoreApplication::processEvents();
    UI_ScatterplotWidget& plot = *tsneView.plot();
    plot.grabFramebuffer();  // initialises GL and the renderer
    if (!plot.pointRenderer()) {
        std::fprintf(stderr, "no OpenGL renderer\n");
        return 1;
    }
    plot.makeCurrent();
    plot.pointRenderer()->setLocalData(&positions, &markers, static_cast<int>(opt.n), 1, nullptr, false);
    plot.doneCurrent();
    int framesDrawn = 0;
    QObject::connect(&plot, &QOpenGLWidget::frameSwapped, [&framesDrawn]() { ++framesDrawn; });
    tsneView.computationUpdated(&analysis);
    framesDrawn = 0;

    // The run with the view is bracketed by two runs without it, whose mean
    // is the baseline, so that drift (the embedding's own pace, other load
    // on the machine) falls on both alike. The time spent inside the view's
    // handler is summed too. Runs of the view alternate with nothing else, as
    // in a real run, so its pacing sees the real share of its time.
    auto engineRun = [&]() {
        vel::utils::Timer timer;
        timer.start();
        for (int i = 0; i < opt.iterations; ++i) engine.doAnIteration(1.0);
        timer.stop();
        return timer.elapsedTime<std::milli>();
    };
    double engineOnly = engineRun();
    double inHandler = 0.0;
    vel::utils::Timer viewTimer;
    viewTimer.start();
    for (int i = 0; i < opt.iterations; ++i) {
        engine.doAnIteration(1.0);  // the coordinates change as in a run
        vel::utils::Timer handler;
        handler.start();
        tsneView.computationUpdated(&analysis);
        handler.stop();
        inHandler += handler.elapsedTime<std::milli>();
    }
    viewTimer.stop();
    const double withView = viewTimer.elapsedTime<std::milli>();
    const int viewIterations = opt.iterations;
    engineOnly = (engineOnly + engineRun()) / 2.0;
    const int pacedFrames = framesDrawn;
    const double enginePerIteration = engineOnly / opt.iterations;
    const double withViewPerIteration = withView / viewIterations;
    const double handlerPerIteration = inHandler / viewIterations;
    // The parts: an update without a frame alone (the renderer takes the
    // coordinates at its next frame), then an unpaced repaint that takes new
    // coordinates, with event processing.
    vel::utils::Timer copyTimer;
    copyTimer.start();
    for (int i = 0; i < opt.iterations; ++i) plot.copyLocalVertexData();
    copyTimer.stop();
    QCoreApplication::processEvents();
    const int frames = std::min(opt.iterations, 5);
    vel::utils::Timer paintTimer;
    paintTimer.start();
    for (int i = 0; i < frames; ++i) {
        plot.copyLocalVertexData();
        plot.refresh();
        QCoreApplication::processEvents();
    }
    paintTimer.stop();
    const double viewPerIteration = withViewPerIteration - enginePerIteration;

    std::printf("points                      %u\n", opt.n);
    std::printf("engine iteration (baseline) %10.2f ms\n", enginePerIteration);
    std::printf("engine + view update        %10.2f ms\n", withViewPerIteration);
    std::printf("view update (difference)    %10.2f ms  (%.1f%% of an iteration; goal <= 10%%)\n", viewPerIteration,
                100.0 * viewPerIteration / enginePerIteration);
    std::printf("view update (in the view)   %10.2f ms  (%.1f%% of an iteration)\n", handlerPerIteration,
                100.0 * handlerPerIteration / enginePerIteration);
    std::printf("frames drawn                %10d of %d iterations\n", pacedFrames, viewIterations);
    std::printf("update without a frame      %10.4f ms\n", copyTimer.elapsedTime<std::milli>() / opt.iterations);
    std::printf("one unpaced repaint taking new coordinates + events %9.2f ms\n",
                paintTimer.elapsedTime<std::milli>() / frames);
    return 0;
}
