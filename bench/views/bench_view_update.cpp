// The per-iteration cost a live embedding view adds to a running A-tSNE: the
// copy of the coordinates into the scatter plot, the repaint request and the
// event processing that draws the frame (the three calls the t-SNE view makes
// after every reported iteration), next to the CPU engine's own iteration
// time on the same number of points, measured in the same run. The goal: the
// view adds at most 10% to an iteration.
//
//   bench_view_update [--n N] [--neighbours K] [--iterations I] [--size S]
//
// The engine runs on a synthetic sparse joint distribution (K random
// neighbours per point, no kNN search), so the figure is the gradient descent
// alone. Run under a display (Xvfb with Mesa is fine).

#include <epoxy/gl.h>

#include "render/MCV_PointRenderer.h"
#include "ui/UI_ScatterplotWidget.h"
#include "vel/data/Embedding.h"
#include "vel/data/MapMemEff.h"
#include "vel/dr/SparseTSNEUserDefProbabilities.h"
#include "vel/utils/Timer.h"

#include <QApplication>
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
    int iterations = 10;
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
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    format.setVersion(4, 1);
    format.setProfile(QSurfaceFormat::CoreProfile);
    QSurfaceFormat::setDefaultFormat(format);
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
    vel::utils::Timer engineTimer;
    engineTimer.start();
    for (int i = 0; i < opt.iterations; ++i) engine.doAnIteration(1.0);
    engineTimer.stop();
    const double enginePerIteration = engineTimer.elapsedTime<std::milli>() / opt.iterations;

    // View: a shown plot fed with the embedding's coordinates.
    std::vector<float>& positions = embedding.getContainer();
    std::vector<float> markers(opt.n, 0.0f);
    UI_ScatterplotWidget plot(nullptr, nullptr);
    plot.resize(opt.size, opt.size);
    plot.show();
    QCoreApplication::processEvents();
    plot.grabFramebuffer();  // initialises GL and the renderer
    if (!plot.pointRenderer()) {
        std::fprintf(stderr, "no OpenGL renderer\n");
        return 1;
    }
    plot.makeCurrent();
    plot.pointRenderer()->setLocalData(&positions, &markers, static_cast<int>(opt.n), 1, nullptr, false);
    plot.doneCurrent();
    auto viewUpdate = [&]() {
        plot.copyLocalVertexData();
        plot.refresh();
        QCoreApplication::processEvents();
    };
    viewUpdate();
    vel::utils::Timer viewTimer;
    viewTimer.start();
    for (int i = 0; i < opt.iterations; ++i) {
        engine.doAnIteration(1.0);  // the coordinates change as in a run
        viewUpdate();
    }
    viewTimer.stop();
    const double withView = viewTimer.elapsedTime<std::milli>() / opt.iterations;
    // The parts: the copy alone, then the repaint with event processing.
    vel::utils::Timer copyTimer;
    copyTimer.start();
    for (int i = 0; i < opt.iterations; ++i) plot.copyLocalVertexData();
    copyTimer.stop();
    QCoreApplication::processEvents();
    vel::utils::Timer paintTimer;
    paintTimer.start();
    for (int i = 0; i < opt.iterations; ++i) {
        plot.refresh();
        QCoreApplication::processEvents();
    }
    paintTimer.stop();
    const double viewPerIteration = withView - enginePerIteration;

    std::printf("points                     %u\n", opt.n);
    std::printf("engine iteration (baseline) %10.2f ms\n", enginePerIteration);
    std::printf("engine + view update        %10.2f ms\n", withView);
    std::printf("view update                 %10.2f ms  (%.1f%% of an iteration; goal <= 10%%)\n", viewPerIteration,
                100.0 * viewPerIteration / enginePerIteration);
    std::printf("  of which copy             %10.2f ms\n", copyTimer.elapsedTime<std::milli>() / opt.iterations);
    std::printf("  of which repaint + events %10.2f ms\n", paintTimer.elapsedTime<std::milli>() / opt.iterations);
    return 0;
}
