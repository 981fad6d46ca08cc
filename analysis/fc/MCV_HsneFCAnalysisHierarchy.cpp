// The hierarchy of the focus-and-context analysis (build, the gated caches it
// shares with the HSNE analysis) and the per-point data of the embedding.
#include "analysis/fc/MCV_HsneFCAnalysis.h"

#include "analysis/fc/MCV_FCEventCover.h"
#include "analysis/fc/MCV_FCTree.h"
#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_UiInterface.h"

#include "vel/dr/SparseTSNEUserDefProbabilities.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <iostream>

// ---- Build ----

bool MCV_HsneFCAnalysis::checkBuildable(const std::vector<std::pair<int, int>>& points) const {
    if (numScales() < 1) {
        std::cout << "HSNE: " << m_name << " needs at least one scale." << std::endl;
        return false;
    }
    return MCV_DerivedDataHierarchy::selectionBuildable(m_name, points, m_selectedMarkers);
}

bool MCV_HsneFCAnalysis::build() {
    if (!m_dataSelection) return false;
    std::vector<std::pair<int, int>> points = m_dataSelection->data();
    if (points.empty()) return false;
    if (!checkBuildable(points)) return false;

    // The build goes into a new object; the current state stays until it has
    // succeeded.
    std::vector<std::pair<int, int>> previousPoints = std::move(m_pointsData);
    m_pointsData = std::move(points);
    std::shared_ptr<MCV_DerivedDataHierarchy> fresh;
    try {
        fresh = m_builder.obtain(m_name, &m_pointsData, m_selectedMarkers, m_dataSelection);
    } catch (...) {
        m_pointsData = std::move(previousPoints);
        throw;
    }
    if (!fresh) {  // stopped
        m_pointsData = std::move(previousPoints);
        return false;
    }
    const int top = fresh->numScales() - 1;
    if (top < 0 || fresh->numLandmarksInScale(top) < MCV_TsneAnalysis::kMinPoints) {
        std::cout << "HSNE: the top scale of " << m_name << " has too few landmarks to embed." << std::endl;
        m_pointsData = std::move(previousPoints);
        return false;
    }

    // The tree lets go of the old hierarchy now; it is reset below.
    if (m_fcTree) m_fcTree->detachHierarchy();
    m_engineReady = false;
    m_cpuEngine.reset();
    m_embedding = std::make_unique<vel::data::Embedding<float>>();
    m_output.clear();
    m_pointNodes.clear();
    m_eventCover.reset();
    m_hierarchy = std::move(fresh);
    m_activeNumScales = m_hierarchy->numScales();
    if (m_activeNumScales != numScales())
        std::cout << "HSNE: the hierarchy of " << m_name << " has " << m_activeNumScales << " scales, not "
                  << numScales() << "." << std::endl;
    m_mixedTransitionMatrix = *m_hierarchy->transitionMatrix(m_activeNumScales - 1);
    m_rebuildTransitionMatrix = false;
    reInitEmbedding(false);
    initDerivedData();
    if (m_ui) m_ui->analysisInitialized(this);
    return true;
}

// ---- Caches ----

bool MCV_HsneFCAnalysis::loadCachedHSNE() {
    return m_hierarchy && m_builder.loadCached(*m_hierarchy, m_dataSelection, m_selectedMarkers);
}

void MCV_HsneFCAnalysis::cacheHSNE() {
    if (m_hierarchy) m_builder.cache(*m_hierarchy, m_dataSelection, m_selectedMarkers);
}

// ---- Per-point data ----

void MCV_HsneFCAnalysis::initDerivedData() {
    if (!m_hierarchy) return;
    // The hierarchy's own copy: the selection may have changed since.
    m_pointsData = *m_hierarchy->pointReferences();
    keepOwnPoints(m_pointsData);
    const int top = m_activeNumScales - 1;
    const int landmarks = std::max(0, m_hierarchy->numLandmarksInScale(top));
    m_pointNodes.resize(static_cast<size_t>(landmarks));
    if (!m_fcTree) {
        MCV_FCTree::registerKind();
        // A tree of its own, never one found by name: the registry files a
        // tree under "<name>-k" when any entry bears the name, so a tree
        // named like this analysis may be another analysis's (or one a
        // closed analysis left). The analysis holds it from now on.
        m_fcTree = MCV_CytometryData::Instance()->derivedDataTrees(m_name, false);
    }
    if (!m_fcTree) return;
    m_fcTree->reset(top, m_mixedTransitionMatrix, m_hierarchy.get());
    const NodePtr root = m_fcTree->root();
    for (int i = 0; i < landmarks; ++i) m_pointNodes[static_cast<size_t>(i)] = {root, i};
    std::cout << "initialized F+C HSNE with " << m_activeNumScales << " scales, starting on top level with "
              << landmarks << " landmarks." << std::endl;
    updateDerivedData();
}

void MCV_HsneFCAnalysis::updateDerivedData() {
    if (!m_hierarchy) return;
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    MCV_FcsHeader* header = data->combinedHeader();
    const size_t variables = header ? static_cast<size_t>(std::max(0, header->numVariables())) : 0;
    const size_t n = m_pointNodes.size();

    std::vector<std::pair<int, unsigned>> landmarks(n);
    for (size_t i = 0; i < n; ++i) {
        const PointNode& p = m_pointNodes[i];
        landmarks[i] = {p.first->scale, p.first->landmarkIdxs.at(static_cast<size_t>(p.second))};
    }
    std::vector<unsigned> global;
    m_hierarchy->gloablIdxsFromLandmarkIdxs(&global, &landmarks);

    m_pointReferences.assign(n, {0, 0});
    m_pointFileIdxs.assign(n, 0);
    m_pointData.assign(n * variables, 0.f);
    for (size_t i = 0; i < n; ++i) {
        // Every data point of the hierarchy is an entry of the selection it
        // was built over.
        assert(global[i] < m_pointsData.size());
        if (global[i] >= m_pointsData.size()) continue;
        const std::pair<int, int> ref = m_pointsData[global[i]];
        m_pointReferences[i] = ref;
        m_pointFileIdxs[i] = ref.first;
        const float* row = ref.first >= 0 && ref.first < data->numFiles() ? data->rawData(ref.first) : nullptr;
        const MCV_FcsHeader* file = row ? data->header(ref.first) : nullptr;
        // An event the data no longer hold keeps a row of zeros.
        if (row && file && ref.second >= 0 && ref.second < file->numEvents())
            std::copy(row + static_cast<size_t>(ref.second) * variables,
                      row + static_cast<size_t>(ref.second + 1) * variables,
                      m_pointData.begin() + static_cast<std::ptrdiff_t>(i * variables));
    }
    // The points changed without a set-up (a focus that rebuilt the mixed
    // matrix): the views get the positions the tree holds for them.
    if (m_output.size() != 2 * n) {
        m_output.assign(2 * n, 0.f);
        for (size_t i = 0; i < n; ++i) {
            const PointNode& p = m_pointNodes[i];
            const size_t j = static_cast<size_t>(p.second);
            if (2 * j + 1 >= p.first->coordinates.size()) continue;
            m_output[2 * i] = p.first->coordinates[2 * j];
            m_output[2 * i + 1] = p.first->coordinates[2 * j + 1];
        }
    }
}
