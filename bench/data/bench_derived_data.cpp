// Per-variable statistics of a subset of 1,000,000 events x 40 variables, and
// the export of that subset as FCS, next to `cp` of a file of the same size
// measured in the same run. Also the per-file count of the subset's selected
// events that a plot's "Sample Statistics" make on every selection change,
// with every event selected, next to the per-file tables of that selection
// (what the panel built before it counted the subset's own events); goal: one
// frame at 60 Hz.
//
//   bench_derived_data [events-in-subset] [variables]

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_SelectedPerFile.h"

#include "../support/Verdict.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace {

double seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// A float list-mode FCS 3.1 file of `events` x `vars` random values.
void writeInput(const std::string& path, long events, int vars) {
    std::string text = "/$BYTEORD/1,2,3,4/$DATATYPE/F/$MODE/L/$NEXTDATA/0/$TOT/" + std::to_string(events) + "/$PAR/" +
                       std::to_string(vars) + "/";
    for (int v = 1; v <= vars; ++v)
        text += "$P" + std::to_string(v) + "N/M" + std::to_string(v) + "/$P" + std::to_string(v) + "B/32/$P" +
                std::to_string(v) + "E/0,0/$P" + std::to_string(v) + "R/262144/";
    const long long dataBytes = static_cast<long long>(events) * vars * 4;
    // Offsets of fixed width, so the TEXT length does not depend on them.
    const long long textEnd = 58 + static_cast<long long>(text.size()) + 2 * 12 + 22 - 1;
    char offsets[96];
    std::snprintf(offsets, sizeof offsets, "$BEGINDATA/%012lld/$ENDDATA/%012lld/", textEnd + 1, textEnd + dataBytes);
    text += offsets;
    char head[96];
    std::snprintf(head, sizeof head, "FCS3.1    %8d%8lld%8d%8d%8d%8d", 58, 58 + static_cast<long long>(text.size()) - 1,
                  0, 0, 0, 0);
    std::ofstream out(path, std::ios::binary);
    out.write(head, 58);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    std::mt19937 rng(1);
    std::lognormal_distribution<float> value(5.0f, 1.5f);
    std::vector<float> row(static_cast<size_t>(vars));
    for (long e = 0; e < events; ++e) {
        for (float& x : row) x = value(rng);
        out.write(reinterpret_cast<const char*>(row.data()), static_cast<std::streamsize>(row.size() * 4));
    }
}

}  // namespace

int main(int argc, char** argv) {
    const long subset = argc > 1 ? std::atol(argv[1]) : 1000000;
    const int vars = argc > 2 ? std::atoi(argv[2]) : 40;
    const long events = subset + subset / 4;  // the subset leaves every fifth event out

    QTemporaryDir dir;
    const std::string input = dir.filePath("input.fcs").toStdString();
    const std::string output = dir.filePath("subset.fcs").toStdString();
    writeInput(input, events, vars);

    MCV_CytometryData* data = MCV_CytometryData::Instance();
    data->init(nullptr);
    if (data->loadFromFile(input) != 0) {
        std::cerr << "could not load the generated file\n";
        return 1;
    }
    std::vector<std::pair<int, int>> points;
    points.reserve(static_cast<size_t>(subset));
    for (long e = 0; e < events && static_cast<long>(points.size()) < subset; ++e)
        if (e % 5 != 4) points.emplace_back(0, static_cast<int>(e));
    MCV_DerivedDataPoints* set = data->derivedDataPoints("Subset", true);
    set->setPoints(points, false);

    std::printf("subset: %zu events x %d variables, %d threads\n", points.size(), vars, omp_get_max_threads());

    auto statistics = [&](const char* label) {
        set->invalidateStatistics();
        auto t0 = std::chrono::steady_clock::now();
        set->medianExpression();
        const double median = seconds(t0);
        t0 = std::chrono::steady_clock::now();
        set->meanExpression();
        const double mean = seconds(t0);
        t0 = std::chrono::steady_clock::now();
        set->standardDeviation();
        const double deviation = seconds(t0);
        std::printf("statistics (%s): median %.3f s, mean %.3f s, deviation %.3f s, total %.3f s\n", label, median,
                    mean, deviation, median + mean + deviation);
        return median + mean + deviation;
    };
    const double parallel = statistics("all threads");
    const int threads = omp_get_max_threads();
    omp_set_num_threads(1);
    const double serial = statistics("1 thread, for comparison");
    omp_set_num_threads(threads);
    std::printf("statistics speed-up over 1 thread: %.1fx\n", serial / parallel);

    {
        // Every event selected, in reverse order: the selection reaches beyond
        // the subset and meets it in no common order.
        std::vector<std::pair<int, int>> every;
        every.reserve(static_cast<size_t>(events));
        for (long e = events - 1; e >= 0; --e) every.emplace_back(0, static_cast<int>(e));
        MCV_DerivedDataPoints* selection = data->selectionPoints();
        selection->setPoints(every, false);
        const std::vector<int> eventsPerFile = {static_cast<int>(events)};
        MCV_SelectedPerFile counter;
        counter.count(points, every, eventsPerFile);  // the mask made once, as a panel keeps it
        const int rounds = 5;
        double countTime = 1e30, tableTime = 1e30;
        int counted = 0;
        for (int r = 0; r < rounds; ++r) {
            auto t0 = std::chrono::steady_clock::now();
            counted = counter.count(points, every, eventsPerFile)[0];
            countTime = std::min(countTime, seconds(t0));
            selection->invalidateStatistics();
            t0 = std::chrono::steady_clock::now();
            selection->pointsPerFile();
            tableTime = std::min(tableTime, seconds(t0));
        }
        std::printf("selected events of the subset: %d of %zu, %.1f ms (best of %d)\n", counted, points.size(),
                    countTime * 1e3, rounds);
        std::printf("baseline per-file tables of the %ld selected events: %.1f ms (count/tables ratio %.1f)\n", events,
                    tableTime * 1e3, countTime / tableTime);
        // A selection change redraws the plots: the count takes less than a
        // frame at 60 Hz.
        std::printf("count within one frame (16 ms): %s\n", verdict(countTime <= 0.016));
        if (counted != static_cast<int>(points.size())) std::printf("WRONG COUNT\n");
    }

    std::fflush(stdout);
    auto t0 = std::chrono::steady_clock::now();
    std::cout.setstate(std::ios::failbit);  // the writer's progress lines
    const int written = data->writeToFile("Subset", output, 0, nullptr);
    std::cout.clear();
    const double exportTime = seconds(t0);
    if (written != 0) {
        std::cerr << "export failed\n";
        return 1;
    }
    const double mb = static_cast<double>(QFileInfo(QString::fromStdString(output)).size()) / 1e6;

    const std::string copy = dir.filePath("copy.fcs").toStdString();
    t0 = std::chrono::steady_clock::now();
    const int rc = std::system(("cp '" + output + "' '" + copy + "'").c_str());
    const double cpTime = seconds(t0);
    if (rc != 0) std::cerr << "cp failed\n";

    std::printf("FCS export: %.1f MB in %.3f s, %.0f MB/s\n", mb, exportTime, mb / exportTime);
    std::printf("baseline cp of the same file: %.3f s, %.0f MB/s (export/cp time ratio %.2f)\n", cpTime, mb / cpTime,
                exportTime / cpTime);
    delete MCV_CytometryData::Instance();
    return 0;
}
