// FCS reader throughput and peak memory.
//
// Writes files of 2,000,000 events x 40 channels: floats, 16-bit integers in
// either byte order (the big-endian one with a $PnR that masks), and 32-bit
// integers whose $PnR masks. For each it compares loadFromFile with
// `cat FILE > /dev/null` on the same file in the same run (both from the page
// cache after a warm-up read), and measures the load's peak memory in a child
// process against the matrix size.
//
// Goals, for every file: load throughput >= 0.5 x cat; peak memory of the
// load <= 1.1 x matrix + 50 MB.
//
//   bench_fcs_reader [--only float|int16|int16be|int32] [--repeats N]
//                    [--keep DIR] [--loads N]
//
// --keep writes the files into DIR, or reuses those a former run left there;
// --loads only loads the chosen files N times each, with no baseline (for
// profilers).

#include "FcsLoadInChild.h"
#include "bench/support/Verdict.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_FcsLoader.h"

#include <QTemporaryDir>

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
void writeFcs(const std::string& path, const char* dataType, int bits, const char* byteOrder, const char* range,
              int64_t dataBytes, RowWriter row) {
    std::string text = "/$BYTEORD/" + std::string(byteOrder) + "/$DATATYPE/" + std::string(dataType) +
                       "/$MODE/L/$NEXTDATA/0/$PAR/" + std::to_string(kChannels) + "/$TOT/" + std::to_string(kEvents) +
                       "/";
    for (int p = 1; p <= kChannels; ++p) {
        const std::string k = "$P" + std::to_string(p);
        text += k + "N/Ch" + std::to_string(p) + "/" + k + "S/Marker" + std::to_string(p) + "/" + k + "B/" +
                std::to_string(bits) + "/" + k + "R/" + range + "/" + k + "E/0,0/";
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

// The peak resident memory that one load adds, in bytes, or -1 when it
// cannot be measured or the load fails.
int64_t peakLoadBytes(const std::string& path) {
    const FcsChildLoad child = loadInChild(path);
    return child.code == 0 ? child.peakBytes : -1;
}

struct Outcome {
    double ratio = 0.0;
    bool met = true;
};

Outcome report(const char* what, const std::string& path, int repeats) {
    const double bytes = static_cast<double>(fileSize(path));
    timeCat(path);  // warm-up: both readers below start from the page cache
    timeLoad(path);
    double load = 1e30, cat = 1e30;
    for (int i = 0; i < repeats; ++i) {
        load = std::min(load, timeLoad(path));
        cat = std::min(cat, timeCat(path));
    }
    const double mb = 1e6;
    const double matrix = double(kEvents) * kChannels * sizeof(float);
    const int64_t peak = peakLoadBytes(path);
    const double budget = 1.1 * matrix + 50.0 * mb;
    const double ratio = cat / load;
    std::printf("%s file: %.0f MB, matrix %.0f MB\n", what, bytes / mb, matrix / mb);
    std::printf("  load  %8.0f MB/s  (%.3f s, best of %d)\n", bytes / load / mb, load, repeats);
    std::printf("  cat   %8.0f MB/s  (%.3f s, best of %d)  baseline\n", bytes / cat / mb, cat, repeats);
    std::printf("  throughput ratio load/cat: %.2f  (goal >= 0.5)  %s\n", ratio, verdict(ratio >= 0.5));
    Outcome outcome{ratio, ratio >= 0.5};
    if (peak < 0) {
        std::printf("  peak memory: could not be measured\n");
    } else {
        const bool fits = double(peak) <= budget;
        std::printf(
            "  peak memory of the load: %.0f MB = %.2f x matrix; ratio to 1.1 x matrix + 50 MB: %.2f"
            "  (goal <= 1)  %s\n",
            double(peak) / mb, double(peak) / matrix, double(peak) / budget, verdict(fits));
        outcome.met = outcome.met && fits;
    }
    return outcome;
}

struct BenchFile {
    const char* name;  // for --only
    const char* what;
    const char* dataType;
    int bits;
    const char* byteOrder;
    const char* range;
};

// Log-normal-looking values, like cytometry channels, written with `bits`
// bits in the file's byte order; integers are clipped to the type's range.
void writeBenchFile(const BenchFile& f, const std::string& path) {
    std::mt19937 rng(42);
    std::lognormal_distribution<float> lognormal(6.0f, 1.5f);
    std::vector<float> pool(1 << 16);
    for (float& v : pool) v = lognormal(rng);
    const bool bigEndian = f.byteOrder[0] != '1';
    const bool isFloat = f.dataType[0] == 'F';
    const int bytes = f.bits / 8;
    std::uint32_t k = 0;
    writeFcs(path, f.dataType, f.bits, f.byteOrder, f.range, int64_t(kEvents) * kChannels * bytes,
             [&](int, std::string& out) {
                 for (int c = 0; c < kChannels; ++c) {
                     const float v = pool[(k++ * 2654435761u >> 7) & 0xFFFF];
                     std::uint32_t word = 0;
                     if (isFloat)
                         std::memcpy(&word, &v, 4);
                     else
                         word = static_cast<std::uint32_t>(std::min(v, bytes == 2 ? 65535.0f : 4.0e9f));
                     for (int b = 0; b < bytes; ++b) {
                         const int shift = 8 * (bigEndian ? bytes - 1 - b : b);
                         out.push_back(static_cast<char>((word >> shift) & 0xFF));
                     }
                 }
             });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == kChildArgument) return runChildLoad(argv[2]);
    std::string only, keep;
    int repeats = 5, loads = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--only") only = argv[i + 1];
        if (key == "--keep") keep = argv[i + 1];
        if (key == "--repeats") repeats = std::max(1, std::atoi(argv[i + 1]));
        if (key == "--loads") loads = std::max(1, std::atoi(argv[i + 1]));
    }
    QTemporaryDir tmp;
    if (keep.empty() && !tmp.isValid()) return 1;
    const std::string dir = keep.empty() ? tmp.path().toStdString() : keep;

    const BenchFile files[] = {
        {"float", "float (F, 32-bit)", "F", 32, "1,2,3,4", "262144"},
        {"int16", "integer (I, 16-bit, little-endian)", "I", 16, "1,2,3,4", "65536"},
        {"int16be", "integer (I, 16-bit, big-endian, $PnR 1024 masks)", "I", 16, "4,3,2,1", "1024"},
        {"int32", "integer (I, 32-bit, little-endian, $PnR 262144 masks)", "I", 32, "1,2,3,4", "262144"},
    };

    std::printf("FCS reader: %d events x %d channels\n\n", kEvents, kChannels);
    bool allMet = true;
    double floatRatio = 0.0, worstInteger = 1e30;
    for (const BenchFile& f : files) {
        if (!only.empty() && only != f.name) continue;
        const std::string path = dir + "/" + f.name + ".fcs";
        if (keep.empty() || fileSize(path) <= 0) writeBenchFile(f, path);
        if (loads > 0) {
            double best = 1e30;
            for (int i = 0; i < loads; ++i) best = std::min(best, timeLoad(path));
            std::printf("%s: best load of %d %.4f s\n", f.what, loads, best);
            continue;
        }
        const Outcome o = report(f.what, path, repeats);
        allMet = allMet && o.met;
        if (f.dataType[0] == 'F')
            floatRatio = o.ratio;
        else
            worstInteger = std::min(worstInteger, o.ratio);
        std::printf("\n");
    }
    if (loads == 0 && only.empty()) {
        std::printf("throughput load/cat: float %.2f, slowest integer %.2f; integer goal >= 0.5  %s\n", floatRatio,
                    worstInteger, verdict(worstInteger >= 0.5));
        std::printf("all goals  %s\n", verdict(allMet));
    }
    return 0;
}
