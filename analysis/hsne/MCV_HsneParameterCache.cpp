#include "analysis/hsne/MCV_HsneParameterCache.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_ExportNames.h"

std::vector<std::string> MCV_HsneParameterCache::loadedFiles() {
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    const std::string folder = data->filePath();
    std::vector<std::string> files;
    for (int f = 0; f < data->numFiles(); ++f) {
        // Both folders are absolute, so a file opened by a relative path is
        // recorded as the same file opened by its full path.
        std::string path = data->fileFolder(f) + MCV_ExportNames::fileName(data->fileName(f, false));
        if (path.compare(0, folder.size(), folder) == 0) path.erase(0, folder.size());
        files.push_back(path);
    }
    return files;
}

MCV_DerivedDataHierarchy::ParameterCache MCV_HsneParameterCache::record(const MCV_HsneHierarchyBuilder::Settings& s,
                                                                        const std::vector<unsigned>& markers,
                                                                        const std::vector<std::string>& files,
                                                                        const std::string& fingerprint) {
    using Kind = MCV_DerivedDataHierarchy::CachedSetting::Kind;
    MCV_DerivedDataHierarchy::ParameterCache cache;
    cache.version = Version;
    cache.files = files;
    cache.markers = markers;
    cache.settings = {
        {"Number of Scales", Kind::Integer, static_cast<double>(s.numScales), {}},
        {"Knn library", Kind::Integer, static_cast<double>(s.knnLibrary), {}},
        {"Knn distance metric", Kind::Integer, static_cast<double>(s.knnMetric), {}},
        {"Nr. Checks in AKNN", Kind::Integer, static_cast<double>(s.aknnNumChecks), {}},
        {"Nr. Trees for AKNN", Kind::Integer, static_cast<double>(s.numTrees), {}},
        {"Memory preserving computation", Kind::Boolean, s.memoryPreserving ? 1.0 : 0.0, {}},
        {"Nr. RW for influence", Kind::Integer, static_cast<double>(s.numWalksPerLandmark), {}},
        {"Nr. RW for Monte Carlo", Kind::Integer, static_cast<double>(s.mcmcsNumWalks), {}},
        {"Random walks threshold", Kind::Real, static_cast<double>(s.mcmcsLandmarkThresh), {}},
        {"Random walks length", Kind::Integer, static_cast<double>(s.mcmcsWalkLength), {}},
        {"Pruning threshold", Kind::Integer, static_cast<double>(s.pruneThresh), {}},
        {"Fixed Percentile Landmark Selection", Kind::Boolean, s.useHardThresh ? 1.0 : 0.0, {}},
        {"Percentile", Kind::Real, static_cast<double>(s.hardThresh), {}},
        // The analyses build with different neighbourhood sizes.
        {"Nr. Neighbors", Kind::Integer, static_cast<double>(s.numNeighbors), {}},
        // Ties the cache to the values it was built from, not only to names.
        {"Data Fingerprint", Kind::Text, 0, fingerprint},
    };
    return cache;
}
