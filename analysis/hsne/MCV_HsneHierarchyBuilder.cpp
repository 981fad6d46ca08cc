#include "analysis/hsne/MCV_HsneHierarchyBuilder.h"

#include "analysis/hsne/MCV_HsneParameterCache.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"

#include <cstdio>
#include <iostream>

MCV_HsneHierarchyBuilder::MCV_HsneHierarchyBuilder(const Settings& defaults, std::string cachingLine)
    : m_settings(defaults), m_cachingLine(std::move(cachingLine)) {}

MCV_DerivedDataHierarchy::Hsne::Parameters MCV_HsneHierarchyBuilder::parameters() const {
    const Settings& s = m_settings;
    MCV_DerivedDataHierarchy::Hsne::Parameters params;
    params.seed = s.seed;
    params.numNeighbors = s.numNeighbors;
    params.numTrees = s.numTrees;
    params.aknnNumChecks = s.aknnNumChecks;
    params.knnLibrary = s.knnLibrary;
    params.knnMetric = s.knnMetric;
    params.monteCarloSampling = s.monteCarloSampling;
    params.mcmcsNumWalks = s.mcmcsNumWalks;
    params.mcmcsLandmarkThresh = s.mcmcsLandmarkThresh;
    params.mcmcsWalkLength = s.mcmcsWalkLength;
    params.useHardThresh = s.useHardThresh;
    params.hardThresh = s.hardThresh;
    params.memoryPreserving = s.memoryPreserving;
    params.numWalksPerLandmark = s.numWalksPerLandmark;
    params.pruneThresh = static_cast<float>(s.pruneThresh);
    return params;
}

bool MCV_HsneHierarchyBuilder::cacheAllowed(const MCV_DerivedDataPoints* selection, const char* refusal) const {
    if (!m_settings.cachingEnabled) return false;
    if (!selection || selection->name() != "All Points") {
        std::cout << refusal;
        return false;
    }
    return true;
}

MCV_DerivedDataHierarchy::ParameterCache MCV_HsneHierarchyBuilder::record(const MCV_DerivedDataHierarchy& hierarchy,
                                                                          const std::vector<unsigned>& markers) const {
    return MCV_HsneParameterCache::record(m_settings, markers, hierarchy);
}

std::shared_ptr<MCV_DerivedDataHierarchy> MCV_HsneHierarchyBuilder::prepare(
    const std::string& name, std::vector<std::pair<int, int>>* points, const std::vector<unsigned>& markers) const {
    return MCV_DerivedDataHierarchy::forSelection(name, points, markers, m_settings.numScales, parameters());
}

bool MCV_HsneHierarchyBuilder::loadCached(MCV_DerivedDataHierarchy& candidate, const MCV_DerivedDataPoints* selection,
                                          const std::vector<unsigned>& markers) const {
    if (!cacheAllowed(selection, "can only cache and load caches for non-downsampled data\n")) return false;
    std::cout << "trying to load HSNE cache.\n";
    const std::string folder = MCV_CytometryData::Instance()->filePath();
    if (!candidate.loadHsneParametersCache(folder + MCV_DerivedDataHierarchy::ParametersCacheName,
                                           record(candidate, markers)))
        return false;
    return candidate.loadCache(folder);
}

void MCV_HsneHierarchyBuilder::cache(MCV_DerivedDataHierarchy& built, const MCV_DerivedDataPoints* selection,
                                     const std::vector<unsigned>& markers) const {
    if (!cacheAllowed(selection, "Can only cache and load caches for non-downsampled data\n")) return;
    std::cout << m_cachingLine;
    const std::string folder = MCV_CytometryData::Instance()->filePath();
    const std::string parameters = folder + MCV_DerivedDataHierarchy::ParametersCacheName;
    std::remove(parameters.c_str());
    if (!built.cacheHsne(folder)) return;
    built.cacheHsneParameters(parameters, record(built, markers));
}

std::shared_ptr<MCV_DerivedDataHierarchy> MCV_HsneHierarchyBuilder::obtain(const std::string& name,
                                                                           std::vector<std::pair<int, int>>* points,
                                                                           const std::vector<unsigned>& markers,
                                                                           const MCV_DerivedDataPoints* selection) {
    std::shared_ptr<MCV_DerivedDataHierarchy> fresh = prepare(name, points, markers);
    std::cout << "Data Prepared for HSNE.\n" << std::flush;
    if (!loadCached(*fresh, selection, markers)) {
        fresh->initHsne();
        cache(*fresh, selection, markers);
    }
    return fresh;
}
