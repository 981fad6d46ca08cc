#include "analysis/spade/MCV_SpadeAnalysis.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataClusters.h"

#include <algorithm>
#include <cmath>
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

}  // namespace

MCV_SpadeAnalysis::MCV_SpadeAnalysis() {
    m_type = ANALYSIS_SPADE;
    m_dataSelection = MCV_CytometryData::Instance()->derivedDataPoints("All Points", true);
}

MCV_SpadeAnalysis::~MCV_SpadeAnalysis() = default;

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

// Placeholder until the stages land.
void MCV_SpadeAnalysis::computeSpadeTree() {}

void MCV_SpadeAnalysis::createDerivedData(bool reuse) { m_result.publish(m_name, reuse, m_dataSelection); }

bool MCV_SpadeAnalysis::addSubtree(std::string, std::vector<int>*) { return false; }

MCV_DerivedDataClusters* MCV_SpadeAnalysis::updateClusters(std::vector<std::vector<unsigned>>*, std::string) {
    return MCV_CytometryData::Instance()->derivedDataClusters(m_name, true);
}
