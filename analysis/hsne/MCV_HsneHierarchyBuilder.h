#pragma once

#include "analysis/hsne/MCV_DerivedDataHierarchy.h"

#include "vel/dr/BuildProgress.h"
#include "vel/utils/KnnCodes.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
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
// the parameter cache records exactly the build that would be made now and
// both hierarchy files have the length and checksum it records; anything else
// in their place (other, damaged or unreadable files, pipes, folders) is
// answered by a build and cacheNote(). A build writes the two hierarchy files
// first and the parameter cache last, so the parameter cache never vouches
// for files that were not written whole.
//
// obtain() does the cache load, the build and the cache write of a new
// hierarchy on a thread of its own, which touches nothing but the new
// hierarchy object and the cache files; the calling (GUI) thread meanwhile
// waits in the progress hook, which keeps the window alive. A stop request
// ends that work at the next block: no hierarchy, and no cache file of the
// build is left behind.
//
// Everything else, and every call, on the GUI thread; stop() from any thread.
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

    // Where a running obtain() is: `what` names the step ("Scale 2 of 3: area
    // of influence"), `fraction` (0 to 1) how much of it is done. `finished`
    // marks the one status given after the work has ended.
    struct Status {
        std::string what;
        double fraction = 0;
        bool finished = false;
    };
    using StatusHook = std::function<void(const Status&)>;

    // `cachingLine` is the console line a cache write begins with.
    MCV_HsneHierarchyBuilder(const Settings& defaults, std::string cachingLine);
    ~MCV_HsneHierarchyBuilder();
    MCV_HsneHierarchyBuilder(const MCV_HsneHierarchyBuilder&) = delete;
    MCV_HsneHierarchyBuilder& operator=(const MCV_HsneHierarchyBuilder&) = delete;

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
    // Loads the gated caches into `candidate`, on the calling thread; false,
    // with the candidate without a hierarchy, when they are refused or do not fit.
    bool loadCached(MCV_DerivedDataHierarchy& candidate, const MCV_DerivedDataPoints* selection,
                    const std::vector<unsigned>& markers) const;
    // Writes the gated caches of `built`, on the calling thread.
    void cache(MCV_DerivedDataHierarchy& built, const MCV_DerivedDataPoints* selection,
               const std::vector<unsigned>& markers) const;

    // prepare(), then the gated caches or a build (written to the caches), on
    // the builder's thread. Returns the hierarchy, or null when stop() ended
    // the work. The library's exceptions propagate. Not re-entrant: a call
    // while one runs returns null at once.
    std::shared_ptr<MCV_DerivedDataHierarchy> obtain(const std::string& name, std::vector<std::pair<int, int>>* points,
                                                     const std::vector<unsigned>& markers,
                                                     const MCV_DerivedDataPoints* selection);

    // Called on the GUI thread while obtain() waits: once as the work starts,
    // then about every 25 ms with the latest status, and once with `finished`
    // after it has ended. The hook is what keeps the window alive: it is
    // expected to show the status and to process pending events. Without a
    // hook obtain() just waits.
    void setProgressHook(StatusHook hook) { m_progressHook = std::move(hook); }
    // For tests and benches: called with every new status on the thread that
    // reports it (mostly the builder's own), in order. Must be quick and
    // thread-safe; it may call stop().
    void setStatusObserver(StatusHook observer) { m_observer = std::move(observer); }

    // Ends a running obtain() at the next block (also when asked from its
    // hooks); no effect when none runs. Any thread.
    void stop() { m_progress.requestStop(); }
    // True while obtain() runs.
    bool running() const { return m_running; }
    // After obtain(): one line for the user about a cache that exists but was
    // not used, or that could not be written, naming the folder and the
    // reason; empty when there is nothing to say.
    const std::string& cacheNote() const { return m_cacheNote; }

private:
    struct Job;
    // The work of one obtain() on the builder's thread.
    void work(Job& job);
    void writeCache(Job& job);
    void setStatus(std::string what, double fraction);
    // The status of a library phase.
    void libraryStatus(vel::dr::BuildProgress::Phase phase, unsigned int scale, double fraction);

    Settings m_settings;
    std::string m_cachingLine;
    StatusHook m_progressHook;
    StatusHook m_observer;
    vel::dr::BuildProgress m_progress;
    bool m_running = false;
    std::string m_cacheNote;
    // The scale count of the running work, for its status texts.
    int m_workScales = 0;

    // Shared with the builder's thread.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    Status m_status;
    bool m_done = false;
};
