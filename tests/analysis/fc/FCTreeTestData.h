#pragma once
// A hierarchy of random but known matrices, written to its file and loaded as
// the analyses load it, and random focus-and-context trees over it.

#include "support/CapturedOutput.h"

#include "analysis/fc/MCV_FCTree.h"
#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "vel/dr/HierarchyIO.h"

#include <QTemporaryDir>

#include <fstream>
#include <random>

namespace fctest {

using Matrix = MCV_DerivedDataHierarchy::SparseMatrix;
using Hsne = MCV_DerivedDataHierarchy::Hsne;

// Rows of one to four positive entries summing to 1.
inline Matrix randomRows(std::mt19937& rng, size_t rows, size_t columns) {
    Matrix m(rows);
    for (auto& row : m) {
        float sum = 0;
        for (int e = 1 + rng() % 4; e > 0; --e) {
            const float v = 1.0f + rng() % 8;
            row[rng() % columns] += v;
            sum += v;
        }
        for (auto& entry : row) entry.second /= sum;
    }
    return m;
}

// Every scale keeps the even points of the one below (4000 points give 2000,
// 1000 and 500 landmarks); each point below influences one random landmark.
inline std::unique_ptr<MCV_DerivedDataHierarchy> randomHierarchy(unsigned points, int scales, unsigned seed) {
    std::mt19937 rng(seed);
    Hsne h;
    h.initialize(randomRows(rng, points, points));
    h.hierarchy().resize(static_cast<size_t>(scales));
    for (int s = 1; s < scales; ++s) {
        Hsne::Scale &below = h.scale(s - 1), &cur = h.scale(s);
        const unsigned n = below.size(), landmarks = (n + 1) / 2;
        cur.previousScaleToLandmarkIdx.assign(n, -1);
        cur.areaOfInfluence.resize(n);
        for (unsigned p = 0; p < n; ++p) {
            if (p % 2 == 0) {
                cur.previousScaleToLandmarkIdx[p] = static_cast<int>(p / 2);
                cur.landmarkToPreviousScaleIdx.push_back(p);
                cur.landmarkToOriginalIdx.push_back(below.landmarkToOriginalIdx[p]);
            }
            cur.areaOfInfluence[p][rng() % landmarks] = 1.0f;
        }
        cur.landmarkWeight.assign(landmarks, 1.0f);
        cur.transitionMatrix = randomRows(rng, landmarks, landmarks);
    }
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/h.hsne";
    std::ofstream out(path, std::ios::binary);
    vel::dr::IO::saveHSNE(h, out, nullptr);
    out.close();
    auto loaded = std::make_unique<MCV_DerivedDataHierarchy>();
    std::vector<std::pair<int, int>> refs(points);
    for (unsigned i = 0; i < points; ++i) refs[i] = {0, static_cast<int>(i)};
    loaded->init("H", static_cast<int>(points), 1, scales, {}, &refs);
    bool ok = false;
    quietly([&] { ok = loaded->loadHsneHierarchyCache(path); });
    EXPECT_TRUE(ok);
    return loaded;
}

// A tree reset to the top scale, then `steps` random splits and refinements
// of random leaves.
inline void growRandomTree(MCV_FCTree& tree, MCV_DerivedDataHierarchy& h, std::mt19937& rng, int steps) {
    const int top = h.numScales() - 1;
    tree.reset(top, *h.transitionMatrix(top), &h);
    for (int step = 0; step < steps; ++step) {
        const MCV_FCTree::NodePtr leaf = (*tree.leaves())[rng() % tree.leaves()->size()];
        const size_t n = leaf->numLandmarks();
        if (rng() % 2 && n >= 2) {
            MCV_FCTree::PointNodes held;
            std::vector<unsigned> selection;
            for (size_t j = 0; j < n; ++j) {
                held.emplace_back(leaf, static_cast<int>(j));
                if (rng() % 3 == 0) selection.push_back(static_cast<unsigned>(j));
            }
            if (!selection.empty() && selection.size() < n) tree.split(leaf, &selection, &held);
        } else if (leaf->scale > 0) {
            auto child = tree.append(leaf, leaf->type, leaf->scale - 1);
            quietly([&] {
                h.nextLevelTransitionMatrixForSelection(&child->transitionMatrix, &child->landmarkIdxs, leaf->scale,
                                                        &leaf->landmarkIdxs, nullptr);
            });
            h.gloablIdxsFromLandmarkIdxs(&child->globalIdxs, child->scale, &child->landmarkIdxs);
            child->coordinates.assign(2 * child->numLandmarks(), 0.0f);
        }
    }
}

}  // namespace fctest
