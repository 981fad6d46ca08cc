#pragma once
// A hierarchy of random, known matrices written to its file and loaded as the
// analyses load it, and random focus-and-context trees over it.

#include "support/CapturedOutput.h"

#include "analysis/fc/MCV_FCTree.h"
#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "vel/dr/HierarchyIO.h"

#include <QTemporaryDir>

#include <fstream>
#include <random>
#include <sstream>

namespace fctest {

using Matrix = MCV_DerivedDataHierarchy::SparseMatrix;

// Square, rows of one to four positive entries summing to 1.
inline Matrix randomRows(std::mt19937& rng, size_t rows) {
    Matrix m(rows);
    for (auto& row : m) {
        float sum = 0;
        for (int e = 1 + rng() % 4; e > 0; --e) sum += 1.0f, row[rng() % rows] += 1.0f;
        for (auto& entry : row) entry.second /= sum;
    }
    return m;
}

// Scale s keeps the even points of scale s - 1 (4000 points give 2000, 1000,
// 500 landmarks); every point below influences one random landmark.
inline std::unique_ptr<MCV_DerivedDataHierarchy> randomHierarchy(unsigned points, int scales, unsigned seed) {
    std::mt19937 rng(seed);
    MCV_DerivedDataHierarchy::Hsne h;
    h.initialize(randomRows(rng, points));
    h.hierarchy().resize(size_t(scales));
    for (int s = 1; s < scales; ++s) {
        auto &below = h.scale(s - 1), &cur = h.scale(s);
        const unsigned n = below.size(), landmarks = (n + 1) / 2;
        cur.areaOfInfluence.resize(n);
        for (unsigned p = 0; p < n; ++p) cur.areaOfInfluence[p][rng() % landmarks] = 1.0f;
        for (unsigned p = 0; p < n; ++p) cur.previousScaleToLandmarkIdx.push_back(p % 2 ? -1 : int(p / 2));
        for (unsigned p = 0; p < n; p += 2) cur.landmarkToPreviousScaleIdx.push_back(p);
        for (unsigned p = 0; p < n; p += 2) cur.landmarkToOriginalIdx.push_back(below.landmarkToOriginalIdx[p]);
        cur.landmarkWeight.assign(landmarks, 1.0f);
        cur.transitionMatrix = randomRows(rng, landmarks);
    }
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/h.hsne";
    std::ostringstream bytes;
    vel::dr::IO::saveHSNE(h, static_cast<std::ostream&>(bytes), nullptr);
    const std::string file = bytes.str();
    std::ofstream(path, std::ios::binary).write(file.data(), static_cast<std::streamsize>(file.size()));
    auto loaded = std::make_unique<MCV_DerivedDataHierarchy>();
    std::vector<std::pair<int, int>> refs(points, {0, 0});
    loaded->init("H", int(points), 1, scales, {}, &refs);
    quietly(
        [&] { EXPECT_TRUE(loaded->loadHsneHierarchyCache(path, MCV_CacheFileDigest::of(file.data(), file.size()))); });
    return loaded;
}

// The tree reset to the top scale, then `steps` random splits and refinements
// of random leaves.
inline void growRandomTree(MCV_FCTree& tree, MCV_DerivedDataHierarchy& h, std::mt19937& rng, int steps) {
    const int top = h.numScales() - 1;
    tree.reset(top, *h.transitionMatrix(top), &h);
    for (int step = 0; step < steps; ++step) {
        const MCV_FCTree::NodePtr leaf = (*tree.leaves())[rng() % tree.leaves()->size()];
        MCV_FCTree::PointNodes held;
        std::vector<unsigned> selection;
        for (size_t j = 0; j < leaf->numLandmarks(); ++j) {
            held.emplace_back(leaf, int(j));
            if (rng() % 3 == 0) selection.push_back(unsigned(j));
        }
        if (rng() % 2) {
            if (!selection.empty() && selection.size() < held.size()) tree.split(leaf, &selection, &held);
        } else if (leaf->scale > 0) {
            auto child = tree.append(leaf, leaf->type, leaf->scale - 1);
            h.nextLevelIdxs(&child->landmarkIdxs, leaf->scale, &leaf->landmarkIdxs, false);
            h.gloablIdxsFromLandmarkIdxs(&child->globalIdxs, child->scale, &child->landmarkIdxs);
            h.transitionMatrixForSelection(child);
            child->coordinates.assign(2 * child->numLandmarks(), 0.0f);
        }
    }
}

}  // namespace fctest
