// The focus-and-context tree: structure, coordinate hand-over, leaf lists and
// the JSON text of the tree page.
#include "analysis/fc/MCV_FCTree.h"

#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_UiInterface.h"

#include <algorithm>
#include <cassert>
#include <numeric>

namespace {

using NodePtr = MCV_FCTree::NodePtr;

// The positions of a node's landmarks by data point, for copies that must
// reach every position holding a point.
class PositionsByPoint {
public:
    explicit PositionsByPoint(const HierarchyNode& node) {
        m_entries.reserve(node.globalIdxs.size());
        for (size_t k = 0; k < node.globalIdxs.size(); ++k)
            m_entries.emplace_back(node.globalIdxs[k], static_cast<unsigned>(k));
        std::sort(m_entries.begin(), m_entries.end());
    }
    template <typename Visit>
    void forEach(unsigned point, Visit visit) const {
        auto it = std::lower_bound(m_entries.begin(), m_entries.end(), std::make_pair(point, 0u));
        for (; it != m_entries.end() && it->first == point; ++it) visit(it->second);
    }

private:
    std::vector<std::pair<unsigned, unsigned>> m_entries;
};

// Every landmark of `from` gives its coordinates to every position of `to`
// that holds the same data point; later landmarks of `from` win.
void copyCoordinates(const HierarchyNode& from, HierarchyNode& to, const PositionsByPoint& index) {
    const size_t n = std::min(from.globalIdxs.size(), from.coordinates.size() / 2);
    assert(n == from.globalIdxs.size() && to.coordinates.size() >= 2 * to.globalIdxs.size());
    for (size_t j = 0; j < n; ++j)
        index.forEach(from.globalIdxs[j], [&](unsigned k) {
            if (2 * size_t(k) + 1 >= to.coordinates.size()) return;
            to.coordinates[2 * size_t(k)] = from.coordinates[2 * j];
            to.coordinates[2 * size_t(k) + 1] = from.coordinates[2 * j + 1];
        });
}

// Appends landmark j of `from` (landmark, data point, coordinates) to `to`.
void takeLandmark(const HierarchyNode& from, size_t j, HierarchyNode& to) {
    to.landmarkIdxs.push_back(from.landmarkIdxs[j]);
    to.globalIdxs.push_back(j < from.globalIdxs.size() ? from.globalIdxs[j] : 0u);
    const bool placed = 2 * j + 1 < from.coordinates.size();
    to.coordinates.push_back(placed ? from.coordinates[2 * j] : 0.0f);
    to.coordinates.push_back(placed ? from.coordinates[2 * j + 1] : 0.0f);
}

void releaseChildren(HierarchyNode& node) {
    for (const NodePtr& child : node.children) child->parent.reset();
    node.children.clear();
}

// Wherever the tree is linked in, the data model can make trees.
[[maybe_unused]] const bool kindRegistered = (MCV_FCTree::registerKind(), true);

}  // namespace

MCV_FCTree::MCV_FCTree() { m_type = KindTree; }

MCV_FCTree::~MCV_FCTree() {
    m_leaves.clear();
    m_focus.clear();
    m_context.clear();
    m_root.reset();
}

void MCV_FCTree::registerKind() {
    MCV_CytometryData::TreeKind kind;
    kind.create = []() -> MCV_DerivedData* { return new MCV_FCTree(); };
    kind.tree = [](MCV_DerivedData* d) { return static_cast<MCV_FCTree*>(d); };
    kind.derivedData = [](MCV_FCTree* t) -> MCV_DerivedData* { return t; };
    MCV_CytometryData::setTreeKind(std::move(kind));
}

void MCV_FCTree::reset(int scale, SparseMatrix matrix, MCV_DerivedDataHierarchy* hierarchy) {
    m_hierarchy = hierarchy;
    m_nextId = 0;
    m_leaves.clear();
    m_focus.clear();
    m_context.clear();
    m_root.reset();

    const size_t n = matrix.size();
    m_root = createNode(hierarchyNodeFocus, scale);
    m_root->landmarkIdxs.resize(n);
    std::iota(m_root->landmarkIdxs.begin(), m_root->landmarkIdxs.end(), 0u);
    m_root->embeddingIdxs = m_root->landmarkIdxs;
    m_root->coordinates.assign(2 * n, 0.0f);
    m_root->transitionMatrix = std::move(matrix);
    const bool fits = hierarchy && hierarchy->numLandmarksInScale(scale) >= static_cast<long long>(n);
    assert(!hierarchy || fits);
    if (fits)
        hierarchy->gloablIdxsFromLandmarkIdxs(&m_root->globalIdxs, scale, &m_root->landmarkIdxs);
    else
        m_root->globalIdxs.assign(n, 0u);

    m_leaves = {m_root};
    m_focus = {m_root};
    m_leavesStale = false;
    m_jsonStale = true;
    if (m_ui) m_ui->dataRefreshed(this);
}

MCV_FCTree::NodePtr MCV_FCTree::createNode(hierarchyNodeType type, int scale) {
    auto node = std::make_shared<HierarchyNode>();
    node->id = m_nextId++;
    node->type = type;
    node->scale = scale;
    return node;
}

MCV_FCTree::NodePtr MCV_FCTree::append(NodePtr parent, hierarchyNodeType type, int scale) {
    NodePtr node = createNode(type, scale);
    if (!parent) return node;
    attach(parent, node);
    structureChanged();
    return node;
}

MCV_FCTree::NodePtr MCV_FCTree::append(NodePtr parent, NodePtr node) {
    if (!parent || !node) return node;
    // A node under itself would own itself and make every walk endless.
    for (NodePtr above = parent; above; above = above->parent.lock())
        if (above == node) return node;
    attach(parent, node);
    structureChanged();
    return node;
}

void MCV_FCTree::attach(const NodePtr& parent, const NodePtr& node) {
    node->parent = parent;
    parent->children.push_back(node);
}

bool MCV_FCTree::detach(const NodePtr& node) {
    NodePtr parent = node ? node->parent.lock() : nullptr;
    if (!parent) return false;
    copyCoordinates(*node, *parent, PositionsByPoint(*parent));
    auto it = std::find(parent->children.begin(), parent->children.end(), node);
    if (it != parent->children.end()) parent->children.erase(it);
    node->parent.reset();
    return true;
}

void MCV_FCTree::purge(NodePtr node) {
    if (detach(node)) structureChanged();
}

void MCV_FCTree::pushCoordinates(NodePtr from, NodePtr to) {
    if (!from || !to) return;
    copyCoordinates(*from, *to, PositionsByPoint(*to));
}

void MCV_FCTree::pullCoordinates(NodePtr node) {
    if (!node) return;
    NodeList below;
    computeLeaves(node, &below, nullptr, nullptr);
    const PositionsByPoint index(*node);
    for (const NodePtr& leaf : below)
        if (leaf != node) copyCoordinates(*leaf, *node, index);
}

void MCV_FCTree::purgeChildren(NodePtr node) {
    if (!node) return;
    pullCoordinates(node);
    releaseChildren(*node);
    structureChanged();
}

bool MCV_FCTree::split(NodePtr node, std::vector<unsigned>* selection, PointNodes* pointNodes) {
    if (!m_hierarchy || !node || !selection || !pointNodes) return false;
    PointNodes& points = *pointNodes;
    std::vector<char> selected(points.size(), 0);
    for (unsigned s : *selection) {
        if (s >= points.size() || points[s].first != node || points[s].second < 0 ||
            static_cast<size_t>(points[s].second) >= node->landmarkIdxs.size())
            return false;
        selected[s] = 1;
    }

    releaseChildren(*node);
    // Positions of node that went to a half.
    std::vector<char> taken(node->landmarkIdxs.size(), 0);
    NodePtr focusHalf = createNode(hierarchyNodeFocus, node->scale);
    attach(node, focusHalf);
    for (unsigned s : *selection) {
        if (selected[s] != 1) continue;  // a repeated entry
        selected[s] = 2;
        const size_t j = static_cast<size_t>(points[s].second);
        taken[j] = 1;
        takeLandmark(*node, j, *focusHalf);
        points[s] = {focusHalf, static_cast<int>(focusHalf->landmarkIdxs.size() - 1)};
    }
    m_hierarchy->transitionMatrixForSelection(focusHalf);

    NodePtr contextHalf = createNode(hierarchyNodeContext, node->scale);
    attach(node, contextHalf);
    for (size_t e = 0; e < points.size(); ++e) {
        if (selected[e] || points[e].first != node) continue;
        const size_t j = static_cast<size_t>(points[e].second);
        taken[j] = 1;
        takeLandmark(*node, j, *contextHalf);
        points[e] = {contextHalf, static_cast<int>(contextHalf->landmarkIdxs.size() - 1)};
    }
    // A landmark that no embedding point shows (a mode that prunes the map)
    // stays in the tree with the context, so that its events do.
    for (size_t j = 0; j < taken.size(); ++j)
        if (!taken[j]) takeLandmark(*node, j, *contextHalf);
    m_hierarchy->transitionMatrixForSelection(contextHalf);
    structureChanged();
    return true;
}

MCV_FCTree::NodePtr MCV_FCTree::merge(NodePtr a, NodePtr b) {
    if (!m_hierarchy || !a || !b || a == b) return nullptr;
    NodePtr parent = a->parent.lock();
    if (!parent || parent != b->parent.lock() || a->type != b->type || a->scale != b->scale) return nullptr;

    releaseChildren(*a);
    releaseChildren(*b);
    NodePtr merged = createNode(a->type, a->scale);
    attach(parent, merged);
    for (const NodePtr& from : {a, b})
        for (size_t j = 0; j < from->landmarkIdxs.size(); ++j) takeLandmark(*from, j, *merged);
    m_hierarchy->transitionMatrixForSelection(merged);
    detach(a);
    detach(b);
    structureChanged();
    return merged;
}

bool MCV_FCTree::hasSiblings(NodePtr node) const {
    NodePtr parent = node ? node->parent.lock() : nullptr;
    return parent && parent->children.size() >= 2;
}

MCV_FCTree::NodePtr MCV_FCTree::sibling(NodePtr node) const {
    if (!hasSiblings(node)) return nullptr;
    for (const NodePtr& child : node->parent.lock()->children)
        if (child != node) return child;
    return nullptr;
}

MCV_FCTree::NodeList* MCV_FCTree::leaves() {
    computeLeaves();
    return &m_leaves;
}

MCV_FCTree::NodeList* MCV_FCTree::focus() {
    computeLeaves();
    return &m_focus;
}

MCV_FCTree::NodeList* MCV_FCTree::context() {
    computeLeaves();
    return &m_context;
}

void MCV_FCTree::computeLeaves() {
    if (!m_leavesStale) return;
    m_leaves.clear();
    m_focus.clear();
    m_context.clear();
    computeLeaves(m_root, &m_leaves, &m_focus, &m_context);
    m_leavesStale = false;
}

void MCV_FCTree::computeLeaves(NodePtr node, NodeList* leaves, NodeList* focus, NodeList* context) {
    if (!node) return;
    if (node->children.empty()) {
        if (leaves) leaves->push_back(node);
        if (node->isFocus()) {
            if (focus) focus->push_back(node);
        } else if (node->type == hierarchyNodeContext) {
            if (context) context->push_back(node);
        }
    }
    for (const NodePtr& child : node->children) computeLeaves(child, leaves, focus, context);
}

std::string& MCV_FCTree::jsonObject() {
    createJson();
    return m_json;
}

std::string& MCV_FCTree::jsonString() {
    createJson();
    return m_jsonEscaped;
}

void MCV_FCTree::createJson() {
    if (!m_jsonStale) return;
    m_json.clear();
    if (m_root) appendNodeJson(m_root);
    m_jsonStale = false;
}

void MCV_FCTree::appendNodeJson(NodePtr node) {
    if (!node) return;
    const bool wrap = node->children.size() == 1 && !hasSiblings(node);
    if (wrap) m_json += "{\n\"id\":-1,\n\"children\":[\n";
    m_json += "{\n\"id\":" + std::to_string(node->id) + ",\n\"type\":" + std::to_string(node->type) +
              ",\n\"scale\":" + std::to_string(node->scale);
    if (node->children.empty()) {
        m_json += "\n";
    } else {
        m_json += ",\n\"children\":[\n";
        for (size_t c = 0; c < node->children.size(); ++c) {
            if (c > 0) m_json += ",";
            appendNodeJson(node->children[c]);
        }
        m_json += "\n]\n";
    }
    m_json += "}";
    if (wrap) m_json += "\n]\n}";
}

void MCV_FCTree::structureChanged() {
    m_leavesStale = true;
    m_jsonStale = true;
    if (m_ui) m_ui->dataRefreshed(this);
}
