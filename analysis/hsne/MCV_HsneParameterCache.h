#pragma once

#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "analysis/hsne/MCV_HsneHierarchyBuilder.h"

#include <string>
#include <vector>

// What the parameter cache records of a hierarchy build. Every analysis that
// caches a hierarchy beside the data (HSNE, focus and context) records the
// same keys, so a cache written by one is reused by another only when the
// hierarchy it holds is the one the other would build.
class MCV_HsneParameterCache {
public:
    static constexpr const char* Version = "1.0";

    // The record of a build over `built` with `settings` and `markers`: the
    // loaded files relative to the data folder, the markers, the settings and
    // the data fingerprint.
    static MCV_DerivedDataHierarchy::ParameterCache record(const MCV_HsneHierarchyBuilder::Settings& settings,
                                                           const std::vector<unsigned>& markers,
                                                           const MCV_DerivedDataHierarchy& built);
};
