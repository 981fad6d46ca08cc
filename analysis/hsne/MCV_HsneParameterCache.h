#pragma once

#include "analysis/hsne/MCV_DerivedDataHierarchy.h"

#include <string>
#include <vector>

// What the parameter cache records of a hierarchy build. Every analysis that
// caches a hierarchy beside the data (HSNE, focus and context) records the
// same keys, so a cache written by one is reused by another only when the
// hierarchy it holds is the one the other would build.
class MCV_HsneParameterCache {
public:
    static constexpr const char* Version = "1.0";

    // The library-facing settings of a build.
    struct Settings {
        int numScales = 0;
        int knnLibrary = 0;
        int knnMetric = 0;
        int aknnNumChecks = 0;
        int numTrees = 0;
        bool memoryPreserving = true;
        int numWalksPerLandmark = 0;
        int mcmcsNumWalks = 0;
        float mcmcsLandmarkThresh = 0;
        int mcmcsWalkLength = 0;
        int pruneThresh = 0;
        bool useHardThresh = false;
        float hardThresh = 0;
        int numNeighbors = 0;
        std::vector<unsigned> markers;
    };

    // The record of a build over `built` with `settings`: the loaded files
    // relative to the data folder, the markers, the settings and the data
    // fingerprint.
    static MCV_DerivedDataHierarchy::ParameterCache record(const Settings& settings,
                                                           const MCV_DerivedDataHierarchy& built);
};
