#pragma once

#include "analysis/fc/HierarchyNode.h"

#include <memory>
#include <utility>
#include <vector>

class MCV_DerivedDataHierarchy;

// Which data points of one HSNE hierarchy the landmarks of focus-and-context
// nodes stand for: the hierarchy's landmark assignment (a point list per
// landmark of every scale), read both ways. The focus-and-context analysis
// uses it to keep every event on the map through refining and coarsening.
//
// It also turns landmarks of several scales into events listed once: the
// leaves of a focus-and-context tree stand for many of the same events (the
// focus's fine landmarks and the context's coarse ones), while a selection
// lists each event once and the clusters of a cluster set share none.
//
// Points are data-point indices of the hierarchy (positions of its
// pointReferences()). The assignment of a scale is read the other way on
// first use and kept; the hierarchy must outlive the object and not change.
// GUI thread only.
class MCV_FCEventCover {
public:
    using NodePtr = std::shared_ptr<HierarchyNode>;
    // A landmark: its scale and its index there.
    using Landmark = std::pair<int, unsigned>;
    // An event: file index, event index.
    using Event = std::pair<int, int>;

    explicit MCV_FCEventCover(MCV_DerivedDataHierarchy* hierarchy);

    MCV_DerivedDataHierarchy* hierarchy() const { return m_hierarchy; }
    size_t numPoints() const { return m_numPoints; }

    // The landmark of `scale` that stands for `point`, or NoPoint (a scale
    // outside the hierarchy, a point beyond it, or one no landmark took).
    unsigned landmarkOf(int scale, unsigned point);

    // Sets covered[p] for every point p that one of the landmarks stands for;
    // `covered` has numPoints() entries.
    void mark(int scale, const std::vector<unsigned>& landmarkIdxs, std::vector<char>& covered) const;
    // The points that the landmarks of the nodes stand for.
    std::vector<char> covered(const std::vector<NodePtr>& nodes) const;
    // Whether every point set in `before` is set in `after`.
    static bool keepsEvery(const std::vector<char>& before, const std::vector<char>& after);

    // Appends to `finer` (landmarks of scale - 1, ascending) the landmark of
    // scale - 1 of every point that a landmark of `coarse` (of `scale`)
    // stands for and no landmark of `finer` does; keeps `finer` ascending.
    // Returns how many were added.
    size_t completeRefinement(int scale, const std::vector<unsigned>& coarse, std::vector<unsigned>& finer);

    // Fills `events` with the events that the landmarks stand for, each once,
    // in the order of the first landmark listing it; only of files whose flag
    // in `fileMask` is set (all with a null mask; a file beyond the mask counts
    // as unset). A landmark outside the hierarchy stands for nothing. Time
    // linear in the lists read: a mark per point, cleared again on the way out.
    void distinctEvents(const std::vector<Landmark>& landmarks, const std::vector<bool>* fileMask,
                        std::vector<Event>& events);
    // The events of each group of landmarks, every event in one group only:
    // that of the finest landmark among all groups that stands for it (the
    // lowest scale); among landmarks of that scale, which are the same landmark
    // listed more than once, the group that comes first. Within a group the
    // events of its finer landmarks come first, each in the order of the first
    // landmark listing it. Time linear in the lists read and, per scale among
    // the landmarks, in their number.
    std::vector<std::vector<Event>> partitionEvents(const std::vector<std::vector<Landmark>>& groups);

private:
    unsigned pointOf(int file, int event) const;
    // Appends the events of the landmark (of the files the mask holds) not
    // listed yet and marks them.
    void appendUnlisted(const Landmark& landmark, const std::vector<bool>* fileMask, std::vector<Event>& events);
    // Clears the marks of the events.
    void unlist(const std::vector<Event>& events);

    MCV_DerivedDataHierarchy* m_hierarchy;
    size_t m_numPoints = 0;
    // Data point of each (file, event), by file.
    std::vector<std::vector<unsigned>> m_pointOfEvent;
    // Per scale: the landmark of each point, built on first use.
    std::vector<std::vector<unsigned>> m_landmarkOfPoint;
    // Per point, set while a call has listed it; all 0 between calls.
    std::vector<char> m_listed;
};
