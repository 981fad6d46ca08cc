// t-SNE from a float matrix to a 2-D embedding, phase by phase, next to a
// baseline measured in the same run. CPU engine: the baseline is the same
// pipeline on one thread, and for N <= 10,000 the exact O(N^2) gradient per
// iteration. GPU engine (--engine gpu, in an OpenGL context of its own made
// through EGL, as the tests do): the baseline is the CPU Barnes-Hut engine on
// the same threads, and the OpenGL renderer is printed with every result.
// When Rscript and the R package Rtsne are installed, Rtsne runs on the same
// input with the same perplexity, theta, iterations and threads as an outside
// yardstick (--no-rtsne skips it).
//
//   bench_tsne [--n N]... [--engine cpu|gpu] [--threads T] [--schedule plain|atsne|hsne]
//              [--backend flann|hnsw|annoy] [--iterations I] [--perplexity P]
//              [--theta T] [--input FILE --dims D] [--output FILE] [--no-baseline] [--no-rtsne]
//
// Schedules: plain is the engine's defaults (exaggeration 4 to iteration 250,
// ramp over 150) at --theta; atsne and hsne are the A-tSNE analysis's and an
// HSNE level's (exaggeration N / 5000 + 10, capped at 40 for a level; full to
// iteration 250 then a ramp over 70, or 125 and 50) with their theta, 0 up to
// 1000 points and then growing by 0.00005 per point to 0.5, unless --theta is
// given. An HSNE level here embeds the kNN joint probabilities of the points.
//
// Without --input the data are a fixed mixture of 10 Gaussian clusters of
// different scales in 30 dimensions. --input reads N x D raw float32 values;
// --output writes the final embedding as N x 2 raw float32 values.
//
// Verdicts (PASS/MISS) are printed for the targets that apply to a run: one
// thread against Rtsne's time, eight threads against one, the small
// embeddings' time, and the peak memory against the input and the joint
// probabilities before and after symmetrisation.

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_tsne_quality.h"
#include "bench_tsne_rtsne.h"
#include "tests/vel/HeadlessGLContext.h"
#include "vel/data/Embedding.h"
#include "vel/data/MapMemEff.h"
#include "vel/dr/GradientDescentTSNETexture.h"
#include "vel/dr/SparseTSNEUserDefProbabilities.h"
#include "vel/utils/HDJointProbabilityGenerator.h"
#include "vel/utils/KnnCodes.h"
#include "vel/utils/Timer.h"

namespace {

using benchtsne::Matrix;
using Generator = vel::dr::HDJointProbabilityGenerator<float, Matrix>;
using Engine = vel::dr::SparseTSNEUserDefProbabilities<float, Matrix>;
using GpuEngine = vel::dr::GradientDescentTSNETexture;

enum class Schedule { Plain, Atsne, Hsne };

struct Options {
    std::vector<unsigned int> sizes;
    int threads = omp_get_max_threads();
    int backend = vel::utils::KNN_FLANN;
    std::string backendName = "flann";
    unsigned int iterations = 1000;
    float perplexity = 30;
    double theta = 0.5;
    bool thetaGiven = false;
    Schedule schedule = Schedule::Plain;
    std::string input;
    unsigned int dims = 30;
    std::string output;
    bool baseline = true;
    bool rtsne = true;
    bool gpu = false;
};

struct Figures {
    double knn = 0, knnBuild = 0, calibration = 0, setup = 0, descent = 0, whole = 0;
    double jointPeakMB = 0, jointLimitMB = 0, peakRssMB = 0, startRssMB = 0;
    double conditionalMB = 0, jointMB = 0;           // the joint probabilities before and after symmetrisation
    double firstIterations = 0, lastIterations = 0;  // ms per iteration, first and last tenth
    double extent = 0;                               // largest side of the final embedding
    double kl = NAN, preservation = NAN;
    std::vector<float> embedding;
    Matrix joint;  // the engine's, kept for Rtsne's divergence
};

// The analyses' theta: exact up to 1000 points, then growing to 0.5 at 11,000.
double analysisTheta(unsigned int n) { return std::min(std::max((static_cast<double>(n) - 1000) * 0.00005, 0.0), 0.5); }

double thetaOf(const Options& opt, unsigned int n) {
    return opt.schedule == Schedule::Plain || opt.thetaGiven ? opt.theta : analysisTheta(n);
}

vel::dr::TsneParameters scheduleOf(const Options& opt, unsigned int n) {
    vel::dr::TsneParameters p;
    p.seed = 1;
    if (opt.schedule == Schedule::Atsne) {
        p.momentumSwitchIteration = 250;
        p.exaggerationFactor = static_cast<double>(n) / 5000.0 + 10.0;
        p.removeExaggerationIteration = 250;
        p.exaggerationDecayIterations = 70;
    } else if (opt.schedule == Schedule::Hsne) {
        p.momentumSwitchIteration = 125;
        p.exaggerationFactor = std::min(static_cast<double>(n) / 5000.0 + 10.0, 40.0);
        p.removeExaggerationIteration = 125;
        p.exaggerationDecayIterations = 50;
    }
    return p;
}

const char* scheduleName(Schedule s) {
    return s == Schedule::Atsne  ? "atsne (the A-tSNE analysis)"
           : s == Schedule::Hsne ? "hsne (an HSNE level)"
                                 : "plain";
}

long readStatusKB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(key);
    while (std::getline(status, line))
        if (line.compare(0, n, key) == 0) return std::atol(line.c_str() + n + 1);
    return -1;
}

// Lets VmHWM restart from the current resident size.
void resetPeakRss() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

double loadAverage() {
    std::ifstream file("/proc/loadavg");
    double one = NAN;
    file >> one;
    return one;
}

std::vector<float> syntheticData(unsigned int n, unsigned int dims) {
    std::mt19937 rng(20240611);
    std::normal_distribution<float> normal(0.f, 1.f);
    const unsigned int clusters = 10;
    std::vector<float> centres(clusters * dims), scales(clusters);
    for (auto& c : centres) c = normal(rng) * 6.f;
    for (unsigned int c = 0; c < clusters; ++c) scales[c] = 0.3f + 0.35f * static_cast<float>(c);  // 0.3 .. 3.45
    std::discrete_distribution<unsigned int> pick({1, 2, 3, 4, 5, 5, 4, 3, 2, 1});
    std::vector<float> data(static_cast<std::size_t>(n) * dims);
    for (unsigned int i = 0; i < n; ++i) {
        const unsigned int c = pick(rng);
        for (unsigned int d = 0; d < dims; ++d)
            data[static_cast<std::size_t>(i) * dims + d] = centres[c * dims + d] + scales[c] * normal(rng);
    }
    return data;
}

// Engine set-up and the gradient descent, timed apart, with the time per
// iteration over the first and the last tenth of the run (the GPU's field
// grows with the embedding).
template <typename EngineType>
void descend(EngineType& engine, const Matrix& P, const Options& opt, Figures& f,
             vel::data::Embedding<float>& embedding, unsigned int n) {
    const vel::dr::TsneParameters tsne = scheduleOf(opt, n);
    const unsigned int tenth = std::max(1u, opt.iterations / 10);
    vel::utils::Timer setup, descent, part;
    setup.start();
    engine.initialize(P, &embedding, tsne);
    setup.stop();
    f.setup = setup.elapsedTime();
    descent.start();
    for (unsigned int i = 0; i < opt.iterations; ++i) {
        if (i == 0 || i == opt.iterations - tenth) part.start();
        engine.doAnIteration();
        if (i + 1 == tenth || i + 1 == opt.iterations) {
            part.stop();
            (i + 1 == tenth ? f.firstIterations : f.lastIterations) = part.elapsedTime<std::milli>() / tenth;
        }
    }
    descent.stop();
    f.descent = descent.elapsedTime();
}

// Largest N for the exact divergence, an O(N^2) sum.
constexpr unsigned int kExactKLPoints = 70000;

Figures runPipeline(const std::vector<float>& data, unsigned int n, unsigned int dims, const Options& opt, int threads,
                    bool quality, bool gpu) {
    omp_set_num_threads(threads);
    Figures f;
    f.startRssMB = readStatusKB("VmRSS:") / 1024.0;
    resetPeakRss();
    vel::utils::Timer whole;
    whole.start();

    Generator generator;
    Generator::Parameters params;
    params.perplexity = opt.perplexity;
    params.knnLibrary = opt.backend;
    Matrix P;
    const long before = readStatusKB("VmRSS:");
    // As the analyses do: the conditional rows, which the engine symmetrises.
    generator.computeProbabilityDistributions(const_cast<float*>(data.data()), dims, n, P, params);
    const long peak = readStatusKB("VmHWM:");
    const auto& s = generator.statistics();
    f.knn = s.treesConstructionTime + s.aknnTime;
    f.knnBuild = s.treesConstructionTime;
    f.calibration = s.distributionsTime;
    f.jointPeakMB = (peak - before) / 1024.0;
    const double k = Generator::neighbourCount(params, n);
    f.jointLimitMB = 2.0 * n * k * 8.0 / (1024.0 * 1024.0);
    const double entryBytes = sizeof(Matrix::value_type::value_type);
    std::size_t entries = 0;
    for (const auto& row : P) entries += row.size();
    f.conditionalMB = static_cast<double>(entries) * entryBytes / (1024.0 * 1024.0);

    vel::data::Embedding<float> embedding;
    // Outside the timed part: the figures of the run, then the quality on the
    // engine's joint matrix while it exists.
    auto finish = [&](const Matrix& joint) {
        whole.stop();
        f.whole = whole.elapsedTime();
        f.peakRssMB = readStatusKB("VmHWM:") / 1024.0;
        std::size_t jointEntries = 0;
        for (const auto& row : joint) jointEntries += row.size();
        f.jointMB = static_cast<double>(jointEntries) * entryBytes / (1024.0 * 1024.0);
        f.embedding = embedding.getContainer();
        std::vector<float> box;
        embedding.computeEmbeddingBBox(box);
        f.extent = std::max(box[1] - box[0], box[3] - box[2]);
        if (!quality) return;
        omp_set_num_threads(opt.threads);
        if (n <= kExactKLPoints) {
            f.kl = benchtsne::exactKL(joint, f.embedding);
            if (opt.rtsne) f.joint = joint;  // for the yardstick's divergence on the same P
        }
        f.preservation = benchtsne::neighbourPreservation(data, dims, f.embedding, n);
    };
    if (gpu) {
        GpuEngine engine;
        descend(engine, P, opt, f, embedding, n);
        finish(engine.getDistributionP());
        engine.releaseOpenGLObjects();
    } else {
        Engine engine;
        engine.setTheta(thetaOf(opt, n));
        descend(engine, P, opt, f, embedding, n);
        finish(engine.getDistributionP());
    }
    return f;
}

// Exact-gradient iterations on the same matrix, per iteration in seconds.
double exactGradientIteration(const std::vector<float>& data, unsigned int n, unsigned int dims, const Options& opt) {
    Generator generator;
    Generator::Parameters params;
    params.perplexity = opt.perplexity;
    params.knnLibrary = opt.backend;
    Matrix P;
    generator.computeJointProbabilityDistribution(const_cast<float*>(data.data()), dims, n, P, params);
    Engine engine;
    engine.setTheta(0.0);
    vel::data::Embedding<float> embedding;
    engine.initialize(P, &embedding, scheduleOf(opt, n));
    engine.doAnIteration();  // sizes Q
    const unsigned int runs = 10;
    vel::utils::Timer t;
    t.start();
    for (unsigned int i = 0; i < runs; ++i) engine.doAnIteration();
    t.stop();
    return t.elapsedTime() / runs;
}

void printRow(const char* name, double run, double base, const char* unit) {
    if (std::isnan(base))
        std::printf("  %-34s %12.3f %s\n", name, run, unit);
    else
        std::printf("  %-34s %12.3f %s   baseline %12.3f %s   speed-up %6.2fx\n", name, run, unit, base, unit,
                    run > 0 ? base / run : NAN);
}

void verdict(const char* target, bool pass, const std::string& detail) {
    std::printf("  target: %-58s %s   (%s)\n", target, pass ? "PASS" : "MISS", detail.c_str());
}

std::string format(const char* pattern, double a, double b = 0, double c = 0) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, pattern, a, b, c);
    return buffer;
}

void usage() {
    std::cerr << "usage: bench_tsne [--n N]... [--engine cpu|gpu] [--threads T] [--schedule plain|atsne|hsne]\n"
                 "                  [--backend flann|hnsw|annoy] [--iterations I] [--perplexity P] [--theta T]\n"
                 "                  [--input FILE --dims D] [--output FILE] [--no-baseline] [--no-rtsne]\n";
}

void report(const std::vector<float>& data, unsigned int n, const Options& opt, const std::string& renderer) {
    const char* wait = std::getenv("OMP_WAIT_POLICY");
    const double theta = opt.gpu ? 0.0 : thetaOf(opt, n);
    const vel::dr::TsneParameters schedule = scheduleOf(opt, n);
    std::printf("\nt-SNE  N=%u  D=%u  perplexity=%g  theta=%g  iterations=%u  back end=%s  threads=%d  engine=%s\n", n,
                opt.dims, opt.perplexity, theta, opt.iterations, opt.backendName.c_str(), opt.threads,
                opt.gpu ? "gpu" : "cpu");
    std::printf("  schedule %s: exaggeration %g to iteration %u, ramp over %u, momentum %g then %g from %g\n",
                scheduleName(opt.schedule), schedule.exaggerationFactor, schedule.removeExaggerationIteration,
                schedule.exaggerationDecayIterations, schedule.momentum, schedule.finalMomentum,
                schedule.momentumSwitchIteration);
    std::printf("  OMP_WAIT_POLICY=%s   load average (1 min) %.2f at the start\n",
                wait ? wait : "unset (the runtime spins a while before sleeping)", loadAverage());
    if (opt.gpu) std::printf("  GL renderer: %s\n", renderer.c_str());
    const Figures run = runPipeline(data, n, opt.dims, opt, opt.threads, true, opt.gpu);
    Figures base;
    const bool withBaseline = opt.baseline && (opt.gpu || opt.threads != 1);
    if (withBaseline && opt.gpu) {
        std::printf("  (baseline: the same run with the CPU engine, theta %g, %d threads)\n", theta, opt.threads);
        base = runPipeline(data, n, opt.dims, opt, opt.threads, false, false);
    } else if (withBaseline) {
        std::printf("  (baseline: the same run on 1 thread)\n");
        base = runPipeline(data, n, opt.dims, opt, 1, false, false);
    }
    const double none = NAN;
    auto b = [&](double v) { return withBaseline ? v : none; };
    printRow("kNN", run.knn, b(base.knn), "s ");
    printRow("  index build", run.knnBuild, b(base.knnBuild), "s ");
    printRow("calibration", run.calibration, b(base.calibration), "s ");
    printRow("engine set-up (symmetrisation)", run.setup, b(base.setup), "s ");
    printRow("gradient descent, total", run.descent, b(base.descent), "s ");
    printRow("gradient descent, per iteration", 1000.0 * run.descent / opt.iterations,
             b(1000.0 * base.descent / opt.iterations), "ms");
    printRow("  first tenth, per iteration", run.firstIterations, b(base.firstIterations), "ms");
    printRow("  last tenth, per iteration", run.lastIterations, b(base.lastIterations), "ms");
    printRow("whole run", run.whole, b(base.whole), "s ");
    const double dataMB = static_cast<double>(data.size()) * sizeof(float) / (1024.0 * 1024.0);
    const double memoryLimit = 1.2 * (dataMB + run.conditionalMB + run.jointMB);
    std::printf("  %-34s %12.1f MB   (limit 2 x N x K x 8 bytes = %.1f MB)\n", "conditional probabilities, peak",
                run.jointPeakMB, run.jointLimitMB);
    std::printf("  %-34s %12.1f MB   (data %.1f MB, joint before %.1f MB and after symmetrisation %.1f MB)\n",
                "peak resident memory", run.peakRssMB, dataMB, run.conditionalMB, run.jointMB);
    std::printf("  %-34s %12.1f\n", "final embedding extent", run.extent);
    if (!std::isnan(run.kl)) std::printf("  %-34s %12.4f\n", "exact KL divergence", run.kl);
    std::printf("  %-34s %12.4f\n", "10-NN preservation", run.preservation);
    std::printf("  load average (1 min) %.2f at the end\n", loadAverage());

    if (n <= 10000 && opt.baseline && !opt.gpu) {
        omp_set_num_threads(opt.threads);
        const double exact = exactGradientIteration(data, n, opt.dims, opt);
        printRow("exact gradient, per iteration", 1000.0 * exact, none, "ms");
        std::printf("  %-34s %12.2fx\n", "Barnes-Hut speed-up over exact", exact / (run.descent / opt.iterations));
    }

    benchtsne::RtsneRun rtsne;
    if (opt.rtsne && !opt.gpu) {
        rtsne = benchtsne::runRtsne(data, n, opt.dims, opt.perplexity, theta, opt.iterations, opt.threads);
        if (!rtsne.ran) {
            std::printf("  Rtsne: not run, %s\n", rtsne.why.c_str());
        } else {
            std::printf("  Rtsne %s (same input, perplexity, theta, iterations, %d threads; its own schedule)\n",
                        rtsne.version.c_str(), opt.threads);
            std::printf("  %-34s %12.3f s    (Rscript process %.3f s)   ours / Rtsne %.3f\n", "Rtsne wall time",
                        rtsne.seconds, rtsne.processSeconds, run.whole / rtsne.seconds);
            omp_set_num_threads(opt.threads);
            if (n <= kExactKLPoints)
                std::printf("  %-34s %12.4f   (ours %.4f)\n", "Rtsne exact KL on our P",
                            benchtsne::exactKL(run.joint, rtsne.embedding), run.kl);
            std::printf("  %-34s %12.4f   (ours %.4f)\n", "Rtsne 10-NN preservation",
                        benchtsne::neighbourPreservation(data, opt.dims, rtsne.embedding, n), run.preservation);
        }
    }

    if (!opt.gpu) {
        if (opt.threads == 1 && rtsne.ran && (n == 10000 || n >= 70000)) {
            const double limit = n >= 70000 ? 0.5 : 0.6;
            verdict(n >= 70000 ? "1 thread: whole run <= 0.5 x Rtsne's" : "1 thread: whole run <= 0.6 x Rtsne's",
                    run.whole <= limit * rtsne.seconds, format("%.2f s vs %.2f s", run.whole, limit * rtsne.seconds));
        }
        if (opt.threads >= 8 && withBaseline && n >= 70000)
            verdict("8 threads: whole run >= 6 x faster than on 1 thread", base.whole >= 6.0 * run.whole,
                    format("%.2fx", base.whole / run.whole));
        if (n >= 2000 && n <= 5000 && opt.schedule != Schedule::Plain) {
            if (opt.threads >= 8 && opt.iterations == 1000)
                verdict("small: 1000 iterations in <= 2 s on 8 threads", run.descent <= 2.0,
                        format("%.2f s", run.descent));
            if (withBaseline)
                verdict("small: never slower than on 1 thread", run.descent <= base.descent,
                        format("%.2f s vs %.2f s on 1 thread", run.descent, base.descent));
        }
        // Below this size the libraries' own resident memory dominates.
        if (n >= 100000)
            verdict("peak memory <= 1.2 x (data + joint before + after)", run.peakRssMB <= memoryLimit,
                    format("%.1f MB vs %.1f MB", run.peakRssMB, memoryLimit));
    }

    if (!opt.output.empty()) {
        const std::string path = opt.sizes.size() > 1 ? opt.output + "." + std::to_string(n) : opt.output;
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(run.embedding.data()),
                  static_cast<std::streamsize>(run.embedding.size() * sizeof(float)));
        std::printf("  embedding written to %s\n", path.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        auto value = [&]() -> std::string {
            if (a + 1 >= argc) {
                usage();
                std::exit(2);
            }
            return argv[++a];
        };
        if (arg == "--n")
            opt.sizes.push_back(static_cast<unsigned int>(std::stoul(value())));
        else if (arg == "--engine") {
            const std::string engine = value();
            if (engine != "cpu" && engine != "gpu") {
                usage();
                return 2;
            }
            opt.gpu = engine == "gpu";
        } else if (arg == "--threads")
            opt.threads = std::stoi(value());
        else if (arg == "--schedule") {
            const std::string schedule = value();
            if (schedule == "plain")
                opt.schedule = Schedule::Plain;
            else if (schedule == "atsne")
                opt.schedule = Schedule::Atsne;
            else if (schedule == "hsne")
                opt.schedule = Schedule::Hsne;
            else {
                usage();
                return 2;
            }
        } else if (arg == "--backend") {
            opt.backendName = value();
            if (opt.backendName == "flann")
                opt.backend = vel::utils::KNN_FLANN;
            else if (opt.backendName == "hnsw")
                opt.backend = vel::utils::KNN_HNSW;
            else if (opt.backendName == "annoy")
                opt.backend = vel::utils::KNN_ANNOY;
            else {
                usage();
                return 2;
            }
        } else if (arg == "--iterations")
            opt.iterations = static_cast<unsigned int>(std::stoul(value()));
        else if (arg == "--perplexity")
            opt.perplexity = std::stof(value());
        else if (arg == "--theta") {
            opt.theta = std::stod(value());
            opt.thetaGiven = true;
        } else if (arg == "--input")
            opt.input = value();
        else if (arg == "--dims")
            opt.dims = static_cast<unsigned int>(std::stoul(value()));
        else if (arg == "--output")
            opt.output = value();
        else if (arg == "--no-baseline")
            opt.baseline = false;
        else if (arg == "--no-rtsne")
            opt.rtsne = false;
        else {
            usage();
            return 2;
        }
    }
    if (opt.threads < 1 || opt.iterations < 1) {
        usage();
        return 2;
    }

    std::vector<float> input;
    if (!opt.input.empty()) {
        std::ifstream file(opt.input, std::ios::binary | std::ios::ate);
        if (!file) {
            std::cerr << "cannot read " << opt.input << "\n";
            return 1;
        }
        const std::streamsize bytes = file.tellg();
        if (bytes % static_cast<std::streamsize>(sizeof(float) * opt.dims) != 0) {
            std::cerr << opt.input << " does not hold whole rows of " << opt.dims << " floats\n";
            return 1;
        }
        input.resize(static_cast<std::size_t>(bytes) / sizeof(float));
        file.seekg(0);
        file.read(reinterpret_cast<char*>(input.data()), bytes);
        opt.sizes = {static_cast<unsigned int>(input.size() / opt.dims)};
    } else if (opt.sizes.empty()) {
        opt.sizes = {10000, 70000};
    }

    std::unique_ptr<veltest::HeadlessGLContext> gl;
    std::string renderer;
    if (opt.gpu) {
        gl = std::make_unique<veltest::HeadlessGLContext>();
        if (!gl->valid()) {
            std::cerr << "no OpenGL context: " << gl->error() << "\n";
            return 1;
        }
        renderer = veltest::HeadlessGLContext::renderer();
    }

    for (const unsigned int n : opt.sizes) {
        const std::vector<float> data = input.empty() ? syntheticData(n, opt.dims) : input;
        report(data, n, opt, renderer);
    }
    return 0;
}
