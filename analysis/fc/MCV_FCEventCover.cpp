// The landmark assignment of a hierarchy read both ways, for the
// focus-and-context tree operations.
#include "analysis/fc/MCV_FCEventCover.h"

#include "analysis/hsne/MCV_DerivedDataHierarchy.h"

#include <algorithm>

MCV_FCEventCover::MCV_FCEventCover(MCV_DerivedDataHierarchy* hierarchy) : m_hierarchy(hierarchy) {
    if (!m_hierarchy) return;
    const std::vector<std::pair<int, int>>& refs = *m_hierarchy->pointReferences();
    m_numPoints = refs.size();
    for (size_t p = 0; p < refs.size(); ++p) {
        const auto [file, event] = refs[p];
        if (file < 0 || event < 0) continue;
        if (static_cast<size_t>(file) >= m_pointOfEvent.size()) m_pointOfEvent.resize(static_cast<size_t>(file) + 1);
        std::vector<unsigned>& events = m_pointOfEvent[static_cast<size_t>(file)];
        if (static_cast<size_t>(event) >= events.size())
            events.resize(static_cast<size_t>(event) + 1, HierarchyNode::NoPoint);
        events[static_cast<size_t>(event)] = static_cast<unsigned>(p);
    }
    m_landmarkOfPoint.resize(static_cast<size_t>(std::max(0, m_hierarchy->numScales())));
}

unsigned MCV_FCEventCover::pointOf(int file, int event) const {
    if (file < 0 || event < 0 || static_cast<size_t>(file) >= m_pointOfEvent.size()) return HierarchyNode::NoPoint;
    const std::vector<unsigned>& events = m_pointOfEvent[static_cast<size_t>(file)];
    return static_cast<size_t>(event) < events.size() ? events[static_cast<size_t>(event)] : HierarchyNode::NoPoint;
}

unsigned MCV_FCEventCover::landmarkOf(int scale, unsigned point) {
    if (scale < 0 || static_cast<size_t>(scale) >= m_landmarkOfPoint.size() || point >= m_numPoints)
        return HierarchyNode::NoPoint;
    std::vector<unsigned>& owners = m_landmarkOfPoint[static_cast<size_t>(scale)];
    if (owners.empty()) {
        owners.assign(m_numPoints, HierarchyNode::NoPoint);
        const std::vector<MCV_DerivedDataHierarchy::PointList>* lists = m_hierarchy->pointBasedHierarchyForScale(scale);
        for (size_t l = 0; lists && l < lists->size(); ++l)
            for (const auto& [file, event] : (*lists)[l]) {
                const unsigned p = pointOf(file, event);
                if (p != HierarchyNode::NoPoint) owners[p] = static_cast<unsigned>(l);
            }
    }
    return owners[point];
}

void MCV_FCEventCover::mark(int scale, const std::vector<unsigned>& landmarkIdxs, std::vector<char>& covered) const {
    covered.resize(m_numPoints, 0);
    for (unsigned l : landmarkIdxs) {
        const MCV_DerivedDataHierarchy::PointList* list = m_hierarchy->pointBasedHierarchyForLandmark({scale, l});
        if (!list) continue;
        for (const auto& [file, event] : *list) {
            const unsigned p = pointOf(file, event);
            if (p != HierarchyNode::NoPoint) covered[p] = 1;
        }
    }
}

std::vector<char> MCV_FCEventCover::covered(const std::vector<NodePtr>& nodes) const {
    std::vector<char> points(m_numPoints, 0);
    for (const NodePtr& node : nodes)
        if (node) mark(node->scale, node->landmarkIdxs, points);
    return points;
}

bool MCV_FCEventCover::keepsEvery(const std::vector<char>& before, const std::vector<char>& after) {
    for (size_t p = 0; p < before.size(); ++p)
        if (before[p] && (p >= after.size() || !after[p])) return false;
    return true;
}

size_t MCV_FCEventCover::completeRefinement(int scale, const std::vector<unsigned>& coarse,
                                            std::vector<unsigned>& finer) {
    if (!m_hierarchy || scale < 1) return 0;
    std::vector<char> coarsePoints(m_numPoints, 0), finerPoints(m_numPoints, 0);
    mark(scale, coarse, coarsePoints);
    mark(scale - 1, finer, finerPoints);
    std::vector<unsigned> added;
    for (unsigned p = 0; p < m_numPoints; ++p) {
        if (!coarsePoints[p] || finerPoints[p]) continue;
        const unsigned l = landmarkOf(scale - 1, p);
        if (l != HierarchyNode::NoPoint) added.push_back(l);
    }
    std::sort(added.begin(), added.end());
    added.erase(std::unique(added.begin(), added.end()), added.end());
    if (added.empty()) return 0;
    const size_t before = finer.size();
    finer.insert(finer.end(), added.begin(), added.end());
    std::inplace_merge(finer.begin(), finer.begin() + static_cast<std::ptrdiff_t>(before), finer.end());
    return added.size();
}
