#pragma once

#include "vel/data/MapMemEff.h"

#include <cstdint>
#include <memory>
#include <vector>

// The kind of a focus-and-context tree node. Every type below 2 counts as
// focus wherever the type is tested; 1 is never assigned by the tree.
enum hierarchyNodeType : std::int32_t {
    hierarchyNodeFocus = 0,
    hierarchyNodeFocusOther = 1,
    hierarchyNodeContext = 2,
};

inline bool isFocusType(hierarchyNodeType type) { return type < hierarchyNodeContext; }

// One node of a focus-and-context tree (MCV_FCTree): a group of landmarks of
// one HSNE scale. Every per-landmark list is in the order of `landmarkIdxs`.
//
// Nodes are made only by their tree and handled through std::shared_ptr. The
// children lists own their nodes; the parent link does not, so a subtree taken
// out of the tree, or a tree reset, frees every node nobody else holds.
struct HierarchyNode {
    using SparseMatrix = std::vector<vel::data::MapMemEff<unsigned, float>>;

    // Unique within one reset of the tree.
    std::uint32_t id = 0;
    // The analysis may change it in place.
    hierarchyNodeType type = hierarchyNodeFocus;
    std::int32_t scale = 0;
    // Landmark indices of `scale`.
    std::vector<unsigned> landmarkIdxs;
    // The data-point index of each landmark: two nodes hold the same point
    // exactly when they share a value here.
    std::vector<unsigned> globalIdxs;
    // Position of each landmark in the focus-and-context embedding, or
    // 4294967295 for a landmark that has no point of its own; written by the
    // mixed transition-matrix builders.
    std::vector<unsigned> embeddingIdxs;
    // x, y of each landmark, interleaved.
    std::vector<float> coordinates;
    // One row per landmark; columns are positions in `landmarkIdxs`.
    SparseMatrix transitionMatrix;
    // Empty for the root and for nodes taken out of the tree.
    std::weak_ptr<HierarchyNode> parent;
    // In order; every operation that adds a child appends it.
    std::vector<std::shared_ptr<HierarchyNode>> children;

    static constexpr unsigned NoPoint = 4294967295u;

    std::size_t numLandmarks() const { return landmarkIdxs.size(); }
    bool isFocus() const { return isFocusType(type); }
};
