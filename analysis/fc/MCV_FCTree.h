#pragma once

#include "analysis/fc/HierarchyNode.h"
#include "data/MCV_DerivedData.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class MCV_DerivedDataHierarchy;

// Which landmarks of which HSNE scale a focus-and-context embedding shows
// (derived-data kind 4, registered by name in the data model). The root holds
// every landmark of the top scale; refining a node gives it a child one scale
// deeper, splitting divides its landmarks into a focus and a context child;
// the leaves are what is embedded. The focus-and-context analysis decides
// when to refine, split, merge or coarsen and calls the operations here.
//
// Every structural operation (both appends, purge, purgeChildren, split,
// merge, reset) marks the leaf lists and the JSON text stale and reports
// dataRefreshed(this) at once; both are rebuilt only when next read.
// Coordinate copies and type changes mark nothing.
//
// The hierarchy is not owned. Its owner detaches it (detachHierarchy) before
// destroying it, since the tree lives on in the data model; a tree without a
// hierarchy splits and merges nothing. A tree never reset has no root and an
// empty JSON text.
//
// GUI thread only.
class MCV_FCTree : public MCV_DerivedData {
public:
    using NodePtr = std::shared_ptr<HierarchyNode>;
    using NodeList = std::vector<NodePtr>;
    using SparseMatrix = HierarchyNode::SparseMatrix;
    // For each embedding point: the leaf that holds it and its position in
    // that leaf's landmark list.
    using PointNodes = std::vector<std::pair<NodePtr, int>>;

    MCV_FCTree();
    ~MCV_FCTree() override;

    // Installs the kind-4 maker in the data model's registry. It runs at
    // start-up in every program that links the tree; calling it again (after
    // the maker was replaced) reinstalls it.
    static void registerKind();

    // One root of type focus at `scale` holding landmarks 0 .. n-1 of it (n =
    // rows of `matrix`), embedding indices 0 .. n-1, zero coordinates and the
    // matrix; global indices from the hierarchy (zeros without one). The old
    // tree is released and ids start again at 0.
    void reset(int scale, SparseMatrix matrix, MCV_DerivedDataHierarchy* hierarchy);
    MCV_DerivedDataHierarchy* hierarchy() const { return m_hierarchy; }
    void detachHierarchy() { m_hierarchy = nullptr; }

    // A new node with the next id and empty lists, outside the tree.
    NodePtr createNode(hierarchyNodeType type, int scale);
    // A new node appended to parent's children; returns it.
    NodePtr append(NodePtr parent, hierarchyNodeType type, int scale);
    // Appends `node` (which must have no parent: purge it first) to parent's
    // children; returns it. Nothing when parent is node or lies below it.
    NodePtr append(NodePtr parent, NodePtr node);
    // Takes node out of the tree: its parent receives node's coordinates at
    // every position holding the same data point, and drops node from its
    // children. Node keeps its subtree. Nothing when node has no parent.
    void purge(NodePtr node);
    // For every landmark of `from`, every position of `to` holding the same
    // data point receives its coordinates.
    void pushCoordinates(NodePtr from, NodePtr to);
    // pushCoordinates from every leaf below node, depth-first, into node.
    void pullCoordinates(NodePtr node);
    // pullCoordinates, then node loses its children.
    void purgeChildren(NodePtr node);
    // Divides node into a focus child (the selected embedding points, in
    // selection order) and a context child (the other points of `pointNodes`
    // that node holds, ascending, then node's landmarks that no point shows,
    // in node's order), moving their pointNodes entries to the new leaves. Repeated selection entries count once.
    // Refused, with nothing changed, without a hierarchy or when a selected point is beyond pointNodes or not held by
    // node. Returns whether it split.
    bool split(NodePtr node, std::vector<unsigned>* selection, PointNodes* pointNodes);
    // Joins two children of one parent of equal type and scale into a new
    // last child of that parent (a's landmarks, then b's) and purges a and b.
    // Returns it, or an empty pointer with nothing changed.
    NodePtr merge(NodePtr a, NodePtr b);

    NodePtr root() const { return m_root; }
    bool hasSiblings(NodePtr node) const;
    // The first other child of node's parent; empty without one.
    NodePtr sibling(NodePtr node) const;

    // Every leaf depth-first, children in order; the focus (type below 2) and
    // context leaves in the same order.
    NodeList* leaves();
    NodeList* focus();
    NodeList* context();
    void computeLeaves();
    // The walk itself; focus and context may be null.
    static void computeLeaves(NodePtr node, NodeList* leaves, NodeList* focus, NodeList* context);

    // The tree page's JSON text (see appendNodeJson); empty without a root.
    std::string& jsonObject() override;
    // The base's escaped text, which the tree does not write.
    std::string& jsonString() override;
    void createJson() override;
    // Appends node and its subtree: {"id", "type", "scale"[, "children"]}, one
    // field a line; a node with exactly one child and no sibling is wrapped in
    // an extra node of id -1.
    void appendNodeJson(NodePtr node);

private:
    // The structural steps without the stale marks and the report, so that a
    // compound operation reports once.
    void attach(const NodePtr& parent, const NodePtr& node);
    bool detach(const NodePtr& node);
    void structureChanged();

    std::uint32_t m_nextId = 0;
    NodePtr m_root;
    NodeList m_leaves;
    NodeList m_focus;
    NodeList m_context;
    MCV_DerivedDataHierarchy* m_hierarchy = nullptr;
    bool m_leavesStale = true;
    bool m_jsonStale = true;
};
