#pragma once

// A fresh data set per test, loaded from FCS files of given rows, and a
// template analysis over it; the plain serial classification loop as the
// reference of every run.

#include "../ClusteringTestData.h"
#include "data/CallbackLog.h"

#include "analysis/template/MCV_TemplateAnalysis.h"
#include "data/MCV_DerivedDataClusters.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
using PointList = MCV_TemplateAnalysis::PointList;

// The unassigned events of a run by the way they failed (single marker,
// combined markers, mixed), read from its report (-1 for a missing line).
using FailureCounts = std::array<long, 3>;

inline FailureCounts failureCounts(const std::string& out) {
    const auto number = [&](const std::string& tail) {
        const size_t at = out.find(" failed because " + tail);
        if (at == std::string::npos) return -1L;
        const size_t start = out.rfind('\n', at) + 1;
        return std::stol(out.substr(start, at - start));
    };
    return {number("all matches resulted in failures in a single marker.\n"),
            number("all matches resulted in failures the combined markers.\n"), number("of a mix of both.\n")};
}

// The literal classification: every event of every file in order, every
// template in table order, markers walked in order until one differs by more
// than the single limit.
struct SerialClassification {
    std::vector<PointList> clusters;
    FailureCounts failures{};
};

inline SerialClassification classifySerially(const std::vector<Rows>& files, const Rows& templates,
                                             const std::vector<unsigned>& markers, float single, float total) {
    SerialClassification out;
    const size_t T = templates.size();
    out.clusters.resize(T + 1);
    for (size_t f = 0; f < files.size(); ++f) {
        for (size_t k = 0; k < files[f].size(); ++k) {
            const std::vector<float>& v = files[f][k];
            size_t best = T;
            float bestDistance = total;
            size_t singles = 0, combined = 0;
            for (size_t t = 0; t < T; ++t) {
                float d = 0.0f;
                bool failed = false;
                for (unsigned m : markers) {
                    const float diff = std::fabs(v[m] - templates[t][m]);
                    d += diff;
                    if (diff > single) {
                        failed = true;
                        break;
                    }
                }
                if (failed) {
                    ++singles;
                } else if (d < bestDistance) {
                    best = t;
                    bestDistance = d;
                } else if (d > total) {
                    ++combined;
                }
            }
            if (best == T) ++out.failures[singles == T ? 0 : combined == T ? 1 : 2];
            out.clusters[best].emplace_back(static_cast<int>(f), static_cast<int>(k));
        }
    }
    return out;
}

// The data set's reports, with a hook inside each refresh.
struct DataLog : CallbackLog {
    std::function<void(void*)> onRefreshed;
    void dataRefreshed(void* d) override {
        CallbackLog::dataRefreshed(d);
        if (onRefreshed) onRefreshed(d);
    }
};

class TemplateAnalysisTest : public ClusteringDataTest {
protected:
    void SetUp() override {
        ClusteringDataTest::SetUp();
        fresh(&dataUi);
    }
    void TearDown() override {
        analysis.reset();
        ClusteringDataTest::TearDown();
    }

    // One file per entry (the first must have events), variables named
    // `names` (or "V1".."Vn"), NaN kept.
    void load(const std::vector<Rows>& files, const std::vector<std::string>& names = {}) {
        std::vector<std::string> paths;
        for (size_t i = 0; i < files.size(); ++i)
            paths.push_back(write("f" + std::to_string(i + 1) + ".fcs", files[i], files[0][0].size(), names, "V"));
        ClusteringDataTest::load(paths);
        // The reader stores NaN as 0; values computed later may still be NaN.
        const size_t width = files[0][0].size();
        for (size_t i = 0; i < files.size(); ++i)
            for (size_t k = 0; k < files[i].size(); ++k)
                std::copy(files[i][k].begin(), files[i][k].end(), data->rawData(static_cast<int>(i)) + k * width);
        loaded = files;
    }

    MCV_TemplateAnalysis* make(Rows templates, const std::string& name = "T") {
        analysis = std::make_unique<MCV_TemplateAnalysis>();
        quietly([&] { analysis->init(&ui, name, std::move(templates)); });
        return analysis.get();
    }

    // Runs the classification; its report.
    std::string run(bool* accepted = nullptr) {
        bool ok = false;
        const std::string out = capturedStdout([&] { ok = analysis->upsampleData(); });
        if (accepted) *accepted = ok;
        return out;
    }

    MCV_DerivedDataClusters* published() { return data->derivedDataClusters(analysis->name(), true); }

    DataLog dataUi;
    CallbackLog ui;
    std::vector<Rows> loaded;
    std::unique_ptr<MCV_TemplateAnalysis> analysis;
};
