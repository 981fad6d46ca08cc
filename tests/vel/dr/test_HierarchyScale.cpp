#include <omp.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <numeric>

#include "vel/dr/HierarchyTestData.h"
#include "vel/dr/SparseTSNEUserDefProbabilities.h"
#include "vel/dr/WalkStreams.h"

using namespace hsnetest;

TEST(HierarchyScale, AreaOfInfluenceSharesAreAbsorptionProbabilities) {
    // Hubs 0 <-> 1 fed by 30 leaves become the only landmarks (one walk of one
    // step, T = 10); the vertices 2..5 between them mix before being absorbed.
    const double Q[4][6] = {{.5, 0, 0, .5, 0, 0}, {0, .4, .3, 0, .3, 0}, {0, .5, 0, .5, 0, 0}, {0, 0, .5, 0, .5, 0}};
    veltest::SparseMatrix P(36);
    P[0][1] = P[1][0] = 1.f;
    for (unsigned int c = 12; c < 36; ++c)
        if (Q[c / 6 - 2][c % 6] > 0) P[c / 6][c % 6] = static_cast<float>(Q[c / 6 - 2][c % 6]);
    for (unsigned int i = 6; i < 36; ++i) P[i][i % 2] = 1.f;
    Hsne::Parameters p;
    std::tie(p.seed, p.mcmcsNumWalks, p.mcmcsWalkLength, p.mcmcsLandmarkThresh, p.numWalksPerLandmark) =
        std::make_tuple(42, 1, 0, 10.f, 20000);
    Hsne h;
    h.initialize(P, p);
    h.addScale();
    ASSERT_EQ(h.scale(1).landmarkToPreviousScaleIdx, (std::vector<unsigned int>{0, 1}));
    std::vector<double> absorbed{1, 0, 0, 0, 0, 0};  // into landmark 0, by Gauss-Seidel sweeps
    for (unsigned int c = 0; c < 500 * 24; ++c)
        absorbed[c % 24 / 6 + 2] = (c % 6 ? absorbed[c % 24 / 6 + 2] : 0) + Q[c % 24 / 6][c % 6] * absorbed[c % 6];
    absorbed[0] = 0, absorbed[1] = 1;  // one step from a hub ends on the other hub
    double weight0 = 0;
    for (unsigned int i = 0; i < 36; ++i) {
        Values row(h.scale(1).areaOfInfluence[i].begin(), h.scale(1).areaOfInfluence[i].end());
        EXPECT_NEAR(row[0], i < 6 ? absorbed[i] : i % 2 == 0, 0.01) << i;
        EXPECT_NEAR(row[0] + row[1], 1.0, 1e-6) << i;
        weight0 += row[0];
    }
    EXPECT_NEAR(h.scale(1).landmarkWeight[0], weight0, 1e-3);
}

// Seed 42, Annoy: one file on 1, 2 and 8 threads, the same scale-1 weights from
// both constructions (FLANN seeds its trees from std::random_device, hnswlib
// inserts in parallel). Points of weight 0 leave their rows empty, not 0 / 0.
TEST(HierarchyScale, SameSeedSameFileOnAnyThreadCountAndZeroWeightsAddNothing) {
    const auto b = veltest::makeBlobs(3, 400, 5, 8.0, 3);
    std::vector<float> weights[2];
    for (bool preserving : {false, true}) {
        std::string first;
        for (int threads : {1, 2, 8}) {
            omp_set_num_threads(threads);
            Hsne h = built(b, 1, preserving, 2);
            Hsne::Scale& s1 = h.scale(1);
            if (threads == 1) weights[preserving] = s1.landmarkWeight;
            for (unsigned int l = 0; l < s1.size(); ++l) s1.landmarkWeight[l] *= s1.landmarkToOriginalIdx[l] >= 400;
            h.addScale();
            if (threads == 1) first = saved(h);
            EXPECT_TRUE(h.scale(2).size() > 1 && saved(h) == first) << threads << " threads, " << preserving;
            expectSound(h);
            for (unsigned int l = 0; l < h.scale(2).size(); ++l)
                EXPECT_EQ(h.top_scale().transitionMatrix[l].empty(), h.top_scale().landmarkToOriginalIdx[l] < 400);
        }
    }
    omp_set_num_threads(omp_get_num_procs());
    for (std::size_t l = 0; l < weights[1].size(); ++l) EXPECT_NEAR(weights[0].at(l), weights[1][l], 1e-3) << l;
}

// No entry joins two blobs, each keeps fewer landmarks per scale, and the top's embedding keeps them apart.
TEST(HierarchyScale, FiveBlobsStayApartOnEveryScale) {
    const auto& [b, h] = fiveBlobs();
    expectSound(h);
    const auto blob = [&](const Hsne::Scale& x, unsigned int l) { return b.labels[x.landmarkToOriginalIdx[l]]; };
    std::vector<unsigned int> previous(5, b.n / 5);
    for (unsigned int s = 1; s < h.hierarchy().size(); ++s) {
        const Hsne::Scale &scale = h.scale(s), &below = h.scale(s - 1);
        std::size_t crossings = 0;
        std::vector<unsigned int> perBlob(5, 0);
        for (unsigned int l = 0; l < scale.size(); ++l) {
            ++perBlob[blob(scale, l)];
            for (const auto& e : scale.transitionMatrix[l]) crossings += blob(scale, e.first) != blob(scale, l);
        }
        for (unsigned int i = 0; i < below.size(); ++i)
            for (const auto& e : scale.areaOfInfluence[i]) crossings += blob(scale, e.first) != blob(below, i);
        for (int k = 0; k < 5; ++k)
            EXPECT_TRUE(crossings == 0 && perBlob[k] > 0 && perBlob[k] < previous[k]) << s << ": " << crossings;
        previous = perBlob;
    }

    vel::dr::SparseTSNEUserDefProbabilities<float, veltest::SparseMatrix> engine;
    vel::data::Embedding<float> embedding;
    engine.initialize(h.top_scale().transitionMatrix, &embedding, veltest::seeded(3));
    for (int t = 0; t < 500; ++t) engine.doAnIteration();
    const std::vector<float>& y = embedding.getContainer();
    const unsigned int n = h.top_scale().size();
    const auto near = veltest::exactNeighbours(n, 11, [&](unsigned int i, unsigned int j) {
        return i == j ? -1.0 : veltest::squaredL2(&y[2 * i], &y[2 * j], 2);
    });
    double same = -1.0 * n;  // each point is its own first neighbour
    for (unsigned int i = 0; i < 11 * n; ++i)
        same += blob(h.top_scale(), near[i]) == blob(h.top_scale(), near[i / 11 * 11]);
    std::printf("top scale of %u landmarks: 10-NN label accuracy %.4f\n", n, same / (10.0 * n));
    EXPECT_GE(same / (10.0 * n), 0.95);
}

namespace {

// Scale s of h built again as the memory-preserving construction is written:
// walks one at a time from the points' own streams, ordered maps for the counts,
// the transposed area of influence and the similarities.
Hsne::Scale referenceScale(const Hsne& h, unsigned int s, const Hsne::Parameters& p) {
    const Hsne::Scale& P = h.scale(s - 1);
    const veltest::SparseMatrix& M = P.transitionMatrix;
    const unsigned int n = static_cast<unsigned int>(M.size());
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<unsigned int> visits(n, 0);
    // The selection of scale s draws from the streams of scale number s + 1.
    for (unsigned int i = 0; i < n; ++i) {
        std::minstd_rand g = vel::dr::walkEngine(42, s + 1, vel::dr::WalkPurpose::Selection, i);
        for (int w = 0; w < p.mcmcsNumWalks; ++w) {
            const int end = h.randomWalk(i, static_cast<unsigned int>(p.mcmcsWalkLength), M, u, g);
            if (end >= 0) ++visits[static_cast<unsigned int>(end)];
        }
    }
    Hsne::Scale S;
    S.previousScaleToLandmarkIdx.assign(n, -1);
    for (unsigned int i = 0; i < n; ++i) {
        if (visits[i] <= static_cast<unsigned int>(p.mcmcsNumWalks * p.mcmcsLandmarkThresh)) continue;
        S.previousScaleToLandmarkIdx[i] = static_cast<int>(S.landmarkToPreviousScaleIdx.size());
        S.landmarkToPreviousScaleIdx.push_back(i);
        S.landmarkToOriginalIdx.push_back(P.landmarkToOriginalIdx[i]);
    }
    const unsigned int L = S.size();
    const float W = static_cast<float>(p.numWalksPerLandmark);
    std::vector<Values> influence(n), transposed(L), transition(L);
    for (unsigned int i = 0; i < n; ++i) {
        std::minstd_rand g = vel::dr::walkEngine(42, s, vel::dr::WalkPurpose::Influence, i);
        for (int w = 0; w < p.numWalksPerLandmark; ++w) {
            const int end = h.randomWalk(i, S.previousScaleToLandmarkIdx, 200, M, u, g);
            if (end >= 0) influence[i][static_cast<unsigned int>(S.previousScaleToLandmarkIdx[end])] += 1.f;
        }
        for (auto& [b, v] : influence[i]) v /= W, transposed[b][i] = v;
    }
    S.landmarkWeight.assign(L, 0.f);
    for (const Values& row : influence)
        for (const auto& [b, v] : row) S.landmarkWeight[b] += v;
    const double t = static_cast<double>(p.pruneThresh) * 0.01;
    for (unsigned int a = 0; a < L; ++a) {
        Values similarity;
        for (const auto& [i, va] : transposed[a])
            for (const auto& [b, vb] : influence[i])
                if (b != a && static_cast<double>(va) > t && static_cast<double>(vb) > t)
                    similarity[b] += va * vb * P.landmarkWeight[i];
        for (int pass = 0; pass < 2; ++pass) {
            double sum = 0;
            for (const auto& entry : similarity) sum += entry.second;
            if (!(sum > 0)) break;
            transition[a].clear();
            for (const auto& [b, v] : similarity) {
                const float share = static_cast<float>(static_cast<double>(v) / sum);
                if (pass == 1 || share > 0.001f) transition[a][b] = share;
            }
            similarity = transition[a];
        }
    }
    S.areaOfInfluence = rows(influence);
    S.transitionMatrix = rows(transition);
    return S;
}

bool sameRows(const veltest::SparseMatrix& a, const veltest::SparseMatrix& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t r = 0; r < a.size(); ++r)
        if (!std::equal(a[r].begin(), a[r].end(), b[r].begin(), b[r].end())) return false;
    return true;
}

// Five blobs of 1,000 points in 10-D, unit spread, centres 6 apart: walks on the
// 91-neighbour graph cross between blobs, but rarely (about 1 % of the scale-1
// influence).
veltest::Blobs nearBlobs() {
    veltest::Blobs b = veltest::makeBlobs(5, 1000, 10, 0.0, 7);
    for (unsigned int i = 0; i < b.n; ++i)
        b.data[10 * i + static_cast<unsigned int>(b.labels[i])] += 6 / std::sqrt(2.f);
    return b;
}

// The analysis's settings over the given blobs, three scales.
Hsne analysisHierarchy(const veltest::Blobs& b, bool preserving, float prune) {
    Hsne::Parameters p;
    std::tie(p.seed, p.knnLibrary, p.numNeighbors, p.mcmcsNumWalks, p.mcmcsWalkLength) =
        std::make_tuple(42, 1, 91, 15, 15);
    std::tie(p.memoryPreserving, p.pruneThresh) = std::make_tuple(preserving, prune);
    Hsne h;
    h.setDimensionality(static_cast<int>(b.dims));
    h.initialize(const_cast<float*>(b.data.data()), b.n, p);
    while (h.hierarchy().size() < 3) h.addScale();
    return h;
}

// Every data point's influence chained up to the top scale (in double, scaled to
// sum 1) and added to its blob's mass on each top landmark; the purity is the
// share of all mass that lies in each landmark's heaviest blob.
double topPurity(const Hsne& h, const veltest::Blobs& b) {
    std::vector<std::array<double, 5>> mass(h.top_scale().size(), std::array<double, 5>{});
    for (unsigned int p = 0; p < b.n; ++p) {
        std::map<unsigned int, double> influence{{p, 1.0}};
        for (unsigned int s = 1; s < h.hierarchy().size(); ++s) {
            std::map<unsigned int, double> next;
            for (const auto& [a, w] : influence)
                for (const auto& [l, v] : h.scale(s).areaOfInfluence[a]) next[l] += w * v;
            influence.swap(next);
        }
        double sum = 0;
        for (const auto& entry : influence) sum += entry.second;
        for (const auto& [l, v] : influence) mass[l][static_cast<std::size_t>(b.labels[p])] += v / sum;
    }
    double heaviest = 0, total = 0;
    for (const auto& m : mass)
        heaviest += *std::max_element(m.begin(), m.end()), total += m[0] + m[1] + m[2] + m[3] + m[4];
    return heaviest / total;
}

// Scale s's weights and transition rows recomputed from its area of influence
// (counts = shares x 100) and the previous weights w_i: weight b = sum of
// c_b / 100 x w_i (without w_i when `preserving`); row a = sum of w_i c_a c_b
// over the points with both counts above t, scaled to 1, entries not above 0.001
// dropped, scaled to 1 again. Compared with the built scale; an entry within
// `tie` of 0.001 before the drop may go either way.
void expectScaleFromItsInfluence(const Hsne& h, unsigned int s, double t, bool preserving, double tie) {
    const Hsne::Scale &x = h.scale(s), &below = h.scale(s - 1);
    const std::size_t L = x.size();
    std::vector<double> rows(L * L, 0.0), weights(L, 0.0);
    for (unsigned int i = 0; i < below.size(); ++i) {
        const double w = below.landmarkWeight[i];
        for (const auto& [a, va] : x.areaOfInfluence[i]) {
            weights[a] += preserving ? va : va * w;
            for (const auto& [b, vb] : x.areaOfInfluence[i])
                if (b != a && std::round(va * 100) > t && std::round(vb * 100) > t && w > 0)
                    rows[a * L + b] += w * std::round(va * 100) * std::round(vb * 100);
        }
    }
    std::size_t faults = 0;
    for (unsigned int a = 0; a < L; ++a) {
        faults += !(std::abs(weights[a] - x.landmarkWeight[a]) <= 1e-4 * weights[a]);
        const double* row = &rows[a * L];
        const double sum = std::accumulate(row, row + L, 0.0);
        // An entry within `tie` of the cut is kept or dropped as the build did,
        // and the rest of the row is scaled accordingly.
        double kept = 0;
        for (unsigned int b = 0; b < L; ++b) {
            const double share = row[b] / sum;
            const bool keep = std::abs(share - 0.001) > tie
                                  ? share > 0.001
                                  : x.transitionMatrix[a].find(b) != x.transitionMatrix[a].end();
            kept += keep ? row[b] : 0;
        }
        std::size_t matched = 0;
        for (unsigned int b = 0; b < L; ++b) {
            if (row[b] == 0) continue;
            const auto built = x.transitionMatrix[a].find(b);
            const bool present = built != x.transitionMatrix[a].end();
            matched += present;
            if (std::abs(row[b] / sum - 0.001) > tie)
                faults += present != (row[b] / sum > 0.001) ||
                          (present && !(std::abs(built->second - row[b] / kept) <= 1e-5));
        }
        faults += matched != x.transitionMatrix[a].size();
    }
    EXPECT_EQ(faults, 0u) << "scale " << s << (preserving ? ", memory-preserving" : ", in-memory");
}

}  // namespace

// Bit for bit the construction as written, with and without pruning, on one and on three threads;
// 4,500 points are walked in three blocks.
TEST(HierarchyScale, MemoryPreservingScalesAreTheWrittenConstruction) {
    const auto b = veltest::makeBlobs(3, 1500 / kShrink, 5, 6.0, 21);
    for (float prune : {0.f, 1.5f}) {
        for (int threads : {1, 3}) {
            omp_set_num_threads(threads);
            Hsne::Parameters p;
            std::tie(p.seed, p.knnLibrary, p.memoryPreserving, p.pruneThresh, p.numWalksPerLandmark) =
                std::make_tuple(42, 1, true, prune, 60);
            Hsne h;
            h.setDimensionality(static_cast<int>(b.dims));
            h.initialize(const_cast<float*>(b.data.data()), b.n, p);
            h.addScale();
            h.addScale();
            for (unsigned int s = 1; s < 3; ++s) {
                const Hsne::Scale expected = referenceScale(h, s, p), &built = h.scale(s);
                SCOPED_TRACE(testing::Message() << "scale " << s << ", pruning " << prune << ", " << threads);
                ASSERT_GT(expected.size(), 10u);
                EXPECT_EQ(built.landmarkToPreviousScaleIdx, expected.landmarkToPreviousScaleIdx);
                EXPECT_EQ(built.landmarkToOriginalIdx, expected.landmarkToOriginalIdx);
                EXPECT_EQ(built.previousScaleToLandmarkIdx, expected.previousScaleToLandmarkIdx);
                EXPECT_EQ(built.landmarkWeight, expected.landmarkWeight);
                EXPECT_TRUE(sameRows(built.areaOfInfluence, expected.areaOfInfluence));
                EXPECT_TRUE(sameRows(built.transitionMatrix, expected.transitionMatrix));
            }
        }
    }
    omp_set_num_threads(omp_get_num_procs());
}

// With pruning 0, keeping every pair product puts half of each scale-1 row into
// entries below 0.001, among them every link between the blobs, and three scales
// then mix them (purity about 0.8). Both constructions drop those entries, and
// give the same scale-1 landmarks and weights (the selection reads only scale 0)
// and nearly the same scale-2 landmarks (rounding may turn a walk).
TEST(HierarchyScale, BothConstructionsKeepNearBlobsApartToTheTop) {
    const veltest::Blobs b = nearBlobs();
    const struct {
        bool preserving;
        float prune;
    } table[] = {{false, 0.f}, {true, 0.f}, {false, 1.5f}};
    std::vector<Hsne> hierarchies;
    omp_set_num_threads(8);
    for (const auto& row : table) {
        hierarchies.push_back(analysisHierarchy(b, row.preserving, row.prune));
        const Hsne& h = hierarchies.back();
        expectSound(h);
        const double purity = topPurity(h, b);
        std::printf("%s, pruning %g: top scale of %u landmarks, purity %.4f\n",
                    row.preserving ? "memory-preserving" : "in-memory", row.prune, h.top_scale().size(), purity);
        EXPECT_GE(purity, 0.9) << row.preserving << " " << row.prune;
        for (unsigned int s = 1; s < 3; ++s)
            expectScaleFromItsInfluence(h, s, row.prune, row.preserving, row.preserving ? 1e-6 : 1e-9);
        EXPECT_EQ(h.scale(1).landmarkToOriginalIdx, hierarchies[0].scale(1).landmarkToOriginalIdx);
        const auto& weights = h.scale(1).landmarkWeight;
        for (std::size_t l = 0; l < weights.size(); ++l)
            EXPECT_NEAR(weights[l], hierarchies[0].scale(1).landmarkWeight.at(l), 1e-6 * weights[l]) << l;
    }
    std::vector<unsigned int> both, first = hierarchies[0].scale(2).landmarkToOriginalIdx,
                                    second = hierarchies[1].scale(2).landmarkToOriginalIdx;
    std::sort(first.begin(), first.end());
    std::sort(second.begin(), second.end());
    std::set_intersection(first.begin(), first.end(), second.begin(), second.end(), std::back_inserter(both));
    EXPECT_GE(both.size(), 0.95 * std::max(first.size(), second.size()));

    for (int threads : {1, 4}) {  // the table's hierarchies were built on 8
        omp_set_num_threads(threads);
        for (bool preserving : {false, true})
            EXPECT_EQ(saved(analysisHierarchy(b, preserving, 0.f)), saved(hierarchies[preserving]))
                << threads << " threads, " << preserving;
    }
    omp_set_num_threads(omp_get_num_procs());
}
