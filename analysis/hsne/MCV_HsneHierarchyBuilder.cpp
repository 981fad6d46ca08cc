#include "analysis/hsne/MCV_HsneHierarchyBuilder.h"

#include "analysis/hsne/MCV_HsneParameterCache.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"

#include <cassert>
#include <chrono>
#include <cstdio>
#include <exception>
#include <iostream>
#include <omp.h>
#include <thread>

namespace {

constexpr const char* kLoadRefusal = "can only cache and load caches for non-downsampled data\n";
constexpr const char* kWriteRefusal = "Can only cache and load caches for non-downsampled data\n";

}  // namespace

// What one obtain() hands to the builder's thread; nothing in it is shared
// with the GUI thread while that thread runs.
struct MCV_HsneHierarchyBuilder::Job {
    std::shared_ptr<MCV_DerivedDataHierarchy> hierarchy;
    Settings settings;
    std::vector<unsigned> markers;
    std::vector<std::string> files;
    std::string folder;
    bool load = false;         // the gate lets the caches serve this build
    bool refuseWrite = false;  // caching is on, the selection is not "All Points"
    std::string fingerprint;   // of the input, once computed
    bool stopped = false;
    std::string loadProblem;   // a cache that exists and was not used
    std::string writeProblem;  // a cache write that failed
};

MCV_HsneHierarchyBuilder::MCV_HsneHierarchyBuilder(const Settings& defaults, std::string cachingLine)
    : m_settings(defaults), m_cachingLine(std::move(cachingLine)) {
    m_progress.setCallback([this](vel::dr::BuildProgress::Phase phase, unsigned int scale, double fraction) {
        libraryStatus(phase, scale, fraction);
    });
}

MCV_HsneHierarchyBuilder::~MCV_HsneHierarchyBuilder() { assert(!m_running); }

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
    return MCV_HsneParameterCache::record(m_settings, markers, MCV_HsneParameterCache::loadedFiles(),
                                          hierarchy.dataFingerprint());
}

std::shared_ptr<MCV_DerivedDataHierarchy> MCV_HsneHierarchyBuilder::prepare(
    const std::string& name, std::vector<std::pair<int, int>>* points, const std::vector<unsigned>& markers) const {
    return MCV_DerivedDataHierarchy::forSelection(name, points, markers, m_settings.numScales, parameters());
}

bool MCV_HsneHierarchyBuilder::loadCached(MCV_DerivedDataHierarchy& candidate, const MCV_DerivedDataPoints* selection,
                                          const std::vector<unsigned>& markers) const {
    if (!cacheAllowed(selection, kLoadRefusal)) return false;
    std::cout << "trying to load HSNE cache.\n";
    const std::string folder = MCV_CytometryData::Instance()->filePath();
    if (!candidate.loadHsneParametersCache(folder + MCV_DerivedDataHierarchy::ParametersCacheName,
                                           record(candidate, markers)))
        return false;
    return candidate.loadCache(folder);
}

void MCV_HsneHierarchyBuilder::cache(MCV_DerivedDataHierarchy& built, const MCV_DerivedDataPoints* selection,
                                     const std::vector<unsigned>& markers) const {
    if (!cacheAllowed(selection, kWriteRefusal)) return;
    std::cout << m_cachingLine;
    const std::string folder = MCV_CytometryData::Instance()->filePath();
    const std::string parameters = folder + MCV_DerivedDataHierarchy::ParametersCacheName;
    std::remove(parameters.c_str());
    if (!built.cacheHsne(folder)) return;
    built.cacheHsneParameters(parameters, record(built, markers));
}

// ---- The work of obtain() ----

std::shared_ptr<MCV_DerivedDataHierarchy> MCV_HsneHierarchyBuilder::obtain(const std::string& name,
                                                                           std::vector<std::pair<int, int>>* points,
                                                                           const std::vector<unsigned>& markers,
                                                                           const MCV_DerivedDataPoints* selection) {
    if (m_running) {
        std::cout << "HSNE: " << name << " is building its hierarchy already." << std::endl;
        return nullptr;
    }
    m_cacheNote.clear();
    Job job;
    job.hierarchy = prepare(name, points, markers);
    std::cout << "Data Prepared for HSNE.\n" << std::flush;
    // What the data model and the settings say is taken here, on the GUI
    // thread: the builder's thread reads only the job.
    job.settings = m_settings;
    job.markers = markers;
    job.files = MCV_HsneParameterCache::loadedFiles();
    job.folder = MCV_CytometryData::Instance()->filePath();
    job.load = cacheAllowed(selection, kLoadRefusal);
    job.refuseWrite = m_settings.cachingEnabled && !job.load;
    m_workScales = m_settings.numScales;

    m_progress.clearStop();
    m_running = true;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_done = false;
        m_status = Status{job.load ? "Reading the cache" : "Nearest neighbours", 0, false};
    }
    std::exception_ptr error;
    // A new thread starts with the OpenMP defaults; the build runs on as many
    // threads as the caller's parallel loops would.
    const int threads = omp_get_max_threads();
    std::thread worker([this, &job, &error, threads] {
        omp_set_num_threads(threads);
        try {
            work(job);
        } catch (const vel::dr::BuildProgress::Stopped&) {
            job.stopped = true;
        } catch (...) {
            error = std::current_exception();
        }
        job.hierarchy->setBuildProgress(nullptr, nullptr);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_changed.notify_all();
    });
    try {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_done) {
            if (!m_progressHook) {
                m_changed.wait(lock, [this] { return m_done; });
                break;
            }
            const Status status = m_status;
            lock.unlock();
            m_progressHook(status);
            lock.lock();
            m_changed.wait_for(lock, std::chrono::milliseconds(25), [this] { return m_done; });
        }
    } catch (...) {
        // The thread refers to this frame: it ends before the frame does.
        stop();
        worker.join();
        m_running = false;
        throw;
    }
    worker.join();
    m_running = false;

    const bool stopped = job.stopped || m_progress.stopRequested();
    if (!stopped && !job.loadProblem.empty())
        m_cacheNote = "HSNE cache in " + job.folder + " not used: " + job.loadProblem + ".";
    if (!stopped && !job.writeProblem.empty())
        m_cacheNote += (m_cacheNote.empty() ? "" : " ") +
                       ("HSNE cache not written to " + job.folder + ": " + job.writeProblem + ".");
    if (m_progressHook) m_progressHook(Status{m_status.what, 1, true});
    if (error) std::rethrow_exception(error);
    if (stopped) {
        std::cout << "HSNE: the hierarchy of " << name << " was not built: the build was stopped." << std::endl;
        return nullptr;
    }
    return job.hierarchy;
}

void MCV_HsneHierarchyBuilder::work(Job& job) {
    MCV_DerivedDataHierarchy& h = *job.hierarchy;
    h.setBuildProgress(&m_progress, [this](double share) { setStatus("Points per landmark", share); });
    bool loaded = false;
    if (job.load) {
        std::cout << "trying to load HSNE cache.\n";
        setStatus("Reading the cache", 0);
        job.fingerprint = h.dataFingerprint();
        const MCV_DerivedDataHierarchy::ParameterCache current =
            MCV_HsneParameterCache::record(job.settings, job.markers, job.files, job.fingerprint);
        if (h.loadHsneParametersCache(job.folder + MCV_DerivedDataHierarchy::ParametersCacheName, current)) {
            setStatus("Loading the cached hierarchy", 0);
            loaded = h.loadCache(job.folder);
        }
        if (!loaded) job.loadProblem = h.cacheProblem();
        if (m_progress.stopRequested()) throw vel::dr::BuildProgress::Stopped();
    }
    if (loaded) return;
    h.initHsne();
    if (m_progress.stopRequested()) throw vel::dr::BuildProgress::Stopped();
    if (job.refuseWrite) std::cout << kWriteRefusal;
    if (job.load) writeCache(job);
}

void MCV_HsneHierarchyBuilder::writeCache(Job& job) {
    MCV_DerivedDataHierarchy& h = *job.hierarchy;
    std::cout << m_cachingLine;
    setStatus("Writing the cache", 0);
    const std::string parameters = job.folder + MCV_DerivedDataHierarchy::ParametersCacheName;
    // The parameter cache goes first and comes back last, so that it never
    // vouches for hierarchy files that were not written completely.
    std::remove(parameters.c_str());
    const bool written = h.cacheHsne(job.folder);
    if (m_progress.stopRequested()) {
        // A stopped build leaves no cache of its own behind.
        for (const char* file :
             {MCV_DerivedDataHierarchy::HierarchyCacheName, MCV_DerivedDataHierarchy::PointBasedCacheName})
            std::remove((job.folder + file).c_str());
        throw vel::dr::BuildProgress::Stopped();
    }
    if (!written) {
        job.writeProblem = h.cacheProblem();
        return;
    }
    setStatus("Writing the cache", 0.9);
    if (job.fingerprint.empty()) job.fingerprint = h.dataFingerprint();
    if (!h.cacheHsneParameters(parameters,
                               MCV_HsneParameterCache::record(job.settings, job.markers, job.files, job.fingerprint)))
        job.writeProblem = h.cacheProblem();
    setStatus("Writing the cache", 1);
}

void MCV_HsneHierarchyBuilder::setStatus(std::string what, double fraction) {
    Status status{std::move(what), fraction, false};
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_status = status;
    }
    if (m_observer) m_observer(status);
}

void MCV_HsneHierarchyBuilder::libraryStatus(vel::dr::BuildProgress::Phase phase, unsigned int scale, double fraction) {
    using Phase = vel::dr::BuildProgress::Phase;
    switch (phase) {
        case Phase::NeighbourGraph:
            return setStatus("Nearest neighbours", fraction);
        case Phase::Probabilities:
            return setStatus("Transition probabilities", fraction);
        default:
            break;
    }
    const char* step = phase == Phase::LandmarkSelection ? "landmarks"
                       : phase == Phase::AreaOfInfluence ? "area of influence"
                                                         : "transition matrix";
    setStatus("Scale " + std::to_string(scale) + " of " + std::to_string(m_workScales - 1) + ": " + step, fraction);
}
