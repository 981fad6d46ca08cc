#pragma once

// A fresh data set per test, loaded from FCS files written into a temporary
// folder (the density caches land beside them), a SPADE analysis over it, and
// the exact references the analysis's fast paths are checked against.

#include "../ClusteringTestData.h"
#include "support/TestData.h"

#include "analysis/spade/MCV_SpadeAnalysis.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"

#include <QDir>
#include <QFile>

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>

class SpadeAnalysisTest : public ClusteringDataTest {
protected:
    void SetUp() override {
        threads = omp_get_max_threads();
        ClusteringDataTest::SetUp();
    }
    void TearDown() override {
        spade.reset();
        omp_set_num_threads(threads);
        ClusteringDataTest::TearDown();
    }

    // An empty data set (the previous one and its analysis are dropped).
    void fresh() {
        spade.reset();
        ClusteringDataTest::fresh();
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

    // The L1 distance over the selected markers, summed in float in marker order.
    float l1(int file, int a, int b) {
        float d = 0.0f;
        for (unsigned m : *spade->selectedMarkers()) d += std::fabs(at(file, a, m) - at(file, b, m));
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

    std::unique_ptr<MCV_SpadeAnalysis> spade;
    int threads = 1;
};
