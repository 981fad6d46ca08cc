#pragma once

// A fresh data set per test, loaded from FCS files written on the fly, and an
// A-tSNE analysis over it that reports to a recording interface.

#include "data/CallbackLog.h"
#include "data/FcsTestFile.h"
#include "support/CapturedOutput.h"
#include "vel/VelTestData.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_CytometryData.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

using Reports = std::vector<std::string>;
using Points = std::vector<std::pair<int, int>>;

class TsneAnalysisTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        delete MCV_CytometryData::Instance();
        data = MCV_CytometryData::Instance();
        data->init(&dataUi);
    }
    void TearDown() override {
        analysis.reset();
        delete MCV_CytometryData::Instance();
    }

    // `files` files of seeded Gaussian blobs in markers "M1".."Mdims" plus a
    // "label" variable (point j in file j % files), then the output pair the
    // shell adds before it creates a t-SNE analysis, unless `outputs` is off.
    void loadBlobs(unsigned clusters, unsigned perCluster, unsigned dims, int files, double centreSpread = 10.0,
                   bool outputs = true, std::uint32_t seed = 7) {
        const veltest::Blobs blobs = veltest::makeBlobs(clusters, perCluster, dims, centreSpread, seed);
        std::vector<std::vector<std::vector<float>>> rows(static_cast<size_t>(files));
        for (unsigned j = 0; j < blobs.n; ++j) {
            std::vector<float> row(blobs.data.begin() + j * dims, blobs.data.begin() + (j + 1) * dims);
            row.push_back(static_cast<float>(blobs.labels[j]));
            rows[j % static_cast<unsigned>(files)].push_back(row);
        }
        for (size_t i = 0; i < rows.size(); ++i) {
            FcsTestFile f = FcsTestFile::floats(rows[i]);
            for (unsigned d = 0; d <= dims; ++d)
                f.set("$P" + std::to_string(d + 1) + "S", d < dims ? "M" + std::to_string(d + 1) : "label");
            ASSERT_EQ(data->loadFromFile(f.write(dir, "s" + std::to_string(i + 1) + ".fcs")), 0);
        }
        data->initAllDerviedDataPointer();
        if (outputs) data->addDimensions({"QLMRN_TsneX", "QLMRN_TsneY"}, 0.f);
    }

    MCV_DerivedDataPoints* allPoints() { return data->derivedDataPoints("All Points", true); }
    int var(const std::string& name) { return data->combinedHeader()->variableIdx(name); }
    int numVariables() { return data->combinedHeader()->numVariables(); }
    float& at(int file, int event, int variable) {
        return data->rawData(
            file)[static_cast<size_t>(event) * static_cast<size_t>(numVariables()) + static_cast<size_t>(variable)];
    }

    // An initialised analysis over All Points that embeds the markers only
    // (the label and output variables are switched off, as the panel does).
    MCV_TsneAnalysis* makeAnalysis(int iterations = 20, const std::string& name = "A") {
        analysis = std::make_unique<MCV_TsneAnalysis>();
        analysis->init(&ui, name);
        for (const char* off : {"label", "QLMRN_TsneX", "QLMRN_TsneY"})
            if (var(off) >= 0) analysis->setMarkerState(var(off), false);
        analysis->setActiveDataSelection(allPoints());
        analysis->setIterations(iterations);
        analysis->setSeed(1);
        return analysis.get();
    }

    static bool allFinite(const std::vector<float>& v) {
        return std::all_of(v.begin(), v.end(), [](float x) { return std::isfinite(x); });
    }

    QTemporaryDir dir;
    CallbackLog dataUi;
    CallbackLog ui;  // the analysis's reports only
    MCV_CytometryData* data = nullptr;
    std::unique_ptr<MCV_TsneAnalysis> analysis;
};
