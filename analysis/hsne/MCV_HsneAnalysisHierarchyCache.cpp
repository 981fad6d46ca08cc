// The caches of the HSNE hierarchy analysis: three files in the folder of the
// first data file, reused only for "All Points" when every recorded setting,
// the files, the markers and the data fingerprint match.
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"

#include "analysis/hsne/MCV_HsneParameterCache.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"

#include <cstdio>
#include <iostream>

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
    MCV_HsneParameterCache::Settings s;
    s.numScales = m_numScales;
    s.knnLibrary = m_knnLibrary;
    s.knnMetric = m_knnMetric;
    s.aknnNumChecks = m_aknnNumChecks;
    s.numTrees = m_numTrees;
    s.memoryPreserving = m_memoryPreserving;
    s.numWalksPerLandmark = m_numWalksPerLandmark;
    s.mcmcsNumWalks = m_mcmcsNumWalks;
    s.mcmcsLandmarkThresh = m_mcmcsLandmarkThresh;
    s.mcmcsWalkLength = m_mcmcsWalkLength;
    s.pruneThresh = m_pruneThresh;
    s.useHardThresh = m_useHardThresh;
    s.hardThresh = m_hardThresh;
    s.numNeighbors = kNumNeighbors;
    s.markers = m_selectedMarkers;
    return MCV_HsneParameterCache::record(s, built);
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
