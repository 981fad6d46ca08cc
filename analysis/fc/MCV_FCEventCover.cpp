// The landmark assignment of a hierarchy read both ways, for the
// focus-and-context tree operations, and the events of landmarks of several
// scales listed once, for selections and cluster sets.
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

void MCV_FCEventCover::appendUnlisted(const Landmark& landmark, const std::vector<bool>* fileMask,
                                      std::vector<Event>& events) {
    const MCV_DerivedDataHierarchy::PointList* list = m_hierarchy->pointBasedHierarchyForLandmark(landmark);
    if (!list) return;
    for (const Event& e : *list) {
        if (fileMask && (e.first < 0 || static_cast<size_t>(e.first) >= fileMask->size() ||
                         !(*fileMask)[static_cast<size_t>(e.first)]))
            continue;
        // The lists hold points of the hierarchy only (build and cache load
        // see to it).
        const unsigned p = pointOf(e.first, e.second);
        if (p == HierarchyNode::NoPoint || m_listed[p]) continue;
        events.push_back(e);
        m_listed[p] = 1;
    }
}

void MCV_FCEventCover::unlist(const std::vector<Event>& events) {
    for (const Event& e : events) m_listed[pointOf(e.first, e.second)] = 0;
}

void MCV_FCEventCover::distinctEvents(const std::vector<Landmark>& landmarks, const std::vector<bool>* fileMask,
                                      std::vector<Event>& events) {
    events.clear();
    if (!m_hierarchy) return;
    m_listed.resize(m_numPoints, 0);
    // The marks go again however the call ends (an append may throw): every
    // event marked has been appended.
    struct Unlist {
        MCV_FCEventCover& cover;
        const std::vector<Event>& events;
        ~Unlist() { cover.unlist(events); }
    } unlist{*this, events};
    size_t longest = 0;
    for (const Landmark& l : landmarks)
        if (const MCV_DerivedDataHierarchy::PointList* list = m_hierarchy->pointBasedHierarchyForLandmark(l))
            longest += list->size();
    events.reserve(std::min(longest, m_numPoints));
    for (const Landmark& l : landmarks) appendUnlisted(l, fileMask, events);
}

std::vector<std::vector<MCV_FCEventCover::Event>> MCV_FCEventCover::partitionEvents(
    const std::vector<std::vector<Landmark>>& groups) {
    std::vector<std::vector<Event>> events(groups.size());
    if (!m_hierarchy) return events;
    m_listed.resize(m_numPoints, 0);
    struct Unlist {
        MCV_FCEventCover& cover;
        const std::vector<std::vector<Event>>& groups;
        ~Unlist() {
            for (const std::vector<Event>& group : groups) cover.unlist(group);
        }
    } unlist{*this, events};
    // Scale by scale from the finest, the groups in order: the first landmark
    // to list an event is the one the rule gives it to, and the mark of its
    // point tells whether one has. A map has few scales: the groups are gone
    // through once per scale.
    std::vector<int> scales;
    for (size_t g = 0; g < groups.size(); ++g) {
        size_t longest = 0;
        for (const Landmark& l : groups[g]) {
            scales.push_back(l.first);
            if (const MCV_DerivedDataHierarchy::PointList* list = m_hierarchy->pointBasedHierarchyForLandmark(l))
                longest += list->size();
        }
        events[g].reserve(std::min(longest, m_numPoints));
    }
    std::sort(scales.begin(), scales.end());
    scales.erase(std::unique(scales.begin(), scales.end()), scales.end());
    for (int scale : scales)
        for (size_t g = 0; g < groups.size(); ++g)
            for (const Landmark& l : groups[g])
                if (l.first == scale) appendUnlisted(l, nullptr, events[g]);
    return events;
}
