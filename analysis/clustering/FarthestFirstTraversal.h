#pragma once

#include "analysis/clustering/HierarchicalClustering.h"
#include "analysis/clustering/MCV_L1Columns.h"

#include <cstddef>
#include <list>
#include <vector>

// The farthest-first traversal behind hcluster_points.
//
// Each step measures the last traversed point against every remaining point
// and takes the farthest; a point farther than 1e-06 from all traversed ones
// joins a distance level and hangs below its nearest point of the coarser
// levels, a nearer one below the point it was measured nearest to.
//
// The coarser levels of a point are exactly the points traversed before its
// level began, so the one scan per step also keeps, per remaining point, its
// nearest levelled point so far, and a copy of it taken when the deepest level
// began: that copy is the point's parent should it join that level. The scan
// runs on the one L1 kernel over a compact copy of the remaining points, split
// across the threads of one parallel region that lives for the whole
// traversal, with one barrier per step. Every distance is the serial double
// sum and every choice breaks ties towards the earlier point, so the result
// does not depend on the number of threads.
class FarthestFirstTraversal {
public:
    // Takes the non-null points of `points` in list order.
    explicit FarthestFirstTraversal(const std::list<cPoint_t*>& points);
    // Sets every point's id, distance, parent and children and enters it into
    // `dendrogram` under its id.
    void run(Dendrogram& dendrogram);

private:
    struct Choice;
    class Worker;

    void prepare();
    // The caller's coordinates, padded with zeros to the longest point.
    const double* padded(const cPoint_t* point);
    void attach(cPoint_t* point, int parentId);
    // Drops the traversed points (and the slot `current`) from the store.
    void compact(size_t storeSize, size_t current);

    std::vector<cPoint_t*> m_points;
    size_t m_markers = 0;
    // Some points differ in length: such pairs are at distance -1.
    bool m_mixed = false;

    // The remaining points, slot by slot.
    MCV_L1Columns<double> m_rem;
    MCV_L1Columns<double> m_spare;
    struct Slot {
        // Index in the caller's list; kRemoved once traversed.
        size_t order;
        // Nearest distance so far and the id it was measured from, starting
        // from the caller's distance and no id.
        double dist;
        int parent;
        // Id of the nearest levelled point so far: the first one, replaced
        // only by a strictly nearer one (an undefined distance counts as the
        // farthest); and its copy from when the deepest level began.
        int nearParent;
        int levelParent;
        double near;
        size_t length;
    };
    std::vector<Slot> m_slots;

    std::vector<cPoint_t*> m_byId;
    std::vector<double> m_row;
};
