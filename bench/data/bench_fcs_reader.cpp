// FCS reader throughput and peak memory.
//
// Writes a float file of 2,000,000 events x 40 channels and a 16-bit integer
// file of the same shape, then for each compares loadFromFile with
// `cat FILE > /dev/null` on the same file in the same run (both from the page
// cache after a warm-up read), and measures the load's peak memory in a child
// process against the matrix size.
//
// Goals: float load throughput >= 0.5 x cat; peak memory of either load
// <= 1.1 x matrix + 50 MB.

#include "data/MCV_FcsHeader.h"
#include "data/MCV_FcsLoader.h"

#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kEvents = 2000000;
constexpr int kChannels = 40;
constexpr int kRepeats = 3;

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

std::string pad12(int64_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%012lld", static_cast<long long>(v));
    return buf;
}

// An FCS 3.1 file whose DATA is produced row by row by `row` (which appends
// one event's bytes). Offsets beyond the HEADER's eight digits are given in
// the TEXT only, as the standard says.
template <typename RowWriter>
void writeFcs(const std::string& path, const char* dataType, int bits, int64_t dataBytes, RowWriter row) {
    std::string text = "/$BYTEORD/1,2,3,4/$DATATYPE/" + std::string(dataType) + "/$MODE/L/$NEXTDATA/0/$PAR/" +
                       std::to_string(kChannels) + "/$TOT/" + std::to_string(kEvents) + "/";
    for (int p = 1; p <= kChannels; ++p) {
        const std::string k = "$P" + std::to_string(p);
        text += k + "N/Ch" + std::to_string(p) + "/" + k + "S/Marker" + std::to_string(p) + "/" + k + "B/" +
                std::to_string(bits) + "/" + k + "R/" + (bits == 16 ? "65536" : "262144") + "/" + k + "E/0,0/";
    }
    // The offsets are zero-padded to a fixed width, so the TEXT length does
    // not depend on them.
    auto offsets = [](int64_t begin, int64_t end) {
        return "$BEGINDATA/" + pad12(begin) + "/$ENDDATA/" + pad12(end) + "/";
    };
    const int64_t textStart = 64;
    const int64_t textEnd = textStart + static_cast<int64_t>(text.size() + offsets(0, 0).size()) - 1;
    const int64_t dataStart = textEnd + 1;
    text += offsets(dataStart, dataStart + dataBytes - 1);

    char head[128];
    const bool fits = dataStart + dataBytes - 1 <= 99999999;
    std::snprintf(head, sizeof head, "FCS3.1    %8lld%8lld%8lld%8lld%8d%8d      ", static_cast<long long>(textStart),
                  static_cast<long long>(textEnd), static_cast<long long>(fits ? dataStart : 0),
                  static_cast<long long>(fits ? dataStart + dataBytes - 1 : 0), 0, 0);
    std::ofstream out(path, std::ios::binary);
    out.write(head, 64);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    std::string chunk;
    for (int e = 0; e < kEvents; ++e) {
        row(e, chunk);
        if (chunk.size() >= (8u << 20) || e + 1 == kEvents) {
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
            chunk.clear();
        }
    }
    if (!out) {
        std::fprintf(stderr, "could not write %s\n", path.c_str());
        std::exit(1);
    }
}

int64_t fileSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return static_cast<int64_t>(in.tellg());
}

double timeShell(const std::string& cmd) {
    const auto a = Clock::now();
    if (std::system(cmd.c_str()) != 0) std::abort();
    return seconds(a, Clock::now());
}

// cat's time for the file, less what starting a shell and cat costs (measured
// on an empty file), so that the baseline is the reading alone.
double timeCat(const std::string& path) {
    static const double spawn = [] {
        double best = 1e30;
        for (int i = 0; i < 5; ++i) best = std::min(best, timeShell("cat /dev/null > /dev/null"));
        return best;
    }();
    return std::max(1e-6, timeShell("cat '" + path + "' > /dev/null") - spawn);
}

double timeLoad(const std::string& path) {
    MCV_FcsHeader header(nullptr);
    header.setFileName(path);
    MCV_FcsLoader loader;
    float* data = nullptr;
    const auto a = Clock::now();
    const int code = loader.loadFromFile(&data, &header);
    const double t = seconds(a, Clock::now());
    if (code != 0) {
        std::fprintf(stderr, "load of %s failed with code %d\n", path.c_str(), code);
        std::exit(1);
    }
    delete[] data;
    return t;
}

long statusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0) return std::atol(line.c_str() + n + 1);
    return -1;
}

// Child mode: the peak resident memory that one load adds, in bytes, or -1.
// The high-water mark is reset first, so that only the load counts.
int64_t peakOfOneLoad(const std::string& path) {
    {
        std::ofstream reset("/proc/self/clear_refs");
        reset << "5";
    }
    const long before = statusKb("VmHWM:");
    const long rss = statusKb("VmRSS:");
    if (before < 0 || before > rss + 1024) return -1;  // the reset did not take
    MCV_FcsHeader header(nullptr);
    header.setFileName(path);
    MCV_FcsLoader loader;
    float* data = nullptr;
    if (loader.loadFromFile(&data, &header) != 0) return -1;
    const long after = statusKb("VmHWM:");
    delete[] data;
    return int64_t(after - before) * 1024;
}

// Runs peakOfOneLoad in a fresh process of this program: nothing the
// benchmark allocated counts, and no thread pool is carried across a fork.
int64_t peakLoadBytes(const std::string& path) {
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return -1;
    exe[n] = '\0';
    const std::string cmd = "'" + std::string(exe) + "' --peak '" + path + "'";
    FILE* child = popen(cmd.c_str(), "r");
    if (!child) return -1;
    long long result = -1;
    if (std::fscanf(child, "%lld", &result) != 1) result = -1;
    pclose(child);
    return result;
}

void report(const char* what, const std::string& path, bool throughputGoal) {
    const double bytes = static_cast<double>(fileSize(path));
    timeCat(path);  // warm-up: both readers below start from the page cache
    timeLoad(path);
    double load = 1e30, cat = 1e30;
    for (int i = 0; i < kRepeats; ++i) {
        load = std::min(load, timeLoad(path));
        cat = std::min(cat, timeCat(path));
    }
    const double mb = 1e6;
    const double matrix = double(kEvents) * kChannels * sizeof(float);
    const int64_t peak = peakLoadBytes(path);
    const double budget = 1.1 * matrix + 50.0 * mb;
    std::printf("%s file: %.0f MB, matrix %.0f MB\n", what, bytes / mb, matrix / mb);
    std::printf("  load  %8.0f MB/s  (%.3f s, best of %d)\n", bytes / load / mb, load, kRepeats);
    std::printf("  cat   %8.0f MB/s  (%.3f s, best of %d)  baseline\n", bytes / cat / mb, cat, kRepeats);
    std::printf("  throughput ratio load/cat: %.2f  %s\n", cat / load,
                throughputGoal ? "(goal >= 0.5)" : "(no goal: the matrix is twice the file)");
    if (peak < 0) {
        std::printf("  peak memory: could not be measured\n");
    } else {
        std::printf(
            "  peak memory of the load: %.0f MB = %.2f x matrix; ratio to 1.1 x matrix + 50 MB: %.2f"
            "  (goal <= 1)\n",
            double(peak) / mb, double(peak) / matrix, double(peak) / budget);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--peak") {
        std::printf("%lld\n", static_cast<long long>(peakOfOneLoad(argv[2])));
        return 0;
    }
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    const std::string floatPath = dir.filePath("float.fcs").toStdString();
    const std::string intPath = dir.filePath("int16.fcs").toStdString();

    // Log-normal-looking values, like cytometry channels.
    std::mt19937 rng(42);
    std::lognormal_distribution<float> lognormal(6.0f, 1.5f);
    std::vector<float> pool(1 << 16);
    for (float& v : pool) v = lognormal(rng);
    std::uint32_t k = 0;
    writeFcs(floatPath, "F", 32, int64_t(kEvents) * kChannels * 4, [&](int, std::string& out) {
        for (int c = 0; c < kChannels; ++c) {
            const float v = pool[(k++ * 2654435761u >> 7) & 0xFFFF];
            out.append(reinterpret_cast<const char*>(&v), 4);
        }
    });
    writeFcs(intPath, "I", 16, int64_t(kEvents) * kChannels * 2, [&](int, std::string& out) {
        for (int c = 0; c < kChannels; ++c) {
            const uint16_t v = static_cast<uint16_t>(std::min(65535.0f, pool[(k++ * 2654435761u >> 7) & 0xFFFF]));
            out.append(reinterpret_cast<const char*>(&v), 2);
        }
    });

    std::printf("FCS reader: %d events x %d channels\n\n", kEvents, kChannels);
    report("float (F, 32-bit)", floatPath, true);
    std::printf("\n");
    report("integer (I, 16-bit)", intPath, false);
    return 0;
}
