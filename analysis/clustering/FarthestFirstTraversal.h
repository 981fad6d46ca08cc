#pragma once

#include "analysis/clustering/HierarchicalClustering.h"
#include "analysis/clustering/MCV_L1Columns.h"

#include <cstddef>
#include <list>
#include <vector>

// The farthest-first traversal behind hcluster_points.
//
// Each step measures the last traversed point against every remaining point
// and picks the farthest; a point farther than 1e-06 from all traversed ones
// joins a distance level and hangs below its nearest point of the coarser
// levels, a nearer one below the point it was measured nearest to.
//
// Both scans run on the one L1 kernel over compact copies of the coordinates,
// split across the threads of one parallel region that lives for the whole
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
    struct Nearest;
    class Worker;

    void prepare();
    // The caller's coordinates, padded with zeros to the longest point.
    const double* padded(const cPoint_t* point);
    void attach(cPoint_t* point, int parentId);
    // Copies the levelled points not yet in the level store into it and, for
    // a store size above 0, drops the traversed points from the store of
    // remaining ones.
    void sync(size_t storeSize, size_t current, size_t flushed, size_t leveled);

    std::vector<cPoint_t*> m_points;
    size_t m_markers = 0;
    // Some points differ in length: such pairs are at distance -1.
    bool m_mixed = false;

    // Remaining points, slot by slot: their original list index (or
    // kRemoved), nearest distance so far, the id it was measured from, and
    // length.
    MCV_L1Columns<double> m_rem;
    MCV_L1Columns<double> m_spare;
    std::vector<size_t> m_order;
    std::vector<double> m_dist;
    std::vector<int> m_parent;
    std::vector<size_t> m_length;

    // Levelled points in level order, which is their traversal order; the
    // first ones are in m_level, the rest only in m_levelPoint.
    MCV_L1Columns<double> m_level;
    std::vector<cPoint_t*> m_levelPoint;

    std::vector<cPoint_t*> m_byId;
    std::vector<double> m_row;
};
