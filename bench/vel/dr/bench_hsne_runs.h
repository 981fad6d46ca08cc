#pragma once
// The measurements of bench_hsne. Each runs in a child process of its own, so
// that its peak resident memory (VmHWM, restarted per phase through
// /proc/self/clear_refs) holds nothing of the others; the results come back as
// plain bytes. The calling process runs no OpenMP loop itself, which keeps the
// fork safe.

#include <cstdint>
#include <string>
#include <vector>

#include "vel/utils/KnnCodes.h"

namespace hsnebench {

constexpr unsigned int kMaxScales = 16;
constexpr unsigned int kClusters = 10;
constexpr int kNeighbours = 91;  // the analysis's fixed numNeighbors
constexpr unsigned int kIterations = 1000;

struct Options {
    std::vector<unsigned int> sizes, scales;
    int threads = 1;
    std::vector<bool> constructions{false, true};  // memoryPreserving
    unsigned int singleThreadUpTo = 100000;
    int backend = vel::utils::KNN_ANNOY;
    std::string backendName = "annoy";
    int seed = 42;
    std::string input;
    unsigned int dims = 30;
    bool overview = true, baseline = true;
};

struct Data {
    std::vector<float> values;
    std::vector<int> labels;  // empty for --input
    unsigned int n = 0, dims = 0;
};

struct Phase {
    // cpuSeconds: user + system time of all threads; next to the wall time it
    // shows how many cores the phase really had on a shared machine.
    double seconds = -1, peakMB = -1, cpuSeconds = -1;
};

struct ScaleFigures {
    unsigned int landmarks = 0;
    Phase phase[3];  // selection, area of influence, transition matrix
    unsigned int perCluster[kClusters] = {};
    std::uint64_t hash[3] = {};  // landmarks, area of influence and weights, transition matrix
    float statistics[4] = {};    // the statistics block: selection, area of influence, FMC, total
};

struct BuildResult {
    bool ok = false, peakReset = false, reloadSame = false;
    char error[200] = {};
    double startMB = 0, buildSeconds = 0, buildPeakMB = 0, buildCpuSeconds = 0;
    double loadBefore = -1, loadAfter = -1;  // one-minute load average around the build
    Phase init[3];                           // kNN, calibration, scale 0
    float initStatistics[3] = {};            // the statistics block's kNN, calibration and FMC times
    unsigned int numScales = 0;
    ScaleFigures scale[kMaxScales];
    double fileMB = 0, saveSeconds = 0, loadSeconds = 0, loadPeakMB = 0;
    unsigned int top = 0;
    double theta = 0, exaggeration = 0, overviewSeconds = -1, overviewAccuracy = -1;
    double sampleJointSeconds = -1, sampleSeconds = -1, sampleAccuracy = -1;
};

struct JointResult {
    bool ok = false;
    char error[200] = {};
    double knn = 0, calibration = 0, symmetrisation = 0, total = 0, peakMB = 0;
};

// The hierarchy with the HSNE analysis's default parameters on `threads` threads,
// phase by phase; with `full` also the file and the overview.
BuildResult measureBuild(const Data& data, const Options& opt, unsigned int numScales, bool preserving, int threads,
                         bool full);
// The one-minute load average of the machine; -1 when unknown.
double loadAverage();
// The joint probabilities of the same data and K on opt.threads threads.
JointResult measureJoint(const Data& data, const Options& opt);

}  // namespace hsnebench
