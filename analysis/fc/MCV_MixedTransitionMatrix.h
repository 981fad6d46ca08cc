#pragma once

#include "analysis/fc/HierarchyNode.h"

#include <memory>
#include <utility>
#include <vector>

class MCV_DerivedDataHierarchy;
class MCV_FCTree;

// How the focus-and-context embedding joins the leaves' matrices.
enum TransitionMatrixMode : int {
    // Block diagonal: each leaf's own matrix, focus leaves first.
    TransitionMatrixStandard = 0,
    // Every leaf mapped to the deepest scale present; that scale's matrix over
    // the union, a shared data point embedded once.
    TransitionMatrixPruneDeepest = 1,
    // PruneDeepest, then the rows of coarser leaves take their own scale's
    // values where an entry exists, renormalised.
    TransitionMatrixPruneDeepestOverwriteContext = 2,
    // Standard plus links between every two leaves from the coarser of their
    // scales, every row renormalised.
    TransitionMatrixPushDown = 3,
};

// The builders of the mixed transition matrix: one sparse row per embedding
// point over the landmarks of every leaf of the tree. Each fills `mixed` and
// `pointNodes` (the leaf and landmark position of every embedding point, in
// row order) from scratch and writes every leaf's embedding-index list.
//
// After any build: mixed has one row per pointNodes entry; for every leaf and
// landmark j, embedding index j is the point standing for that landmark or
// HierarchyNode::NoPoint.
class MCV_MixedTransitionMatrix {
public:
    using SparseMatrix = HierarchyNode::SparseMatrix;
    using PointNodes = std::vector<std::pair<std::shared_ptr<HierarchyNode>, int>>;

    // The builder of `mode`; any other value, and modes 1 to 3 without a
    // hierarchy, build as Standard.
    static void buildMixedTransitionMatrix(int mode, MCV_FCTree* tree, MCV_DerivedDataHierarchy* hierarchy,
                                           SparseMatrix* mixed, PointNodes* pointNodes);
    static void buildMixedTransitionMatrixStandard(MCV_FCTree* tree, SparseMatrix* mixed, PointNodes* pointNodes);
    static void buildMixedTransitionMatrixPruneDeepest(MCV_FCTree* tree, MCV_DerivedDataHierarchy* hierarchy,
                                                       SparseMatrix* mixed, PointNodes* pointNodes);
    static void buildMixedTransitionMatrixPruneDeepestOverwriteContext(MCV_FCTree* tree,
                                                                       MCV_DerivedDataHierarchy* hierarchy,
                                                                       SparseMatrix* mixed, PointNodes* pointNodes);
    static void buildMixedTransitionMatrixPushDown(MCV_FCTree* tree, MCV_DerivedDataHierarchy* hierarchy,
                                                   SparseMatrix* mixed, PointNodes* pointNodes);
    // Whether mixed has one row per pointNodes entry and, for every leaf and
    // landmark j, embedding index j is NoPoint or the point of (leaf, j).
    // Every build ends asserting it.
    static bool invariantsHold(MCV_FCTree* tree, const SparseMatrix* mixed, const PointNodes* pointNodes);
    // Appends a copy of every row of `rows`, its columns shifted by the number
    // of rows mixed had before.
    static void appendSparseTransitionMatrix(SparseMatrix* mixed, const SparseMatrix* rows);
};
