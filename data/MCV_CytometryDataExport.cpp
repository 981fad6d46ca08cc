// The data set's exports of point sets and cluster sets to files.
#include "data/MCV_CytometryData.h"

#include "data/MCV_BinWriter.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_ExportNames.h"
#include "data/MCV_FcsWriter.h"

#include <iostream>

int MCV_CytometryData::writeToFile(std::string name, std::string path, int mode, std::vector<int>* markers) {
    if (name.empty()) return 0;
    const bool binary = MCV_ExportNames::extension(path) == "bin";
    MCV_DerivedDataPoints* points = static_cast<MCV_DerivedDataPoints*>(find(MCV_DerivedData::KindPoints, name));
    if (!points) {
        std::cout << "[ERROR] There is no point set " << name << " to write to " << path << ".\n";
        return binary ? 0 : MCV_FcsWriter::Failed;
    }
    if (binary) {
        MCV_BinWriter writer;
        writer.setData(points);
        writer.setHeader(m_combinedHeader);
        return writer.writeToFile(path, markers, mode);
    }
    MCV_FcsWriter writer;
    writer.setHeader(m_combinedHeader);
    if (mode != 1) {
        writer.setData(points);
        return writer.writeToFile(path);
    }
    // One file per sample, named like the binary writer's per-sample files;
    // a sample without points of the set gets no file.
    const std::string base = MCV_ExportNames::base(path);
    MCV_ExportNames names;
    bool all = true;
    for (int f = 0; f < numFiles(); ++f) {
        std::vector<std::pair<int, int>> ofFile;
        for (const auto& p : points->data())
            if (p.first == f) ofFile.push_back(p);
        if (ofFile.empty()) continue;
        MCV_DerivedDataPoints sample;
        sample.setPoints(std::move(ofFile), false);
        writer.setData(&sample);
        const std::string file = names.unique(base + "-" + MCV_ExportNames::component(fileName(f, true)), ".fcs");
        all = writer.writeToFile(file) == MCV_FcsWriter::Written && all;
    }
    return all ? MCV_FcsWriter::Written : MCV_FcsWriter::Failed;
}

int MCV_CytometryData::writeClustersToFiles(std::string name, std::string path, bool perFile) {
    if (name.empty()) return 0;
    if (!MCV_ExportNames::isFcs(path)) {
        std::cout << "[ERROR] Clusters are exported as FCS files only; " << path << " does not end in .fcs.\n";
        return 0;
    }
    const std::string base = MCV_ExportNames::base(path);
    std::cout << base << "\n";
    MCV_DerivedDataClusters* clusters =
        static_cast<MCV_DerivedDataClusters*>(find(MCV_DerivedData::KindClusters, name));
    if (!clusters) return 0;

    MCV_FcsWriter writer;
    writer.setHeader(m_combinedHeader);
    // Two clusters (or samples) of the same name must not overwrite each
    // other's file.
    MCV_ExportNames names;
    bool all = true;
    for (int c = 0; c < clusters->numClusters(); ++c) {
        const std::vector<std::pair<int, int>>& members = clusters->clusters()[static_cast<size_t>(c)];
        const std::string stem = base + "-" + MCV_ExportNames::component(clusters->clusterName(c));
        if (!perFile) {
            MCV_DerivedDataPoints points;
            points.setPoints(members, false);
            writer.setData(&points);
            all = writer.writeToFile(names.unique(stem, ".fcs")) == MCV_FcsWriter::Written && all;
            continue;
        }
        for (int f = 0; f < numFiles(); ++f) {
            std::vector<std::pair<int, int>> ofFile;
            for (const auto& p : members)
                if (p.first == f) ofFile.push_back(p);
            if (ofFile.empty()) continue;
            MCV_DerivedDataPoints points;
            points.setPoints(std::move(ofFile), false);
            writer.setData(&points);
            const std::string file = names.unique(stem + "-" + MCV_ExportNames::component(fileName(f, true)), ".fcs");
            all = writer.writeToFile(file) == MCV_FcsWriter::Written && all;
        }
    }
    if (!all) {
        std::cout << "[ERROR] Some clusters were not exported.\n";
        return 0;
    }
    std::cout << "Clusters exported succesfully.\n";
    return 1;
}
