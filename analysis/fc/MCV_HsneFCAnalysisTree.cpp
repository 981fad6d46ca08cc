// The tree operations of the focus-and-context analysis: refining and
// coarsening nodes, and making a selection the focus.
#include "analysis/fc/MCV_HsneFCAnalysis.h"

#include "analysis/fc/MCV_FCEventCover.h"
#include "analysis/fc/MCV_FCTree.h"
#include "analysis/fc/MCV_MixedTransitionMatrix.h"
#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "data/MCV_UiInterface.h"

#include <algorithm>
#include <iostream>
#include <unordered_map>
#include <unordered_set>

namespace {

using NodePtr = MCV_HsneFCAnalysis::NodePtr;

NodePtr parentOf(const NodePtr& node) { return node ? node->parent.lock() : NodePtr(); }

}  // namespace

// ---- Refine and coarsen ----

MCV_FCEventCover& MCV_HsneFCAnalysis::eventCover() {
    if (!m_eventCover || m_eventCover->hierarchy() != m_hierarchy.get())
        m_eventCover = std::make_unique<MCV_FCEventCover>(m_hierarchy.get());
    return *m_eventCover;
}

void MCV_HsneFCAnalysis::zoomIntoNode(NodePtr node) {
    if (!node || !m_fcTree || !m_hierarchy || node->scale < 1) return;
    NodePtr child = m_fcTree->append(node, node->type, node->scale - 1);
    // The finer landmarks under the node; an event of the node that none of
    // them stands for brings its own finer landmark, so that it stays on the
    // map.
    m_hierarchy->nextLevelIdxs(&child->landmarkIdxs, node->scale, &node->landmarkIdxs, true);
    eventCover().completeRefinement(node->scale, node->landmarkIdxs, child->landmarkIdxs);
    m_hierarchy->transitionMatrixForSelection(&child->transitionMatrix, child->scale, &child->landmarkIdxs);
    m_hierarchy->gloablIdxsFromLandmarkIdxs(&child->globalIdxs, child->scale, &child->landmarkIdxs);

    const size_t n = child->landmarkIdxs.size();
    const size_t held = node->landmarkIdxs.size();
    // For each child landmark, the first position of the node holding the
    // same data point.
    std::unordered_map<unsigned, unsigned> heldAt;
    heldAt.reserve(node->globalIdxs.size());
    for (size_t k = 0; k < node->globalIdxs.size(); ++k) heldAt.emplace(node->globalIdxs[k], static_cast<unsigned>(k));
    std::vector<unsigned> map(n, HierarchyNode::NoPoint);
    for (size_t i = 0; i < n; ++i) {
        const auto it = heldAt.find(child->globalIdxs[i]);
        if (it != heldAt.end()) map[i] = it->second;
    }
    child->coordinates.assign(2 * n, 0.f);
    const auto valid = [&](unsigned m) {
        return m < held && 2 * static_cast<size_t>(m) + 1 < node->coordinates.size();
    };
    // A landmark the node held starts where the node showed it.
    for (size_t i = 0; i < n; ++i) {
        if (!valid(map[i])) continue;
        child->coordinates[2 * i] = node->coordinates[2 * static_cast<size_t>(map[i])];
        child->coordinates[2 * i + 1] = node->coordinates[2 * static_cast<size_t>(map[i]) + 1];
    }
    // A new one starts at its strongest neighbour among the held ones, whose
    // positions this loop does not change.
    const auto matrixRows = static_cast<long long>(std::min(n, child->transitionMatrix.size()));
#pragma omp parallel for schedule(dynamic, 256) if (matrixRows > 4096)
    for (long long li = 0; li < matrixRows; ++li) {
        const auto i = static_cast<size_t>(li);
        if (valid(map[i])) continue;
        float best = 0.f;
        size_t from = n;
        for (const auto& entry : child->transitionMatrix[i]) {
            if (entry.first < n && valid(map[entry.first]) && entry.second > best) {
                best = entry.second;
                from = entry.first;
            }
        }
        if (from == n) continue;
        child->coordinates[2 * i] = child->coordinates[2 * from];
        child->coordinates[2 * i + 1] = child->coordinates[2 * from + 1];
    }
    m_rebuildTransitionMatrix = true;
}

void MCV_HsneFCAnalysis::zoomOutOfNode(NodePtr node) {
    if (!node || !m_fcTree || !m_hierarchy) return;
    const NodePtr p = parentOf(node);
    if (!p) return;
    // A half of a split lies at its parent's scale: there is nothing coarser
    // for it, and giving it back to the parent would leave its events in no
    // leaf while the parent keeps the other half.
    if (p->children.size() != 1) return;
    m_fcTree->purge(node);
    m_rebuildTransitionMatrix = true;
    // P is a leaf again.
    if (!m_fcTree->hasSiblings(p)) return;

    // The nearest ancestor above P that is itself half of a split.
    const NodePtr s = m_fcTree->sibling(p);
    NodePtr a = parentOf(p);
    while (a && parentOf(a) && !m_fcTree->hasSiblings(a)) a = parentOf(a);
    if (!a || !parentOf(a)) {
        // The tree collapses into the root, which holds every landmark of the
        // top scale, unless the leaves stand for events that the top does not.
        const NodePtr root = m_fcTree->root();
        if (MCV_FCEventCover::keepsEvery(eventCover().covered(*m_fcTree->leaves()), eventCover().covered({root})))
            m_fcTree->purgeChildren(root);
        return;
    }
    redivideAround(a, p, s);
}

namespace {

// Whether `node` is `above` or lies below it.
bool within(NodePtr node, const NodePtr& above) {
    for (; node; node = parentOf(node))
        if (node == above) return true;
    return false;
}

}  // namespace

bool MCV_HsneFCAnalysis::redivideAround(const NodePtr& a, const NodePtr& p, const NodePtr& s) {
    // A is divided anew: what S holds becomes context, the rest the focus
    // that P and its subtree hang under; the context joins A's sibling.
    const NodePtr b = parentOf(a);
    const NodePtr s2 = m_fcTree->sibling(a);
    const std::unordered_set<unsigned> inSibling(s->globalIdxs.begin(), s->globalIdxs.end());
    std::vector<size_t> toContext, toFocus;
    for (size_t j = 0; j < a->landmarkIdxs.size(); ++j)
        (inSibling.count(a->globalIdxs[j]) ? toContext : toFocus).push_back(j);

    // The leaves it would leave: those outside A and S2, P, A's part of S and
    // S2 (whose own subtree the merge gives back to it).
    const bool merges = s2 && s2->type == hierarchyNodeContext && s2->scale == a->scale;
    MCV_FCTree::NodeList after;
    for (const NodePtr& leaf : *m_fcTree->leaves())
        if (!within(leaf, a) && !(merges && within(leaf, s2))) after.push_back(leaf);
    after.push_back(p);
    if (merges) after.push_back(s2);
    MCV_FCEventCover& cover = eventCover();
    std::vector<char> kept = cover.covered(after);
    std::vector<unsigned> contextLandmarks;
    for (size_t j : toContext) contextLandmarks.push_back(a->landmarkIdxs[j]);
    cover.mark(a->scale, contextLandmarks, kept);
    if (!MCV_FCEventCover::keepsEvery(cover.covered(*m_fcTree->leaves()), kept)) return false;

    const NodePtr nf = m_fcTree->createNode(hierarchyNodeFocus, a->scale);
    const NodePtr nc = m_fcTree->createNode(hierarchyNodeContext, a->scale);
    const auto take = [&](const std::vector<size_t>& positions, HierarchyNode& to) {
        for (size_t j : positions) {
            to.landmarkIdxs.push_back(a->landmarkIdxs[j]);
            to.globalIdxs.push_back(a->globalIdxs[j]);
            to.coordinates.push_back(a->coordinates[2 * j]);
            to.coordinates.push_back(a->coordinates[2 * j + 1]);
        }
    };
    take(toFocus, *nf);
    take(toContext, *nc);
    m_hierarchy->transitionMatrixForSelection(nf);
    m_fcTree->purge(a);
    m_fcTree->append(b, nf);
    if (parentOf(p)) m_fcTree->purge(p);
    m_fcTree->append(nf, p);
    m_fcTree->append(b, nc);
    // A context half that cannot join A's sibling stays a leaf of its own.
    if (!m_fcTree->merge(s2, nc)) m_hierarchy->transitionMatrixForSelection(nc);
    m_rebuildTransitionMatrix = true;
    return true;
}

void MCV_HsneFCAnalysis::zoomIntoAll() {
    if (!m_fcTree) return;
    // The leaves as they stood: nodes added meanwhile are not visited.
    const MCV_FCTree::NodeList leaves = *m_fcTree->leaves();
    for (const NodePtr& leaf : leaves) zoomIntoNode(leaf);
    m_rebuildTransitionMatrix = true;
}

void MCV_HsneFCAnalysis::zoomOutOfAll() {
    if (!m_fcTree) return;
    const MCV_FCTree::NodeList leaves = *m_fcTree->leaves();
    for (const NodePtr& leaf : leaves) zoomOutOfNode(leaf);
    m_rebuildTransitionMatrix = true;
}

void MCV_HsneFCAnalysis::zoomIntoFocus() {
    if (!m_fcTree) return;
    const MCV_FCTree::NodeList focus = *m_fcTree->focus();
    for (const NodePtr& leaf : focus) zoomIntoNode(leaf);
    m_rebuildTransitionMatrix = true;
}

void MCV_HsneFCAnalysis::zoomOutOfFocus() {
    if (!m_fcTree) return;
    const MCV_FCTree::NodeList focus = *m_fcTree->focus();
    for (const NodePtr& leaf : focus) zoomOutOfNode(leaf);
    m_rebuildTransitionMatrix = true;
}

// ---- Focus ----

void MCV_HsneFCAnalysis::applySetFocus(std::vector<unsigned> selection) {
    if (!m_fcTree || !m_hierarchy || selection.empty()) return;
    m_rebuildTransitionMatrix = true;

    // A selection across leaves (or beyond the points) splits nothing.
    NodePtr leaf;
    bool oneLeaf = true;
    for (unsigned i : selection) {
        if (i >= m_pointNodes.size()) {
            oneLeaf = false;
            break;
        }
        if (!leaf) leaf = m_pointNodes[i].first;
        oneLeaf = oneLeaf && m_pointNodes[i].first == leaf;
    }
    if (!oneLeaf) {
        std::cout << "HSNE: the selection of " << m_name << " spans several groups of landmarks; the focus stays."
                  << std::endl;
    } else if (leaf->isFocus()) {
        // All of a focus leaf is its focus already; a split would leave an
        // empty context half beside it.
        const std::unordered_set<unsigned> chosen(selection.begin(), selection.end());
        const auto held = std::count_if(m_pointNodes.begin(), m_pointNodes.end(),
                                        [&](const PointNode& p) { return p.first == leaf; });
        if (static_cast<size_t>(held) != chosen.size()) m_fcTree->split(leaf, &selection, &m_pointNodes);
    } else {
        const NodePtr p = parentOf(leaf);
        if (m_fcTree->split(leaf, &selection, &m_pointNodes) && p) {
            if (p->children.size() == 1) {
                // The leaf was made by refining P: the branch holding the
                // selection becomes the focus, the old focus half context.
                leaf->type = hierarchyNodeFocus;
                NodePtr q = p;
                while (q && q->children.size() == 1) {
                    q->type = hierarchyNodeFocus;
                    q = parentOf(q);
                }
                if (q && q->children.size() == 2) {
                    const NodePtr c0 = q->children[0];
                    const NodePtr c1 = q->children[1];
                    m_fcTree->purgeChildren(c0);
                    c0->type = hierarchyNodeContext;
                    m_fcTree->purgeChildren(q);
                    c0->parent.reset();
                    c1->parent.reset();
                    m_fcTree->append(q, c1);
                    m_fcTree->append(q, c0);
                }
            } else if (p->children.size() == 2) {
                // The leaf is the context half of P's split: the new focus
                // replaces P's focus half, which joins the context.
                const NodePtr f = leaf->children[0];
                const NodePtr c = leaf->children[1];
                const NodePtr q0 = p->children[0];
                m_fcTree->purgeChildren(q0);
                q0->type = hierarchyNodeContext;
                m_fcTree->purgeChildren(p);
                q0->parent.reset();
                f->parent.reset();
                c->parent.reset();
                m_fcTree->append(p, f);
                m_fcTree->append(p, c);
                m_fcTree->append(p, q0);
                m_fcTree->merge(c, q0);
            }
        }
        if (m_rebuildTransitionMatrix) buildMixedTransitionMatrix();
    }
    updateDerivedData();
    if (m_ui) m_ui->analysisInitialized(this);
}

// ---- Mixed transition matrix ----

void MCV_HsneFCAnalysis::buildMixedTransitionMatrix() {
    if (!m_rebuildTransitionMatrix || !m_fcTree) return;
    MCV_MixedTransitionMatrix::buildMixedTransitionMatrix(m_transitionMatrixMode, m_fcTree, m_hierarchy.get(),
                                                          &m_mixedTransitionMatrix, &m_pointNodes);
    m_rebuildTransitionMatrix = false;
}

void MCV_HsneFCAnalysis::buildMixedTransitionMatrixStandard() {
    if (!m_fcTree) return;
    MCV_MixedTransitionMatrix::buildMixedTransitionMatrixStandard(m_fcTree, &m_mixedTransitionMatrix, &m_pointNodes);
    m_rebuildTransitionMatrix = false;
}

void MCV_HsneFCAnalysis::buildMixedTransitionMatrixPruneDeepest() {
    if (!m_fcTree) return;
    MCV_MixedTransitionMatrix::buildMixedTransitionMatrixPruneDeepest(m_fcTree, m_hierarchy.get(),
                                                                      &m_mixedTransitionMatrix, &m_pointNodes);
    m_rebuildTransitionMatrix = false;
}

void MCV_HsneFCAnalysis::buildMixedTransitionMatrixPruneDeepestOverwriteContext() {
    if (!m_fcTree) return;
    MCV_MixedTransitionMatrix::buildMixedTransitionMatrixPruneDeepestOverwriteContext(
        m_fcTree, m_hierarchy.get(), &m_mixedTransitionMatrix, &m_pointNodes);
    m_rebuildTransitionMatrix = false;
}

void MCV_HsneFCAnalysis::buildMixedTransitionMatrixPushDown() {
    if (!m_fcTree) return;
    MCV_MixedTransitionMatrix::buildMixedTransitionMatrixPushDown(m_fcTree, m_hierarchy.get(), &m_mixedTransitionMatrix,
                                                                  &m_pointNodes);
    m_rebuildTransitionMatrix = false;
}

void MCV_HsneFCAnalysis::appendSparseTransitionMatrix(SparseMatrix* rows) {
    MCV_MixedTransitionMatrix::appendSparseTransitionMatrix(&m_mixedTransitionMatrix, rows);
}

void MCV_HsneFCAnalysis::initTransitionMatrix(int scale) {
    if (!m_hierarchy) return;
    const SparseMatrix* matrix = m_hierarchy->transitionMatrix(scale);
    if (!matrix) return;
    m_mixedTransitionMatrix = *matrix;
    m_rebuildTransitionMatrix = false;
}
