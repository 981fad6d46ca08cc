// The measurements of bench_hsne, each in a child process of its own.

#include "bench/vel/dr/bench_hsne_runs.h"

#include <omp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>
#include <type_traits>

#include "vel/data/Embedding.h"
#include "vel/data/MapMemEff.h"
#include "vel/dr/HierarchicalSNE.h"
#include "vel/dr/HierarchyIO.h"
#include "vel/dr/SparseTSNEUserDefProbabilities.h"
#include "vel/utils/AbstractLog.h"
#include "vel/utils/HDJointProbabilityGenerator.h"
#include "vel/utils/Timer.h"

namespace hsnebench {

namespace {

using Matrix = std::vector<vel::data::MapMemEff<unsigned int, float>>;
using Hsne = vel::dr::HierarchicalSNE<float, Matrix>;
using Generator = vel::dr::HDJointProbabilityGenerator<float, Matrix>;
using Engine = vel::dr::SparseTSNEUserDefProbabilities<float, Matrix>;

// ---- memory -------------------------------------------------------------------

double statusMB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(key);
    while (std::getline(status, line))
        if (line.compare(0, n, key) == 0) return std::atol(line.c_str() + n) / 1024.0;
    return -1;
}

// User and system seconds of all threads of this process so far.
double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Restarts VmHWM from the current resident size; false when the kernel refuses,
// in which case every peak below is the running peak of the process.
bool resetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.close();
    return static_cast<bool>(clear);
}

enum PhaseId { kKnn, kCalibration, kScale0, kSelection, kInfluence, kTransition, kEnd, kNone };

// Closes a phase and opens the next at the hierarchy's own log lines, so that a
// phase's time and peak come from the construction itself.
class PhaseLog : public vel::utils::AbstractLog {
public:
    explicit PhaseLog(BuildResult& r) : _r(r) {}
    void clear() override {}
    void display(const std::string& text, bool) override {
        PhaseId next = kNone;
        if (text == "Computing approximated knn with Annoy..." || text == "Computing the neighborhood graph..." ||
            text == "Computing the neighborhood graph with HNSW Lib...")
            next = kKnn;
        else if (text == "\tFMC computation...")
            next = kCalibration;
        else if (text == "Creating transition matrix...")
            next = kScale0;
        else if (text == "Add a new scale ..." || text == "Add a new scale with out-of-core implementation ...")
            next = kSelection;
        else if (text == "\tComputing area of influence...")
            next = kInfluence;
        else if (text == "\tInverting the AoI matrix..." ||
                 (text == "\tComputing finite markov chain..." && _current != kTransition))
            next = kTransition;
        else if (text == "Initialization complete!" || text.rfind("\n--------------- Hierarchical-SNE", 0) == 0)
            next = kEnd;
        if (next == kNone || (next == kEnd && _current == kNone)) return;
        if (_current != kNone) {
            _timer.stop();
            Phase& p = _current <= kScale0 ? _r.init[_current] : _r.scale[_scale].phase[_current - kSelection];
            p.seconds = _timer.elapsedTime();
            p.cpuSeconds = cpuSeconds() - _cpuStart;
            p.peakMB = statusMB("VmHWM:");
            _r.buildPeakMB = std::max(_r.buildPeakMB, p.peakMB);
        }
        if (next == kSelection) ++_scale;
        _current = next == kEnd ? kNone : next;
        if (_current != kNone) {
            resetPeak();
            _cpuStart = cpuSeconds();
            _timer.start();
        }
    }

private:
    BuildResult& _r;
    PhaseId _current = kNone;
    unsigned int _scale = 0;
    vel::utils::Timer _timer;
    double _cpuStart = 0;
};

// Runs work(result) in a child process; its peak memory is then its own.
template <typename Result, typename Work>
Result inChild(Work work) {
    static_assert(std::is_trivially_copyable<Result>::value, "results cross a pipe as bytes");
    Result result;
    std::fflush(stdout);
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        close(fds[0]);
        try {
            work(result);
            result.ok = true;
        } catch (const std::exception& e) {
            std::snprintf(result.error, sizeof result.error, "%s", e.what());
        }
        const char* bytes = reinterpret_cast<const char*>(&result);
        for (std::size_t done = 0; done < sizeof result;) {
            const ssize_t w = write(fds[1], bytes + done, sizeof result - done);
            if (w <= 0) break;
            done += static_cast<std::size_t>(w);
        }
        _exit(0);
    }
    close(fds[1]);
    char* bytes = reinterpret_cast<char*>(&result);
    std::size_t done = 0;
    while (done < sizeof result) {
        const ssize_t r = read(fds[0], bytes + done, sizeof result - done);
        if (r <= 0) break;
        done += static_cast<std::size_t>(r);
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (done != sizeof result) {
        result = Result();
        if (WIFSIGNALED(status))
            std::snprintf(result.error, sizeof result.error, "the measuring process was killed by signal %d%s",
                          WTERMSIG(status), WTERMSIG(status) == SIGKILL ? " (out of memory?)" : "");
        else
            std::snprintf(result.error, sizeof result.error, "the measuring process ended early (status %d)",
                          WEXITSTATUS(status));
    }
    return result;
}

// ---- hashing and quality ------------------------------------------------------

struct Fnv {
    std::uint64_t h = 1469598103934665603ULL;
    void add(const void* p, std::size_t n) {
        const unsigned char* b = static_cast<const unsigned char*>(p);
        for (std::size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ULL;
    }
    template <typename T>
    void vec(const std::vector<T>& v) {
        const std::uint64_t n = v.size();
        add(&n, sizeof n);
        add(v.data(), v.size() * sizeof(T));
    }
    void rows(const Matrix& m) {
        const std::uint64_t n = m.size();
        add(&n, sizeof n);
        for (const auto& row : m) {
            const std::uint64_t size = row.size();
            add(&size, sizeof size);
            for (const auto& e : row) {
                add(&e.first, sizeof e.first);
                add(&e.second, sizeof e.second);
            }
        }
    }
};

void hashScale(const Hsne::Scale& s, std::uint64_t hash[3]) {
    Fnv landmarks, influence, transition;
    landmarks.vec(s.landmarkToOriginalIdx);
    landmarks.vec(s.landmarkToPreviousScaleIdx);
    landmarks.vec(s.previousScaleToLandmarkIdx);
    influence.rows(s.areaOfInfluence);
    influence.vec(s.landmarkWeight);
    transition.rows(s.transitionMatrix);
    hash[0] = landmarks.h;
    hash[1] = influence.h;
    hash[2] = transition.h;
}

// Share of points whose 10 nearest others in the 2-D embedding mostly carry its
// label (ties go to the label reached first).
double tenNearestAccuracy(const std::vector<float>& y, const std::vector<int>& labels) {
    const long long n = static_cast<long long>(labels.size());
    const unsigned int k = static_cast<unsigned int>(std::min<long long>(10, n - 1));
    long long correct = 0;
#pragma omp parallel for schedule(static) reduction(+ : correct)
    for (long long i = 0; i < n; ++i) {
        std::vector<std::pair<float, int>> d;
        d.reserve(static_cast<std::size_t>(n));
        for (long long j = 0; j < n; ++j) {
            if (j == i) continue;
            const float dx = y[2 * i] - y[2 * j], dy = y[2 * i + 1] - y[2 * j + 1];
            d.emplace_back(dx * dx + dy * dy, labels[j]);
        }
        std::partial_sort(d.begin(), d.begin() + k, d.end());
        unsigned int votes[kClusters] = {};
        int best = -1;
        for (unsigned int a = 0; a < k; ++a)
            if (++votes[d[a].second] > (best < 0 ? 0u : votes[best])) best = d[a].second;
        correct += best == labels[i];
    }
    return n > 0 ? static_cast<double>(correct) / static_cast<double>(n) : 0;
}

// 1,000 iterations of the CPU engine; its wall time.
double descend(const Matrix& P, vel::dr::TsneParameters params, double theta, std::vector<float>& y) {
    vel::utils::Timer t;
    t.start();
    Engine engine;
    engine.setTheta(theta);
    vel::data::Embedding<float> embedding;
    engine.initialize(P, &embedding, params);
    for (unsigned int i = 0; i < kIterations; ++i) engine.doAnIteration();
    t.stop();
    y = embedding.getContainer();
    return t.elapsedTime();
}

double levelTheta(unsigned int m) { return std::min(std::max((m - 1000.0) * 0.00005, 0.0), 0.5); }

// ---- the measurements ---------------------------------------------------------

Hsne::Parameters hsneParameters(const Options& opt, bool preserving) {
    Hsne::Parameters p;
    p.seed = opt.seed;
    p.numNeighbors = kNeighbours;
    p.numTrees = 4;
    p.knnLibrary = opt.backend;
    p.mcmcsNumWalks = 15;
    p.mcmcsWalkLength = 15;
    p.mcmcsLandmarkThresh = 1.5f;
    p.numWalksPerLandmark = 100;
    p.pruneThresh = 0;
    p.memoryPreserving = preserving;
    return p;
}

void overview(const Hsne& h, const Data& data, const Options& opt, BuildResult& r) {
    const Hsne::Scale& top = h.top_scale();
    const unsigned int m = top.size();
    r.top = m;
    if (!opt.overview || data.labels.empty() || m < 12) return;
    // The level analysis's schedule; a fixed seed in place of the clock.
    vel::dr::TsneParameters level;
    level.seed = 1;
    level.exaggerationFactor = std::min(m / 5000.0 + 10, 40.0);
    level.momentumSwitchIteration = 125;
    level.removeExaggerationIteration = 125;
    level.exaggerationDecayIterations = 50;
    r.theta = levelTheta(m);
    r.exaggeration = level.exaggerationFactor;
    std::vector<float> y;
    std::vector<int> labels(m);
    for (unsigned int l = 0; l < m; ++l) labels[l] = data.labels[top.landmarkToOriginalIdx[l]];
    r.overviewSeconds = descend(top.transitionMatrix, level, r.theta, y);
    r.overviewAccuracy = tenNearestAccuracy(y, labels);

    // The t-SNE analysis on a random sample of as many points.
    std::mt19937 rng(7);
    std::vector<unsigned int> order(data.n);
    for (unsigned int i = 0; i < data.n; ++i) order[i] = i;
    for (unsigned int i = 0; i < m; ++i) std::swap(order[i], order[i + rng() % (data.n - i)]);
    std::vector<float> sample(static_cast<std::size_t>(m) * data.dims);
    for (unsigned int i = 0; i < m; ++i) {
        std::copy_n(&data.values[static_cast<std::size_t>(order[i]) * data.dims], data.dims,
                    &sample[static_cast<std::size_t>(i) * data.dims]);
        labels[i] = data.labels[order[i]];
    }
    Generator::Parameters gp;
    gp.perplexity = m < 120 ? static_cast<float>(m / 4) : 30.f;
    gp.knnLibrary = opt.backend;
    Matrix P;
    vel::utils::Timer t;
    t.start();
    Generator().computeJointProbabilityDistribution(sample.data(), data.dims, m, P, gp);
    t.stop();
    r.sampleJointSeconds = t.elapsedTime();
    vel::dr::TsneParameters tsne;
    tsne.seed = 1;
    tsne.exaggerationFactor = m / 5000.0 + 10;
    tsne.momentumSwitchIteration = 250;
    tsne.removeExaggerationIteration = 250;
    tsne.exaggerationDecayIterations = 70;
    r.sampleSeconds = descend(P, tsne, levelTheta(m), y);
    r.sampleAccuracy = tenNearestAccuracy(y, labels);
}

// full: also the file and the overview.
void build(const Data& data, const Options& opt, unsigned int numScales, bool preserving, int threads, bool full,
           BuildResult& r) {
    omp_set_num_threads(threads);
    r.startMB = statusMB("VmRSS:");
    r.peakReset = resetPeak() && statusMB("VmHWM:") <= r.startMB + 1;
    PhaseLog log(r);
    std::uint64_t hashes[kMaxScales][3] = {};
    // The hierarchy file, removed however the measurement ends.
    struct TemporaryFile {
        std::string path = "/tmp/bench_hsne." + std::to_string(getpid()) + ".hsne";
        ~TemporaryFile() { std::remove(path.c_str()); }
    } file;
    const std::string& path = file.path;
    {
        Hsne h;
        h.setLogger(&log);
        h.setDimensionality(static_cast<int>(data.dims));
        vel::utils::Timer whole;
        const double cpuStart = cpuSeconds();
        whole.start();
        h.initialize(const_cast<float*>(data.values.data()), data.n, hsneParameters(opt, preserving));
        const Hsne::Statistics& st = h.statistics();
        r.initStatistics[0] = st.initKnnTime;
        r.initStatistics[1] = st.initProbabilitiesTime;
        r.initStatistics[2] = st.initFmcTime;
        for (unsigned int s = 1; s < numScales; ++s) {
            h.addScale();
            float* f = r.scale[s].statistics;
            f[0] = std::max(0.f, st.mcmcsTime) + std::max(0.f, st.landmarksSelectionTime);
            f[1] = st.aoiTime;
            f[2] = st.fmcTime;
            f[3] = st.totalTime;
        }
        whole.stop();
        r.buildSeconds = whole.elapsedTime();
        r.buildCpuSeconds = cpuSeconds() - cpuStart;
        r.numScales = static_cast<unsigned int>(h.hierarchy().size());
        for (unsigned int s = 0; s < r.numScales; ++s) {
            const Hsne::Scale& scale = h.scale(s);
            r.scale[s].landmarks = scale.size();
            hashScale(scale, hashes[s]);
            std::copy_n(hashes[s], 3, r.scale[s].hash);
            if (!data.labels.empty())
                for (unsigned int idx : scale.landmarkToOriginalIdx) ++r.scale[s].perCluster[data.labels[idx]];
        }
        if (!full) return;
        std::ofstream out(path, std::ios::binary);
        vel::utils::Timer t;
        t.start();
        vel::dr::IO::saveHSNE(h, out, nullptr);
        out.close();
        t.stop();
        if (!out) throw std::runtime_error("cannot write " + path);
        r.saveSeconds = t.elapsedTime();
        r.fileMB = static_cast<double>(std::ifstream(path, std::ios::binary | std::ios::ate).tellg()) / 1048576.0;
    }
    // The built hierarchy is gone: the load's peak is its own.
    resetPeak();
    Hsne loaded;
    std::ifstream in(path, std::ios::binary);
    vel::utils::Timer t;
    t.start();
    vel::dr::IO::loadHSNE(loaded, in, nullptr);
    t.stop();
    r.loadSeconds = t.elapsedTime();
    r.loadPeakMB = statusMB("VmHWM:");
    in.close();
    r.reloadSame = loaded.hierarchy().size() == r.numScales;
    for (unsigned int s = 0; r.reloadSame && s < r.numScales; ++s) {
        std::uint64_t again[3];
        hashScale(loaded.scale(s), again);
        // Scale 0 is rebuilt by the loader: only its transition matrix is stored.
        r.reloadSame = again[2] == hashes[s][2] && (s == 0 || (again[0] == hashes[s][0] && again[1] == hashes[s][1]));
    }
    overview(loaded, data, opt, r);
}

void joint(const Data& data, const Options& opt, JointResult& r) {
    omp_set_num_threads(opt.threads);
    Generator::Parameters gp;
    gp.perplexity = static_cast<float>(kNeighbours / 3.0);  // K = 3 x perplexity + 1 = 92, as in the hierarchy
    gp.numTrees = 4;
    gp.knnLibrary = opt.backend;
    Generator g;
    Matrix P;
    resetPeak();
    g.computeJointProbabilityDistribution(const_cast<float*>(data.values.data()), data.dims, data.n, P, gp);
    r.peakMB = statusMB("VmHWM:");
    const auto& s = g.statistics();
    r.knn = s.treesConstructionTime + s.aknnTime;
    r.calibration = s.distributionsTime;
    r.total = s.totalTime;
    r.symmetrisation = r.total - r.knn - r.calibration;
}

}  // namespace

double loadAverage() {
    double load = -1;
    std::ifstream("/proc/loadavg") >> load;
    return load;
}

BuildResult measureBuild(const Data& data, const Options& opt, unsigned int numScales, bool preserving, int threads,
                         bool full) {
    const double before = loadAverage();
    BuildResult r =
        inChild<BuildResult>([&](BuildResult& b) { build(data, opt, numScales, preserving, threads, full, b); });
    r.loadBefore = before;
    r.loadAfter = loadAverage();
    return r;
}

JointResult measureJoint(const Data& data, const Options& opt) {
    return inChild<JointResult>([&](JointResult& r) { joint(data, opt, r); });
}

}  // namespace hsnebench
