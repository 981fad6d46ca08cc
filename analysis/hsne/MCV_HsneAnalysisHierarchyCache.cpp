// The caches of the HSNE hierarchy analysis, through its builder's gate: three
// files in the folder of the first data file, reused only for "All Points"
// when every recorded setting, the files, the markers and the data
// fingerprint match.
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"

#include "data/MCV_DerivedDataPoints.h"

bool MCV_HsneAnalysisHierarchy::loadCachedHSNE() {
    // Loads into a scratch object: the hierarchy the levels share stays.
    if (!m_dataSelection || !cachingEnabled()) return false;
    std::vector<std::pair<int, int>> points = m_dataSelection->data();
    if (numScales() < 1 || !checkBuildable(points)) return false;
    std::shared_ptr<MCV_DerivedDataHierarchy> scratch = m_builder.prepare(m_name, &points, m_selectedMarkers);
    return m_builder.loadCached(*scratch, m_dataSelection, m_selectedMarkers);
}

void MCV_HsneAnalysisHierarchy::cacheHSNE() {
    if (m_hierarchy) m_builder.cache(*m_hierarchy, m_dataSelection, m_selectedMarkers);
}
