// What a level answers about selections of its landmarks: their scale
// landmark indices, the events they stand for, cluster sets and the
// renderer's per-landmark scales.
#include "analysis/hsne/MCV_HsneAnalysis.h"

#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataClusters.h"

#include <algorithm>
#include <iostream>

std::vector<unsigned>* MCV_HsneAnalysis::selectedLandmarkIdxs(std::vector<unsigned>* selection) {
    if (!m_landmarkIdxs || !selection) return selection;
    m_selectedLandmarkIdxs.resize(selection->size());
    for (size_t k = 0; k < selection->size(); ++k) m_selectedLandmarkIdxs[k] = m_landmarkIdxs->at((*selection)[k]);
    return &m_selectedLandmarkIdxs;
}

void MCV_HsneAnalysis::computePointReferencesForLandmarkIdxs(std::vector<unsigned>* selection,
                                                             std::vector<std::pair<int, int>>* refs,
                                                             std::vector<bool>* fileFilter) {
    if (!refs) return;
    refs->clear();
    if (!selection || !bound()) return;
    for (unsigned position : *selection)
        if (position >= static_cast<unsigned>(numDataPoints()))
            throw std::out_of_range("computePointReferencesForLandmarkIdxs: a position beyond the level");
    const std::vector<unsigned>* landmarks = selectedLandmarkIdxs(selection);
    std::vector<MCV_DerivedDataHierarchy::PointList>* lists = m_hierarchy->pointBasedHierarchyForScale(m_scale);
    if (!lists) return;
    for (unsigned landmark : *landmarks) {
        for (const std::pair<int, int>& ref : lists->at(landmark))
            if (!fileFilter || fileFilter->at(static_cast<size_t>(ref.first))) refs->push_back(ref);
    }
}

MCV_DerivedDataClusters* MCV_HsneAnalysis::updateClusters(std::vector<std::vector<unsigned>>* clusters,
                                                          std::string name) {
    // Positions beyond the level (a clustering of an earlier embedding) are
    // left out of both the events and the stored index lists.
    std::vector<std::vector<std::pair<int, int>>> events;
    std::vector<std::vector<unsigned>> kept;
    size_t skipped = 0;
    if (clusters) {
        events.resize(clusters->size());
        kept.resize(clusters->size());
        for (size_t c = 0; c < clusters->size(); ++c) {
            for (unsigned position : (*clusters)[c]) {
                if (position < static_cast<unsigned>(numDataPoints()))
                    kept[c].push_back(position);
                else
                    ++skipped;
            }
            computePointReferencesForLandmarkIdxs(&kept[c], &events[c], nullptr);
        }
    }
    if (skipped > 0)
        std::cout << "HSNE: " << skipped << " members of the clusters " << name << " are not landmarks of " << m_name
                  << " and were left out." << std::endl;
    // The level's own set, never one of that name another analysis filled or
    // left (see ownedClusters).
    MCV_DerivedDataClusters* set = MCV_CytometryData::Instance()->ownedClusters(name + " - " + m_name, serial(), true);
    if (!set) return nullptr;
    set->setClusters(std::move(events), ownPoints(), {}, clusters ? &kept : nullptr);
    return set;
}

float MCV_HsneAnalysis::pointScaleForSampleSelection(std::vector<bool> sampleSelection, std::vector<float>& scales) {
    const size_t w = m_landmarkWeights.size();
    scales.resize(4 * w, -1.f);
    if (m_scale == 0) {
        std::fill(scales.begin(), scales.end(), 1.f);
        return 10.f;
    }
    std::vector<MCV_DerivedDataHierarchy::PointList>* lists =
        m_hierarchy ? m_hierarchy->pointBasedHierarchyForScale(m_scale) : nullptr;
    const size_t positions = m_landmarkIdxs ? std::min(w, m_landmarkIdxs->size()) : w;
    if (!lists || positions == 0) return -1.f;
    float largest = -1.f;
    for (size_t i = 0; i < positions; ++i) {
        const MCV_DerivedDataHierarchy::PointList& list = lists->at(m_landmarkIdxs ? (*m_landmarkIdxs)[i] : i);
        size_t selected = 0;
        for (const std::pair<int, int>& ref : list)
            selected += ref.first >= 0 && static_cast<size_t>(ref.first) < sampleSelection.size() &&
                        sampleSelection[static_cast<size_t>(ref.first)];
        const float share = list.empty() ? 0.f : static_cast<float>(selected) / static_cast<float>(list.size());
        scales[4 * i] = 1.f;
        scales[4 * i + 1] = share * m_landmarkWeights[i];
        scales[4 * i + 2] = 1.f;
        scales[4 * i + 3] = 1.f;
        largest = std::max(largest, m_landmarkWeights[i]);
    }
    return largest;
}
