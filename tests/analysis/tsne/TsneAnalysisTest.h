#pragma once

// A fresh data set per test, loaded from FCS files written on the fly, and an
// A-tSNE analysis over it that reports to a recording interface.

#include "analysis/RecordingUi.h"
#include "data/FcsTestFile.h"
#include "vel/VelTestData.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <regex>
#include <string>
#include <utility>
#include <vector>

class TsneAnalysisTest : public ::testing::Test {
protected:
    using Rows = std::vector<std::vector<float>>;

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

    // Loads one file per entry, every file with the variables `names`.
    void load(const std::vector<Rows>& files, const std::vector<std::string>& names) {
        for (size_t i = 0; i < files.size(); ++i) {
            FcsTestFile f = FcsTestFile::floats(files[i]);
            for (size_t v = 0; v < names.size(); ++v) f.set("$P" + std::to_string(v + 1) + "S", names[v]);
            const std::string path = f.write(dir, "s" + std::to_string(i + 1) + ".fcs");
            ASSERT_EQ(data->loadFromFile(path), 0);
        }
        data->initAllDerviedDataPointer();
    }

    // `files` files of Gaussian blobs in `dims` markers "M1".."Mdims" plus a
    // "label" variable; point j of the blob set goes to file j % files. Blobs
    // have unit spread, their centres the given one.
    void loadBlobs(unsigned clusters, unsigned perCluster, unsigned dims, int files, double centreSpread = 10.0) {
        const veltest::Blobs blobs = veltest::makeBlobs(clusters, perCluster, dims, centreSpread, 7);
        std::vector<Rows> rows(static_cast<size_t>(files));
        for (unsigned j = 0; j < blobs.n; ++j) {
            std::vector<float> row(blobs.data.begin() + j * dims, blobs.data.begin() + (j + 1) * dims);
            row.push_back(static_cast<float>(blobs.labels[j]));
            rows[j % static_cast<unsigned>(files)].push_back(row);
        }
        std::vector<std::string> names;
        for (unsigned d = 0; d < dims; ++d) names.push_back("M" + std::to_string(d + 1));
        names.push_back("label");
        load(rows, names);
    }

    // What the shell does before it creates a t-SNE analysis.
    void addOutputVariables() { data->addDimensions({"QLMRN_TsneX", "QLMRN_TsneY"}, 0.f); }

    MCV_DerivedDataPoints* allPoints() { return data->derivedDataPoints("All Points", true); }

    int var(const std::string& name) { return data->combinedHeader()->variableIdx(name); }
    int numVariables() { return data->combinedHeader()->numVariables(); }
    float& at(int file, int event, int variable) {
        return data->rawData(
            file)[static_cast<size_t>(event) * static_cast<size_t>(numVariables()) + static_cast<size_t>(variable)];
    }

    // An initialised analysis over All Points that embeds the markers only
    // (the label and output variables are switched off, as the panel does).
    MCV_TsneAnalysis* makeAnalysis(const std::string& name = "A") {
        analysis = std::make_unique<MCV_TsneAnalysis>();
        analysis->init(&ui, name);
        for (const char* off : {"label", "QLMRN_TsneX", "QLMRN_TsneY"})
            if (var(off) >= 0) analysis->setMarkerState(var(off), false);
        analysis->setActiveDataSelection(allPoints());
        return analysis.get();
    }

    // The analysis-level calls only (the data set reports elsewhere).
    std::vector<std::string> reports() const { return ui.folded(); }

    static bool allFinite(const std::vector<float>& v) {
        for (float x : v)
            if (!std::isfinite(x)) return false;
        return true;
    }

    // 10-NN label accuracy of the embedding read back from the data set's
    // output columns, over every loaded event, labels from "label".
    double accuracyFromOutputColumns() {
        std::vector<float> y;
        std::vector<int> labels;
        for (int f = 0; f < data->numFiles(); ++f)
            for (int e = 0; e < data->header(f)->numEvents(); ++e) {
                y.push_back(at(f, e, var("QLMRN_TsneX")));
                y.push_back(at(f, e, var("QLMRN_TsneY")));
                labels.push_back(static_cast<int>(at(f, e, var("label"))));
            }
        return veltest::knnLabelAccuracy(y, labels, 10);
    }

    // Elapsed-seconds figures replaced by "T", so console text compares exactly.
    static std::string withoutTimes(const std::string& text) {
        static const std::regex seconds("(: |in: )[0-9.e+-]+ seconds");
        return std::regex_replace(text, seconds, "$1T seconds");
    }

    QTemporaryDir dir;
    RecordingUi dataUi;
    RecordingUi ui;
    MCV_CytometryData* data = nullptr;
    std::unique_ptr<MCV_TsneAnalysis> analysis;
};
