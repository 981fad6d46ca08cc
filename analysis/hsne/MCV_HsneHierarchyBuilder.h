#pragma once

#include "analysis/hsne/MCV_DerivedDataHierarchy.h"

#include "vel/utils/KnnCodes.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class MCV_DerivedDataPoints;

// The one road by which an analysis gets its HSNE hierarchy (the HSNE
// analysis and the focus-and-context analysis each own one builder): the
// settings the hierarchy is built with, the cache gate, the load of a
// matching cache, the build and the cache write.
//
// Caches live in the folder of the first data file and serve only "All
// Points" with caching on. A cache is loaded into the new object only when
// the parameter cache records exactly the build that would be made now; a
// build writes the two hierarchy files first and the parameter cache last, so
// the parameter cache never vouches for files that were not written whole.
//
// GUI thread only.
class MCV_HsneHierarchyBuilder {
public:
    // What a hierarchy is built with. The library-facing fields mean what the
    // vel::dr::HierarchicalSNE::Parameters fields of the same names mean.
    struct Settings {
        int numScales = 4;
        int seed = -1;
        int numWalksPerLandmark = 100;
        bool monteCarloSampling = true;
        int mcmcsNumWalks = 15;
        float mcmcsLandmarkThresh = 1.5f;
        int mcmcsWalkLength = 15;
        int pruneThresh = 0;
        bool useHardThresh = false;
        float hardThresh = 0.5f;
        bool memoryPreserving = true;
        int aknnNumChecks = 1024;
        int numTrees = 4;
        int knnLibrary = vel::utils::KNN_ANNOY;
        int knnMetric = vel::utils::KNN_METRIC_EUCLIDEAN;
        // Neighbours of every point in the kNN graph, the point itself not counted.
        int numNeighbors = 91;
        bool cachingEnabled = true;
    };

    // `cachingLine` is the console line a cache write begins with.
    MCV_HsneHierarchyBuilder(const Settings& defaults, std::string cachingLine);

    Settings& settings() { return m_settings; }
    const Settings& settings() const { return m_settings; }
    // The library parameters of a build with the current settings.
    MCV_DerivedDataHierarchy::Hsne::Parameters parameters() const;

    // Whether caches serve `selection`: caching is on and it is "All Points".
    // Prints `refusal` for another selection (nothing when caching is off).
    bool cacheAllowed(const MCV_DerivedDataPoints* selection, const char* refusal) const;
    // What the parameter cache records of a build over `hierarchy` with the
    // current settings and `markers`.
    MCV_DerivedDataHierarchy::ParameterCache record(const MCV_DerivedDataHierarchy& hierarchy,
                                                    const std::vector<unsigned>& markers) const;

    // A new derived hierarchy named `name` over `points` (a buildable
    // selection) and `markers`, with the current settings and its input filled.
    std::shared_ptr<MCV_DerivedDataHierarchy> prepare(const std::string& name, std::vector<std::pair<int, int>>* points,
                                                      const std::vector<unsigned>& markers) const;
    // Loads the gated caches into `candidate`; false, with the candidate
    // without a hierarchy, when they are refused or do not fit.
    bool loadCached(MCV_DerivedDataHierarchy& candidate, const MCV_DerivedDataPoints* selection,
                    const std::vector<unsigned>& markers) const;
    // Writes the gated caches of `built`: the parameter cache is removed
    // first and written only after both hierarchy files.
    void cache(MCV_DerivedDataHierarchy& built, const MCV_DerivedDataPoints* selection,
               const std::vector<unsigned>& markers) const;

    // prepare(), then the gated caches or a build (written to the caches).
    // The library's exceptions propagate.
    std::shared_ptr<MCV_DerivedDataHierarchy> obtain(const std::string& name, std::vector<std::pair<int, int>>* points,
                                                     const std::vector<unsigned>& markers,
                                                     const MCV_DerivedDataPoints* selection);

private:
    Settings m_settings;
    std::string m_cachingLine;
};
