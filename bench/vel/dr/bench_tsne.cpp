// t-SNE from a float matrix to a 2-D embedding, phase by phase, next to a
// baseline measured in the same run. CPU engine: the baseline is the same
// pipeline on one thread, and for N <= 10,000 the exact O(N^2) gradient per
// iteration. GPU engine (--engine gpu, in an OpenGL context of its own made
// through EGL, as the tests do): the baseline is the CPU Barnes-Hut engine on
// the same threads, and the OpenGL renderer is printed with every result.
//
//   bench_tsne [--n N]... [--engine cpu|gpu] [--threads T]
//              [--backend flann|hnsw|annoy] [--iterations I] [--perplexity P]
//              [--theta T] [--input FILE --dims D] [--output FILE] [--no-baseline]
//
// Without --input the data are a fixed mixture of 10 Gaussian clusters of
// different scales in 30 dimensions. --input reads N x D raw float32 values;
// --output writes the final embedding as N x 2 raw float32 values.

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

#include "vel/data/Embedding.h"
#include "vel/data/MapMemEff.h"
#include "tests/vel/HeadlessGLContext.h"
#include "vel/dr/GradientDescentTSNETexture.h"
#include "vel/dr/SparseTSNEUserDefProbabilities.h"
#include "vel/utils/HDJointProbabilityGenerator.h"
#include "vel/utils/KnnCodes.h"
#include "vel/utils/Timer.h"

namespace {

using Matrix = std::vector<vel::data::MapMemEff<unsigned int, float>>;
using Generator = vel::dr::HDJointProbabilityGenerator<float, Matrix>;
using Engine = vel::dr::SparseTSNEUserDefProbabilities<float, Matrix>;
using GpuEngine = vel::dr::GradientDescentTSNETexture;

struct Options {
    std::vector<unsigned int> sizes;
    int threads = omp_get_max_threads();
    int backend = vel::utils::KNN_FLANN;
    std::string backendName = "flann";
    unsigned int iterations = 1000;
    float perplexity = 30;
    double theta = 0.5;
    std::string input;
    unsigned int dims = 30;
    std::string output;
    bool baseline = true;
    bool gpu = false;
};

struct Figures {
    double knn = 0, calibration = 0, symmetrisation = 0, descent = 0, whole = 0;
    double jointPeakMB = 0, jointLimitMB = 0, peakRssMB = 0;
    double firstIterations = 0, lastIterations = 0;  // ms per iteration, first and last tenth
    double extent = 0;                               // largest side of the final embedding
    double kl = NAN, preservation = NAN;
    std::vector<float> embedding;
};

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

double exactKL(const Matrix& P, const std::vector<float>& y) {
    const std::size_t n = P.size();
    double sumP = 0;
    for (const auto& row : P)
        for (const auto& e : row) sumP += e.second;
    double Z = 0;
#pragma omp parallel for schedule(static) reduction(+ : Z)
    for (long long li = 0; li < static_cast<long long>(n); ++li) {
        const std::size_t i = static_cast<std::size_t>(li);
        for (std::size_t j = 0; j < n; ++j) {
            if (j == i) continue;
            const double dx = y[2 * i] - y[2 * j], dy = y[2 * i + 1] - y[2 * j + 1];
            Z += 1.0 / (1.0 + dx * dx + dy * dy);
        }
    }
    double kl = 0;
    for (std::size_t i = 0; i < n; ++i)
        for (const auto& e : P[i]) {
            if (e.second <= 0) continue;
            const std::size_t j = e.first;
            const double dx = y[2 * i] - y[2 * j], dy = y[2 * i + 1] - y[2 * j + 1];
            const double p = e.second / sumP;
            kl += p * std::log(p / (1.0 / (1.0 + dx * dx + dy * dy) / Z));
        }
    return kl;
}

// Mean share of the exact 10 nearest neighbours in the data that are also
// among the 10 nearest in the embedding, over a fixed sample of points.
double neighbourPreservation(const std::vector<float>& data, unsigned int dims, const std::vector<float>& y,
                             unsigned int n) {
    const unsigned int k = 10, samples = std::min(n, 1000u);
    std::mt19937 rng(7);
    std::uniform_int_distribution<unsigned int> pick(0, n - 1);
    std::vector<unsigned int> sample(samples);
    for (auto& s : sample) s = pick(rng);
    double total = 0;
#pragma omp parallel for schedule(static) reduction(+ : total)
    for (long long si = 0; si < static_cast<long long>(samples); ++si) {
        const unsigned int i = sample[si];
        std::vector<std::pair<double, unsigned int>> high(n), low(n);
        for (unsigned int j = 0; j < n; ++j) {
            double s = 0;
            for (unsigned int d = 0; d < dims; ++d) {
                const double diff = static_cast<double>(data[static_cast<std::size_t>(i) * dims + d]) -
                                    data[static_cast<std::size_t>(j) * dims + d];
                s += diff * diff;
            }
            const double dx = y[2 * i] - y[2 * j], dy = y[2 * i + 1] - y[2 * j + 1];
            high[j] = {j == i ? INFINITY : s, j};
            low[j] = {j == i ? INFINITY : dx * dx + dy * dy, j};
        }
        std::partial_sort(high.begin(), high.begin() + k, high.end());
        std::partial_sort(low.begin(), low.begin() + k, low.end());
        unsigned int common = 0;
        for (unsigned int a = 0; a < k; ++a)
            for (unsigned int b = 0; b < k; ++b) common += high[a].second == low[b].second;
        total += static_cast<double>(common) / k;
    }
    return total / samples;
}

// The gradient descent alone, with the time per iteration over the first and
// the last tenth of the run (the GPU's field grows with the embedding).
template <typename EngineType>
void descend(EngineType& engine, const Matrix& P, const Options& opt, Figures& f,
             vel::data::Embedding<float>& embedding) {
    vel::dr::TsneParameters tsne;
    tsne.seed = 1;
    const unsigned int tenth = std::max(1u, opt.iterations / 10);
    vel::utils::Timer descent, part;
    descent.start();
    engine.initialize(P, &embedding, tsne);
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

Figures runPipeline(const std::vector<float>& data, unsigned int n, unsigned int dims, const Options& opt, int threads,
                    bool quality, bool gpu) {
    omp_set_num_threads(threads);
    Figures f;
    vel::utils::Timer whole;
    whole.start();

    Generator generator;
    Generator::Parameters params;
    params.perplexity = opt.perplexity;
    params.knnLibrary = opt.backend;
    Matrix P;
    const long before = readStatusKB("VmRSS:");
    resetPeakRss();
    generator.computeJointProbabilityDistribution(const_cast<float*>(data.data()), dims, n, P, params);
    const long peak = readStatusKB("VmHWM:");
    const auto& s = generator.statistics();
    f.knn = s.treesConstructionTime + s.aknnTime;
    f.calibration = s.distributionsTime;
    f.symmetrisation = s.totalTime - f.knn - f.calibration;
    f.jointPeakMB = (peak - before) / 1024.0;
    const double k = Generator::neighbourCount(params, n);
    f.jointLimitMB = 2.0 * n * k * 8.0 / (1024.0 * 1024.0);

    vel::data::Embedding<float> embedding;
    Matrix joint;  // the engine's symmetrised matrix, for the divergence
    if (gpu) {
        GpuEngine engine;
        descend(engine, P, opt, f, embedding);
        engine.releaseOpenGLObjects();
        if (quality && n <= 10000) joint = engine.getDistributionP();
    } else {
        Engine engine;
        engine.setTheta(opt.theta);
        descend(engine, P, opt, f, embedding);
        if (quality && n <= 10000) joint = engine.getDistributionP();
    }
    whole.stop();
    f.whole = whole.elapsedTime();
    f.peakRssMB = readStatusKB("VmHWM:") / 1024.0;
    f.embedding = embedding.getContainer();
    std::vector<float> box;
    embedding.computeEmbeddingBBox(box);
    f.extent = std::max(box[1] - box[0], box[3] - box[2]);
    if (quality) {
        omp_set_num_threads(opt.threads);
        if (n <= 10000) f.kl = exactKL(joint, f.embedding);
        f.preservation = neighbourPreservation(data, dims, f.embedding, n);
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
    vel::dr::TsneParameters tsne;
    tsne.seed = 1;
    engine.initialize(P, &embedding, tsne);
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

void usage() {
    std::cerr << "usage: bench_tsne [--n N]... [--engine cpu|gpu] [--threads T] [--backend flann|hnsw|annoy]\n"
                 "                  [--iterations I] [--perplexity P] [--theta T] [--input FILE --dims D]\n"
                 "                  [--output FILE] [--no-baseline]\n";
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
        else if (arg == "--backend") {
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
        else if (arg == "--theta")
            opt.theta = std::stod(value());
        else if (arg == "--input")
            opt.input = value();
        else if (arg == "--dims")
            opt.dims = static_cast<unsigned int>(std::stoul(value()));
        else if (arg == "--output")
            opt.output = value();
        else if (arg == "--no-baseline")
            opt.baseline = false;
        else {
            usage();
            return 2;
        }
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
        std::printf("\nt-SNE  N=%u  D=%u  perplexity=%g  theta=%g  iterations=%u  back end=%s  threads=%d  engine=%s\n",
                    n, opt.dims, opt.perplexity, opt.theta, opt.iterations, opt.backendName.c_str(), opt.threads,
                    opt.gpu ? "gpu" : "cpu");
        if (opt.gpu) std::printf("  GL renderer: %s\n", renderer.c_str());
        const Figures run = runPipeline(data, n, opt.dims, opt, opt.threads, true, opt.gpu);
        Figures base;
        const bool withBaseline = opt.baseline && (opt.gpu || opt.threads != 1);
        if (withBaseline && opt.gpu) {
            std::printf("  (baseline: the same run with the CPU engine, theta %g, %d threads)\n", opt.theta,
                        opt.threads);
            base = runPipeline(data, n, opt.dims, opt, opt.threads, false, false);
        } else if (withBaseline) {
            std::printf("  (baseline: the same run on 1 thread)\n");
            base = runPipeline(data, n, opt.dims, opt, 1, false, false);
        }
        const double none = NAN;
        auto b = [&](double v) { return withBaseline ? v : none; };
        printRow("kNN", run.knn, b(base.knn), "s ");
        printRow("calibration", run.calibration, b(base.calibration), "s ");
        printRow("symmetrisation", run.symmetrisation, b(base.symmetrisation), "s ");
        printRow("gradient descent, total", run.descent, b(base.descent), "s ");
        printRow("gradient descent, per iteration", 1000.0 * run.descent / opt.iterations,
                 b(1000.0 * base.descent / opt.iterations), "ms");
        printRow("  first tenth, per iteration", run.firstIterations, b(base.firstIterations), "ms");
        printRow("  last tenth, per iteration", run.lastIterations, b(base.lastIterations), "ms");
        printRow("whole run", run.whole, b(base.whole), "s ");
        std::printf("  %-34s %12.1f MB   (limit 2 x N x K x 8 bytes = %.1f MB)\n", "joint probabilities, peak",
                    run.jointPeakMB, run.jointLimitMB);
        std::printf("  %-34s %12.1f MB\n", "peak resident memory", run.peakRssMB);
        std::printf("  %-34s %12.1f\n", "final embedding extent", run.extent);
        if (!std::isnan(run.kl)) std::printf("  %-34s %12.4f\n", "exact KL divergence", run.kl);
        std::printf("  %-34s %12.4f\n", "10-NN preservation", run.preservation);
        if (n <= 10000 && opt.baseline && !opt.gpu) {
            omp_set_num_threads(opt.threads);
            const double exact = exactGradientIteration(data, n, opt.dims, opt);
            printRow("exact gradient, per iteration", 1000.0 * exact, none, "ms");
            std::printf("  %-34s %12.2fx\n", "Barnes-Hut speed-up over exact", exact / (run.descent / opt.iterations));
        }
        if (!opt.output.empty()) {
            const std::string path = opt.sizes.size() > 1 ? opt.output + "." + std::to_string(n) : opt.output;
            std::ofstream out(path, std::ios::binary);
            out.write(reinterpret_cast<const char*>(run.embedding.data()),
                      static_cast<std::streamsize>(run.embedding.size() * sizeof(float)));
            std::printf("  embedding written to %s\n", path.c_str());
        }
    }
    return 0;
}
