#pragma once
// One FCS load in a fresh process of the running benchmark, with the peak
// resident memory it adds and its time: nothing the benchmark allocated
// counts, and no thread pool is carried across a fork.
//
// A benchmark's main answers `kChildArgument PATH` with runChildLoad(PATH)
// before anything else; loadInChild(PATH) starts it and reads the figures.

#include "data/MCV_FcsHeader.h"
#include "data/MCV_FcsLoader.h"

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

struct FcsChildLoad {
    int code = -1;
    int64_t peakBytes = -1;  // -1 when it could not be measured
    double seconds = 0.0;
};

inline const char* const kChildArgument = "--load-in-child";

inline long fcsStatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0) return std::atol(line.c_str() + n + 1);
    return -1;
}

// Child side: loads `path` once and prints "code peak seconds". The
// high-water mark is reset first, so that only the load counts.
inline int runChildLoad(const char* path) {
    {
        std::ofstream reset("/proc/self/clear_refs");
        reset << "5";
    }
    const long before = fcsStatusKb("VmHWM:");
    const long rss = fcsStatusKb("VmRSS:");
    const bool reset = before >= 0 && before <= rss + 1024;
    MCV_FcsHeader header(nullptr);
    header.setFileName(path);
    MCV_FcsLoader loader;
    float* data = nullptr;
    const auto a = std::chrono::steady_clock::now();
    const int code = loader.loadFromFile(&data, &header);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
    const long after = fcsStatusKb("VmHWM:");
    if (code == 0) delete[] data;
    std::printf("%d %lld %.6f\n", code, reset ? static_cast<long long>(after - before) * 1024 : -1LL, seconds);
    return 0;
}

inline FcsChildLoad loadInChild(const std::string& path) {
    FcsChildLoad r;
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return r;
    exe[n] = '\0';
    const std::string cmd = "'" + std::string(exe) + "' " + kChildArgument + " '" + path + "' 2>/dev/null";
    FILE* child = popen(cmd.c_str(), "r");
    if (!child) return r;
    // The figures are the last line; the reader's own console lines come first.
    char line[4096];
    while (std::fgets(line, sizeof line, child)) {
        int code = 0;
        long long peak = 0;
        double seconds = 0.0;
        if (std::sscanf(line, "%d %lld %lf", &code, &peak, &seconds) == 3) r = {code, peak, seconds};
    }
    pclose(child);
    return r;
}
