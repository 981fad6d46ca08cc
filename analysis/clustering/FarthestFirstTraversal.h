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
// began: that copy is the point's parent should it join that level.
//
// The scan runs on the one L1 kernel over a compact copy of the remaining
// points, in chunks that the threads of one parallel region (alive for the
// whole traversal, one barrier per step) take from their own share first and
// then from the others'. A block of 16 points whose bounding box is at least
// as far from the new point as every distance the block's points keep cannot
// change and is passed over; the store is regrouped along the dendrogram now
// and then so that blocks stay tight. Every distance is the serial double sum
// and every choice breaks ties towards the earlier point in list order, so the
// result depends neither on the number of threads nor on the store's order.
class FarthestFirstTraversal {
public:
    // Takes the non-null points of `points` in list order.
    explicit FarthestFirstTraversal(const std::list<cPoint_t*>& points);
    ~FarthestFirstTraversal();
    FarthestFirstTraversal(const FarthestFirstTraversal&) = delete;
    FarthestFirstTraversal& operator=(const FarthestFirstTraversal&) = delete;
    // Sets every point's id, distance, parent and children and enters it into
    // `dendrogram` under its id.
    void run(Dendrogram& dendrogram);

private:
    struct Choice;
    struct ThreadState;
    struct Block;
    class Worker;

    void prepare();
    // The caller's coordinates, padded with zeros to the longest point.
    const double* padded(const cPoint_t* point);
    void attach(cPoint_t* point, int parentId);
    // Drops the traversed points (and the slot `current`) from the store and
    // regroups the rest along the dendrogram of the first `traversed` points.
    void compact(size_t storeSize, size_t current, size_t traversed);
    // The bounding box of every block of 16 slots, and no block results yet.
    void boxBlocks();

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
    std::vector<Slot> m_spareSlots;
    // Bounding boxes of the blocks of the store (block-major, marker-minor),
    // when their distances can bound the points' (no unequal lengths).
    bool m_prune = false;
    std::vector<double> m_lo;
    std::vector<double> m_hi;
    std::vector<Block> m_blocks;
    // Compaction's scratch: depth-first ranks by id, counts, the new order.
    std::vector<size_t> m_rank;
    std::vector<size_t> m_count;
    std::vector<int> m_stack;
    std::vector<size_t> m_order;

    std::vector<cPoint_t*> m_byId;
    std::vector<double> m_row;
};
