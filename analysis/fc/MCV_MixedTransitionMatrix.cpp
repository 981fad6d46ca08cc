// The four ways of joining the leaves of a focus-and-context tree into one
// transition matrix. Membership tests and landmark look-ups go through hash
// tables that give the same answers as a scan from the start.
#include "analysis/fc/MCV_MixedTransitionMatrix.h"

#include "analysis/fc/MCV_FCTree.h"
#include "analysis/hsne/MCV_DerivedDataHierarchy.h"

#include "vel/utils/LoopFailure.h"

#include <algorithm>
#include <cassert>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace {

using SparseMatrix = MCV_MixedTransitionMatrix::SparseMatrix;
using PointNodes = MCV_MixedTransitionMatrix::PointNodes;
using NodePtr = std::shared_ptr<HierarchyNode>;
constexpr unsigned NoPoint = HierarchyNode::NoPoint;

// The first landmark of each data point, per scale, made when first asked.
class LandmarkOfPoint {
public:
    explicit LandmarkOfPoint(MCV_DerivedDataHierarchy& hierarchy) : m_hierarchy(hierarchy) {}
    bool find(unsigned point, int scale, unsigned& landmark) {
        auto found = m_scales.find(scale);
        if (found == m_scales.end()) {
            std::vector<unsigned> points;
            m_hierarchy.gloablIdxsFromLandmarkIdxs(&points, scale, nullptr);
            std::unordered_map<unsigned, unsigned> first;
            first.reserve(points.size());
            for (size_t l = 0; l < points.size(); ++l) first.emplace(points[l], static_cast<unsigned>(l));
            found = m_scales.emplace(scale, std::move(first)).first;
        }
        auto it = found->second.find(point);
        if (it == found->second.end()) return false;
        landmark = it->second;
        return true;
    }

private:
    MCV_DerivedDataHierarchy& m_hierarchy;
    std::map<int, std::unordered_map<unsigned, unsigned>> m_scales;
};

// A leaf's own rows as one diagonal block: exactly one row per landmark and
// no column outside the block, whatever its matrix holds. Every row is
// written by one thread alone, in column order.
void appendLeafBlock(SparseMatrix& mixed, const HierarchyNode& leaf) {
    const size_t n = leaf.landmarkIdxs.size();
    assert(leaf.transitionMatrix.size() == n);
    const unsigned offset = static_cast<unsigned>(mixed.size());
    mixed.resize(mixed.size() + n);
    const auto rows = static_cast<long long>(std::min(n, leaf.transitionMatrix.size()));
    vel::utils::LoopFailure failure;
#pragma omp parallel for schedule(dynamic, 256) if (rows > 2048)
    for (long long r = 0; r < rows; ++r)
        failure.guard([&] {
            const auto& source = leaf.transitionMatrix[static_cast<size_t>(r)];
            auto& row = mixed[offset + static_cast<size_t>(r)];
            row.reserve(source.size());
            // The source row is in ascending column order: every entry lands
            // at the end of the row.
            for (const auto& [column, value] : source)
                if (column < n) row[offset + column] = value;
        });
    failure.rethrow();
}

// Divides the row by the sum of its values, in row order; a row summing to 0
// is left as it is.
void normalise(vel::data::MapMemEff<unsigned, float>& row) {
    float sum = 0;
    for (const auto& entry : row) sum += entry.second;
    if (row.empty() || !(sum != 0.0f)) return;
    for (auto& entry : row) entry.second /= sum;
}

// The row after `row[column] = value` for every entry of `entries` in turn
// (a column given twice keeps its last value), built in one pass.
void setEntries(vel::data::MapMemEff<unsigned, float>& row, std::vector<std::pair<unsigned, float>>& entries) {
    if (entries.empty()) return;
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    vel::data::MapMemEff<unsigned, float> merged;
    merged.reserve(row.size() + entries.size());
    auto old = row.begin();
    for (size_t k = 0; k < entries.size(); ++k) {
        const unsigned column = entries[k].first;
        if (k + 1 < entries.size() && entries[k + 1].first == column) continue;
        for (; old != row.end() && old->first < column; ++old) merged[old->first] = old->second;
        if (old != row.end() && old->first == column) ++old;
        merged[column] = entries[k].second;
    }
    for (; old != row.end(); ++old) merged[old->first] = old->second;
    row = std::move(merged);
}

// The scale's sub-matrix over `landmarks`, one row per entry.
void subMatrix(MCV_DerivedDataHierarchy& hierarchy, int scale, const std::vector<unsigned>& landmarks,
               SparseMatrix& out) {
    auto holder = std::make_shared<HierarchyNode>();
    holder->scale = scale;
    holder->landmarkIdxs = landmarks;
    hierarchy.transitionMatrixForSelection(holder);
    out = std::move(holder->transitionMatrix);
    out.resize(landmarks.size());
}

}  // namespace

void MCV_MixedTransitionMatrix::buildMixedTransitionMatrix(int mode, MCV_FCTree* tree,
                                                           MCV_DerivedDataHierarchy* hierarchy, SparseMatrix* mixed,
                                                           PointNodes* pointNodes) {
    switch (hierarchy ? mode : TransitionMatrixStandard) {
        case TransitionMatrixPruneDeepest:
            buildMixedTransitionMatrixPruneDeepest(tree, hierarchy, mixed, pointNodes);
            break;
        case TransitionMatrixPruneDeepestOverwriteContext:
            buildMixedTransitionMatrixPruneDeepestOverwriteContext(tree, hierarchy, mixed, pointNodes);
            break;
        case TransitionMatrixPushDown:
            buildMixedTransitionMatrixPushDown(tree, hierarchy, mixed, pointNodes);
            break;
        default:
            buildMixedTransitionMatrixStandard(tree, mixed, pointNodes);
            break;
    }
    assert(!tree || !mixed || !pointNodes || invariantsHold(tree, mixed, pointNodes));
}

bool MCV_MixedTransitionMatrix::invariantsHold(MCV_FCTree* tree, const SparseMatrix* mixed,
                                               const PointNodes* pointNodes) {
    if (!tree || !mixed || !pointNodes || mixed->size() != pointNodes->size()) return false;
    for (const NodePtr& leaf : *tree->leaves()) {
        if (leaf->embeddingIdxs.size() != leaf->landmarkIdxs.size()) return false;
        for (size_t j = 0; j < leaf->embeddingIdxs.size(); ++j) {
            const unsigned e = leaf->embeddingIdxs[j];
            if (e != NoPoint && (e >= pointNodes->size() || (*pointNodes)[e] != std::make_pair(leaf, int(j))))
                return false;
        }
    }
    return true;
}

void MCV_MixedTransitionMatrix::buildMixedTransitionMatrixStandard(MCV_FCTree* tree, SparseMatrix* mixed,
                                                                   PointNodes* pointNodes) {
    if (!tree || !mixed || !pointNodes) return;
    mixed->clear();
    pointNodes->clear();
    size_t points = 0;
    for (MCV_FCTree::NodeList* list : {tree->focus(), tree->context()})
        for (const NodePtr& leaf : *list) points += leaf->landmarkIdxs.size();
    mixed->reserve(points);
    pointNodes->reserve(points);
    for (MCV_FCTree::NodeList* list : {tree->focus(), tree->context()})
        for (const NodePtr& leaf : *list) {
            appendLeafBlock(*mixed, *leaf);
            leaf->embeddingIdxs.resize(leaf->landmarkIdxs.size());
            for (size_t j = 0; j < leaf->landmarkIdxs.size(); ++j) {
                leaf->embeddingIdxs[j] = static_cast<unsigned>(pointNodes->size());
                pointNodes->emplace_back(leaf, static_cast<int>(j));
            }
        }
}

void MCV_MixedTransitionMatrix::buildMixedTransitionMatrixPruneDeepest(MCV_FCTree* tree,
                                                                       MCV_DerivedDataHierarchy* hierarchy,
                                                                       SparseMatrix* mixed, PointNodes* pointNodes) {
    if (!tree || !mixed || !pointNodes) return;
    if (!hierarchy) return buildMixedTransitionMatrixStandard(tree, mixed, pointNodes);
    mixed->clear();
    pointNodes->clear();
    const MCV_FCTree::NodeList& leaves = *tree->leaves();
    int deepest = 999;
    for (const NodePtr& leaf : leaves) deepest = std::min(deepest, static_cast<int>(leaf->scale));

    LandmarkOfPoint landmarkOf(*hierarchy);
    std::vector<unsigned> selection;
    std::unordered_set<unsigned> selected;
    const auto addPoint = [&](const NodePtr& leaf, size_t j, unsigned landmark) {
        pointNodes->emplace_back(leaf, static_cast<int>(j));
        selection.push_back(landmark);
        selected.insert(landmark);
        leaf->embeddingIdxs[j] = static_cast<unsigned>(selection.size() - 1);
    };
    // A landmark of the deepest scale that an earlier leaf already brought in
    // gets no second point, on the deepest leaves too: the selection then has
    // no repeats and the matrix one row per point.
    for (const NodePtr& leaf : leaves) {
        leaf->embeddingIdxs.resize(leaf->landmarkIdxs.size());
        for (size_t j = 0; j < leaf->landmarkIdxs.size(); ++j) {
            unsigned k = leaf->landmarkIdxs[j];
            const bool mapped = leaf->scale == deepest ||
                                (j < leaf->globalIdxs.size() && landmarkOf.find(leaf->globalIdxs[j], deepest, k));
            if (mapped && !selected.count(k))
                addPoint(leaf, j, k);
            else
                leaf->embeddingIdxs[j] = NoPoint;
        }
    }
    if (!leaves.empty()) subMatrix(*hierarchy, deepest, selection, *mixed);
    assert(mixed->size() == pointNodes->size());
}

void MCV_MixedTransitionMatrix::buildMixedTransitionMatrixPruneDeepestOverwriteContext(
    MCV_FCTree* tree, MCV_DerivedDataHierarchy* hierarchy, SparseMatrix* mixed, PointNodes* pointNodes) {
    if (!tree || !mixed || !pointNodes) return;
    if (!hierarchy) return buildMixedTransitionMatrixStandard(tree, mixed, pointNodes);
    buildMixedTransitionMatrixPruneDeepest(tree, hierarchy, mixed, pointNodes);
    const MCV_FCTree::NodeList& leaves = *tree->leaves();
    int deepest = 999;
    for (const NodePtr& leaf : leaves) deepest = std::min(deepest, static_cast<int>(leaf->scale));

    for (const NodePtr& leaf : leaves) {
        if (leaf->scale == deepest) continue;
        const std::vector<unsigned>& embedded = leaf->embeddingIdxs;
        const auto rows = static_cast<long long>(std::min(leaf->transitionMatrix.size(), embedded.size()));
        // Every point stands for one landmark of one leaf, so each mixed row
        // is rewritten by one thread alone.
#pragma omp parallel for schedule(dynamic, 256) if (rows > 2048)
        for (long long lr = 0; lr < rows; ++lr) {
            const auto r = static_cast<size_t>(lr);
            const unsigned e = embedded[r];
            if (e == NoPoint || e >= mixed->size()) continue;
            auto& row = (*mixed)[e];
            for (const auto& [column, value] : leaf->transitionMatrix[r]) {
                if (column >= embedded.size() || embedded[column] == NoPoint) continue;
                const unsigned target = embedded[column];
                auto it = std::lower_bound(row.begin(), row.end(), target,
                                           [](const auto& entry, unsigned key) { return entry.first < key; });
                if (it != row.end() && it->first == target && it->second > 0.0f) it->second = value;
            }
            normalise(row);
        }
    }
}

void MCV_MixedTransitionMatrix::buildMixedTransitionMatrixPushDown(MCV_FCTree* tree,
                                                                   MCV_DerivedDataHierarchy* hierarchy,
                                                                   SparseMatrix* mixed, PointNodes* pointNodes) {
    if (!tree || !mixed || !pointNodes) return;
    buildMixedTransitionMatrixStandard(tree, mixed, pointNodes);
    if (!hierarchy) return;
    const MCV_FCTree::NodeList& leaves = *tree->leaves();
    LandmarkOfPoint landmarkOf(*hierarchy);
    std::vector<unsigned> selection, location;
    std::unordered_set<unsigned> selected;
    SparseMatrix links;
    // The links of every pair, per row in the order the pairs give them; the
    // rows take them once all pairs are done.
    std::vector<std::vector<std::pair<unsigned, float>>> linksOfRow(mixed->size());
    for (const NodePtr& a : leaves)
        for (const NodePtr& b : leaves) {
            if (a->id == b->id) continue;
            const int scale = std::max(a->scale, b->scale);
            selection.clear();
            location.clear();
            selected.clear();
            size_t numA = 0;
            for (const NodePtr& leaf : {a, b}) {
                for (size_t j = 0; j < leaf->landmarkIdxs.size(); ++j) {
                    unsigned k = leaf->landmarkIdxs[j];
                    if (leaf->scale != scale &&
                        !(j < leaf->globalIdxs.size() && landmarkOf.find(leaf->globalIdxs[j], scale, k)))
                        continue;
                    if (!selected.insert(k).second) continue;
                    selection.push_back(k);
                    location.push_back(static_cast<unsigned>(j));
                }
                if (leaf == a) numA = selection.size();
            }
            hierarchy->transitionMatrixForSelection(&links, scale, &selection);
            for (size_t r = 0; r < numA && r < links.size(); ++r)
                for (const auto& [column, value] : links[r]) {
                    if (column < numA || column >= location.size()) continue;
                    const unsigned from = a->embeddingIdxs[location[r]];
                    const unsigned to = b->embeddingIdxs[location[column]];
                    linksOfRow[from].emplace_back(to, value);
                }
        }
    const auto rows = static_cast<long long>(mixed->size());
    vel::utils::LoopFailure failure;
#pragma omp parallel for schedule(dynamic, 256) if (rows > 2048)
    for (long long i = 0; i < rows; ++i)
        failure.guard([&] {
            auto& row = (*mixed)[static_cast<size_t>(i)];
            setEntries(row, linksOfRow[static_cast<size_t>(i)]);
            normalise(row);
        });
    failure.rethrow();
}

void MCV_MixedTransitionMatrix::appendSparseTransitionMatrix(SparseMatrix* mixed, const SparseMatrix* rows) {
    if (!mixed || !rows) return;
    const unsigned offset = static_cast<unsigned>(mixed->size());
    mixed->reserve(mixed->size() + rows->size());
    for (const auto& source : *rows) {
        mixed->emplace_back();
        auto& row = mixed->back();
        row.reserve(source.size());
        for (const auto& [column, value] : source) row[offset + column] = value;
    }
}
