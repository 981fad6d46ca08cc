// The caches of the HSNE hierarchy analysis: three files in the folder of the
// first data file, reused only for "All Points" when every recorded setting,
// the files, the markers and the data fingerprint match.
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"

#include <cstdio>
#include <iostream>

namespace {

const char* const kCacheVersion = "1.0";

}  // namespace

bool MCV_HsneAnalysisHierarchy::cacheAllowed(const char* refusal) const {
    if (!m_cachingEnabled) return false;
    if (!m_dataSelection || m_dataSelection->name() != "All Points") {
        std::cout << refusal;
        return false;
    }
    return true;
}

MCV_DerivedDataHierarchy::ParameterCache MCV_HsneAnalysisHierarchy::parameterCache(
    const MCV_DerivedDataHierarchy& built) const {
    using Kind = MCV_DerivedDataHierarchy::CachedSetting::Kind;
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    const std::string folder = data->filePath();
    MCV_DerivedDataHierarchy::ParameterCache cache;
    cache.version = kCacheVersion;
    for (int f = 0; f < data->numFiles(); ++f) {
        std::string path = data->header(f)->fileName();
        if (!folder.empty() && path.compare(0, folder.size(), folder) == 0) path.erase(0, folder.size());
        cache.files.push_back(path);
    }
    cache.markers = m_selectedMarkers;
    cache.settings = {
        {"Number of Scales", Kind::Integer, static_cast<double>(m_numScales), {}},
        {"Knn library", Kind::Integer, static_cast<double>(m_knnLibrary), {}},
        {"Knn distance metric", Kind::Integer, static_cast<double>(m_knnMetric), {}},
        {"Nr. Checks in AKNN", Kind::Integer, static_cast<double>(m_aknnNumChecks), {}},
        {"Nr. Trees for AKNN", Kind::Integer, static_cast<double>(m_numTrees), {}},
        {"Memory preserving computation", Kind::Boolean, m_memoryPreserving ? 1.0 : 0.0, {}},
        {"Nr. RW for influence", Kind::Integer, static_cast<double>(m_numWalksPerLandmark), {}},
        {"Nr. RW for Monte Carlo", Kind::Integer, static_cast<double>(m_mcmcsNumWalks), {}},
        {"Random walks threshold", Kind::Real, static_cast<double>(m_mcmcsLandmarkThresh), {}},
        {"Random walks length", Kind::Integer, static_cast<double>(m_mcmcsWalkLength), {}},
        {"Pruning threshold", Kind::Integer, static_cast<double>(m_pruneThresh), {}},
        {"Fixed Percentile Landmark Selection", Kind::Boolean, m_useHardThresh ? 1.0 : 0.0, {}},
        {"Percentile", Kind::Real, static_cast<double>(m_hardThresh), {}},
        // Ties the cache to the values it was built from, not only to names.
        {"Data Fingerprint", Kind::Text, 0, built.dataFingerprint()},
    };
    return cache;
}

bool MCV_HsneAnalysisHierarchy::loadCachedHSNE() {
    // Loads into a scratch object: the hierarchy the levels share stays.
    if (!m_dataSelection || !m_cachingEnabled) return false;
    std::vector<std::pair<int, int>> points = m_dataSelection->data();
    if (m_numScales < 1 || !checkBuildable(points)) return false;
    std::shared_ptr<MCV_DerivedDataHierarchy> scratch = prepareHierarchy(points);
    return loadCachedHSNE(*scratch);
}

bool MCV_HsneAnalysisHierarchy::loadCachedHSNE(MCV_DerivedDataHierarchy& candidate) {
    if (!cacheAllowed("can only cache and load caches for non-downsampled data\n")) return false;
    std::cout << "trying to load HSNE cache.\n";
    const std::string folder = MCV_CytometryData::Instance()->filePath();
    if (!candidate.loadHsneParametersCache(folder + MCV_DerivedDataHierarchy::ParametersCacheName,
                                           parameterCache(candidate)))
        return false;
    return candidate.loadCache(folder);
}

void MCV_HsneAnalysisHierarchy::cacheHSNE() {
    if (m_hierarchy) cacheHSNE(*m_hierarchy);
}

void MCV_HsneAnalysisHierarchy::cacheHSNE(MCV_DerivedDataHierarchy& built) {
    if (!cacheAllowed("Can only cache and load caches for non-downsampled data\n")) return;
    std::cout << "Caching HSNE results.\n";
    const std::string folder = MCV_CytometryData::Instance()->filePath();
    const std::string parameters = folder + MCV_DerivedDataHierarchy::ParametersCacheName;
    // The parameter cache goes first and comes back last, so that it never
    // vouches for hierarchy files that were not written completely.
    std::remove(parameters.c_str());
    if (!built.cacheHsne(folder)) return;
    built.cacheHsneParameters(parameters, parameterCache(built));
}
