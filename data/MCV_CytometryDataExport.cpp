// The data set's exports of point sets and cluster sets to files.
#include "data/MCV_CytometryData.h"

#include "data/MCV_BinWriter.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_ExportNames.h"
#include "data/MCV_FcsWriter.h"

#include <algorithm>
#include <iostream>

int MCV_CytometryData::writeToFile(std::string name, std::string path, int mode, std::vector<int>* markers) {
    m_exportFailure.clear();
    if (name.empty()) return 0;
    const bool binary = MCV_ExportNames::extension(path) == "bin";
    MCV_DerivedDataPoints* points = static_cast<MCV_DerivedDataPoints*>(find(MCV_DerivedData::KindPoints, name));
    if (!points) {
        std::cout << "[ERROR] There is no point set " << name << " to write to " << path << ".\n";
        m_exportFailure = path + ": there is no point set " + name;
        return binary ? 0 : MCV_FcsWriter::Failed;
    }
    if (binary) {
        MCV_BinWriter writer;
        writer.setData(points);
        writer.setHeader(m_combinedHeader);
        const int result = writer.writeToFile(path, markers, mode);
        m_exportFailure = writer.error();
        return result;
    }
    MCV_FcsWriter writer;
    writer.setHeader(m_combinedHeader);
    if (mode != 1) {
        writer.setData(points);
        const int result = writer.writeToFile(path);
        m_exportFailure = writer.error();
        return result;
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
        if (writer.writeToFile(file) == MCV_FcsWriter::Written) continue;
        all = false;
        m_exportFailure += (m_exportFailure.empty() ? "" : "\n") + writer.error();
    }
    return all ? MCV_FcsWriter::Written : MCV_FcsWriter::Failed;
}

namespace {

// The events of `members` by sample file (`files` lists), in cluster order;
// events of no loaded file are left out.
std::vector<std::vector<std::pair<int, int>>> bySample(const std::vector<std::pair<int, int>>& members, int files) {
    std::vector<std::vector<std::pair<int, int>>> of(static_cast<size_t>(std::max(files, 0)));
    for (const auto& p : members)
        if (p.first >= 0 && static_cast<size_t>(p.first) < of.size()) of[static_cast<size_t>(p.first)].push_back(p);
    return of;
}

}  // namespace

std::vector<MCV_CytometryData::ClusterFile> MCV_CytometryData::clusterFiles(const std::string& name,
                                                                            const std::string& path,
                                                                            bool perFile) const {
    std::vector<ClusterFile> files;
    if (name.empty() || !MCV_ExportNames::isFcs(path)) return files;
    auto* clusters = static_cast<MCV_DerivedDataClusters*>(find(MCV_DerivedData::KindClusters, name));
    if (!clusters) return files;
    const std::string base = MCV_ExportNames::base(path);
    // Two clusters (or samples) of the same name must not overwrite each
    // other's file.
    MCV_ExportNames names;
    for (int c = 0; c < clusters->numClusters(); ++c) {
        const std::string stem = base + "-" + MCV_ExportNames::component(clusters->clusterName(c));
        if (!perFile) {
            files.push_back({names.unique(stem, ".fcs"), c, -1});
            continue;
        }
        std::vector<bool> present(static_cast<size_t>(std::max(numFiles(), 0)), false);
        for (const auto& p : clusters->clusters()[static_cast<size_t>(c)])
            if (p.first >= 0 && static_cast<size_t>(p.first) < present.size())
                present[static_cast<size_t>(p.first)] = true;
        for (int f = 0; f < numFiles(); ++f)
            if (present[static_cast<size_t>(f)])
                files.push_back(
                    {names.unique(stem + "-" + MCV_ExportNames::component(fileName(f, true)), ".fcs"), c, f});
    }
    return files;
}

std::vector<std::string> MCV_CytometryData::clusterFileNames(const std::string& name, const std::string& path,
                                                             bool perFile) const {
    std::vector<std::string> paths;
    for (ClusterFile& file : clusterFiles(name, path, perFile)) paths.push_back(std::move(file.path));
    return paths;
}

std::string MCV_CytometryData::exportFailure() const { return m_exportFailure; }

int MCV_CytometryData::writeClustersToFiles(std::string name, std::string path, bool perFile) {
    m_exportFailure.clear();
    if (name.empty()) return 0;
    if (!MCV_ExportNames::isFcs(path)) {
        std::cout << "[ERROR] Clusters are exported as FCS files only; " << path << " does not end in .fcs.\n";
        m_exportFailure = path + ": clusters are exported as FCS files only";
        return 0;
    }
    std::cout << MCV_ExportNames::base(path) << "\n";
    auto* clusters = static_cast<MCV_DerivedDataClusters*>(find(MCV_DerivedData::KindClusters, name));
    if (!clusters) {
        m_exportFailure = path + ": there is no cluster set " + name;
        return 0;
    }

    MCV_FcsWriter writer;
    writer.setHeader(m_combinedHeader);
    bool all = true;
    // One cluster's events by sample at a time, split in one pass.
    int split = -1;
    std::vector<std::vector<std::pair<int, int>>> ofSample;
    for (const ClusterFile& file : clusterFiles(name, path, perFile)) {
        const std::vector<std::pair<int, int>>& members = clusters->clusters()[static_cast<size_t>(file.cluster)];
        MCV_DerivedDataPoints points;
        if (file.sample < 0) {
            points.setPoints(members, false);
        } else {
            if (split != file.cluster) {
                ofSample = bySample(members, numFiles());
                split = file.cluster;
            }
            points.setPoints(std::move(ofSample[static_cast<size_t>(file.sample)]), false);
        }
        writer.setData(&points);
        if (writer.writeToFile(file.path) == MCV_FcsWriter::Written) continue;
        all = false;
        m_exportFailure += (m_exportFailure.empty() ? "" : "\n") + writer.error();
    }
    if (!all) {
        std::cout << "[ERROR] Some clusters were not exported.\n";
        return 0;
    }
    std::cout << "Clusters exported succesfully.\n";
    return 1;
}
