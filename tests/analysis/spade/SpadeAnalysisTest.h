#pragma once

// A fresh data set per test, loaded from FCS files written into a temporary
// folder (the density caches land beside them), a SPADE analysis over it, and
// the exact references the analysis's fast paths are checked against.

#include "data/FcsTestFile.h"
#include "support/CapturedOutput.h"
#include "support/TestData.h"

#include "analysis/spade/MCV_SpadeAnalysis.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

using Rows = std::vector<std::vector<float>>;

class SpadeAnalysisTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        threads = omp_get_max_threads();
        fresh();
    }
    void TearDown() override {
        spade.reset();
        omp_set_num_threads(threads);
        delete MCV_CytometryData::Instance();
    }

    // An empty data set (the previous one and its analysis are dropped).
    void fresh() {
        spade.reset();
        delete MCV_CytometryData::Instance();
        data = MCV_CytometryData::Instance();
        data->init(nullptr);
    }

    // Writes an FCS file of float rows with markers "M1".."Mk" into the folder.
    std::string write(const std::string& name, const Rows& rows, size_t markers = 0) {
        if (!rows.empty()) markers = rows[0].size();
        FcsTestFile f = FcsTestFile::floats(rows);
        if (rows.empty()) f = FcsTestFile::listMode("F", 0, std::vector<int>(markers, 32));
        for (size_t m = 0; m < markers; ++m) f.set("$P" + std::to_string(m + 1) + "S", "M" + std::to_string(m + 1));
        return f.write(dir, name);
    }
    // Loads the files (in this order) into the data set.
    void load(const std::vector<std::string>& paths) {
        for (const std::string& p : paths) ASSERT_EQ(data->loadFromFile(p), 0) << p;
        data->initAllDerviedDataPointer();
    }
    // A copy of a file of the repository's real test data in the folder.
    std::string copyReal(const char* name) {
        const QString to = dir.filePath(name);
        EXPECT_TRUE(QFile::copy(realFcsFile(name), to)) << name;
        return to.toStdString();
    }

    MCV_SpadeAnalysis* makeSpade(const std::string& name = "SPADE") {
        spade = std::make_unique<MCV_SpadeAnalysis>();
        spade->init(nullptr, name);
        return spade.get();
    }
    std::string run() {
        return capturedStdout([&] { spade->computeSpadeTree(); });
    }
    std::string path(const std::string& name) const { return dir.filePath(QString::fromStdString(name)).toStdString(); }
    static QByteArray bytes(const std::string& file) {
        QFile f(QString::fromStdString(file));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Deletes every density cache in the folder.
    void removeCaches() {
        QDir folder(dir.path());
        for (const QString& f : folder.entryList({"*_parameters.txt", "*_densities.raw", "*_checksum.txt"}))
            folder.remove(f);
    }
    float& at(int file, int e, unsigned variable) {
        const auto width = static_cast<size_t>(data->combinedHeader()->numVariables());
        return data->rawData(file)[static_cast<size_t>(e) * width + variable];
    }

    // The value of selected marker `m` of event `e` of `file`.
    float value(int file, int e, unsigned m) {
        const auto width = static_cast<size_t>(data->combinedHeader()->numVariables());
        return data->rawData(file)[static_cast<size_t>(e) * width + m];
    }
    // The L1 distance over the selected markers, summed in float in marker order.
    float l1(int file, int a, int b) {
        float d = 0.0f;
        for (unsigned m : *spade->selectedMarkers()) d += std::fabs(value(file, a, m) - value(file, b, m));
        return d;
    }
    float l1(int file, int e, const std::vector<float>& profile) {
        float d = 0.0f;
        const auto& markers = *spade->selectedMarkers();
        for (size_t k = 0; k < markers.size(); ++k) d += std::fabs(value(file, e, markers[k]) - profile[k]);
        return d;
    }
    // Every j != i with radius >= distance(i, j).
    std::vector<int> bruteDensities(int file, float radius) {
        const int n = data->header(file)->numEvents();
        std::vector<int> counts(static_cast<size_t>(n), 0);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j)
                if (j != i && radius >= l1(file, i, j)) ++counts[static_cast<size_t>(i)];
        return counts;
    }
    // The median over every event of the distance to its nearest other event.
    float bruteMedianNearest(int file) {
        const int n = data->header(file)->numEvents();
        std::vector<float> nearest;
        for (int i = 0; i < n; ++i) {
            float best = 1e8f;
            for (int j = 0; j < n; ++j)
                if (j != i) best = std::min(best, l1(file, i, j));
            nearest.push_back(best);
        }
        std::sort(nearest.begin(), nearest.end());
        return nearest[nearest.size() / 2];
    }

    // `perBlob` events around each of `blobs` centres (centre k has every
    // coordinate 20 k), unit normal noise, blob after blob.
    static Rows blobRows(int blobs, int perBlob, int dims, unsigned seed) {
        std::mt19937 rng(seed);
        std::normal_distribution<float> noise(0.0f, 1.0f);
        Rows rows;
        for (int b = 0; b < blobs; ++b)
            for (int i = 0; i < perBlob; ++i) {
                std::vector<float> row;
                for (int d = 0; d < dims; ++d) row.push_back(20.0f * static_cast<float>(b) + noise(rng));
                rows.push_back(row);
            }
        return rows;
    }

    static bool contains(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }

    QTemporaryDir dir;
    MCV_CytometryData* data = nullptr;
    std::unique_ptr<MCV_SpadeAnalysis> spade;
    int threads = 1;
};
