#pragma once

// The data of the analysis benchmarks: a fixed mixture of 10 Gaussian
// clusters of different scales and sizes, loaded as FCS files written with the
// tests' file builder.

#include "tests/data/FcsTestFile.h"

#include "data/MCV_CytometryData.h"

#include <QTemporaryDir>

#include <random>
#include <string>
#include <vector>

inline std::vector<float> syntheticData(unsigned n, unsigned dims) {
    std::mt19937 rng(20240611);
    std::normal_distribution<float> normal(0.f, 1.f);
    const unsigned clusters = 10;
    std::vector<float> centres(clusters * dims), scales(clusters);
    for (auto& c : centres) c = normal(rng) * 6.f;
    for (unsigned c = 0; c < clusters; ++c) scales[c] = 0.3f + 0.35f * static_cast<float>(c);
    std::discrete_distribution<unsigned> pick({1, 2, 3, 4, 5, 5, 4, 3, 2, 1});
    std::vector<float> data(static_cast<size_t>(n) * dims);
    for (unsigned i = 0; i < n; ++i) {
        const unsigned c = pick(rng);
        for (unsigned d = 0; d < dims; ++d)
            data[static_cast<size_t>(i) * dims + d] = centres[c * dims + d] + scales[c] * normal(rng);
    }
    return data;
}

// Writes the rows as `files` FCS files into `dir` (row i into file
// i * files / n); the paths in file order.
inline std::vector<std::string> writeFiles(const std::vector<float>& rows, unsigned n, unsigned dims, int files,
                                           const QTemporaryDir& dir) {
    std::vector<std::string> paths;
    for (int f = 0; f < files; ++f) {
        const size_t first = static_cast<size_t>(n) * static_cast<size_t>(f) / static_cast<size_t>(files);
        const size_t last = static_cast<size_t>(n) * static_cast<size_t>(f + 1) / static_cast<size_t>(files);
        std::vector<std::vector<float>> part;
        for (size_t i = first; i < last; ++i)
            part.emplace_back(rows.begin() + static_cast<long>(i * dims),
                              rows.begin() + static_cast<long>((i + 1) * dims));
        FcsTestFile file = FcsTestFile::floats(part);
        paths.push_back(file.write(dir, "sample" + std::to_string(f + 1) + ".fcs"));
    }
    return paths;
}

// Loads the rows, written as by writeFiles, into the process-wide data set
// and adds the output variables, as the shell does before it creates the
// analysis.
inline bool loadData(const std::vector<float>& rows, unsigned n, unsigned dims, int files, const QTemporaryDir& dir,
                     const std::vector<std::string>& outputs) {
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    for (const std::string& path : writeFiles(rows, n, dims, files, dir))
        if (data->loadFromFile(path) != 0) return false;
    data->initAllDerviedDataPointer();
    data->addDimensions(outputs, 0.f);
    return true;
}
