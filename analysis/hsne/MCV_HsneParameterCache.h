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

    // The record of a build with `settings` and `markers` over the data of
    // `files` (loadedFiles()) whose input matrix has `fingerprint`
    // (MCV_DerivedDataHierarchy::dataFingerprint).
    static MCV_DerivedDataHierarchy::ParameterCache record(const MCV_HsneHierarchyBuilder::Settings& settings,
                                                           const std::vector<unsigned>& markers,
                                                           const std::vector<std::string>& files,
                                                           const std::string& fingerprint);
    // The loaded files' paths relative to the data folder, in file order.
    // Reads the data model: GUI thread.
    static std::vector<std::string> loadedFiles();
};
