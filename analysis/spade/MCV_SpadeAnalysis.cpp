// The analysis's state, its setters and stage flags, the run that strings the
// stages together, and publishing. The stages live in the files named after
// them (densities, cache, down-sampling, clustering).
#include "analysis/spade/MCV_SpadeAnalysis.h"

#include "analysis/clustering/MCV_L1Columns.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataImage.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <type_traits>

namespace {

// A changed value sets a clear flag; a set flag stays set.
template <typename V>
bool markIfChanged(bool& dirty, V& stored, V value) {
    const bool changed = stored != value || (std::is_floating_point<V>::value && (value != value || stored != stored));
    stored = value;
    if (!dirty) dirty = changed;
    return dirty;
}

// Percentiles index the sorted densities: keep them inside [0, 100].
float clampPercentile(float p) { return std::isnan(p) ? 0.0f : std::clamp(p, 0.0f, 100.0f); }

const char* const kNothingKept =
    "No event was left to cluster: the files hold no events, or the down-sampling removed them all. Raise the "
    "density limit or lower the outlier density percentile.";

}  // namespace

MCV_SpadeAnalysis::MCV_SpadeAnalysis() : m_created(std::chrono::steady_clock::now()) {
    m_type = ANALYSIS_SPADE;
    m_dataSelection = MCV_CytometryData::Instance()->derivedDataPoints("All Points", true);
}

MCV_SpadeAnalysis::~MCV_SpadeAnalysis() { clearDendrogram(); }

void MCV_SpadeAnalysis::init(MCV_UiInterface* ui, std::string name) {
    m_name = std::move(name);
    createDerivedData(false);
    MCV_Analysis::init(ui, m_name);
}

bool MCV_SpadeAnalysis::setMaxRandomSampleSize(int size) {
    return markIfChanged(m_densitiesDirty, m_maxRandomSampleSize, size);
}
bool MCV_SpadeAnalysis::setAlpha(float alpha) { return markIfChanged(m_densitiesDirty, m_alpha, alpha); }
bool MCV_SpadeAnalysis::setTargetDensityPercentile(float percentile) {
    return markIfChanged(m_downsamplingDirty, m_targetDensityPercentile, clampPercentile(percentile));
}
bool MCV_SpadeAnalysis::setOutlierDensityPercentile(float percentile) {
    return markIfChanged(m_downsamplingDirty, m_outlierDensityPercentile, clampPercentile(percentile));
}
bool MCV_SpadeAnalysis::setDensityLimit(float limit) {
    return markIfChanged(m_downsamplingDirty, m_densityLimit, limit);
}
bool MCV_SpadeAnalysis::setTargetNumberOfClusters(int clusters) {
    return markIfChanged(m_clusteringDirty, m_targetNumberOfClusters, clusters);
}

// ---- Data access ----

int MCV_SpadeAnalysis::numEvents(int file) const {
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    if (file < 0 || file >= data->numFiles() || !data->rawData(file)) return 0;
    const MCV_FcsHeader* header = data->header(file);
    return header ? std::max(0, header->numEvents()) : 0;
}

const float* MCV_SpadeAnalysis::rows(int file) const { return MCV_CytometryData::Instance()->rawData(file); }

size_t MCV_SpadeAnalysis::rowWidth() const {
    const MCV_FcsHeader* header = MCV_CytometryData::Instance()->combinedHeader();
    return header ? static_cast<size_t>(std::max(0, header->numVariables())) : 0;
}

void MCV_SpadeAnalysis::loadColumns(int file, MCV_L1Columns<float>& events) const {
    const size_t n = static_cast<size_t>(numEvents(file));
    const size_t width = rowWidth();
    events.reset(m_selectedMarkers.size());
    events.reserve(n);
    const float* data = rows(file);
    for (size_t e = 0; e < n; ++e) events.appendRow(data + e * width, m_selectedMarkers.data());
}

// ---- The run ----

void MCV_SpadeAnalysis::computeSpadeTree() {
    if (m_running) {
        std::cout << "SPADE is already running; the request was ignored.\n";
        return;
    }
    m_running = true;
    struct Stop {
        bool& running;
        ~Stop() { running = false; }
    } stop{m_running};
    m_error.clear();
    m_adjustments.clear();
    m_cacheFailures.clear();

    // The flags are taken for this run and cleared at once: a setter called
    // while it runs (from the progress hook's event handling) marks the next.
    m_due.densities = m_densitiesDirty || markersChanged();
    m_due.downsampling = m_downsamplingDirty;
    m_due.clustering = m_clusteringDirty;
    m_densitiesDirty = m_downsamplingDirty = m_clusteringDirty = false;
    setMarkersChanged(false);
    runStages();
    m_due = Due();
}

void MCV_SpadeAnalysis::runStages() {
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    const int numFiles = data->numFiles();
    const size_t width = rowWidth();
    for (unsigned m : m_selectedMarkers) {
        if (m >= width) {
            std::cout << "SPADE: marker " << m << " is not in the data (" << width << " variables).\n";
            m_error = "The selected markers do not match the loaded data.";
            return;
        }
    }
    // Densities of another shape than the files' belong to other data.
    bool fits = m_localDensities.size() == static_cast<size_t>(numFiles);
    for (int i = 0; fits && i < numFiles; ++i)
        fits = m_localDensities[static_cast<size_t>(i)].size() == static_cast<size_t>(numEvents(i));
    if (!fits) m_due.densities = true;

    bool changed = false;
    if (m_due.densities) {
        const size_t f = static_cast<size_t>(numFiles);
        m_medianMinimumDistances.resize(f, 0.0f);
        m_densityRadii.resize(f, 0.0f);
        m_localDensities.resize(f);
        m_sortedDensities.resize(f);
        m_downsampledEvents.resize(f);
        m_keepMasks.resize(f);
        changed = true;
    }
    MCV_L1Columns<float> events;
    for (int i = 0; i < numFiles; ++i) {
        const int n = numEvents(i);
        if (m_due.densities && n == 0) {
            std::cout << "\n\tFile " << data->header(i)->fileName() << " holds no events and is skipped.\n";
            m_localDensities[static_cast<size_t>(i)].clear();
            m_sortedDensities[static_cast<size_t>(i)].clear();
        } else if (!loadCachedDensities(i)) {
            std::cout << "\nProcessing File: " << data->header(i)->fileName() << " (File " << (i + 1) << " of "
                      << numFiles << ", containing " << n << " data points)\n";
            loadColumns(i, events);
            changed |= computeMedianMinimumDistance(i, events);
            changed |= computeLocalDensities(i, events);
            events.reset(0);
        }
        changed |= downsample(i);
    }

    changed |= clusterDownsampledData();
    if (m_dendrogram.empty()) {
        // Nothing to cut: the published set stays as it was.
        std::cout << "\n\tNo events remain after down-sampling; no tree was built.\n";
        m_error = kNothingKept;
        return;
    }
    changed |= extractClustersFromDendrogram();
    changed |= computeMinimumSpanningTree();
    for (int i = 0; i < numFiles; ++i) changed |= upsampleData(i);

    std::cout << "\n";
    if (!changed)
        std::cout << "No parameters changed, no update necessary.\n";
    else
        createDerivedData(true);
}

void MCV_SpadeAnalysis::noteAdjustment(Adjustment::Setting setting, int requested, int used) {
    for (const Adjustment& a : m_adjustments)
        if (a.setting == setting) return;
    m_adjustments.push_back({setting, requested, used});
}

void MCV_SpadeAnalysis::adoptAdjustments() {
    for (const Adjustment& a : m_adjustments) {
        if (a.setting == Adjustment::SampleSize) m_maxRandomSampleSize = a.used;
        if (a.setting == Adjustment::TargetClusters) m_targetNumberOfClusters = a.used;
    }
}

void MCV_SpadeAnalysis::report(const std::string& what, int percent) {
    if (m_progress) m_progress(what, percent);
}

// ---- Publishing ----

void MCV_SpadeAnalysis::createDerivedData(bool reuse) { m_result.publish(m_name, reuse, m_dataSelection); }

bool MCV_SpadeAnalysis::madeSubtree(const std::string& name) const {
    MCV_DerivedDataPoints* registered = nullptr;
    for (MCV_DerivedDataPoints* set : MCV_CytometryData::Instance()->derivedDataPoints())
        if (set->name() == name) registered = set;
    return registered && std::find(m_subtrees.begin(), m_subtrees.end(), registered) != m_subtrees.end();
}

bool MCV_SpadeAnalysis::addSubtree(std::string name, std::vector<int>* clusterIndices) {
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    const auto refuse = [&](const char* why) {
        std::cout << "The subtree could not be stored as \"" << name << "\": " << why << "\n";
        return false;
    };
    if (name.empty()) return refuse("a point set needs a name.");
    if (name == "Selection") return refuse("the name belongs to the selection.");

    // Only a set this analysis registered may be refilled; any other name
    // that is taken belongs to someone else.
    MCV_DerivedDataPoints* target = nullptr;
    for (MCV_DerivedDataPoints* set : data->derivedDataPoints()) {
        if (set->name() != name) continue;
        if (std::find(m_subtrees.begin(), m_subtrees.end(), set) == m_subtrees.end())
            return refuse("another point set has that name.");
        target = set;
    }
    if (!target) {
        for (MCV_DerivedDataClusters* set : data->derivedDataClusters())
            if (set->name() == name) return refuse("a cluster set has that name.");
        for (MCV_DerivedDataImage* set : data->derivedDataImage())
            if (set->name() == name) return refuse("an image has that name.");
    }

    // The indices are those of the tree page, which draws the published
    // cluster set: after a merge on the heat map that set's clusters are no
    // longer this run's.
    const std::vector<PointList> none;
    const std::vector<PointList>* published = &none;
    for (MCV_DerivedDataClusters* set : data->derivedDataClusters())
        if (set->name() == m_name) published = &set->clusters();
    const std::vector<PointList>& clusters = *published;
    PointList points;
    if (clusterIndices) {
        for (int c : *clusterIndices) {
            if (c < 0 || static_cast<size_t>(c) >= clusters.size()) {
                std::cout << "Cluster " << c << " does not exist; it is left out of \"" << name << "\".\n";
                continue;
            }
            const PointList& members = clusters[static_cast<size_t>(c)];
            points.insert(points.end(), members.begin(), members.end());
        }
    }

    if (target) {
        target->setPoints(std::move(points), true);
        target->setNumDiscreteMetaValues(static_cast<int>(clusters.size()));
        return true;
    }
    // A new set is whole before it is announced: the analyses' input lists
    // switch to it and size their suggestions by its events at once.
    auto fresh = std::make_unique<MCV_DerivedDataPoints>();
    fresh->setName(name);
    fresh->setPoints(std::move(points), false);
    fresh->setNumDiscreteMetaValues(static_cast<int>(clusters.size()));
    // The data set refuses a name that any other kind has taken.
    if (!data->addDerivedData(MCV_DerivedData::KindPoints, name, fresh.get())) return refuse("the name is taken.");
    m_subtrees.push_back(fresh.release());
    return true;
}

MCV_DerivedDataClusters* MCV_SpadeAnalysis::updateClusters(std::vector<std::vector<unsigned>>*, std::string) {
    return MCV_CytometryData::Instance()->derivedDataClusters(m_name, true);
}
